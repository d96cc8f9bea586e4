// Builds well-formed record lines for the tests, with checksums computed
// here from the textbook definitions, independently of the converter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kestrel::hextest {

inline std::string HexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

inline std::string IntelLine(unsigned type, unsigned offset, const std::vector<uint8_t>& data) {
    std::vector<unsigned> bytes = {static_cast<unsigned>(data.size()), offset >> 8, offset & 0xFF,
                                   type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = ":";
    for (unsigned b : bytes) {
        sum += b;
        line += HexByte(b);
    }
    return line + HexByte(0x100 - (sum & 0xFF));
}

inline std::string IntelBase(unsigned type, unsigned value) {
    return IntelLine(type, 0, {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

inline const std::string kIntelEnd = ":00000001FF";

inline std::string SLine(unsigned type, uint32_t address, const std::vector<uint8_t>& data) {
    const unsigned width = type == 3 || type == 7 ? 4 : type == 2 || type == 8 || type == 6 ? 3 : 2;
    std::vector<unsigned> bytes = {static_cast<unsigned>(width + data.size() + 1)};
    for (unsigned i = width; i-- > 0;)
        bytes.push_back((address >> (8 * i)) & 0xFF);
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string line = "S" + std::to_string(type);
    for (unsigned b : bytes) {
        sum += b;
        line += HexByte(b);
    }
    return line + HexByte(~sum);
}

inline std::string Lines(const std::vector<std::string>& lines, const char* end = "\n") {
    std::string text;
    for (const auto& l : lines)
        text += l + end;
    return text;
}

} // namespace kestrel::hextest
