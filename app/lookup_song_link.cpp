#include "app/lookup_song_link.h"

#include "app/call.h"
#include "app/owned.h"
#include "app/program.h"
#include "app/text/unicode_escapes.h"
#include "app/text_between.h"
#include "app/timestamp.h"
#include "app/unit_access.h"
#include "app/value_helpers.h"
#include "app/web/winhttp_visit.h"
#include "app/web/wininet_visit.h"
#include "runtime/commands/system_commands.h"
#include "runtime/commands/text_commands.h"
#include "runtime/forms/window_loader.h"

#ifndef SONGLINK_ENDPOINT_HOST
#error "SONGLINK_ENDPOINT_HOST names the play-data endpoint's host; the build sets it"
#endif

namespace {

constexpr const char* kEndpointPrefix = "http://" SONGLINK_ENDPOINT_HOST "/yy/index.php?r=play/getdata&hash=";

// Both downloads come from the network, the cover from a host the reply
// names: neither may exhaust the 32-bit process or freeze the window for
// ever. A record is a few kilobytes and a cover a few hundred kilobytes.
constexpr uint32_t kReplyLimit = 16u << 20;
constexpr uint32_t kCoverLimit = 32u << 20;
// The end-to-end tests' build waits a few seconds instead of a minute.
#ifndef SONGLINK_DOWNLOAD_DEADLINE_SECONDS
#define SONGLINK_DOWNLOAD_DEADLINE_SECONDS 60
#endif
constexpr uint32_t kDownloadDeadlineMs = SONGLINK_DOWNLOAD_DEADLINE_SECONDS * 1000u;

// Replaces a program-level text, releasing what it held.
void Assign(Text& variable, OwnedText value)
{
    RuntimeFree(variable);
    variable = value.Release();
}

// Only a web address may be fetched or reach the browser control: an
// address from the network that names javascript:, vbscript: or file: would
// run script or open local files in it, and one without a scheme is read as
// http by the request and may name any host.
bool IsWebAddress(const char* address)
{
    OwnedText trimmed = Call::Text(TrimBoth, address);
    OwnedText head = Call::Text(ToLower, Call::Text(LeftText, trimmed, 8));
    return Call::Int(FindText, head, "http://", kOmitted, kOmitted) == 1 ||
           Call::Int(FindText, head, "https://", kOmitted, kOmitted) == 1;
}

}  // namespace

void LookupSongLink()
{
    ProgramVariables& program = Program();

    OwnedText content = ReadUnitText(kMainWindowId, kEditBoxUnitId, 8);
    OwnedText hash = TextBetween(content.Get(), "hash=", "&album_id=");
    content = ReadUnitText(kMainWindowId, kEditBoxUnitId, 8);
    OwnedText sentinelled = ConcatTexts({content.Get(), "gequ"});
    OwnedText albumId = TextBetween(sentinelled.Get(), "&album_id=", "gequ");
    content.Reset();
    sentinelled.Reset();

    OwnedText timestamp = MakeTimestamp();
    OwnedText address = ConcatTexts({kEndpointPrefix, hash.Get(), "&album_id=", albumId.Get(), "&_=", timestamp.Get()});
    hash.Reset();
    albumId.Reset();
    timestamp.Reset();

    web::WinHttpVisitArgs request;
    request.address = address.Get();
    request.maxBodyBytes = kReplyLimit;
    request.deadlineMs = kDownloadDeadlineMs;
    OwnedText reply(web::WinHttpVisit(request));
    address.Reset();
    // The request lets waiting window messages through, so the user may have
    // closed the window meanwhile; a lookup whose window is gone has no one
    // to show anything to and stops without a word.
    if (!IsWindowLoaded(kMainWindowId)) return;
    OwnedText replyText = DecodeUnicodeEscapes(reply.Get());
    reply.Reset();

    Assign(program.coverAddress, TextBetween(replyText.Get(), "img\":\"", ".jpg"));
    Assign(program.coverAddress, ConcatTexts({program.coverAddress, ".jpg"}));
    // Any other address is a download that yielded nothing.
    OwnedBytes cover;
    if (IsWebAddress(program.coverAddress)) {
        web::WinInetVisitArgs coverRequest;
        coverRequest.address = program.coverAddress;
        coverRequest.maxBodyBytes = kCoverLimit;
        coverRequest.deadlineMs = kDownloadDeadlineMs;
        cover.Reset(web::WinInetVisit(coverRequest));
    }
    if (!IsWindowLoaded(kMainWindowId)) return;
    // The window keeps its own copy of the picture bytes.
    WriteUnitBytes(kMainWindowId, kWindowUnitId, 11, cover.Get());
    cover.Reset();

    Assign(program.audioAddress, TextBetween(replyText.Get(), "play_url\":\"", "\",\"authors"));
    bool found = Call::Int(FindTextReverse, program.audioAddress, "http", kOmitted, kOmitted) != -1;
    if (found && IsWebAddress(program.audioAddress)) {
        // Only the address: what the browser then does (playing the audio,
        // offering the file for saving, asking about a certificate it cannot
        // check) is its own business, and a silent browser would ask nothing,
        // not even where to save the file.
        WriteUnitText(kMainWindowId, kHtmlViewerUnitId, 11, program.audioAddress);
    } else {
        Call::Raw(ShowMessageBox, "未找到下载链接！", 0, kOmitted, kOmitted);
    }
}
