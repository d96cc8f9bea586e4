#include "firmware/hex_record.h"

#include "firmware/hex_digits.h"

namespace kestrel {
namespace {

HexFailure FromBytesStatus(HexBytesStatus status) {
    switch (status) {
    case HexBytesStatus::Ok:
        return HexFailure::None;
    case HexBytesStatus::Short:
        return HexFailure::RecordTooShort;
    case HexBytesStatus::NonHex:
        return HexFailure::NonHexCharacter;
    }
    return HexFailure::NonHexCharacter;
}

// The byte count at `pos`, or 0 when its digits are not there: then the
// decoding of the record finds that fault at its place, as with any other.
size_t PeekCount(std::string_view line, size_t pos) {
    if (line.size() < pos + 2)
        return 0;
    const int high = HexDigitValue(line[pos]);
    const int low = HexDigitValue(line[pos + 1]);
    return high < 0 || low < 0 ? 0 : static_cast<size_t>(high << 4 | low);
}

} // namespace

HexFailure ParseIntelRecord(std::string_view line, IntelRecord& record) {
    uint8_t* bytes = record.bytes.data();
    constexpr size_t kHeaderPos = 1;
    // The whole record in one go: header, data and checksum.
    const size_t count = PeekCount(line, kHeaderPos);
    unsigned sum = 0;
    if (auto f = FromBytesStatus(DecodeHexBytes(line, kHeaderPos, 4 + count + 1, bytes, sum));
        f != HexFailure::None)
        return f;
    if (line.size() > kHeaderPos + 2 * (4 + count + 1))
        return HexFailure::TrailingCharacters;
    if (!IntelSumValid(sum))
        return HexFailure::ChecksumMismatch;

    record.count = static_cast<uint8_t>(count);
    record.offset = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
    record.type = bytes[3];
    if (record.type > intel::kLinearStart)
        return HexFailure::UnknownRecordType;
    if ((record.type == intel::kSegmentBase || record.type == intel::kLinearBase) && count != 2)
        return HexFailure::BadAddressRecord;
    return HexFailure::None;
}

size_t SRecordAddressBytes(int type) {
    // S4 was never given a meaning.
    static constexpr size_t kWidths[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    return type >= 0 && type <= 9 ? kWidths[type] : 0;
}

HexFailure ParseSRecord(std::string_view line, SRecord& record) {
    if (line.size() < 2)
        return HexFailure::RecordTooShort;
    const int type = line[1] >= '0' && line[1] <= '9' ? line[1] - '0' : -1;
    const size_t addressBytes = SRecordAddressBytes(type);
    if (addressBytes == 0)
        return HexFailure::UnknownRecordType;

    uint8_t* bytes = record.bytes.data();
    // The whole record in one go: count, address, data and checksum.
    const size_t count = PeekCount(line, 2);
    unsigned sum = 0;
    if (auto f = FromBytesStatus(DecodeHexBytes(line, 2, 1 + count, bytes, sum));
        f != HexFailure::None)
        return f;
    if (line.size() > 4 + 2 * count)
        return HexFailure::TrailingCharacters;
    if (count < addressBytes + 1)
        return HexFailure::CountTooSmall;
    if (!MotorolaSumValid(sum))
        return HexFailure::ChecksumMismatch;

    record.type = type;
    record.address = 0;
    for (size_t i = 0; i < addressBytes; ++i)
        record.address = record.address << 8 | bytes[1 + i];
    record.dataCount = count - addressBytes - 1;
    record.dataStart = 1 + addressBytes;
    return HexFailure::None;
}

} // namespace kestrel
