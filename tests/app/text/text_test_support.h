// What the application's text routines expect of the runtime: OLE on the
// thread and the program's DLL command table for the bound COM calls.
#pragma once

#include "app/web/dll_declarations.h"
#include "runtime/core/dll_commands.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <string>

class AppTextTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        const std::string missing = MissingClasses({L"VBScript.RegExp", L"ScriptControl"});
        if (!missing.empty()) GTEST_SKIP() << "this system has no class " << missing << " (a Windows component)";
        InstallDllCommands(web::kDllCommandCount, web::kDllLibraryNames, web::kDllExportNames);
    }
    void TearDown() override { OleUninitialize(); }
};

inline std::string Str(const char* text) {
    return text ? std::string(text) : std::string();
}
