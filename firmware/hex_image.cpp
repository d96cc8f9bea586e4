#include "firmware/hex_image.h"

#include <bit>
#include <cstring>

#include "firmware/fresh_pages.h"

namespace kestrel {
namespace {

// Line ends may be LF or CR LF; trailing blanks left by editors are no
// part of a record either.
std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

bool IsSRecordStart(char c) {
    return c == 'S' || c == 's';
}

} // namespace

bool IsHexFormatFailure(HexFailure failure) {
    return failure == HexFailure::UnknownFormat || failure == HexFailure::WrongFirstCharacter ||
           failure == HexFailure::FormatUndecided;
}

HexImageBuilder::HexImageBuilder(uint8_t* image) : image_(image) {
    placed_.reserve(kFlashImageSize / 64);
    PrefaultForWriting(placed_.data(), kFlashImageSize / 8);
    placed_.resize(kFlashImageSize / 64);
}

bool HexImageBuilder::FormatFails(HexFailure failure) {
    formatFailure_ = {failure, line_};
    return false;
}

bool HexImageBuilder::AddLine(std::string_view raw) {
    if (!formatFailure_.ok())
        return false;
    ++line_;
    const std::string_view line = TrimLineEnd(raw);
    if (line.empty())
        return true;

    const char first = line[0];
    switch (format_) {
    case HexFormat::Undecided:
        if (first == ':') {
            // S-records before it: a mixture, not one format or the other.
            if (sawSRecord_)
                return FormatFails(HexFailure::WrongFirstCharacter);
            format_ = HexFormat::Intel;
        } else if (IsSRecordStart(first)) {
            sawSRecord_ = true;
            // Header and other lines before the first S2 or S3 decide nothing.
            if (line.size() > 1 && (line[1] == '2' || line[1] == '3'))
                format_ = HexFormat::SRecord;
        } else {
            return FormatFails(HexFailure::UnknownFormat);
        }
        break;
    case HexFormat::Intel:
        if (first != ':')
            return FormatFails(HexFailure::WrongFirstCharacter);
        break;
    case HexFormat::SRecord:
        if (!IsSRecordStart(first))
            return FormatFails(HexFailure::WrongFirstCharacter);
        break;
    }

    if (!recordFailure_.ok())
        return true;
    if (first == ':')
        AddIntel(line);
    else
        // S-lines before the format is decided carry no data; they are
        // still checked, since the file may yet turn out to be S-records.
        AddSRecord(line);
    return true;
}

void HexImageBuilder::AddIntel(std::string_view line) {
    if (auto f = ParseIntelRecord(line, intel_); f != HexFailure::None) {
        recordFailure_ = {f, line_};
        return;
    }
    switch (intel_.type) {
    case intel::kData:
        if (ended_)
            recordFailure_ = {HexFailure::DataAfterEnd, line_};
        else
            Place(base_ + intel_.offset, intel_.data(), intel_.count);
        break;
    case intel::kEndOfFile:
        ended_ = true;
        break;
    case intel::kSegmentBase:
        base_ = uint64_t{intel_.BaseValue()} << 4;
        break;
    case intel::kLinearBase:
        base_ = uint64_t{intel_.BaseValue()} << 16;
        break;
    default:
        break;
    }
}

void HexImageBuilder::AddSRecord(std::string_view line) {
    if (auto f = ParseSRecord(line, srecord_); f != HexFailure::None) {
        recordFailure_ = {f, line_};
        return;
    }
    switch (srecord_.type) {
    case 1:
        recordFailure_ = {HexFailure::S1RecordInS2S3File, line_};
        break;
    case 2:
    case 3:
        if (ended_) {
            recordFailure_ = {HexFailure::DataAfterEnd, line_};
            break;
        }
        ++dataRecords_;
        counted_ = false;
        Place(srecord_.address, srecord_.data(), srecord_.dataCount);
        break;
    case 5:
    case 6:
        // The count is the record's address field.
        if (srecord_.address != dataRecords_)
            recordFailure_ = {HexFailure::RecordCountWrong, line_};
        else
            counted_ = true;
        break;
    case 7:
    case 8:
    case 9:
        ended_ = true;
        break;
    default:
        break;
    }
}

void HexImageBuilder::Place(uint64_t offset, const uint8_t* data, size_t count) {
    if (offset > kFlashImageSize || count > kFlashImageSize - offset) {
        recordFailure_ = {HexFailure::AddressOutOfRange, line_};
        return;
    }
    // No file may place more than one image's worth of data.
    const size_t room = kFlashImageSize - stored_;
    const size_t take = count < room ? count : room;
    if (!AgreesWithEarlier(offset, data, take)) {
        recordFailure_ = {HexFailure::ConflictingData, line_};
        return;
    }
    std::memcpy(image_ + offset, data, take);
    stored_ += take;
    if (take != count)
        recordFailure_ = {HexFailure::TooMuchData, line_};
}

// Marks the bytes as placed; false when an earlier record placed another
// value at any of them. Records rarely overlap, so the map's words are
// usually clear where a record goes and no byte is compared.
bool HexImageBuilder::AgreesWithEarlier(size_t offset, const uint8_t* data, size_t count) {
    if (count == 0)
        return true;
    const size_t last = offset + count - 1;
    const uint64_t headMask = ~uint64_t{0} << (offset % 64);
    const uint64_t tailMask = ~uint64_t{0} >> (63 - last % 64);
    for (size_t word = offset / 64; word <= last / 64; ++word) {
        uint64_t mask = ~uint64_t{0};
        if (word == offset / 64)
            mask &= headMask;
        if (word == last / 64)
            mask &= tailMask;
        for (uint64_t again = placed_[word] & mask; again != 0; again &= again - 1) {
            const size_t at = word * 64 + static_cast<size_t>(std::countr_zero(again));
            if (image_[at] != data[at - offset])
                return false;
        }
        placed_[word] |= mask;
    }
    return true;
}

HexConversion HexImageBuilder::Finish() const {
    if (!formatFailure_.ok())
        return formatFailure_;
    if (format_ == HexFormat::Undecided)
        return {HexFailure::FormatUndecided, 0};
    if (!recordFailure_.ok())
        return recordFailure_;
    if (!ended_ && !counted_)
        return {HexFailure::EndMissing, 0};
    return {};
}

HexConversion BuildHexImage(std::string_view text, std::vector<uint8_t>& image) {
    image.assign(kFlashImageSize, kFlashErased);
    text = text.substr(0, text.find(kEndOfText));
    HexImageBuilder builder(image.data());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (!builder.AddLine(text.substr(pos, end - pos)))
            break;
        pos = end + 1;
    }
    return builder.Finish();
}

} // namespace kestrel
