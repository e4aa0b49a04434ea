// The real program saved into a folder that also holds files named like the
// system libraries it uses (Winhttp.dll, wininet.dll, atl.dll), as a web page
// can leave them in a downloads folder. Each leaves a mark when its start-up
// code runs and refuses to load. Windows prefers such files for libraries that
// are not among its "known DLLs"; under Wine the program is told to do the same.
#include "tests/app/e2e/window_driver.h"
#include "tests/app/web/loopback_server.h"
#include "tests/runtime/pictures/picture_files.h"
#include "tests/support/child_process.h"
#include "tests/support/message_box_probe.h"
#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <utility>

namespace {

constexpr uint16_t kPort = SONGLINK_TEST_PORT;
const COLORREF kCoverColours[] = {RGB(20, 160, 90), RGB(30, 60, 200)};
const wchar_t* const kPlanted[] = {L"Winhttp.dll", L"wininet.dll", L"atl.dll"};

std::wstring TestFolder()
{
    std::wstring self = CurrentExecutablePath();
    return self.substr(0, self.find_last_of(L"\\/") + 1);
}

std::string Cover(COLORREF colour)
{
    auto bytes = picture_files::Jpeg(32, 32, [colour](int, int) {
        return picture_files::Rgba{GetRValue(colour), GetGValue(colour), GetBValue(colour), 255};
    });
    return std::string(bytes.begin(), bytes.end());
}

// The record for album N names the cover /cover/N.jpg (the N-th colour) and
// the audio /audio/N.mp3, so each lookup's cover and audio are its own.
class MusicService {
public:
    MusicService() : server_(kPort)
    {
        server_.SetRouter([](const LoopbackRequest& request) {
            const std::string target = request.Target();
            const std::string base = "http:\\/\\/127.0.0.1:" + std::to_string(kPort);
            std::smatch m;
            LoopbackReply reply;
            if (std::regex_search(target, m, std::regex(R"(^/yy/.*album_id=(\d+))"))) {
                std::string n = m[1];
                reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: text/html; charset=utf-8\r\n",
                                                       R"({"status":1,"data":{"img":")" + base + R"(\/cover\/)" + n +
                                                           R"(.jpg","play_url":")" + base + R"(\/audio\/)" + n +
                                                           R"(.mp3","authors":[]}})");
            } else if (std::regex_search(target, m, std::regex(R"(^/cover/([12])\.jpg)"))) {
                reply.bytes = LoopbackServer::Response(200, "OK", "Content-Type: image/jpeg\r\n",
                                                       Cover(kCoverColours[std::stoi(m[1]) - 1]));
            } else if (target.rfind("/audio/", 0) == 0) {
                reply.bytes = LoopbackServer::NoContent();
            } else {
                reply.bytes = LoopbackServer::Response(404, "Not Found", "", "");
            }
            return reply;
        });
    }

    bool Requested(const std::string& target, uint32_t timeoutMs) const
    {
        return WaitUntil(
            [&] {
                for (const LoopbackRequest& r : server_.Requests())
                    if (r.Target() == target) return true;
                return false;
            },
            timeoutMs);
    }

private:
    LoopbackServer server_;
};

// The copy of the program joins the planted files only for the test.
class ProgramCopy {
public:
    explicit ProgramCopy(std::wstring path) : path_(std::move(path)) {}
    ~ProgramCopy() { DeleteFileW(path_.c_str()); }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

private:
    std::wstring path_;
};

TEST(SongLinkPlantedLibraries, FilesNamedLikeSystemLibrariesNeverRun)
{
    // The folder holds the planted files (built there); the program joins them.
    const std::wstring folder = TestFolder() + L"planted\\";
    const std::wstring program = folder + L"songlink_planted.exe";
    ASSERT_TRUE(CopyFileW((TestFolder() + L"songlink_e2e.exe").c_str(), program.c_str(), FALSE));
    ProgramCopy copy(program);
    for (const wchar_t* name : kPlanted) {
        ASSERT_NE(GetFileAttributesW((folder + name).c_str()), INVALID_FILE_ATTRIBUTES);
        DeleteFileW((folder + name + L".loaded").c_str());
    }
    MusicService service;
    NativeFirstUnderWine asWindowsDoes(L"songlink_planted.exe");
    ChildProcess child;
    ASSERT_TRUE(child.Start(program, L""));
    HWND window = WaitForTopLevelWindow(child.ProcessId(), L"WTWindow", 20000);
    ASSERT_NE(window, nullptr) << "the window never appeared\n" << child.Output();
    HWND edit = FindChildWindow(window, L"Edit");
    std::wstring caption = FromGbk("下载");
    HWND button = FindChildWindow(window, L"Button", &caption);
    ASSERT_TRUE(edit && button);

    // Two lookups in a row: the first binds the WinHttp and WinInet commands,
    // the second uses them bound.
    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE(n);
        std::wstring address = L"#hash=ABC&album_id=" + std::to_wstring(n);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        TypeText(edit, address);
        ASSERT_TRUE(WaitUntil([&] { return WindowText(edit) == address; }, 5000));
        PostMessageW(button, BM_CLICK, 0, 0);
        ASSERT_TRUE(child.WaitForOutput("lookup done", n, 20000)) << child.Output();
        EXPECT_TRUE(WaitUntil([&] { return NearColour(ClientPixel(window, 20, 70), kCoverColours[n - 1], 12); }, 5000))
            << std::hex << ClientPixel(window, 20, 70);
        EXPECT_TRUE(service.Requested("/audio/" + std::to_string(n) + ".mp3", 20000));
    }
    EXPECT_FALSE(FindAndDismissMessageBox(child.ProcessId(), FromGbk("信息：")).found);

    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(child.Wait(15000));
    EXPECT_EQ(child.ExitCode(), 0u);
    for (const wchar_t* name : kPlanted) {
        EXPECT_EQ(GetFileAttributesW((folder + name + L".loaded").c_str()), INVALID_FILE_ATTRIBUTES)
            << "the planted " << std::string(name, name + wcslen(name)) << " ran";
        DeleteFileW((folder + name + L".loaded").c_str());
    }
}

}  // namespace
