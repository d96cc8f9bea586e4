// Converts a hexadecimal firmware file into the image file that the
// download engine sends: the four header bytes, then the flash image.
#pragma once

#include <string>

#include "download/hex_failure.h"

namespace kestrel {

// Reads `sourcePath` and writes `outputPath`, replacing it. Once the
// source has been read the output is always written: the header alone when
// the format is not recognised, header and image (as far as it was filled)
// otherwise. A failure to create or write the output fails the conversion.
HexConversion ConvertHexImage(const std::string& sourcePath, const std::string& outputPath);

} // namespace kestrel
