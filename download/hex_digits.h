// The character level of hexadecimal firmware files: digit values, bytes
// from digit pairs and the two record checksums. Record splitting builds on
// this and never looks at a character itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrel {

// Value of one hexadecimal digit (either letter case), or -1.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

enum class HexBytesStatus { Ok, Short, NonHex };

// Decodes `count` bytes from the digit pairs that start at `pos`. A line
// that ends early is Short; a character that is not a digit is NonHex,
// whichever comes first.
inline HexBytesStatus DecodeHexBytes(std::string_view text, size_t pos, size_t count,
                                     uint8_t* out) {
    for (size_t i = 0; i < count; ++i, pos += 2) {
        if (pos >= text.size()) return HexBytesStatus::Short;
        const int high = HexDigitValue(text[pos]);
        if (high < 0) return HexBytesStatus::NonHex;
        if (pos + 1 >= text.size()) return HexBytesStatus::Short;
        const int low = HexDigitValue(text[pos + 1]);
        if (low < 0) return HexBytesStatus::NonHex;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return HexBytesStatus::Ok;
}

// Both formats sum every byte of the record except the checksum itself,
// modulo 256; they differ only in how the last byte completes the sum.
constexpr uint8_t ByteSum(const uint8_t* bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

// Intel: the two's complement, so all bytes including it add up to 0.
constexpr uint8_t IntelChecksum(const uint8_t* bytes, size_t count) {
    return static_cast<uint8_t>(0x100 - ByteSum(bytes, count));
}

// Motorola: the one's complement of the sum.
constexpr uint8_t MotorolaChecksum(const uint8_t* bytes, size_t count) {
    return static_cast<uint8_t>(~ByteSum(bytes, count));
}

}  // namespace kestrel
