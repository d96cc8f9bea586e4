// Feeds arbitrary text to the hexadecimal converter. Whatever comes in, the
// answer must be a whole image or a named refusal: never a crash, a read or
// write outside a buffer, or an image of the wrong size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "download/hex_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Kept between runs: a fresh 256 KiB buffer per input costs more than the parse.
    static std::vector<uint8_t> image, again;
    const kestrel::HexConversion result = kestrel::BuildHexImage(text, image);

    if (image.size() != kestrel::kFlashImageSize) std::abort();
    if (result.ok() != (result.failure == kestrel::HexFailure::None)) std::abort();
    // A refusal of a record points at a line that exists; success points at none.
    if (result.ok() && result.line != 0) std::abort();
    if (!result.ok() && result.line != 0) {
        size_t lines = 1;
        for (char c : text) lines += c == '\n';
        if (result.line > lines) std::abort();
    }
    // Only the file-level failures can come out of text alone.
    switch (result.failure) {
    case kestrel::HexFailure::SourceOpenFailed:
    case kestrel::HexFailure::OutOfMemory:
    case kestrel::HexFailure::OutputCreateFailed:
    case kestrel::HexFailure::OutputWriteFailed: std::abort();
    default: break;
    }
    // The same text always gives the same image.
    if (kestrel::BuildHexImage(text, again).failure != result.failure || again != image)
        std::abort();
    return 0;
}
