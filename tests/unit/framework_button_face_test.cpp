#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/button_face.h"

namespace kestrel {
namespace {

TEST(ButtonFace, StateChoosesImageAndCaptionColour) {
    using C = CaptionColour;
    const FaceImages all{0, 1, 2}, normalOnly{0, -1, -1}, noPressed{0, -1, 1}, noDisabled{0, 1, -1};
    struct Case {
        const char* name;
        FaceImages images;
        bool disabled, pressed;
        FaceChoice expected;
    } cases[] = {
        {"all, up", all, false, false, {0, C::Normal}},
        {"all, held", all, false, true, {1, C::Normal}},
        {"all, disabled", all, true, false, {2, C::Disabled}},
        {"normal only, held", normalOnly, false, true, {0, C::Normal}},
        {"normal only, disabled", normalOnly, true, false, {0, C::Disabled}},
        // A missing pressed face must not lend its slot to the disabled one.
        {"no pressed, held", noPressed, false, true, {0, C::Normal}},
        {"no pressed, disabled", noPressed, true, false, {1, C::Disabled}},
        {"no disabled, disabled", noDisabled, true, false, {0, C::Disabled}},
        {"no images", FaceImages{}, true, true, {-1, C::Black}},
    };
    for (const Case& c : cases) {
        const FaceChoice got = ChooseFace(c.images, c.disabled, c.pressed);
        EXPECT_EQ(got.image, c.expected.image) << c.name;
        EXPECT_EQ(got.caption, c.expected.caption) << c.name;
    }
    EXPECT_TRUE(CaptionIsPlaced(17, 3));
    EXPECT_TRUE(CaptionIsPlaced(0, 0));
    EXPECT_FALSE(CaptionIsPlaced(-1, 3));
    EXPECT_FALSE(CaptionIsPlaced(42, -1));
}

// The committed face bitmaps themselves: 108x22, 16 colours, and every
// pixel exactly white or the face's colour, in the face's shape.
TEST(ButtonFace, FaceFilesHoldExactlyTheirColours) {
    struct Face {
        const char* file;
        uint32_t rgb;
    } faces[] = {
        {"button_139.bmp", 0x000000}, {"button_140.bmp", 0xFF0000}, {"button_141.bmp", 0xC0C0C0}};
    for (const Face& face : faces) {
        std::ifstream in(std::string(KESTREL_PICTURES_DIR) + "/" + face.file, std::ios::binary);
        const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), {});
        ASSERT_GT(b.size(), 118u) << face.file;
        auto u32 = [&](size_t at) {
            return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                   uint32_t(b[at + 3]) << 24;
        };
        const uint32_t pixels = u32(10), paletteAt = 14 + u32(14);
        const int32_t width = int32_t(u32(18)), height = int32_t(u32(22));
        const int bits = b[28] | b[29] << 8;
        ASSERT_EQ(width, 108) << face.file;
        ASSERT_EQ(height, 22) << face.file; // bottom-up rows
        ASSERT_EQ(bits, 4) << face.file;
        ASSERT_EQ(u32(30), 0u) << face.file; // uncompressed
        const size_t stride = ((108 * 4 + 31) / 32) * 4;
        ASSERT_GE(b.size(), pixels + stride * 22) << face.file;
        auto at = [&](int x, int y) {
            const uint8_t byte = b[pixels + stride * size_t(21 - y) + size_t(x / 2)];
            const size_t entry = paletteAt + 4 * size_t(x % 2 ? byte & 15 : byte >> 4);
            return uint32_t(b[entry + 2]) << 16 | uint32_t(b[entry + 1]) << 8 | b[entry];
        };
        int faceCount = 0;
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 108; ++x) {
                const uint32_t c = at(x, y);
                ASSERT_TRUE(c == 0xFFFFFF || c == face.rgb)
                    << face.file << " (" << x << "," << y << ") " << std::hex << c;
                faceCount += c == face.rgb;
            }
        }
        // Margin white; outline and end blocks in colour; a bar in each
        // block white; the middle of the face white.
        EXPECT_EQ(at(0, 0), 0xFFFFFFu) << face.file;
        EXPECT_EQ(at(107, 21), 0xFFFFFFu) << face.file;
        EXPECT_EQ(at(1, 1), face.rgb) << face.file;
        EXPECT_EQ(at(54, 20), face.rgb) << face.file;
        EXPECT_EQ(at(9, 10), face.rgb) << face.file;
        EXPECT_EQ(at(98, 10), face.rgb) << face.file;
        EXPECT_EQ(at(10, 10), 0xFFFFFFu) << face.file;
        EXPECT_EQ(at(5, 3), 0xFFFFFFu) << face.file;
        EXPECT_EQ(at(102, 18), 0xFFFFFFu) << face.file;
        EXPECT_EQ(at(54, 10), 0xFFFFFFu) << face.file;
        EXPECT_EQ(faceCount, 496) << face.file;
    }
}

} // namespace
} // namespace kestrel
