// Opening a picture file by its GBK name on Windows: converted with code page
// 936 whatever the system's code page, then opened by its wide name.
#include "runtime/pictures/picture_internal.h"

#include "runtime/core/gbk_wide.h"

#include <windows.h>

namespace pictures {

FILE* OpenPictureFile(const char* fileName) {
    std::wstring wide = GbkToWide(fileName ? fileName : "");
    if (wide.empty()) {
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"rb");
}

} // namespace pictures
