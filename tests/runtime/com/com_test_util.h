// Frames, owned results and an OLE apartment for the object-command tests.
#pragma once

#include "runtime/com/object_commands.h"
#include "runtime/com/object_holder.h"
#include "runtime/core/heap.h"
#include "runtime/core/services.h"
#include "runtime/core/values.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// Each test runs in its own single-threaded apartment, as the runtime's main
// thread does.
class ComTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        const std::string missing =
            MissingClasses({L"VBScript.RegExp", L"ScriptControl", L"Scripting.FileSystemObject"});
        if (!missing.empty()) GTEST_SKIP() << "this system has no class " << missing << " (a Windows component)";
    }
    void TearDown() override { CoUninitialize(); }
};

inline ArgRecord TextArg(const char* text) {
    return MakePointerArg(text, TYPE_TEXT);
}
inline ArgRecord ObjectArg(ObjectHolder* holder) {
    return MakePointerArg(holder, TYPE_OBJECT);
}
inline ArgRecord VariantArg(void* block) {
    return MakePointerArg(block, TYPE_VARIANT);
}
// An argument passed by reference: the address of the caller's variable.
inline ArgRecord ByReference(void* variable, ValueType type) {
    return MakePointerArg(variable, type | TYPE_ARRAY_FLAG);
}

inline CommandResult Call(CommandFn command, std::vector<ArgRecord> args) {
    return CallCommand(command, static_cast<int32_t>(args.size()), args.empty() ? nullptr : args.data());
}

struct HolderDeleter {
    void operator()(ObjectHolder* h) const { FreeObjectHolder(h); }
};
using OwnedHolder = std::unique_ptr<ObjectHolder, HolderDeleter>;

struct VariantDeleter {
    void operator()(void* v) const { FreeVariantBlock(v); }
};
using OwnedVariant = std::unique_ptr<void, VariantDeleter>;

struct TextDeleter {
    void operator()(char* t) const { RuntimeFree(t); }
};
using OwnedResultText = std::unique_ptr<char, TextDeleter>;

inline std::string AsString(const char* text) {
    return text ? std::string(text) : std::string();
}

// Takes a Text result and returns its bytes ("" for null), freeing it.
inline std::string TakeText(const CommandResult& r) {
    OwnedResultText owned(static_cast<char*>(r.ptr));
    return AsString(owned.get());
}

// A holder with a new object of the class, or an empty holder.
inline OwnedHolder Create(const char* classText) {
    OwnedHolder holder(NewObjectHolder());
    ObjectHolder* raw = holder.get();
    Call(CreateObject, {ByReference(&raw, TYPE_OBJECT), TextArg(classText)});
    return holder;
}

// The reference count of an interface, measured by one AddRef/Release pair.
inline ULONG RefCount(void* object) {
    auto* unknown = static_cast<IUnknown*>(object);
    unknown->AddRef();
    return unknown->Release();
}
