// The character level of hexadecimal firmware files: digit values, bytes
// from digit pairs and the two record checksums. Record splitting builds on
// this and never looks at a character itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrel {

// Digit values by character; 0xFF marks a character that is not a digit.
// A table, not comparisons: firmware data is random-looking, so branches
// on the digit's range would be mispredicted about every other character.
inline constexpr auto kHexDigitTable = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 0xFF;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}();

// Value of one hexadecimal digit (either letter case), or -1.
constexpr int HexDigitValue(char c) {
    const uint8_t v = kHexDigitTable[static_cast<unsigned char>(c)];
    return v == 0xFF ? -1 : v;
}

enum class HexBytesStatus { Ok, Short, NonHex };

// Decodes `count` bytes from the digit pairs that start at `pos` and adds
// them to `sum` (for the checksum). A line that ends early is Short; a
// character that is not a digit is NonHex, whichever comes first.
inline HexBytesStatus DecodeHexBytes(std::string_view text, size_t pos, size_t count, uint8_t* out,
                                     unsigned& sum) {
    // Fast path for the usual whole, clean record: no per-character checks.
    if (pos <= text.size() && count <= (text.size() - pos) / 2) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
        unsigned bad = 0, added = 0;
        for (size_t i = 0; i < count; ++i) {
            const unsigned high = kHexDigitTable[p[2 * i]];
            const unsigned low = kHexDigitTable[p[2 * i + 1]];
            bad |= high | low;
            const unsigned byte = (high << 4 | low) & 0xFF;
            added += byte;
            out[i] = static_cast<uint8_t>(byte);
        }
        if ((bad & 0x80) == 0) {
            sum += added;
            return HexBytesStatus::Ok;
        }
    }
    // Find which fault comes first.
    for (size_t i = 0; i < count; ++i, pos += 2) {
        if (pos >= text.size())
            return HexBytesStatus::Short;
        const int high = HexDigitValue(text[pos]);
        if (high < 0)
            return HexBytesStatus::NonHex;
        if (pos + 1 >= text.size())
            return HexBytesStatus::Short;
        const int low = HexDigitValue(text[pos + 1]);
        if (low < 0)
            return HexBytesStatus::NonHex;
        out[i] = static_cast<uint8_t>(high << 4 | low);
        sum += out[i];
    }
    return HexBytesStatus::Ok;
}

// Both formats sum every byte of a record modulo 256; they differ in how
// the checksum byte completes the sum of all the others.
// Intel: the two's complement, so the sum of all bytes, checksum included, is 0.
constexpr bool IntelSumValid(unsigned sumWithChecksum) {
    return (sumWithChecksum & 0xFF) == 0;
}
// Motorola: the one's complement, so the sum of all bytes is 0xFF.
constexpr bool MotorolaSumValid(unsigned sumWithChecksum) {
    return (sumWithChecksum & 0xFF) == 0xFF;
}

} // namespace kestrel
