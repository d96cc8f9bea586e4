#include "download/hex_image.h"

#include <cstring>

#include "download/hex_record.h"

namespace kestrel {
namespace {

// Walks the text line by line with line numbers; a line loses its line end
// (LF or CR LF) and any trailing blanks, so that files from editors that
// leave them still read.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const size_t end = text_.find('\n', pos_);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(pos_, stop - pos_);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        pos_ = stop + 1;
        ++number_;
        return true;
    }
    size_t number() const { return number_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};

bool IsSRecordStart(char c) { return c == 'S' || c == 's'; }

HexConversion At(HexFailure failure, size_t line) { return {failure, line}; }

// Counts every stored byte (a byte stored twice counts twice) so that no
// file can place more than one image's worth of data.
class ImageWriter {
public:
    explicit ImageWriter(uint8_t* image) : image_(image) {}

    HexFailure Place(uint64_t offset, const uint8_t* data, size_t count) {
        if (offset > kFlashImageSize || count > kFlashImageSize - offset)
            return HexFailure::AddressOutOfRange;
        const size_t room = kFlashImageSize - stored_;
        const size_t take = count < room ? count : room;
        std::memcpy(image_ + offset, data, take);
        stored_ += take;
        return take == count ? HexFailure::None : HexFailure::TooMuchData;
    }

private:
    uint8_t* image_;
    size_t stored_ = 0;
};

HexConversion FillIntel(std::string_view text, uint8_t* image) {
    ImageWriter writer(image);
    IntelRecord record;
    uint64_t base = 0;  // the most recent 02 or 04 record sets it
    LineCursor lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        if (auto f = ParseIntelRecord(line, record); f != HexFailure::None)
            return At(f, lines.number());
        switch (record.type) {
        case intel::kData:
            if (auto f = writer.Place(base + record.offset, record.data.data(), record.count);
                f != HexFailure::None)
                return At(f, lines.number());
            break;
        case intel::kSegmentBase: base = uint64_t{record.BaseValue()} << 4; break;
        case intel::kLinearBase: base = uint64_t{record.BaseValue()} << 16; break;
        default: break;
        }
    }
    return {};
}

HexConversion FillSRecords(std::string_view text, uint8_t* image) {
    ImageWriter writer(image);
    SRecord record;
    LineCursor lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        if (auto f = ParseSRecord(line, record); f != HexFailure::None)
            return At(f, lines.number());
        if (record.type == 1) return At(HexFailure::S1RecordInS2S3File, lines.number());
        if (record.type == 2 || record.type == 3) {
            if (auto f = writer.Place(record.address, record.data.data(), record.dataCount);
                f != HexFailure::None)
                return At(f, lines.number());
        }
    }
    return {};
}

}  // namespace

HexConversion DecideHexFormat(std::string_view text, HexFormat& format) {
    LineCursor lines(text);
    std::string_view line;
    bool decided = false;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        if (decided) {
            const bool fits = format == HexFormat::Intel ? line[0] == ':' : IsSRecordStart(line[0]);
            if (!fits) return At(HexFailure::WrongFirstCharacter, lines.number());
            continue;
        }
        if (line[0] == ':') {
            format = HexFormat::Intel;
            decided = true;
        } else if (IsSRecordStart(line[0])) {
            // Header and other lines before the first S2 or S3 decide nothing.
            if (line.size() > 1 && (line[1] == '2' || line[1] == '3')) {
                format = HexFormat::SRecord;
                decided = true;
            }
        } else {
            return At(HexFailure::UnknownFormat, lines.number());
        }
    }
    return decided ? HexConversion{} : At(HexFailure::FormatUndecided, 0);
}

HexConversion FillHexImage(std::string_view text, HexFormat format, uint8_t* image) {
    return format == HexFormat::Intel ? FillIntel(text, image) : FillSRecords(text, image);
}

HexConversion BuildHexImage(std::string_view text, std::vector<uint8_t>& image) {
    image.assign(kFlashImageSize, kFlashErased);
    HexFormat format = HexFormat::Intel;
    if (auto decided = DecideHexFormat(text, format); !decided.ok()) return decided;
    return FillHexImage(text, format, image.data());
}

}  // namespace kestrel
