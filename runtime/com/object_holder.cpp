#include "runtime/com/object_holder.h"

#include "runtime/core/heap.h"

#include <oaidl.h>

#include <cstring>

static_assert(sizeof(VARIANT) == kVariantBlockSize || sizeof(void*) == 8, "a variant block is 16 bytes on i686");

ObjectHolder* NewObjectHolder() {
    auto* holder = static_cast<ObjectHolder*>(RuntimeAlloc(sizeof(ObjectHolder)));
    holder->object = nullptr;
    holder->aux = 0;
    return holder;
}

void ClearObjectHolder(ObjectHolder* holder) {
    if (!holder)
        return;
    if (holder->object) {
        auto* unknown = static_cast<IUnknown*>(holder->object);
        // The auxiliary word is never set by our commands; when something did
        // set it, it belongs to the interface and goes with it.
        holder->aux = 0;
        holder->object = nullptr;
        unknown->Release();
    } else if (holder->aux) {
        RuntimeFree(reinterpret_cast<void*>(holder->aux));
        holder->aux = 0;
    }
}

void FreeObjectHolder(ObjectHolder* holder) {
    if (!holder)
        return;
    ClearObjectHolder(holder);
    RuntimeFree(holder);
}

void* NewVariantBlock() {
    void* block = RuntimeAlloc(sizeof(VARIANT));
    std::memset(block, 0, sizeof(VARIANT));
    return block;
}

void FreeVariantBlock(void* block) {
    if (!block)
        return;
    VariantClear(static_cast<VARIANT*>(block));
    RuntimeFree(block);
}

namespace {

void* PointerOfArg(const ArgRecord& arg) {
    if (!HasArrayFlag(arg.type))
        return arg.ptr;
    auto* variable = static_cast<void**>(arg.ptr);
    return variable ? *variable : nullptr;
}

} // namespace

ObjectHolder* HolderOfArg(const ArgRecord& arg) {
    if (BaseType(arg.type) != TYPE_OBJECT)
        return nullptr;
    return static_cast<ObjectHolder*>(PointerOfArg(arg));
}

void* VariantOfArg(const ArgRecord& arg) {
    if (BaseType(arg.type) != TYPE_VARIANT)
        return nullptr;
    return PointerOfArg(arg);
}

ObjectHolder* HolderOfVariable(const ArgRecord& arg) {
    ObjectHolder* holder = HolderOfArg(arg);
    if (holder || !HasArrayFlag(arg.type) || BaseType(arg.type) != TYPE_OBJECT || !arg.ptr)
        return holder;
    holder = NewObjectHolder();
    *static_cast<void**>(arg.ptr) = holder;
    return holder;
}

void* VariantOfVariable(const ArgRecord& arg) {
    void* block = VariantOfArg(arg);
    if (block || !HasArrayFlag(arg.type) || BaseType(arg.type) != TYPE_VARIANT || !arg.ptr)
        return block;
    block = NewVariantBlock();
    *static_cast<void**>(arg.ptr) = block;
    return block;
}
