// Opening a picture file in the native build (tests and fuzzing): names are
// taken as they are.
#include "runtime/pictures/picture_internal.h"

namespace pictures {

FILE* OpenPictureFile(const char* fileName) {
    return std::fopen(fileName, "rb");
}

} // namespace pictures
