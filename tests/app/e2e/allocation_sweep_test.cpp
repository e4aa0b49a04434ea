// Every runtime allocation a lookup makes can fail, and each failure ends the
// same way: the runtime's allocation-failure box, then exit code -1. The test
// build of the program runs one unattended lookup (endpoint, cover, audio,
// against a loopback server) per N, failing its N-th allocation, for every N
// the lookup reaches. A crash, a hang, another exit code or another box is a
// fault.
#include "tests/app/web/loopback_server.h"
#include "tests/runtime/pictures/picture_files.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint16_t kPort = SONGLINK_TEST_PORT;

std::wstring ProgramPath()
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"songlink_e2e.exe";
}

// The endpoint's record names a cover and an audio file on the same server.
class MusicService {
public:
    MusicService() : server_(kPort)
    {
        auto jpeg = picture_files::Jpeg(32, 32, [](int, int) { return picture_files::Rgba{20, 160, 90, 255}; });
        std::string cover(jpeg.begin(), jpeg.end());
        std::string base = "http:\\/\\/127.0.0.1:" + std::to_string(kPort);
        std::string record = R"({"status":1,"data":{"song_name":"\u4e2d\u6587","img":")" + base +
                             R"(\/cover\/c1.jpg","play_url":")" + base +
                             R"(\/audio\/song.mp3","authors":[{"author_name":"\u6b4c\u624b"}]}})";
        server_.SetRouter([record, cover](const LoopbackRequest& request) {
            std::string target = request.Target();
            LoopbackReply reply;
            if (target.rfind("/yy/", 0) == 0)
                reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: text/html; charset=utf-8\r\n", record);
            else if (target.rfind("/cover/", 0) == 0)
                reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: image/jpeg\r\n", cover);
            else
                reply.bytes = LoopbackServer::NoContent();
            return reply;
        });
    }

private:
    LoopbackServer server_;
};

// The boxes a run showed, each read and answered as a person would.
struct BoxesSeen {
    bool errorBox = false;
    std::wstring errorText;
    bool otherBox = false;
};

void AnswerBoxes(uint32_t processId, void* context)
{
    auto* seen = static_cast<BoxesSeen*>(context);
    MessageBoxSeen error = FindAndDismissMessageBox(processId, FromGbk("错误"));
    if (error.found) {
        seen->errorBox = true;
        seen->errorText = error.text;
    }
    if (FindAndDismissMessageBox(processId, FromGbk("信息：")).found) seen->otherBox = true;
}

struct LookupRun {
    ChildResult result;
    BoxesSeen boxes;
};

LookupRun LookupFailingAllocation(int64_t n)
{
    LookupRun run;
    run.result = RunChild(ProgramPath(), L"--lookup " + std::to_wstring(n), 30000, AnswerBoxes, &run.boxes);
    return run;
}

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// What was wrong with a run, or empty when it ended as it may.
std::string Fault(const LookupRun& run)
{
    if (!run.result.started) return "did not start";
    if (run.result.timedOut) return "hung";
    if (run.result.exitCode == 0) {
        if (run.boxes.errorBox) return "ended normally after an error box";
        if (run.result.output.find("lookup done") == std::string::npos) return "ended normally before the lookup did";
        return {};
    }
    if (run.result.exitCode == 0xFFFFFFFFu) {
        if (!run.boxes.errorBox) return "exit code -1 without the error box";
        if (run.boxes.errorText.find(FromGbk("字节内存失败!")) == std::wstring::npos)
            return "another runtime error than the allocation failure: " + Utf8(run.boxes.errorText);
        return {};
    }
    char code[32];
    std::snprintf(code, sizeof code, "exit code 0x%08X", run.result.exitCode);
    return code;
}

TEST(AllocationFailure, EveryAllocationOfALookupEndsInTheBoxOrNormally)
{
    MusicService service;
    LookupRun clean = LookupFailingAllocation(0);
    ASSERT_EQ(Fault(clean), "") << clean.result.output;
    EXPECT_FALSE(clean.boxes.otherBox);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(clean.result.output, m, std::regex(R"(allocations (\d+))"))) << clean.result.output;
    const int64_t allocations = std::stoll(m[1]);
    ASSERT_GT(allocations, 20);
    // How the body arrives in pieces can change the count by a few between
    // runs: go a little past it.
    const int64_t last = allocations + 8;

    std::atomic<int64_t> next{1};
    std::atomic<int64_t> endedInTheBox{0};
    std::mutex faultsLock;
    std::vector<std::string> faults;
    auto worker = [&] {
        for (int64_t n = next++; n <= last; n = next++) {
            LookupRun run = LookupFailingAllocation(n);
            std::string fault = Fault(run);
            if (run.boxes.errorBox) ++endedInTheBox;
            if (fault.empty()) continue;
            std::lock_guard<std::mutex> lock(faultsLock);
            faults.push_back("allocation " + std::to_string(n) + ": " + fault + "\n" + run.result.output);
        }
    };
    // Two runs at a time: each spends much of its time waiting on the loopback
    // server and the display.
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    std::printf("%lld lookups, each failing one of %lld allocations: %lld ended in the box\n",
                static_cast<long long>(last), static_cast<long long>(allocations),
                static_cast<long long>(endedInTheBox.load()));
    for (const std::string& f : faults) ADD_FAILURE() << f;
    // Nearly every allocation of a lookup is one that cannot be done without.
    EXPECT_GE(endedInTheBox.load(), allocations * 3 / 4) << "of " << allocations;
}

}  // namespace
