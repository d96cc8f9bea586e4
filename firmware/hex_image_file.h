// Converts a hexadecimal firmware file into the image file that the
// download engine sends: the four header bytes, then the flash image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/hex_failure.h"

namespace kestrel {

// Reads `sourcePath` into `file`: the image file's bytes as they are to be
// written. Once the source has been read there is always something to
// write: the header alone when the format is not recognised, header and
// image (as far as it was filled) otherwise; when the source cannot be
// read, nothing.
HexConversion ReadHexImage(const std::string& sourcePath, std::vector<uint8_t>& file);

// Reads `sourcePath` and writes `outputPath`, replacing it. Once the
// source has been read the output is always written: the header alone when
// the format is not recognised, header and image (as far as it was filled)
// otherwise. A failure to create or write the output fails the conversion.
HexConversion ConvertHexImage(const std::string& sourcePath, const std::string& outputPath);

} // namespace kestrel
