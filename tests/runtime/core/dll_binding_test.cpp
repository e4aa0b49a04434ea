// Binding external functions by name on first call.
#include "runtime/core/dll_commands.h"
#include "runtime/core/gbk_wide.h"
#include "runtime/core/runtime_app.h"
#include "runtime/core/system_libraries.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>

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

// What a file is (volume and file index), whatever path spells it: under
// WOW64 (any 64-bit Windows) a 32-bit program's system folder is SysWOW64,
// reached through the name System32. All zero when it cannot be opened.
std::array<DWORD, 3> IdentityOf(const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE file =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE && !GetFileInformationByHandle(file, &info)) info = {};
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// The program's folder as start-up sets it from the program's path.
auto ProgramFolderFields()
{
    RuntimeApp& app = App();
    return std::tie(app.programFolder, app.programDirectory, app.programFileName, app.programDirectoryWithSlash);
}

// The program's folder made `folder` for one test.
class ProgramFolderAs {
public:
    explicit ProgramFolderAs(const std::wstring& folder) : saved_(ProgramFolderFields())
    {
        SetProgramPath(folder + L"\\songlink.exe");
    }
    ~ProgramFolderAs() { ProgramFolderFields() = saved_; }

private:
    std::tuple<std::wstring, std::string, std::string, std::string> saved_;
};

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
    ProgramFolderAs programFolder(beside);
    wchar_t systemText[MAX_PATH] = {};
    GetSystemDirectoryW(systemText, MAX_PATH);  // left empty when too long
    const std::wstring system = systemText;
    ASSERT_FALSE(system.empty());

    struct Case {
        const char* library;
        const char* exportName;
        std::wstring file;  // where the bound function must come from
    } cases[] = {
        {"songlink_private.dll", "PrivateAnswer", beside + L"\\songlink_private.dll"},
        {"wininet.dll", "InternetCloseHandle", system + L"\\wininet.dll"},
        {"Winhttp.dll", "WinHttpCheckPlatform", system + L"\\winhttp.dll"},
        {"atl", "AtlAxWinInit", system + L"\\atl.dll"},
    };
    const char* libraries[std::size(cases)];
    const char* exports[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        libraries[i] = cases[i].library;
        exports[i] = cases[i].exportName;
        ASSERT_NE(IdentityOf(cases[i].file), (std::array<DWORD, 3>{})) << cases[i].library;
    }
    // No user-set DLL directory (the program's folder is tried next), then
    // the program's folder set as that directory, where GBK can name it (the
    // directory is a text of the program's).
    for (const std::string& userDirectory : {std::string(), App().programDirectoryWithSlash}) {
        if (!userDirectory.empty() && GbkToWide(userDirectory) != beside + L"\\") continue;
        SCOPED_TRACE("user-set directory '" + userDirectory + "'");
        SetUserDllDirectory(userDirectory);
        InstallDllCommands(std::size(cases), libraries, exports);
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].library);
            HMODULE module = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCWSTR>(ResolveDllCommand(static_cast<int32_t>(i))), &module);
            ASSERT_NE(module, nullptr);
            std::wstring path(32768, L'\0');
            path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
            EXPECT_EQ(IdentityOf(path), IdentityOf(cases[i].file));
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
    ProgramFolderAs programFolder(beside);
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
        if (IsDllCommandBound(i)) {
            EXPECT_EQ(DllCall<int>(i, cases[i].question), cases[i].answer);
        }
    }
    ReleaseDllCommands();
    SetEnvironmentVariableW(L"PATH", savedPath);
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

// A name with a drive, or one on a network share or in the system's own
// namespaces, is loaded by that path alone; anything else is looked for in
// the program's folders.
TEST(LibraryPaths, FullPathsAreTakenAsTheyAre)
{
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"songlink_private.dll", false},
        {L"libs\\songlink_private.dll", false},
        {L"\\libs\\songlink_private.dll", false},  // the current drive's root
        {L"C:\\libs\\songlink_private.dll", true},
        {L"C:songlink_private.dll", true},
        {L"\\\\server\\share\\songlink_private.dll", true},
        {L"//server/share/songlink_private.dll", true},
        {L"\\\\?\\UNC\\server\\share\\songlink_private.dll", true},
        {L"\\\\?\\C:\\libs\\songlink_private.dll", true},
        {L"\\\\.\\C:\\libs\\songlink_private.dll", true},
    };
    for (const auto& [name, full] : cases) EXPECT_EQ(IsFullLibraryPath(name), full) << WideToGbk(name);
}

// The program saved in a folder whose name GBK cannot spell (a Polish user's
// downloads folder, say) finds its own library beside it: copies of the
// test's child program and of that library there, removed afterwards.
TEST(DllBindingProcess, ProgramLibraryBindsFromAFolderGbkCannotName)
{
    const std::wstring self = CurrentExecutablePath();
    const std::wstring tests = self.substr(0, self.find_last_of(L'\\'));
    const std::wstring folder = tests + L"\\\u0141\u00f3d\u017a";  // "Łódź"
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& file : {tests + L"\\sl_core_child.exe", BesideFolder() + L"\\songlink_private.dll"})
        EXPECT_TRUE(CopyFileW(file.c_str(), (folder + file.substr(file.find_last_of(L'\\'))).c_str(), FALSE));
    if (!HasFailure()) {
        ChildResult run = RunChild(folder + L"\\sl_core_child.exe", L"private", 30000, [](uint32_t processId, void*) {
            FindAndDismissMessageBox(processId, FromGbk("错误"));
        });
        EXPECT_TRUE(run.started && !run.timedOut);
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("private answer 42"), std::string::npos) << run.output;
    }
    for (const wchar_t* name : {L"\\sl_core_child.exe", L"\\songlink_private.dll"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
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
