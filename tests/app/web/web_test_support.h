// Shared by the web tests: the program's DLL table installed once, and owning
// holders for the caller variables the routines write.
#pragma once

#include "app/web/dll_declarations.h"
#include "runtime/core/dll_commands.h"
#include "runtime/core/heap.h"

#include <string>

inline void InstallWebDllCommands()
{
    InstallDllCommands(web::kDllCommandCount, web::kDllLibraryNames, web::kDllExportNames);
}

// A caller's Text variable, released at the end of the test.
struct TextVar {
    Text value = nullptr;
    TextVar() = default;
    explicit TextVar(const char* initial) : value(CopyText(initial)) {}
    ~TextVar() { RuntimeFree(value); }
    TextVar(const TextVar&) = delete;
    TextVar& operator=(const TextVar&) = delete;
    Text* operator&() { return &value; }
    std::string Str() const { return value ? std::string(value) : std::string(); }
};

struct ByteSetVar {
    ByteSet value = nullptr;
    ~ByteSetVar() { RuntimeFree(value); }
    ByteSet* operator&() { return &value; }
    std::string Str() const
    {
        return std::string(reinterpret_cast<const char*>(ByteSetData(value)), ByteSetLength(value));
    }
};

// Takes ownership of a returned Text or ByteSet.
struct OwnedResult {
    void* block;
    explicit OwnedResult(void* b) : block(b) {}
    ~OwnedResult() { RuntimeFree(block); }
    std::string Text() const { return block ? std::string(static_cast<const char*>(block)) : std::string(); }
    std::string Bytes() const
    {
        return std::string(reinterpret_cast<const char*>(ByteSetData(block)), ByteSetLength(block));
    }
};
