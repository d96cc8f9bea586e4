// Splits one line of a hexadecimal firmware file into its record fields and
// checks it whole (length, digits, checksum) before anything of it is used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "firmware/hex_failure.h"

namespace kestrel {

namespace intel {
inline constexpr uint8_t kData = 0x00;
inline constexpr uint8_t kEndOfFile = 0x01;
inline constexpr uint8_t kSegmentBase = 0x02; // base = value * 16
inline constexpr uint8_t kSegmentStart = 0x03;
inline constexpr uint8_t kLinearBase = 0x04; // base = value * 65536
inline constexpr uint8_t kLinearStart = 0x05;
} // namespace intel

// ":" count(1) offset(2) type(1) data(count) checksum(1), all as digit pairs.
struct IntelRecord {
    uint8_t count = 0;
    uint16_t offset = 0;
    uint8_t type = 0;
    // The whole record as decoded: header, data, checksum.
    std::array<uint8_t, 4 + 255 + 1> bytes{};

    const uint8_t* data() const { return bytes.data() + 4; }
    // The value of a base-address record (types 02 and 04).
    uint16_t BaseValue() const { return static_cast<uint16_t>(data()[0] << 8 | data()[1]); }
};

// `line` begins with ':' and has its line end removed.
HexFailure ParseIntelRecord(std::string_view line, IntelRecord& record);

// "S" type(1 digit) count(1) address(2, 3 or 4) data checksum(1); the count
// covers address, data and checksum.
struct SRecord {
    int type = 0; // 0..9
    uint32_t address = 0;
    size_t dataCount = 0;
    // The whole record as decoded: count, address, data, checksum.
    std::array<uint8_t, 1 + 255> bytes{};
    size_t dataStart = 0;

    const uint8_t* data() const { return bytes.data() + dataStart; }
};

// Address width in bytes of an S-record type; 0 for a type that does not exist.
size_t SRecordAddressBytes(int type);

// `line` begins with 'S' or 's' and has its line end removed.
HexFailure ParseSRecord(std::string_view line, SRecord& record);

} // namespace kestrel
