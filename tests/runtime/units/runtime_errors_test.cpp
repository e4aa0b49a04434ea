// Runtime errors of event dispatch and the property services end the program
// with one report; while a report is in progress no handler runs.
#include "runtime/core/runtime_error.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::wstring ChildPath()
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"units_child.exe";
}

TEST(UnitRuntimeErrors, EachScenarioEndsWithItsReport)
{
    BringUpDesktop();  // before the first child, which opens windows
    struct Case {
        const wchar_t* scenario;
        uint32_t exitCode;
        std::string mustSee;
        std::string mustNotSee;
    };
    const Case cases[] = {
        // Own properties need a loaded window; generic ones answer from the record.
        {L"not-loaded", 0xFFFFFFFFu,
         "width=100\nerror:\xd6\xb8\xb6\xa8\xb4\xb0\xbf\xda\xc9\xd0\xce\xb4\xd4\xd8\xc8\xeb\n", "returned"},
        // The handler runs once before the error, never while it is reported.
        {L"error-box", 0xFFFFFFFFu, "handler\nduring-report ran=0\n", "handler\nhandler"},
        {L"unknown-unit", 0xFFFFFFFFu,
         "error:\xce\xb4\xd5\xd2\xb5\xbd\xd2\xfd\xb7\xa2\xca\xc2\xbc\xfe\xb5\xc4\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe\n",
         "returned"},
        {L"unknown-window", 0xFFFFFFFFu,
         "error:\xce\xb4\xd5\xd2\xb5\xbd\xd2\xfd\xb7\xa2\xca\xc2\xbc\xfe\xb5\xc4\xb4\xb0\xbf\xda\n", "returned"},
        {L"write-unknown-window", 0xFFFFFFFFu,
         "error:"
         "\xce\xb4\xd4\xd8\xc8\xeb\xd3\xfb\xb7\xc3\xce\xca\xb4\xb0\xbf\xda\xd7\xe9\xbc\xfe\xcb\xf9\xd4\xda\xb5\xc4"
         "\xb4\xb0\xbf\xda\n",
         "returned"},
        // A picture too large to copy ends the program with the allocation
        // failure report, not an exception through the caller.
        {L"picture-too-large", 0xFFFFFFFFu, "error:\xb7\xd6\xc5\xe4 ", "returned"},
        // Not an error: a normal exit sequence also frees the library the HTML
        // viewer loaded for its control container.
        {L"viewer-exit", 0u, "atl before=1\natl after=0\n", "returned"},
        // A viewer made after that, the container then loaded elsewhere, works
        // and calls nothing of the freed copy.
        {L"viewer-again", 0u, "viewer again loaded=1 moved=1 control=1\n", "fault"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario, c.scenario + wcslen(c.scenario)));
        ChildResult r = RunChild(ChildPath(), c.scenario, 30000);
        ASSERT_TRUE(r.started);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, c.exitCode);
        std::string out;
        for (char ch : r.output)
            if (ch != '\r') out += ch;
        EXPECT_NE(out.find(c.mustSee), std::string::npos) << out;
        EXPECT_EQ(out.find(c.mustNotSee), std::string::npos) << out;
    }
}

void AnswerErrorBoxes(uint32_t processId, void* context)
{
    MessageBoxSeen seen = FindAndDismissMessageBox(processId, FromGbk("\xb4\xed\xce\xf3"));  // 错误
    if (seen.found) static_cast<std::vector<std::wstring>*>(context)->push_back(seen.text);
}

// The HTML viewer's control lives in the control container's code: a runtime
// error while it is alive ends with the one box and -1, the container still
// there for the control's end, with no second fault and no crash report.
TEST(UnitRuntimeErrors, ErrorWithTheHtmlViewerAliveEndsWithTheBoxAlone)
{
    BringUpDesktop();
    std::vector<std::wstring> boxes;
    ChildResult r = RunChild(ChildPath(), L"viewer-error", 30000, AnswerErrorBoxes, &boxes);
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut);
    ASSERT_NE(r.output.find("owned=1"), std::string::npos) << r.output;
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << r.output;
    ASSERT_EQ(boxes.size(), 1u) << r.output;
    EXPECT_EQ(boxes[0], FromGbk(FormatRuntimeErrorText("boom", 0)));
    EXPECT_EQ(r.output.find("fault"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Unhandled"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("returned"), std::string::npos) << r.output;
}

}  // namespace
