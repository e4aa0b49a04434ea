// Counting the outcome of one test program from its GoogleTest XML report
// (--gtest_output=xml:FILE), for the test bundle's run-tests.cmd, which
// cannot read XML itself.
#pragma once

#include <string>
#include <string_view>

struct TestCounts {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};

// Counts the report's test cases: a case with a <failure> failed (also when
// it skipped after failing), one whose result is "skipped" was skipped, any
// other case that ran passed. Cases the filter or DISABLED_ left out
// (status "notrun") are not counted. `complete` tells whether the report
// ended with its closing </testsuites>: a report cut off by a crash is not.
TestCounts CountTestReport(std::string_view xml, bool* complete);

// The verdict on one program: its counts, with one more failure when the
// program failed as a whole (a report missing or cut off, or a non-zero exit
// code with no failed case to explain it: a crash after the last test, a
// failure outside any test).
TestCounts JudgeProgram(const std::string* xml, long exitCode);
