// The steps of a lookup that need no Win32 (cutting the address, building the
// request address, reading a reply without the script engine, cutting out and
// splitting the cover and audio addresses, decoding the cover), run with each
// of their runtime allocations failing in turn, under the sanitizers. Each run
// is a forked child: it must end normally or with the allocation-failure
// report and exit code -1, never with a sanitizer report or a signal.
#include "app/call.h"
#include "app/text/script_literal.h"
#include "app/text_between.h"
#include "app/timestamp.h"
#include "app/value_helpers.h"
#include "app/web/url_split.h"
#include "runtime/commands/text_commands.h"
#include "runtime/core/heap.h"
#include "runtime/pictures/picture.h"
#include "tests/runtime/pictures/picture_files.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// A reply as the fallback reads it: its "\u" already turned into "%u".
const char kReply[] = "{\"status\":1,\"data\":{\"song_name\":\"%u4e2d%u6587\",\"img\":\"http:\\/\\/c.example:8080\\/"
                      "cover\\/c1.jpg\",\"play_url\":\"http:\\/\\/a.example\\/s.mp3\",\"authors\":[]}}\\";

void LookupSteps(const std::vector<uint8_t>& cover)
{
    OwnedText content(CopyText("https://www.example.com/song/#hash=ABC&album_id=123"));
    OwnedText hash = TextBetween(content.Get(), "hash=", "&album_id=");
    OwnedText sentinelled = ConcatTexts({content.Get(), "gequ"});
    OwnedText albumId = TextBetween(sentinelled.Get(), "&album_id=", "gequ");
    OwnedText timestamp = MakeTimestamp();
    OwnedText address = ConcatTexts({"http://h/yy/index.php?r=play/getdata&hash=", hash.Get(),
                                     "&album_id=", albumId.Get(), "&_=", timestamp.Get()});
    OwnedText reply = UnescapeScriptLiteral(kReply);
    OwnedText coverAddress = TextBetween(reply.Get(), "img\":\"", ".jpg");
    coverAddress = ConcatTexts({coverAddress.Get(), ".jpg"});
    web::HostOfUrl(coverAddress.View());
    web::PortOfUrl(coverAddress.View());
    web::PathOfUrl(coverAddress.View());
    DecodePicture(cover.data(), static_cast<int64_t>(cover.size()));
    OwnedText audio = TextBetween(reply.Get(), "play_url\":\"", "\",\"authors");
    Call::Int(FindTextReverse, audio, "http", kOmitted, kOmitted);
    OwnedText trimmed = Call::Text(TrimBoth, audio);
    OwnedText head = Call::Text(ToLower, Call::Text(LeftText, trimmed, 8));
    Call::Int(FindText, head, "http://", kOmitted, kOmitted);
}

struct ChildEnd {
    int status = 0;
    std::string err;
};

ChildEnd RunFailing(int64_t n, const std::vector<uint8_t>& cover)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], 2);
        RuntimeFailAllocationAfter(n);
        LookupSteps(cover);
        _exit(0);
    }
    close(pipeFds[1]);
    ChildEnd end;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        end.err.append(buffer, static_cast<size_t>(got));
    close(pipeFds[0]);
    waitpid(pid, &end.status, 0);
    return end;
}

TEST(LookupAllocationFailure, EveryAllocationEndsInTheReportOrNormally)
{
    auto cover = picture_files::Jpeg(16, 16, [](int, int) { return picture_files::Rgba{20, 160, 90, 255}; });
    int64_t before = RuntimeAllocationCount();
    LookupSteps(cover);
    const int64_t allocations = RuntimeAllocationCount() - before;
    ASSERT_GT(allocations, 10);
    const std::string report = "\xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";  // 字节内存失败!
    int64_t reports = 0;
    for (int64_t n = 1; n <= allocations + 2; ++n) {
        ChildEnd end = RunFailing(n, cover);
        ASSERT_TRUE(WIFEXITED(end.status)) << "allocation " << n << ": signal " << WTERMSIG(end.status) << "\n"
                                           << end.err;
        int code = WEXITSTATUS(end.status);
        if (code == 255 && end.err.find(report) != std::string::npos) {
            ++reports;
            continue;
        }
        EXPECT_EQ(code, 0) << "allocation " << n << "\n" << end.err;
        EXPECT_EQ(end.err, "") << "allocation " << n;
    }
    // Every allocation within the steps is one they cannot do without.
    EXPECT_EQ(reports, allocations);
    std::printf("%lld allocations, each failed once: %lld reports\n", static_cast<long long>(allocations),
                static_cast<long long>(reports));
}

}  // namespace
