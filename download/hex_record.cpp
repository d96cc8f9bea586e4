#include "download/hex_record.h"

#include "download/hex_digits.h"

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

} // namespace

HexFailure ParseIntelRecord(std::string_view line, IntelRecord& record) {
    uint8_t* bytes = record.bytes.data();
    constexpr size_t kHeaderPos = 1;
    unsigned sum = 0;
    if (auto f = FromBytesStatus(DecodeHexBytes(line, kHeaderPos, 4, bytes, sum));
        f != HexFailure::None)
        return f;
    const size_t count = bytes[0];
    if (auto f = FromBytesStatus(DecodeHexBytes(line, kHeaderPos + 8, count + 1, bytes + 4, sum));
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
    unsigned sum = 0;
    if (auto f = FromBytesStatus(DecodeHexBytes(line, 2, 1, bytes, sum)); f != HexFailure::None)
        return f;
    const size_t count = bytes[0];
    if (auto f = FromBytesStatus(DecodeHexBytes(line, 4, count, bytes + 1, sum));
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
