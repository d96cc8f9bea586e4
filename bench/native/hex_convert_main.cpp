// hex_convert <source.hex> <image.fls>: the converter as a command of its
// own, so that it can be timed process against process with other tools.
#include <cstdio>

#include "firmware/hex_image_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hex_convert <source.hex> <image.fls>\n");
        return 2;
    }
    const kestrel::HexConversion result = kestrel::ConvertHexImage(argv[1], argv[2]);
    if (!result.ok()) {
        std::fprintf(stderr, "%s\n", kestrel::HexFailureText(result).c_str());
        return 1;
    }
    return 0;
}
