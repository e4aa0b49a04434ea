// Opening a picture file by its GBK name on Windows: converted with code page
// 936 whatever the system's code page, then opened by its wide name.
#include "runtime/pictures/picture_internal.h"

#include <vector>

#include <windows.h>

namespace pictures {

FILE* OpenPictureFile(const char* fileName) {
    int n = MultiByteToWideChar(936, 0, fileName, -1, nullptr, 0);
    if (n <= 0) {
        return nullptr;
    }
    std::vector<wchar_t> wide(size_t(n), L'\0');
    if (MultiByteToWideChar(936, 0, fileName, -1, wide.data(), n) != n) {
        return nullptr;
    }
    return _wfopen(wide.data(), L"rb");
}

} // namespace pictures
