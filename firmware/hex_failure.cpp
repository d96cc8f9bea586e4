#include "firmware/hex_failure.h"

namespace kestrel {

const char* DescribeHexFailure(HexFailure failure) {
    switch (failure) {
    case HexFailure::None:
        return "No error.";
    case HexFailure::SourceOpenFailed:
        return "The file cannot be opened or read.";
    case HexFailure::UnknownFormat:
        return "The line is neither an Intel HEX record nor an S-record.";
    case HexFailure::FormatUndecided:
        return "The file holds no Intel HEX, S2 or S3 records.";
    case HexFailure::WrongFirstCharacter:
        return "The line does not begin like the other records of the file.";
    case HexFailure::RecordTooShort:
        return "The record is shorter than its byte count.";
    case HexFailure::NonHexCharacter:
        return "The record holds a character that is not hexadecimal.";
    case HexFailure::TrailingCharacters:
        return "The record has characters after its checksum.";
    case HexFailure::ChecksumMismatch:
        return "The checksum does not match.";
    case HexFailure::UnknownRecordType:
        return "The record type is unknown.";
    case HexFailure::BadAddressRecord:
        return "The address record does not hold two bytes.";
    case HexFailure::CountTooSmall:
        return "The byte count is too small for the address and the checksum.";
    case HexFailure::S1RecordInS2S3File:
        return "An S1 record in a file of S2 or S3 records.";
    case HexFailure::AddressOutOfRange:
        return "The data lies outside the 256 KiB flash image.";
    case HexFailure::TooMuchData:
        return "The file holds more data than the 256 KiB flash image.";
    case HexFailure::ConflictingData:
        return "The record gives a byte another value than an earlier record did.";
    case HexFailure::DataAfterEnd:
        return "A data record follows the end record.";
    case HexFailure::RecordCountWrong:
        return "The record count does not match the data records before it: lines are missing.";
    case HexFailure::EndMissing:
        return "The file ends without its end record: it may have been cut short.";
    case HexFailure::OutOfMemory:
        return "There is not enough memory to convert the file.";
    case HexFailure::OutputCreateFailed:
        return "The image file cannot be created.";
    case HexFailure::OutputWriteFailed:
        return "The image file cannot be written.";
    }
    return "Unknown error.";
}

std::string HexFailureText(const HexConversion& conversion) {
    std::string text;
    if (conversion.line != 0)
        text = "Line " + std::to_string(conversion.line) + ": ";
    text += DescribeHexFailure(conversion.failure);
    return text;
}

} // namespace kestrel
