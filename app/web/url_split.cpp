#include "app/web/url_split.h"

#include "app/web/gbk_text.h"

namespace web {

std::string HostOfUrl(std::string_view address, bool mainDomainOnly, bool keepPort, std::optional<int32_t> levels)
{
    std::string u = ToLower(std::string(address));
    if (!levels) {
        if (RightText(u, 1) != "/") u += "/";
        if (LeftText(u, 8) == "https://") {
            u = TextBetween(u, "https://", "/");
        } else {
            if (!Contains(u, "http://")) u = "http://" + u;
            u = TextBetween(u, "http://", "/");
        }
        if (mainDomainOnly) {
            std::vector<std::string> parts = SplitText(u, ".");
            if (parts.size() > 1) u = parts[parts.size() - 2] + "." + parts.back();
        }
    } else {
        u = ReplaceAll(u, "http://", "", true);
        u = ReplaceAll(u, "https://", "", true);
        int32_t slash = FindText(u, "/");
        if (slash != -1) u = LeftText(u, slash - 1);
        int32_t len = TextLength(u);
        int32_t p = len;
        // A negative count repeats nothing, as a counted loop would.
        for (int32_t i = 0; i < *levels; ++i) {
            p = FindTextReverse(u, ".", p);
            // Once nothing is left to find, every further search starts from
            // -1 and finds nothing again; stop there so a huge count costs
            // nothing more.
            if (p == -1) break;
        }
        int32_t p2 = FindTextReverse(u, ".", p);
        if (mainDomainOnly) {
            u = RightText(u, int64_t{len} - p2);
        } else if (p2 != -1) {
            int32_t p3 = FindTextReverse(u, ".", p2);
            if (p3 != -1) u = RightText(u, int64_t{len} - p3);
        }
    }
    if (keepPort) return u;
    int32_t colon = FindText(u, ":");
    return colon == -1 ? u : LeftText(u, colon - 1);
}

int32_t PortOfUrl(std::string_view address)
{
    std::string a(address);
    std::string h = HostOfUrl(a, false, true);
    int32_t colon = FindTextReverse(h, ":");
    if (colon != -1) return TextToInt(RightText(h, int64_t{TextLength(h)} - colon));
    return LeftText(ToLower(a), 5) == "https" ? 443 : 80;
}

std::string PathOfUrl(std::string_view address)
{
    std::string a(address);
    std::string h = HostOfUrl(a);
    int32_t p = FindText(a, h, 1, true);
    int32_t q = FindText(a, "/", p, true);
    if (q > 0) return RightText(a, int64_t{TextLength(a)} - q + 1);
    return "/";
}

std::string HeaderValue(std::string_view text)
{
    std::string t(text);
    int32_t colon = FindText(t, ":");
    if (colon == -1) return {};
    return TrimBoth(RightText(t, int64_t{TextLength(t)} - colon));
}

}  // namespace web
