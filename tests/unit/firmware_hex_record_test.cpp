#include "firmware/hex_record.h"

#include <gtest/gtest.h>

#include "firmware/hex_digits.h"

namespace kestrel {
namespace {

TEST(HexDigits, EveryCharacterHasTheRightValue) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const char* digits = "0123456789abcdef";
        const char* upper = "0123456789ABCDEF";
        int expected = -1;
        for (int v = 0; v < 16; ++v)
            if (ch == digits[v] || ch == upper[v])
                expected = v;
        EXPECT_EQ(HexDigitValue(ch), expected) << c;
    }
}

TEST(HexDigits, DecodeStopsAtTheFirstFault) {
    struct Case {
        const char* text;
        size_t count;
        HexBytesStatus status;
    };
    const Case cases[] = {
        {"00FFa5", 3, HexBytesStatus::Ok},   {"00FFa5", 4, HexBytesStatus::Short},
        {"00FFa", 3, HexBytesStatus::Short}, {"00G", 2, HexBytesStatus::NonHex},
        {"0 ", 1, HexBytesStatus::NonHex},   {"", 0, HexBytesStatus::Ok},
    };
    for (const Case& c : cases) {
        uint8_t out[8] = {};
        unsigned sum = 0;
        EXPECT_EQ(DecodeHexBytes(c.text, 0, c.count, out, sum), c.status) << c.text;
    }
    uint8_t out[3];
    unsigned sum = 1;
    ASSERT_EQ(DecodeHexBytes("x00FFa5", 1, 3, out, sum), HexBytesStatus::Ok);
    EXPECT_EQ(sum, 1u + 0xFF + 0xA5);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xA5);
}

TEST(HexRecords, IntelFieldsAreSplitOut) {
    IntelRecord r;
    ASSERT_EQ(ParseIntelRecord(":03123400010203B1", r), HexFailure::None);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.offset, 0x1234);
    EXPECT_EQ(r.type, intel::kData);
    EXPECT_EQ(r.data()[0], 1);
    EXPECT_EQ(r.data()[2], 3);
    ASSERT_EQ(ParseIntelRecord(":020000040003F7", r), HexFailure::None);
    EXPECT_EQ(r.type, intel::kLinearBase);
    EXPECT_EQ(r.BaseValue(), 0x0003);
    // The largest record: 255 bytes of data.
    std::string line = ":FF000000";
    for (int i = 0; i < 255; ++i)
        line += "00";
    ASSERT_EQ(ParseIntelRecord(line + "01", r), HexFailure::None);
    EXPECT_EQ(r.count, 255);
}

TEST(HexRecords, SRecordAddressWidthComesFromTheType) {
    struct Case {
        const char* line;
        int type;
        uint32_t address;
        size_t dataCount;
    };
    const Case cases[] = {
        {"S00600004844521B", 0, 0x0000, 3},   {"S1051234AABB4F", 1, 0x1234, 2},
        {"S20612345601025A", 2, 0x123456, 2}, {"S30612345678AA3B", 3, 0x12345678, 1},
        {"S5030003F9", 5, 0x0003, 0},         {"S70500000000FA", 7, 0, 0},
    };
    for (const Case& c : cases) {
        SRecord r;
        ASSERT_EQ(ParseSRecord(c.line, r), HexFailure::None) << c.line;
        EXPECT_EQ(r.type, c.type) << c.line;
        EXPECT_EQ(r.address, c.address) << c.line;
        EXPECT_EQ(r.dataCount, c.dataCount) << c.line;
    }
}

} // namespace
} // namespace kestrel
