#include "download/hex_image_file.h"

#include <cstdio>
#include <new>
#include <vector>

#include "download/hex_image.h"

namespace kestrel {
namespace {

class StdFile {
public:
    StdFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~StdFile() { Close(); }
    StdFile(const StdFile&) = delete;
    StdFile& operator=(const StdFile&) = delete;

    std::FILE* get() const { return file_; }
    // A write can be held in the buffer until here, so its result counts.
    bool Close() {
        if (!file_) return true;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    std::FILE* file_;
};

HexFailure ReadWhole(const std::string& path, std::string& text) {
    StdFile in(path, "rb");
    if (!in.get()) return HexFailure::SourceOpenFailed;
    try {
        char chunk[64 * 1024];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) text.append(chunk, got);
    } catch (const std::bad_alloc&) {
        return HexFailure::SourceOpenFailed;
    }
    return std::ferror(in.get()) ? HexFailure::SourceOpenFailed : HexFailure::None;
}

HexFailure WriteImageFile(const std::string& path, const std::vector<uint8_t>* image) {
    StdFile out(path, "wb");
    if (!out.get()) return HexFailure::OutputCreateFailed;
    bool ok = std::fwrite(kFlashImageHeader.data(), 1, kFlashImageHeader.size(), out.get()) ==
              kFlashImageHeader.size();
    if (ok && image) ok = std::fwrite(image->data(), 1, image->size(), out.get()) == image->size();
    ok = out.Close() && ok;
    return ok ? HexFailure::None : HexFailure::OutputWriteFailed;
}

}  // namespace

HexConversion ConvertHexImage(const std::string& sourcePath, const std::string& outputPath) {
    std::string text;
    if (auto f = ReadWhole(sourcePath, text); f != HexFailure::None) return {f, 0};

    HexFormat format = HexFormat::Intel;
    if (auto decided = DecideHexFormat(text, format); !decided.ok()) {
        WriteImageFile(outputPath, nullptr);
        return decided;
    }
    std::vector<uint8_t> image;
    try {
        image.assign(kFlashImageSize, kFlashErased);
    } catch (const std::bad_alloc&) {
        WriteImageFile(outputPath, nullptr);
        return {HexFailure::OutOfMemory, 0};
    }
    const HexConversion filled = FillHexImage(text, format, image.data());
    const HexFailure written = WriteImageFile(outputPath, &image);
    if (!filled.ok()) return filled;
    return {written, 0};
}

}  // namespace kestrel
