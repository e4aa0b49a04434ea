#include "app/web/declared_charset.h"

#include <cstddef>
#include <vector>

namespace web {
namespace {

constexpr std::string_view kTagHead = "<meta";
constexpr std::string_view kDeclaration = "charset=";

// The byte offsets where the text's characters start, and its length last:
// a byte from 0x81 to 0xFE with a byte after it starts a double-byte
// character, as code page 936 reads it.
std::vector<size_t> CharacterStarts(std::string_view text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();) {
        starts.push_back(i);
        const auto b = static_cast<unsigned char>(text[i]);
        i += b >= 0x81 && b <= 0xFE && i + 1 < text.size() ? 2 : 1;
    }
    starts.push_back(text.size());
    return starts;
}

class CharacterReader {
public:
    explicit CharacterReader(std::string_view text) : text_(text), starts_(CharacterStarts(text)) {}

    size_t Count() const { return starts_.size() - 1; }

    // The one byte of an ASCII character, or 0 for a double-byte one.
    char Ascii(size_t k) const { return starts_[k + 1] - starts_[k] == 1 ? text_[starts_[k]] : '\0'; }

    bool IsWord(size_t k) const
    {
        const char c = Ascii(k);
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }

    // `word` (lower-case ASCII) at character k, case ignored.
    bool WordAt(size_t k, std::string_view word) const
    {
        if (k + word.size() > Count()) return false;
        for (size_t j = 0; j < word.size(); ++j) {
            char c = Ascii(k + j);
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != word[j]) return false;
        }
        return true;
    }

    // How many characters of "[-\w]" follow from k.
    size_t NameLength(size_t k) const
    {
        size_t end = k;
        while (end < Count() && (IsWord(end) || Ascii(end) == '-')) ++end;
        return end - k;
    }

    std::string_view Span(size_t from, size_t to) const
    {
        return text_.substr(starts_[from], starts_[to] - starts_[from]);
    }

private:
    std::string_view text_;
    std::vector<size_t> starts_;
};

}  // namespace

std::string FindDeclaredCharset(std::string_view text)
{
    const CharacterReader r(text);
    const size_t n = r.Count();
    for (size_t tag = 0; tag < n; ++tag) {
        if (!r.WordAt(tag, kTagHead)) continue;
        // ".+?": at least one character, never a line feed, as few as will do.
        for (size_t at = tag + kTagHead.size() + 1; at <= n && r.Ascii(at - 1) != '\n'; ++at) {
            if (!r.WordAt(at, kDeclaration)) continue;
            const size_t value = at + kDeclaration.size();
            // "[^\w]?" takes its character when the name can still follow it,
            // and gives it up otherwise.
            if (value < n && !r.IsWord(value)) {
                if (const size_t length = r.NameLength(value + 1); length > 0)
                    return std::string(r.Span(value + 1, value + 1 + length));
            }
            if (const size_t length = r.NameLength(value); length > 0)
                return std::string(r.Span(value, value + length));
        }
    }
    return std::string();
}

}  // namespace web
