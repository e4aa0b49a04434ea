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
        InstallDllCommands(web::kDllCommandCount, web::kDllLibraryNames, web::kDllExportNames);
    }
    void TearDown() override { OleUninitialize(); }
};

// For a case that needs the platform's object itself (the routines under test
// go on without it): skipped, with the reason, where a class is missing.
// VBScript (its "VBScript.RegExp") is an optional Windows feature, and the
// script engines come with Windows' own releases.
#define SL_SKIP_WITHOUT_CLASSES(...)                                                                                   \
    if (const std::string slMissing = MissingClasses({__VA_ARGS__}); !slMissing.empty())                               \
    GTEST_SKIP() << "this system has no class " << slMissing << " (a Windows component)"

inline std::string Str(const char* text) {
    return text ? std::string(text) : std::string();
}
