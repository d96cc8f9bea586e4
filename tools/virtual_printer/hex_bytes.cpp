#include "tools/virtual_printer/hex_bytes.h"

namespace kestrel::vprinter {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

} // namespace

HexParse ParseHexBytes(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        std::string_view token = text.substr(i, end - i);
        if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
            token.remove_prefix(2);
        if (token.size() % 2 != 0)
            return {std::nullopt, "odd number of hex digits in '" + std::string(token) + "'"};
        for (std::size_t k = 0; k < token.size(); k += 2) {
            const int hi = HexDigit(token[k]);
            const int lo = HexDigit(token[k + 1]);
            if (hi < 0 || lo < 0)
                return {std::nullopt, "not a hex byte: '" + std::string(token.substr(k, 2)) + "'"};
            out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        }
        i = end;
    }
    if (out.empty())
        return {std::nullopt, "no bytes given"};
    return {std::move(out), {}};
}

} // namespace kestrel::vprinter
