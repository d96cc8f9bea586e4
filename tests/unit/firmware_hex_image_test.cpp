#include "firmware/hex_image.h"

#include "firmware/hex_image_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/unit/firmware_hex_test_records.h"

namespace kestrel {
namespace {

using namespace hextest;

struct Refusal {
    const char* name;
    std::string text;
    HexFailure failure;
    size_t line;
};

class HexRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(HexRefusal, NamesReasonAndLine) {
    const Refusal& c = GetParam();
    std::vector<uint8_t> image;
    const HexConversion result = BuildHexImage(c.text, image);
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(result.line, c.line);
}

const std::string kS2 = SLine(2, 0x000100, {1, 2, 3});

INSTANTIATE_TEST_SUITE_P(
    Formats, HexRefusal,
    ::testing::Values(Refusal{"Empty", "", HexFailure::FormatUndecided, 0},
                      Refusal{"OnlyBlankLines", "\n\r\n  \n", HexFailure::FormatUndecided, 0},
                      Refusal{"OnlyS0AndS9", Lines({SLine(0, 0, {'h', 'i'}), SLine(9, 0, {})}),
                              HexFailure::FormatUndecided, 0},
                      Refusal{"OnlyS1", Lines({SLine(1, 0x10, {1, 2}), SLine(9, 0, {})}),
                              HexFailure::FormatUndecided, 0},
                      Refusal{"ProseFirst", "Firmware 1.0\n" + kIntelEnd + "\n",
                              HexFailure::UnknownFormat, 1},
                      Refusal{"OurOwnImageFile", "\x1b#mk\xff\xff", HexFailure::UnknownFormat, 1},
                      Refusal{"StrayLineInIntel", Lines({IntelLine(0, 0, {1}), "x", kIntelEnd}),
                              HexFailure::WrongFirstCharacter, 2},
                      Refusal{"SRecordInIntel", Lines({IntelLine(0, 0, {1}), kS2}),
                              HexFailure::WrongFirstCharacter, 2},
                      Refusal{"SRecordHeaderBeforeIntel", Lines({SLine(0, 0, {}), kIntelEnd}),
                              HexFailure::WrongFirstCharacter, 2},
                      Refusal{"IntelInSRecords", Lines({SLine(0, 0, {}), kS2, kIntelEnd}),
                              HexFailure::WrongFirstCharacter, 3},
                      // A format error later in the file wins over a bad record earlier:
                      // the whole file is looked at before any record is decoded.
                      Refusal{"FormatBeforeRecords", Lines({":0100000055AB", "?"}),
                              HexFailure::WrongFirstCharacter, 2}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    IntelRecords, HexRefusal,
    ::testing::Values(
        Refusal{"ChecksumOffByOne", Lines({kIntelEnd, ":0100000055AB"}),
                HexFailure::ChecksumMismatch, 2},
        Refusal{"ChecksumOfEndRecord", ":00000001FE\n", HexFailure::ChecksumMismatch, 1},
        Refusal{"DataShorterThanCount", ":0400000055\n", HexFailure::RecordTooShort, 1},
        Refusal{"ChecksumMissing", ":0100000055\n", HexFailure::RecordTooShort, 1},
        Refusal{"OddDigit", ":010000005\n", HexFailure::RecordTooShort, 1},
        Refusal{"HeaderCut", ":0100\n", HexFailure::RecordTooShort, 1},
        Refusal{"ColonOnly", ":\n", HexFailure::RecordTooShort, 1},
        Refusal{"LetterInData", ":01000000G5AA\n", HexFailure::NonHexCharacter, 1},
        Refusal{"BlankInData", ":01000000 5AA\n", HexFailure::NonHexCharacter, 1},
        Refusal{"SignInCount", ":-1000000\n", HexFailure::NonHexCharacter, 1},
        Refusal{"TextAfterChecksum", ":00000001FF;end\n", HexFailure::TrailingCharacters, 1},
        Refusal{"UnknownType", IntelLine(6, 0, {}) + "\n", HexFailure::UnknownRecordType, 1},
        // Only the low digit used to be looked at: 0x10 is not a data record.
        Refusal{"HighTypeDigit", IntelLine(0x10, 0, {1}) + "\n", HexFailure::UnknownRecordType, 1},
        Refusal{"SegmentOneByte", IntelLine(2, 0, {0x10}) + "\n", HexFailure::BadAddressRecord, 1},
        Refusal{"LinearThreeBytes", IntelLine(4, 0, {0, 0, 1}) + "\n", HexFailure::BadAddressRecord,
                1},
        Refusal{"LinearBeyondImage", Lines({IntelBase(4, 0x0004), IntelLine(0, 0, {1})}),
                HexFailure::AddressOutOfRange, 2},
        Refusal{"SegmentBeyondImage", Lines({IntelBase(2, 0xF000), IntelLine(0, 0, {1})}),
                HexFailure::AddressOutOfRange, 2},
        Refusal{
            "RecordRunsOffTheEnd",
            Lines({IntelBase(4, 0x0003), IntelLine(0, 0xFFFF, {1}), IntelLine(0, 0xFFFF, {1, 2})}),
            HexFailure::AddressOutOfRange, 3},
        // A copy cut off at a line boundary.
        Refusal{"EndRecordMissing", Lines({IntelLine(0, 0, {1}), IntelLine(0, 1, {2})}),
                HexFailure::EndMissing, 0},
        Refusal{"DataAfterEndRecord",
                Lines({IntelLine(0, 0, {1}), kIntelEnd, IntelLine(0, 1, {2})}),
                HexFailure::DataAfterEnd, 3},
        // The same value twice is fine (line 2), another value is not; the
        // records cross a 64-byte boundary.
        Refusal{"SameByteTwoValues",
                Lines({IntelLine(0, 0x3C, {1, 2, 3, 4, 5, 6, 7, 8}), IntelLine(0, 0x3E, {3, 4, 5}),
                       IntelBase(2, 0x0001), IntelLine(0, 0x32, {7, 9}), kIntelEnd}),
                HexFailure::ConflictingData, 4}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    SRecords, HexRefusal,
    ::testing::Values(
        Refusal{"Checksum", Lines({kS2, "S2060001000102F4"}), HexFailure::ChecksumMismatch, 2},
        Refusal{"CountCoversOnlyTheAddressS2", "S203000100\n", HexFailure::CountTooSmall, 1},
        Refusal{"CountCoversOnlyTheAddressS3", "S30400000100\n", HexFailure::CountTooSmall, 1},
        Refusal{"CountZero", "S200\n", HexFailure::CountTooSmall, 1},
        Refusal{"Short", "S2060001000102\n", HexFailure::RecordTooShort, 1},
        Refusal{"NonHex", "S206000100010zF3\n", HexFailure::NonHexCharacter, 1},
        Refusal{"Trailing", kS2 + "00\n", HexFailure::TrailingCharacters, 1},
        Refusal{"S1AfterS2", Lines({kS2, SLine(1, 0x200, {9})}), HexFailure::S1RecordInS2S3File, 2},
        Refusal{"S1BeforeS3", Lines({SLine(1, 0x200, {9}), SLine(3, 0x300, {9})}),
                HexFailure::S1RecordInS2S3File, 1},
        Refusal{"LetterType", Lines({kS2, "SX0300FC"}), HexFailure::UnknownRecordType, 2},
        Refusal{"ReservedS4", Lines({kS2, "S4030000FC"}), HexFailure::UnknownRecordType, 2},
        Refusal{"S2BeyondImage", Lines({SLine(2, 0x040000, {1})}), HexFailure::AddressOutOfRange,
                1},
        Refusal{"S3FarBeyondImage", Lines({SLine(3, 0xFFFFFFFF, {1})}),
                HexFailure::AddressOutOfRange, 1},
        Refusal{"S3RunsOffTheEnd", Lines({SLine(3, 0x3FFFF, {1, 2})}),
                HexFailure::AddressOutOfRange, 1},
        Refusal{"NeitherEndNorCount", Lines({SLine(0, 0, {}), kS2}), HexFailure::EndMissing, 0},
        Refusal{"DataAfterTheCount", Lines({kS2, SLine(5, 1, {}), SLine(2, 0x200, {7})}),
                HexFailure::EndMissing, 0},
        Refusal{"CountOfALostLine", Lines({kS2, SLine(3, 0x200, {7}), SLine(6, 3, {})}),
                HexFailure::RecordCountWrong, 3},
        Refusal{"DataAfterS8", Lines({kS2, SLine(8, 0, {}), SLine(2, 0x200, {7})}),
                HexFailure::DataAfterEnd, 3},
        Refusal{"SameByteTwoValues",
                Lines({SLine(2, 0x100, {1}), SLine(3, 0x100, {1}), SLine(3, 0x100, {2})}),
                HexFailure::ConflictingData, 3}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<uint8_t> Erased() {
    return std::vector<uint8_t>(kFlashImageSize, kFlashErased);
}

std::vector<uint8_t> Convert(const std::string& text) {
    std::vector<uint8_t> image;
    const HexConversion result = BuildHexImage(text, image);
    EXPECT_TRUE(result.ok()) << HexFailureText(result);
    EXPECT_EQ(image.size(), kFlashImageSize);
    return image;
}

TEST(HexImagePlacement, EndRecordAloneGivesAnErasedImage) {
    EXPECT_EQ(Convert(kIntelEnd + "\n"), Erased());
}

TEST(HexImagePlacement, BaseRecordsMoveTheDataThatFollows) {
    std::vector<uint8_t> expected = Erased();
    expected[0x0010] = 0xA0;           // before any base record
    expected[0x10000 + 0x0020] = 0xA1; // segment 1000 -> 0x10000
    expected[0x30000 + 0x0030] = 0xA2; // linear 0003 -> 0x30000
    expected[0x1000 + 0x0040] = 0xA3;  // the newest base wins, whichever kind
    expected[0x0050] = 0xA4;           // base back to 0
    EXPECT_EQ(
        Convert(Lines({IntelLine(0, 0x10, {0xA0}), IntelBase(2, 0x1000), IntelLine(0, 0x20, {0xA1}),
                       IntelBase(4, 0x0003), IntelLine(0, 0x30, {0xA2}), IntelBase(2, 0x0100),
                       IntelLine(0, 0x40, {0xA3}), IntelBase(4, 0), IntelLine(0, 0x50, {0xA4}),
                       kIntelEnd})),
        expected);
}

TEST(HexImagePlacement, EachSRecordLineUsesItsOwnAddressWidth) {
    std::vector<uint8_t> expected = Erased();
    expected[0x012345] = 0x11;
    expected[0x012346] = 0x22;
    expected[0x03FFFF] = 0x33;
    expected[0x000004] = 0x44;
    // S0 header first; the file is decided by the S2 line, the S3 line keeps
    // its eight address digits all the same.
    EXPECT_EQ(Convert(Lines({SLine(0, 0, {'h', 'd', 'r'}), SLine(2, 0x012345, {0x11, 0x22}),
                             SLine(3, 0x0003FFFF, {0x33}), SLine(3, 0x4, {0x44}),
                             SLine(5, 0x0003, {}), SLine(8, 0, {})})),
              expected);
}

TEST(HexImagePlacement, LineEndsCaseAndBlanksDoNotMatter) {
    std::vector<uint8_t> expected = Erased();
    expected[0xAB] = 0xCD;
    const std::string crlf =
        Lines({"", IntelLine(0, 0xAB, {0xCD}), "", kIntelEnd}, "\r\n") + "\r\n";
    EXPECT_EQ(Convert(crlf), expected);
    // A DOS end-of-text byte ends the text; what follows it is not read.
    EXPECT_EQ(Convert(crlf + "\x1a"), expected);
    EXPECT_EQ(Convert(crlf + "\x1a\x1a:0100AB0000\n"), expected);
    // Lower-case digits, no line end after the last line, trailing blanks.
    EXPECT_EQ(Convert(":0100AB00cd87 \n\n:00000001ff"), expected);
    expected[0x0200] = 0x5A;
    EXPECT_EQ(Convert("s0030000fc\r\ns2050002005a9e\r\n" + SLine(2, 0xAB, {0xCD}) + "\ns9030000fc"),
              expected);
}

// Fills every byte of the image once, with 32-byte Intel records.
std::vector<std::string> FullImageLines(std::vector<uint8_t>& expected) {
    std::vector<std::string> lines;
    expected.assign(kFlashImageSize, 0);
    for (uint32_t address = 0; address < kFlashImageSize; address += 32) {
        if (address % 0x10000 == 0)
            lines.push_back(IntelBase(4, address >> 16));
        std::vector<uint8_t> data(32);
        for (uint32_t i = 0; i < 32; ++i)
            expected[address + i] = data[i] = static_cast<uint8_t>((address + i) * 7 >> 3);
        lines.push_back(IntelLine(0, address & 0xFFFF, data));
    }
    return lines;
}

TEST(HexImageLimit, ExactlyOneImageOfDataFits) {
    std::vector<uint8_t> expected;
    EXPECT_EQ(Convert(Lines(FullImageLines(expected)) + kIntelEnd), expected);
}

TEST(HexImageLimit, OneByteMoreIsRefusedEvenWhenItOverwrites) {
    std::vector<uint8_t> expected;
    std::vector<std::string> lines = FullImageLines(expected);
    lines.push_back(IntelBase(4, 0));
    lines.push_back(IntelLine(0, 0x100, {0x00}));
    std::vector<uint8_t> image;
    const HexConversion result = BuildHexImage(Lines(lines), image);
    EXPECT_EQ(result.failure, HexFailure::TooMuchData);
    EXPECT_EQ(result.line, lines.size());
    EXPECT_EQ(image[0x100], expected[0x100]);
}

// Files made by objcopy and srec_cat (make_golden.sh beside them) from
// firmware.bin placed at 0x2E000.
constexpr size_t kGoldenBase = 0x2E000;

std::string ReadGolden(const std::string& name) {
    std::ifstream in(std::string(KESTREL_HEX_GOLDEN_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HexGolden : public ::testing::TestWithParam<const char*> {};

TEST_P(HexGolden, ConvertsToTheBinaryPaddedWithErasedBytes) {
    const std::string binary = ReadGolden("firmware.bin");
    ASSERT_EQ(binary.size(), 0x6000u);
    std::vector<uint8_t> expected = Erased();
    std::copy(binary.begin(), binary.end(), expected.begin() + kGoldenBase);

    const std::string text = ReadGolden(GetParam());
    EXPECT_EQ(Convert(text), expected);
    // The same records with the other line end.
    std::string other;
    const bool crlf = text.find("\r\n") != std::string::npos;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n' && !crlf)
            other += '\r';
        other += c;
    }
    EXPECT_EQ(Convert(other), expected);

    // From file to file, as the download does it: the files are longer than
    // the reader's buffer, so records cross its boundary.
    const std::string output = ::testing::TempDir() + "hex_golden_image.fls";
    const std::string source = std::string(KESTREL_HEX_GOLDEN_DIR) + "/" + GetParam();
    ASSERT_TRUE(ConvertHexImage(source, output).ok());
    std::ifstream written(output, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(written),
                                     std::istreambuf_iterator<char>()};
    std::vector<uint8_t> withHeader(kFlashImageHeader.begin(), kFlashImageHeader.end());
    withHeader.insert(withHeader.end(), expected.begin(), expected.end());
    EXPECT_EQ(bytes, withHeader);
    std::remove(output.c_str());
}

// An interrupted copy ends at a line boundary: losing the last one, two or
// three lines must not pass for the whole file.
TEST_P(HexGolden, CutShortIsRefused) {
    const std::string text = ReadGolden(GetParam());
    size_t end = text.size();
    for (int lost = 1; lost <= 3; ++lost) {
        end = text.rfind('\n', end - 2) + 1;
        std::vector<uint8_t> image;
        EXPECT_EQ(BuildHexImage(text.substr(0, end), image).failure, HexFailure::EndMissing)
            << lost << " lines lost";
    }
}

// srec_cat counts its data records (S5); a line lost in the middle shows there.
TEST(HexGoldenDamaged, LineLostInTheMiddleIsRefusedAtTheCount) {
    std::string text = ReadGolden("srec_cat_s2.srec");
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    size_t start = 0;
    for (int i = 0; i < 300; ++i)
        start = text.find('\n', start) + 1;
    text.erase(start, text.find('\n', start) + 1 - start);
    std::vector<uint8_t> image;
    const HexConversion result = BuildHexImage(text, image);
    EXPECT_EQ(result.failure, HexFailure::RecordCountWrong);
    EXPECT_EQ(result.line, lines - 1);
}

INSTANTIATE_TEST_SUITE_P(OtherTools, HexGolden,
                         ::testing::Values("objcopy_segment.hex", "srec_cat_linear.hex",
                                           "objcopy_s3.srec", "srec_cat_s2.srec"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '.')
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace kestrel
