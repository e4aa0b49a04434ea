// The HTML viewer hosts the system's web browser control, stays hidden as
// loaded, and navigates to its address: the browser's GET reaches a loopback
// server.
#include "runtime/forms/unit_properties.h"
#include "runtime/units/unit_data.h"
#include "tests/app/web/loopback_server.h"
#include "tests/runtime/units/window_fixture.h"

#include <gtest/gtest.h>

using namespace unit_test;

namespace {

constexpr UnitId kViewer = 0x16011EE8;

class HtmlViewerTest : public ::testing::Test {
protected:
    void TearDown() override { UnloadTestWindow(); }
};

TEST_F(HtmlViewerTest, HiddenViewerNavigatesToItsAddress)
{
    LoopbackServer server;
    server.Push(LoopbackServer::Response(200, "OK", "Content-Type: text/plain\r\n", "song"));
    ASSERT_TRUE(LoadTestWindow({kWindowUnitId, kUnitTypeWindow, 50, 50, 415, 127},
                               {{kViewer, kUnitTypeHtmlViewer, 10, 10, 100, 40, kUnitTabStop, {}}}));
    HWND host = UnitWindow(kViewer);
    ASSERT_NE(host, nullptr) << "the browser control could not be hosted";
    EXPECT_FALSE(IsWindowVisible(host)) << "only the tab-stop flag: created hidden";
    EXPECT_NE(GetDlgItem(host, 0xE900), nullptr) << "the control's window";
    EXPECT_TRUE(server.Requests().empty()) << "no address, no navigation";

    const std::string address = server.Url("/yy/song.mp3?x=1");
    WriteUnitProperty(kWindowId, kViewer, 8 + 3, -1, reinterpret_cast<uintptr_t>(address.c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); }, 20000)) << "the browser sent no request";
    const LoopbackRequest request = server.Requests()[0];
    EXPECT_EQ(request.Method(), "GET");
    EXPECT_EQ(request.Target(), "/yy/song.mp3?x=1");
    EXPECT_FALSE(IsWindowVisible(host));
}

}  // namespace
