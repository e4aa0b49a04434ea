// Binding external functions by name on first call.
#include "runtime/core/dll_commands.h"

#include <gtest/gtest.h>

#include <windows.h>

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
