#include "tests/bundle/gtest_counts.h"

#include <gtest/gtest.h>

namespace {

// Reports shaped as GoogleTest 1.12 writes them.
const char kHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"4\" name=\"AllTests\">\n"
                     "  <testsuite name=\"S\" tests=\"4\">\n";
const char kTail[] = "  </testsuite>\n</testsuites>\n";
const char kPassed[] = "    <testcase name=\"A\" file=\"a.cpp\" line=\"3\" status=\"run\" result=\"completed\" "
                       "time=\"0.001\" classname=\"S\" />\n";
const char kFailed[] = "    <testcase name=\"B\" status=\"run\" result=\"completed\" classname=\"S\">\n"
                       "      <failure message=\"a.cpp:9&#x0A;Expected equality\" type=\"\"><![CDATA[a.cpp:9\n"
                       "Expected equality: <testcase name=\"fake\" status=\"run\" /> ]]></failure>\n"
                       "    </testcase>\n";
const char kSkipped[] = "    <testcase name=\"C\" status=\"run\" result=\"skipped\" classname=\"S\">\n"
                        "      <skipped message=\"a.cpp:12&#x0A;no such display\"><![CDATA[a.cpp:12\n"
                        "no such display]]></skipped>\n    </testcase>\n";
const char kFilteredOut[] = "    <testcase name=\"D\" status=\"notrun\" result=\"suppressed\" classname=\"S\" />\n";

struct Row {
    const char* what;
    std::string xml;
    long exitCode;
    int passed, failed, skipped;
};

class JudgeProgramTest : public testing::TestWithParam<Row> {};

TEST_P(JudgeProgramTest, Counts)
{
    const Row& row = GetParam();
    const TestCounts counts = JudgeProgram(row.xml.empty() ? nullptr : &row.xml, row.exitCode);
    EXPECT_EQ(counts.passed, row.passed) << row.what;
    EXPECT_EQ(counts.failed, row.failed) << row.what;
    EXPECT_EQ(counts.skipped, row.skipped) << row.what;
}

const std::string kAll = std::string(kHead) + kPassed + kFailed + kSkipped + kFilteredOut + kTail;

INSTANTIATE_TEST_SUITE_P(
    Reports, JudgeProgramTest,
    testing::Values(Row{"each kind once; a tag inside a failure's text is not a case", kAll, 1, 1, 1, 1},
                    Row{"all passed", std::string(kHead) + kPassed + kPassed + kTail, 0, 2, 0, 0},
                    Row{"exit code 1 without a failed case", std::string(kHead) + kPassed + kTail, 1, 1, 1, 0},
                    Row{"crash: no report", "", -1073741819, 0, 1, 0},
                    Row{"report cut off", std::string(kHead) + kPassed + "    <testcase name=\"X\" status=\"r", 0, 1, 1,
                        0},
                    Row{"skip only", std::string(kHead) + kSkipped + kTail, 0, 0, 0, 1}));

}  // namespace
