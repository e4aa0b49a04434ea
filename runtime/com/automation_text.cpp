#include "runtime/com/automation_text.h"

#include "runtime/core/heap.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <vector>

BSTR GbkToBstr(const char* text, int32_t length) {
    if (length < 0)
        length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
    if (!text || length == 0)
        return SysAllocStringLen(L"", 0);
    int wide = MultiByteToWideChar(kGbkCodePage, 0, text, length, nullptr, 0);
    if (wide <= 0)
        return SysAllocStringLen(L"", 0);
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
    if (!out)
        return nullptr;
    MultiByteToWideChar(kGbkCodePage, 0, text, length, out, wide);
    return out;
}

Text BstrToText(BSTR value) {
    UINT units = SysStringLen(value);
    if (!value || units == 0 || units > INT_MAX / 2)
        return nullptr;
    int bytes = WideCharToMultiByte(kGbkCodePage, 0, value, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return nullptr;
    std::vector<char> buffer(static_cast<size_t>(bytes));
    WideCharToMultiByte(kGbkCodePage, 0, value, static_cast<int>(units), buffer.data(), bytes, nullptr, nullptr);
    // A Text ends at its first NUL: an embedded NUL in the string cuts it.
    size_t used = strnlen(buffer.data(), buffer.size());
    return CopyBytesAsText(buffer.data(), static_cast<int64_t>(used));
}

std::wstring GbkToWide(const char* text) {
    if (!text || !*text)
        return {};
    int length = static_cast<int>(std::strlen(text));
    int wide = MultiByteToWideChar(kGbkCodePage, 0, text, length, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring out(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(kGbkCodePage, 0, text, length, out.data(), wide);
    return out;
}
