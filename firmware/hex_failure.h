// Why a hexadecimal firmware file was refused, and where. Every refusal
// names one reason so that the user (and a test) can tell them apart.
#pragma once

#include <cstddef>
#include <string>

namespace kestrel {

enum class HexFailure {
    None,
    SourceOpenFailed,    // the hexadecimal file cannot be opened or read
    UnknownFormat,       // a line before the format is known starts with neither ':' nor 'S'
    FormatUndecided,     // no Intel record and no S2/S3 record at all
    WrongFirstCharacter, // a line of the other format, or of neither
    RecordTooShort,      // the line ends before its byte count is reached
    NonHexCharacter,     // a character where a hexadecimal digit belongs
    TrailingCharacters,  // text after the checksum
    ChecksumMismatch,
    UnknownRecordType,
    BadAddressRecord,   // an Intel base-address record that is not two bytes long
    CountTooSmall,      // an S-record count that cannot hold its address and checksum
    S1RecordInS2S3File, // 16-bit data lines beside 24/32-bit ones
    AddressOutOfRange,  // data that falls outside the flash image
    TooMuchData,        // more data bytes than the image holds
    ConflictingData,    // a byte given two different values by two records
    DataAfterEnd,       // a data record after the end record
    RecordCountWrong,   // an S5/S6 count that differs from the data records before it
    EndMissing,         // no end record (Intel), neither end nor count record (S-records)
    OutOfMemory,        // no room for the image
    OutputCreateFailed, // the image file cannot be created
    OutputWriteFailed,  // the image file cannot be written in full
};

struct HexConversion {
    HexFailure failure = HexFailure::None;
    size_t line = 0; // 1-based line of the source; 0 when no line is to blame

    bool ok() const { return failure == HexFailure::None; }
};

// What is wrong, as a sentence for the user.
const char* DescribeHexFailure(HexFailure failure);

// "Line 12: the checksum does not match." or the bare sentence when no
// line is to blame.
std::string HexFailureText(const HexConversion& conversion);

} // namespace kestrel
