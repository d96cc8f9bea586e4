// Hexadecimal firmware text (Intel HEX or Motorola S2/S3 records) to the
// flat flash image that printers of the hex-firmware families take.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "firmware/hex_failure.h"
#include "firmware/hex_record.h"

namespace kestrel {

inline constexpr size_t kFlashImageSize = 0x40000; // 262,144 bytes
inline constexpr uint8_t kFlashErased = 0xFF;
// Goes in front of the image on the wire: escape, "#mk".
inline constexpr std::array<uint8_t, 4> kFlashImageHeader = {0x1B, 0x23, 0x6D, 0x6B};

enum class HexFormat { Undecided, Intel, SRecord };

// A DOS end-of-text byte (Ctrl-Z) ends the text wherever it stands, as a
// text-mode read on DOS and Windows always took it: editors of that time
// put one after the last line.
inline constexpr char kEndOfText = 0x1A;

// Failures that concern the file as a whole rather than one record: they
// win over any record fault, wherever it is, and leave the image unwritten.
bool IsHexFormatFailure(HexFailure failure);

// Takes the text line by line, in one pass, and places the data of every
// record in the image. The file's format is decided by its first Intel
// record or its first S2/S3 record; every non-empty line must then belong
// to that format. A faulty record stops the placing of data, but the lines
// after it are still read, since a line of the wrong format makes that the
// answer instead.
//
// A file cut short must not pass for a whole one, its missing rest flashed
// as erased bytes: Intel data must be closed by the end record; S-records by
// S7, S8 or S9, or by an S5/S6 count, which must match the data records
// before it (and so also catches a line lost in the middle). A file that
// contradicts itself, one byte given two values, is refused too.
class HexImageBuilder {
  public:
    // `image`: kFlashImageSize bytes, already erased.
    explicit HexImageBuilder(uint8_t* image);

    // One line without its '\n'. False once the answer cannot change any
    // more (a line of the wrong format): the rest need not be read.
    bool AddLine(std::string_view line);
    // After the last line.
    HexConversion Finish() const;

  private:
    bool FormatFails(HexFailure failure);
    void AddIntel(std::string_view line);
    void AddSRecord(std::string_view line);
    void Place(uint64_t offset, const uint8_t* data, size_t count);
    bool AgreesWithEarlier(size_t offset, const uint8_t* data, size_t count);

    uint8_t* image_;
    HexFormat format_ = HexFormat::Undecided;
    bool sawSRecord_ = false;
    HexConversion formatFailure_;
    HexConversion recordFailure_; // the first one; no data is placed after it
    size_t line_ = 0;
    size_t stored_ = 0;            // bytes placed, a byte placed twice counting twice
    uint64_t base_ = 0;            // Intel: the most recent 02 or 04 record sets it
    bool ended_ = false;           // Intel: the end record; S-records: S7, S8 or S9
    bool counted_ = false;         // S-records: a count matched, and no data came after it
    size_t dataRecords_ = 0;       // S-records: S1, S2 and S3 so far, for S5/S6
    std::vector<uint64_t> placed_; // one bit per image byte that a record has set
    IntelRecord intel_;
    SRecord srecord_;
};

// All of `text` (up to an end-of-text byte): `image` becomes kFlashImageSize bytes, erased, then
// filled.
HexConversion BuildHexImage(std::string_view text, std::vector<uint8_t>& image);

} // namespace kestrel
