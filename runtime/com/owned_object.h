// Owning wrappers for the object holders and variant blocks that application
// code keeps in its variables, and the argument records that pass them to
// the object and variant commands.
//
//     OwnedObject script;                       // an empty holder, as a fresh variable
//     Call::Bool(CreateObject, script.Variable(), "ScriptControl");
//     OwnedText r = Call::Text(CallMethodText, script.Arg(), "Run", "xx");
//     OwnedObject m = TakeObject(Call::Raw(ReadPropertyObject, matches.Arg(), "Item", 0.0));
#pragma once

#include "runtime/com/object_holder.h"
#include "runtime/core/values.h"

#include <utility>

class OwnedObject {
public:
    // A new empty holder.
    OwnedObject() : holder_(NewObjectHolder()) {}
    // Adopts a holder a command returned (null is taken as a new empty one).
    explicit OwnedObject(ObjectHolder* adopted) : holder_(adopted ? adopted : NewObjectHolder()) {}
    ~OwnedObject() { FreeObjectHolder(holder_); }
    OwnedObject(OwnedObject&& other) noexcept : holder_(std::exchange(other.holder_, nullptr)) {}
    OwnedObject& operator=(OwnedObject&& other) noexcept {
        if (this != &other) {
            FreeObjectHolder(holder_);
            holder_ = std::exchange(other.holder_, nullptr);
        }
        return *this;
    }
    OwnedObject(const OwnedObject&) = delete;
    OwnedObject& operator=(const OwnedObject&) = delete;

    ObjectHolder* Get() const { return holder_; }
    bool Empty() const { return !holder_ || !holder_->object; }

    // The object as a by-value argument.
    ArgRecord Arg() const { return MakePointerArg(holder_, TYPE_OBJECT); }
    // The variable itself, for commands that store into it (CreateObject).
    ArgRecord Variable() { return MakePointerArg(&holder_, TYPE_OBJECT | TYPE_ARRAY_FLAG); }

    [[nodiscard]] ObjectHolder* Release() { return std::exchange(holder_, nullptr); }

private:
    ObjectHolder* holder_ = nullptr; // owned, with its interface reference
};

class OwnedVariant {
public:
    // A new empty (zeroed) variant block.
    OwnedVariant() : block_(NewVariantBlock()) {}
    // Adopts a block a command returned (null is taken as a new empty one).
    explicit OwnedVariant(void* adopted) : block_(adopted ? adopted : NewVariantBlock()) {}
    ~OwnedVariant() { FreeVariantBlock(block_); }
    OwnedVariant(OwnedVariant&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    OwnedVariant& operator=(OwnedVariant&& other) noexcept {
        if (this != &other) {
            FreeVariantBlock(block_);
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;

    void* Get() const { return block_; }
    ArgRecord Arg() const { return MakePointerArg(block_, TYPE_VARIANT); }
    ArgRecord Variable() { return MakePointerArg(&block_, TYPE_VARIANT | TYPE_ARRAY_FLAG); }

    [[nodiscard]] void* Release() { return std::exchange(block_, nullptr); }

private:
    void* block_ = nullptr; // owned, with its contents
};

// The object or variant a member reader returned. A result of another type
// (which the readers never give) yields an empty value.
inline OwnedObject TakeObject(const CommandResult& result) {
    return OwnedObject(result.type == TYPE_OBJECT ? static_cast<ObjectHolder*>(result.ptr) : nullptr);
}
inline OwnedVariant TakeVariant(const CommandResult& result) {
    return OwnedVariant(result.type == TYPE_VARIANT ? result.ptr : nullptr);
}
