// Binding external functions by name on first call.
#include "runtime/core/dll_commands.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/system_libraries.h"
#include "tests/support/child_process.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class DllBinding : public testing::Test {
protected:
    void TearDown() override { ReleaseDllCommands(); }
};

TEST_F(DllBinding, EmptyLibraryNameSearchesTheStandardList)
{
    const char* libraries[] = {"", "kernel32.dll"};
    const char* exports[] = {"MultiByteToWideChar", "WideCharToMultiByte"};
    InstallDllCommands(2, libraries, exports);
    EXPECT_FALSE(IsDllCommandBound(0));
    void* address = ResolveDllCommand(0);
    EXPECT_EQ(address,
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "MultiByteToWideChar")));
    EXPECT_TRUE(IsDllCommandBound(0));
    EXPECT_FALSE(IsDllCommandBound(1));  // each declaration binds on its own
    EXPECT_EQ(ResolveDllCommand(0), address);

    // The bound function works through the checked call.
    wchar_t wide[8] = {};
    int n = DllCall<int>(0, 936u, 0u, "\xd6\xd0", -1, wide, 8);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(wide[0], 0x4E2D);
}

TEST_F(DllBinding, OrdinalsAreTakenModulo65536)
{
    HMODULE oleaut = LoadLibraryW(L"oleaut32.dll");
    ASSERT_NE(oleaut, nullptr);
    void* expected = reinterpret_cast<void*>(GetProcAddress(oleaut, "SysAllocString"));  // ordinal 2
    const char* libraries[] = {"oleaut32.dll", "oleaut32.dll"};
    const char* exports[] = {"#2", "#65538"};
    InstallDllCommands(2, libraries, exports);
    EXPECT_EQ(ResolveDllCommand(0), expected);
    EXPECT_EQ(ResolveDllCommand(1), expected);
    FreeLibrary(oleaut);
}

TEST_F(DllBinding, ModulesStayLoadedUntilRelease)
{
    // A library nothing else has loaded: bound once, it stays loaded until
    // the table is released.
    ASSERT_EQ(GetModuleHandleW(L"mpr.dll"), nullptr);
    const char* libraries[] = {"mpr.dll"};
    const char* exports[] = {"WNetGetLastErrorA"};
    InstallDllCommands(1, libraries, exports);
    ResolveDllCommand(0);
    EXPECT_NE(GetModuleHandleW(L"mpr.dll"), nullptr);
    ResolveDllCommand(0);
    ReleaseDllCommands();
    EXPECT_EQ(GetModuleHandleW(L"mpr.dll"), nullptr);
}

std::wstring FolderOf(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring file(path, n);
    std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
    CharLowerW(folder.data());
    return folder;
}

// The program's folder (here "beside", next to the test) holds a library of
// its own and files named like three system libraries, which leave a mark
// when they run: the system's names bind from the system folder, whatever
// folder is searched first, and the program's own name from beside it.
TEST_F(DllBinding, SystemNamesBindFromTheSystemFolderOnly)
{
    std::wstring self = CurrentExecutablePath();
    if (RunningUnderWine() && !NativeFirstUnderWine::InEffect()) {
        // Wine would take its own libraries whatever the runtime asked for:
        // the case runs again in a process told to take such files first, as
        // Windows does.
        NativeFirstUnderWine asWindowsDoes(self.substr(self.find_last_of(L'\\') + 1));
        ChildResult run = RunChild(self, L"--gtest_filter=DllBinding.SystemNamesBindFromTheSystemFolderOnly", 60000);
        ASSERT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
        return;
    }
    std::wstring beside = self.substr(0, self.find_last_of(L"\\/")) + L"\\beside";
    RuntimeApp& app = App();
    const std::string savedDirectory = app.programDirectory, savedWithSlash = app.programDirectoryWithSlash;
    app.programDirectory = WideToGbk(beside);
    app.programDirectoryWithSlash = app.programDirectory + "\\";
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring systemFolder = system;
    CharLowerW(systemFolder.data());
    std::wstring besideFolder = beside;
    CharLowerW(besideFolder.data());

    struct Case {
        const char* library;
        const char* exportName;
        const std::wstring& folder;
    } cases[] = {
        {"songlink_private.dll", "PrivateAnswer", besideFolder},
        {"wininet.dll", "InternetCloseHandle", systemFolder},
        {"Winhttp.dll", "WinHttpCheckPlatform", systemFolder},
        {"atl", "AtlAxWinInit", systemFolder},
    };
    const char* libraries[std::size(cases)];
    const char* exports[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        libraries[i] = cases[i].library;
        exports[i] = cases[i].exportName;
    }
    // No user-set DLL directory (the program's folder is tried next), then
    // the program's folder set as that directory.
    for (const std::string& userDirectory : {std::string(), app.programDirectoryWithSlash}) {
        SCOPED_TRACE("user-set directory '" + userDirectory + "'");
        SetUserDllDirectory(userDirectory);
        InstallDllCommands(std::size(cases), libraries, exports);
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].library);
            HMODULE module = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCWSTR>(ResolveDllCommand(static_cast<int32_t>(i))), &module);
            EXPECT_EQ(FolderOf(module), cases[i].folder);
        }
        EXPECT_EQ(DllCall<int>(0, 41), 42);
        for (const char* planted : {"Winhttp.dll", "wininet.dll", "atl.dll"}) {
            std::wstring mark = beside + L"\\" + GbkToWide(planted) + L".loaded";
            EXPECT_EQ(GetFileAttributesW(mark.c_str()), INVALID_FILE_ATTRIBUTES) << planted << " ran";
            DeleteFileW(mark.c_str());
        }
        ReleaseDllCommands();
    }
    SetUserDllDirectory(std::string());
    app.programDirectory = savedDirectory;
    app.programDirectoryWithSlash = savedWithSlash;
}

std::wstring BesideFolder()
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/")) + L"\\beside";
}

// With the search narrowed as the program narrows it at start, the program's
// own libraries still bind: one beside the program that imports another
// beside it, and one that only a folder named in PATH holds.
TEST_F(DllBinding, ProgramLibrariesBindWithWhatTheyImport)
{
    RestrictLibrarySearch();
    const std::wstring beside = BesideFolder();
    RuntimeApp& app = App();
    const std::string savedDirectory = app.programDirectory, savedWithSlash = app.programDirectoryWithSlash;
    app.programDirectory = WideToGbk(beside);
    app.programDirectoryWithSlash = app.programDirectory + "\\";
    wchar_t savedPath[32767] = {};
    GetEnvironmentVariableW(L"PATH", savedPath, 32767);
    SetEnvironmentVariableW(L"PATH", (L"relative\\folder;" + beside + L"\\elsewhere;" + savedPath).c_str());

    struct Case {
        const char* library;
        const char* exportName;
        int question, answer;
    } cases[] = {
        {"songlink_outer.dll", "OuterAnswer", 20, 42},
        {"songlink_elsewhere", "PrivateAnswer", 41, 42},
    };
    ASSERT_EQ(GetModuleHandleW(L"songlink_inner.dll"), nullptr);
    const char* libraries[] = {cases[0].library, cases[1].library};
    const char* exports[] = {cases[0].exportName, cases[1].exportName};
    InstallDllCommands(2, libraries, exports);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(cases[i].library);
        EXPECT_TRUE(PrepareDllCommand(i));
        if (IsDllCommandBound(i)) EXPECT_EQ(DllCall<int>(i, cases[i].question), cases[i].answer);
    }
    ReleaseDllCommands();
    SetEnvironmentVariableW(L"PATH", savedPath);
    app.programDirectory = savedDirectory;
    app.programDirectoryWithSlash = savedWithSlash;
}

// An input method or shell extension in the process adds its own folder with
// AddDllDirectory and loads its libraries by name: that search still finds
// them after the program has narrowed its own.
TEST_F(DllBinding, FoldersOtherSoftwareAddsStaySearched)
{
    // Looked up, not imported: Windows 7 without update KB2533623 has neither
    // function and would not start this whole program over one import.
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    auto addDirectory = reinterpret_cast<DLL_DIRECTORY_COOKIE(WINAPI*)(PCWSTR)>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "AddDllDirectory")));
    auto removeDirectory = reinterpret_cast<BOOL(WINAPI*)(DLL_DIRECTORY_COOKIE)>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "RemoveDllDirectory")));
    if (!addDirectory || !removeDirectory)
        GTEST_SKIP() << "no AddDllDirectory here (Windows 7 without KB2533623): nothing can add a folder";
    RestrictLibrarySearch();
    const std::wstring elsewhere = BesideFolder() + L"\\elsewhere";
    DLL_DIRECTORY_COOKIE cookie = addDirectory(elsewhere.c_str());
    ASSERT_NE(cookie, nullptr);
    HMODULE module = LoadLibraryW(L"songlink_elsewhere.dll");
    EXPECT_NE(module, nullptr);
    if (module) FreeLibrary(module);
    removeDirectory(cookie);
}

TEST_F(DllBinding, PreparingBindsAsTheFirstCallWouldOrLeavesTheFailureToIt)
{
    const char* libraries[] = {"mpr.dll", "mpr.dll", "sl_no_such_library.dll"};
    const char* exports[] = {"WNetGetLastErrorA", "SlNoSuchExport", "Anything"};
    InstallDllCommands(3, libraries, exports);
    EXPECT_TRUE(PrepareDllCommand(0));
    EXPECT_TRUE(IsDllCommandBound(0));
    EXPECT_EQ(ResolveDllCommand(0),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"mpr.dll"), "WNetGetLastErrorA")));
    // Neither raises: the declaration's own call reports it.
    EXPECT_FALSE(PrepareDllCommand(1));
    EXPECT_FALSE(PrepareDllCommand(2));
    EXPECT_FALSE(PrepareDllCommand(3));
    EXPECT_FALSE(IsDllCommandBound(1));
    EXPECT_FALSE(IsDllCommandBound(2));
    // Prepared, the module is kept until release like any bound one.
    ReleaseDllCommands();
    EXPECT_EQ(GetModuleHandleW(L"mpr.dll"), nullptr);
}

}  // namespace
