// Bytes written as hexadecimal text, as a tester types them on a command
// line or into the control channel: "14 00 00 0f", "1400000f", "0x14,0x00".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::vprinter {

struct HexParse {
    std::optional<std::vector<std::uint8_t>> bytes;
    std::string error; // set when bytes is empty
};

// Tokens are separated by spaces, tabs or commas; each token is an even
// number of hex digits with an optional 0x prefix. At least one byte.
HexParse ParseHexBytes(std::string_view text);

} // namespace kestrel::vprinter
