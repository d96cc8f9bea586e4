// Hexadecimal firmware text (Intel HEX or Motorola S2/S3 records) to the
// flat flash image that printers of the hex-firmware families take.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "download/hex_failure.h"

namespace kestrel {

inline constexpr size_t kFlashImageSize = 0x40000;  // 262,144 bytes
inline constexpr uint8_t kFlashErased = 0xFF;
// Goes in front of the image on the wire: escape, "#mk".
inline constexpr std::array<uint8_t, 4> kFlashImageHeader = {0x1B, 0x23, 0x6D, 0x6B};

enum class HexFormat { Intel, SRecord };

// First pass: which format the text is in, and whether every line belongs
// to it. Nothing is decoded yet, so a stray line of text is named before
// any record is looked at.
HexConversion DecideHexFormat(std::string_view text, HexFormat& format);

// Second pass: places the data of every record in `image` (kFlashImageSize
// bytes, already erased). Stops at the first faulty line; what was placed
// before it stays.
HexConversion FillHexImage(std::string_view text, HexFormat format, uint8_t* image);

// Both passes: `image` becomes kFlashImageSize bytes, erased, then filled.
HexConversion BuildHexImage(std::string_view text, std::vector<uint8_t>& image);

}  // namespace kestrel
