#include "app/web/url_split.h"

#include "app/web/gbk_text.h"

namespace web {

std::string HostOfUrl(std::string_view address, bool mainDomainOnly, bool keepPort, std::optional<int32_t> levels)
{
    std::string u = ToLower(address);
    if (!levels) {
        if (u.empty() || u.back() != '/') u.push_back('/');
        if (LeftText(u, 8) == "https://") {
            u = TextBetween(u, "https://", "/");
        } else {
            if (!Contains(u, "http://")) u.insert(0, "http://");
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
        if (slash != -1) u.resize(static_cast<size_t>(slash - 1));
        auto len = static_cast<int32_t>(u.size());
        int32_t p = len;
        // A negative count repeats nothing, as a counted loop would.
        for (int32_t i = 0; i < *levels; ++i) {
            p = FindTextReverse(u, ".", p);
            // Once nothing is left to find the position stays -1, which the
            // reverse search reads as "the whole text" again; stop there so a
            // huge count costs nothing more.
            if (p == -1 && i > 0) break;
        }
        int32_t p2 = FindTextReverse(u, ".", p);
        if (mainDomainOnly) {
            u = RightText(u, static_cast<int64_t>(len) - p2);
        } else if (p2 != -1) {
            int32_t p3 = FindTextReverse(u, ".", p2);
            if (p3 != -1) u = RightText(u, static_cast<int64_t>(len) - p3);
        }
    }
    if (keepPort) return u;
    int32_t colon = FindText(u, ":");
    if (colon != -1) u.resize(static_cast<size_t>(colon - 1));
    return u;
}

int32_t PortOfUrl(std::string_view address)
{
    std::string h = HostOfUrl(address, false, true);
    int32_t colon = FindTextReverse(h, ":");
    if (colon != -1) return TextToInt(std::string_view(h).substr(static_cast<size_t>(colon)));
    return LeftText(ToLower(address), 5) == "https" ? 443 : 80;
}

std::string PathOfUrl(std::string_view address)
{
    std::string h = HostOfUrl(address);
    int32_t p = FindText(address, h, 1, true);
    int32_t q = FindText(address, "/", p, true);
    if (q > 0) return std::string(address.substr(static_cast<size_t>(q - 1)));
    return "/";
}

std::string HeaderValue(std::string_view text)
{
    int32_t colon = FindText(text, ":");
    if (colon == -1) return {};
    return TrimBoth(text.substr(static_cast<size_t>(colon)));
}

}  // namespace web
