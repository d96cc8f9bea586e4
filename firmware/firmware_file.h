// Reads a firmware image whole, for reading only: a read-only file is a
// perfectly good firmware file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

enum class FirmwareStatus { Ok, OpenFailed, Empty };

struct FirmwareImage {
    FirmwareStatus status = FirmwareStatus::OpenFailed;
    std::vector<uint8_t> bytes;
};

FirmwareImage ReadFirmwareFile(const std::string& path);

}  // namespace kestrel
