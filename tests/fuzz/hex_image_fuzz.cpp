// Feeds arbitrary text to the hexadecimal converter. Whatever comes in, the
// answer must be a whole image or a named refusal: never a crash, a read or
// write outside a buffer, or an image of the wrong size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include <string>

#include "firmware/hex_image.h"

namespace {

int Digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Rewrites the last digit pair of every record-like line to the checksum
// its other pairs call for. A fuzzer hardly ever guesses a checksum, so
// without this it would rarely get past that check to the addresses and
// the image behind it.
std::string WithChecksumsRepaired(std::string_view text) {
    std::string out(text);
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        size_t stop = end;
        if (stop > start && out[stop - 1] == '\r')
            --stop;
        const bool intel = out[start] == ':';
        const bool srec = out[start] == 'S' || out[start] == 's';
        const size_t first = start + (intel ? 1 : 2);
        if ((intel || srec) && stop >= first + 2 && (stop - first) % 2 == 0) {
            unsigned sum = 0;
            bool digits = true;
            for (size_t i = first; i + 2 < stop; i += 2) {
                const int high = Digit(out[i]), low = Digit(out[i + 1]);
                if (high < 0 || low < 0)
                    digits = false;
                sum += static_cast<unsigned>(high << 4 | low);
            }
            if (digits) {
                const unsigned check = (intel ? 0x100 - (sum & 0xFF) : ~sum) & 0xFF;
                static const char* kHex = "0123456789ABCDEF";
                out[stop - 2] = kHex[check >> 4];
                out[stop - 1] = kHex[check & 0xF];
            }
        }
        start = end + 1;
    }
    return out;
}

void Check(std::string_view text) {
    // Kept between runs: a fresh 256 KiB buffer per input costs more than the parse.
    static std::vector<uint8_t> image, again;
    const kestrel::HexConversion result = kestrel::BuildHexImage(text, image);

    if (image.size() != kestrel::kFlashImageSize)
        std::abort();
    if (result.ok() != (result.failure == kestrel::HexFailure::None))
        std::abort();
    // A refusal of a record points at a line that exists; success points at none.
    if (result.ok() && result.line != 0)
        std::abort();
    if (!result.ok() && result.line != 0) {
        size_t lines = 1;
        for (char c : text)
            lines += c == '\n';
        if (result.line > lines)
            std::abort();
    }
    // Only the file-level failures can come out of text alone.
    switch (result.failure) {
    case kestrel::HexFailure::SourceOpenFailed:
    case kestrel::HexFailure::OutOfMemory:
    case kestrel::HexFailure::OutputCreateFailed:
    case kestrel::HexFailure::OutputWriteFailed:
        std::abort();
    default:
        break;
    }
    // The same text always gives the same image.
    if (kestrel::BuildHexImage(text, again).failure != result.failure || again != image)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text);
    Check(WithChecksumsRepaired(text));
    return 0;
}
