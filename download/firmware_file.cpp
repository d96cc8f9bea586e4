#include "download/firmware_file.h"

#include <fstream>
#include <new>

namespace kestrel {

FirmwareImage ReadFirmwareFile(const std::string& path) {
    FirmwareImage image;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return image;
    const std::streamoff length = in.tellg();
    if (length < 0) return image;
    if (length == 0) {
        image.status = FirmwareStatus::Empty;
        return image;
    }
    in.seekg(0);
    try {
        image.bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return image;
    }
    if (!in.read(reinterpret_cast<char*>(image.bytes.data()), length) ||
        in.gcount() != length) {
        image.bytes.clear();
        return image;
    }
    image.status = FirmwareStatus::Ok;
    return image;
}

}  // namespace kestrel
