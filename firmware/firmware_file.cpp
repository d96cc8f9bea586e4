#include "firmware/firmware_file.h"

#include <cstdio>
#include <memory>
#include <new>

namespace kestrel {

namespace {

// The C library's FILE rather than a stream: the program then links none of
// the C++ library's stream and locale code, which would be most of its size.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

FirmwareImage ReadFirmwareFile(const std::string& path) {
    FirmwareImage image;
    FileHandle in(std::fopen(path.c_str(), "rb"));
    if (!in) return image;
    if (std::fseek(in.get(), 0, SEEK_END) != 0) return image;
    const long length = std::ftell(in.get());
    if (length < 0) return image;
    if (length == 0) {
        image.status = FirmwareStatus::Empty;
        return image;
    }
    if (std::fseek(in.get(), 0, SEEK_SET) != 0) return image;
    try {
        image.bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return image;
    }
    if (std::fread(image.bytes.data(), 1, image.bytes.size(), in.get()) != image.bytes.size()) {
        image.bytes.clear();
        return image;
    }
    image.status = FirmwareStatus::Ok;
    return image;
}

}  // namespace kestrel
