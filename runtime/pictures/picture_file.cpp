// DecodePictureFile: the file's contents through DecodePicture.
#include "runtime/pictures/picture.h"

#include "runtime/pictures/picture_internal.h"

#include <cstdio>
#include <vector>

namespace {

// No picture file of ours is larger; a bigger one is refused unread.
constexpr long kMaxPictureFileBytes = 256L << 20;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

std::unique_ptr<Picture> DecodePictureFile(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return nullptr;
    }
    try {
        std::unique_ptr<FILE, FileCloser> file(pictures::OpenPictureFile(fileName));
        if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
            return nullptr;
        }
        long size = std::ftell(file.get());
        if (size <= 0 || size > kMaxPictureFileBytes || std::fseek(file.get(), 0, SEEK_SET) != 0) {
            return nullptr;
        }
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
            return nullptr;
        }
        return DecodePicture(bytes.data(), int64_t(bytes.size()));
    } catch (...) {
        return nullptr; // out of memory for the file's bytes: no picture
    }
}
