#include "runtime/core/dll_commands.h"

#include "runtime/core/gbk_wide.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/system_libraries.h"

#include <windows.h>

#include <string>
#include <vector>

// The checked call: pushes the argument words, calls, compares the stack
// pointer with the one before the pushes and restores it either way.
// cdecl: (function, words, count, uint64_t* result) -> 1 when balanced.
extern "C" int SlCallChecked(void* function, const uint32_t* words, uint32_t count, uint64_t* result);
asm(R"(
    .text
    .globl _SlCallChecked
_SlCallChecked:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %ecx
    movl 12(%ebp), %esi
    movl %esp, %ebx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl 20(%ebp), %ecx
    movl %eax, (%ecx)
    movl %edx, 4(%ecx)
    xorl %eax, %eax
    cmpl %ebx, %esp
    sete %al
    movl %ebx, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

namespace {

// Tried in this order for a declaration with no library name.
const char* const kStandardLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                          "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

struct DllCommandTable {
    std::vector<std::string> libraries;
    std::vector<std::string> exports;
    std::vector<void*> addresses;
    std::vector<HMODULE> modules;
    std::string userDirectory;
};

DllCommandTable& Table()
{
    static DllCommandTable table;
    return table;
}

HMODULE LoadPrivate(const std::wstring& path) { return static_cast<HMODULE>(LoadPrivateLibrary(path)); }

FARPROC LookUp(HMODULE module, const std::string& exportName)
{
    if (!exportName.empty() && exportName[0] == '#') {
        unsigned long ordinal = std::strtoul(exportName.c_str() + 1, nullptr, 10) % 65536;
        return GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    }
    return GetProcAddress(module, exportName.c_str());
}

// Library names are GBK like every text; the program's folder is kept as the
// system spells it. Both meet the system only as wide texts.
HMODULE LoadDeclaredLibrary(const std::string& name)
{
    std::wstring wide = GbkToWide(name);
    if (IsFullLibraryPath(wide)) return LoadPrivate(wide);
    // A name the system holds is the system's library and comes from the
    // system folder alone: a file of that name beside the program (which
    // lives wherever it was saved, a downloads folder say) must never run in
    // its place. The folders below are for the program's own libraries.
    if (!SystemLibraryPath(wide).empty()) return static_cast<HMODULE>(LoadSystemLibrary(wide));
    const std::wstring& folder = App().programFolder;
    const std::string& user = Table().userDirectory;
    // The user-set directory is a text of the program's, joined as it is;
    // the program's folder with and without its trailing "\" are one path.
    const std::wstring candidates[] = {
        user.empty() ? std::wstring() : GbkToWide(user + name),
        folder.empty() ? std::wstring() : folder + L"\\" + wide,
    };
    for (const std::wstring& path : candidates) {
        if (path.empty()) continue;
        if (HMODULE m = LoadPrivate(path)) return m;
    }
    // The system's own search goes on past the system folder, to the Windows
    // folder and the folders named in PATH, where a library a program relies
    // on may have been installed by its vendor. That search now covers the
    // system folder alone, so the runtime does the rest itself, for names the
    // system folder does not hold, and never looks in the current folder.
    std::wstring further = FindLibraryBeyondSystemFolder(wide);
    return further.empty() ? nullptr : static_cast<HMODULE>(LoadPrivateLibrary(further));
}

[[noreturn]] void RaiseNotFound(const std::string& library, const std::string& exportName)
{
    std::string message;
    if (library.empty())
        message = "无法找到指定DLL库文件中的输出命令“" + exportName + "”";
    else
        message = "无法找到指定DLL库文件“" + library + "”中的输出命令“" + exportName + "”";
    RaiseRuntimeError(message.c_str(), 0);
}

}  // namespace

void InstallDllCommands(uint32_t count, const char* const* libraryNames, const char* const* exportNames)
{
    DllCommandTable& t = Table();
    t.libraries.assign(count, std::string());
    t.exports.assign(count, std::string());
    t.addresses.assign(count, nullptr);
    t.modules.assign(count, nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        if (libraryNames && libraryNames[i]) t.libraries[i] = libraryNames[i];
        if (exportNames && exportNames[i]) t.exports[i] = exportNames[i];
    }
}

bool IsDllCommandBound(int32_t index)
{
    const DllCommandTable& t = Table();
    return index >= 0 && static_cast<size_t>(index) < t.addresses.size() && t.addresses[index] != nullptr;
}

// Binds a declaration on first use and keeps its address and module; null
// when the library or the export cannot be found (nothing is kept then).
static void* Bind(int32_t index)
{
    DllCommandTable& t = Table();
    if (t.addresses[index]) return t.addresses[index];

    const std::string& library = t.libraries[index];
    const std::string& exportName = t.exports[index];
    HMODULE module = nullptr;
    FARPROC address = nullptr;
    if (library.empty()) {
        for (const char* name : kStandardLibraries) {
            auto m = static_cast<HMODULE>(LoadSystemLibrary(GbkToWide(name)));
            if (!m) continue;
            if ((address = LookUp(m, exportName))) {
                module = m;
                break;
            }
            FreeLibrary(m);
        }
    } else if ((module = LoadDeclaredLibrary(library))) {
        address = LookUp(module, exportName);
    }
    if (!address) {
        if (module) FreeLibrary(module);
        return nullptr;
    }
    t.addresses[index] = reinterpret_cast<void*>(address);
    t.modules[index] = module;
    return t.addresses[index];
}

void* ResolveDllCommand(int32_t index)
{
    DllCommandTable& t = Table();
    bool inTable = index >= 0 && static_cast<size_t>(index) < t.addresses.size();
    if (!inTable) RaiseNotFound(std::string(), std::string());
    if (void* address = Bind(index)) return address;
    RaiseNotFound(t.libraries[index], t.exports[index]);
}

bool PrepareDllCommand(int32_t index)
{
    bool inTable = index >= 0 && static_cast<size_t>(index) < Table().addresses.size();
    return inTable && Bind(index);
}

void ReleaseDllCommands()
{
    DllCommandTable& t = Table();
    for (HMODULE m : t.modules) {
        if (m) FreeLibrary(m);
    }
    t.libraries.clear();
    t.exports.clear();
    t.addresses.clear();
    t.modules.clear();
}

void SetUserDllDirectory(const std::string& directory) { Table().userDirectory = directory; }

uint64_t CallDllCommand(int32_t index, const uint32_t* words, uint32_t wordCount)
{
    void* function = ResolveDllCommand(index);
    uint64_t result = 0;
    if (!SlCallChecked(function, words, wordCount, &result)) ReportRuntimeError(6);
    return result;
}
