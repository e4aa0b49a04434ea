// DLL commands: external functions the program declares by library file name
// and export name, bound by name on their first call, cached per declaration
// and kept loaded until the exit sequence. A library the system folder holds
// is loaded from there alone; the program's folders, then the folders named
// in PATH, are searched only for names of its own.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

// Takes the program's declaration table (copied). The resolved addresses and
// module handles start empty.
void InstallDllCommands(uint32_t count, const char* const* libraryNames, const char* const* exportNames);

// The bound address of a declaration; raises the runtime error naming the
// library and export when it cannot be found (does not return then).
void* ResolveDllCommand(int32_t index);

// Binds the declaration ahead of its first call, as that call would; false
// when it cannot be bound, which is left for the call itself to report.
bool PrepareDllCommand(int32_t index);

// Whether the declaration is bound already (for tests and diagnostics).
bool IsDllCommandBound(int32_t index);

// Exit sequence: frees every module loaded for a declaration and empties the
// table.
void ReleaseDllCommands();

// The user-set DLL directory searched first for a relative library name that
// the system folder does not hold.
void SetUserDllDirectory(const std::string& directory);

// Calls a bound stdcall function with its arguments as 32-bit words (first
// argument first) and returns EDX:EAX. The stack pointer is compared before
// and after the call; a difference raises runtime error 6.
uint64_t CallDllCommand(int32_t index, const uint32_t* words, uint32_t wordCount);

namespace dll_detail {
template <typename T> constexpr uint32_t WordsOf() { return (sizeof(T) + 3) / 4; }

template <typename T> void PutWords(uint32_t*& out, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    uint32_t w[WordsOf<T>()] = {};
    std::memcpy(w, &value, sizeof(T));
    for (uint32_t x : w) *out++ = x;
}
}  // namespace dll_detail

// Typed form: DllCall<BOOL>(kWinHttpCloseHandle, handle). Arguments are
// passed by value in stdcall order; doubles take two words.
template <typename R, typename... A> R DllCall(int32_t index, A... args)
{
    constexpr uint32_t count = (0u + ... + dll_detail::WordsOf<A>());
    uint32_t words[count > 0 ? count : 1];
    if constexpr (count > 0) {
        uint32_t* out = words;
        (dll_detail::PutWords(out, args), ...);
    }
    uint64_t r = CallDllCommand(index, words, count);
    if constexpr (std::is_void_v<R>) {
        return;
    } else {
        static_assert(sizeof(R) <= 8 && !std::is_floating_point_v<R>, "integer or pointer results only");
        R value;
        std::memcpy(&value, &r, sizeof(R));
        return value;
    }
}
