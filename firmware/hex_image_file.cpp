#include "firmware/hex_image_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "firmware/fresh_pages.h"
#include "firmware/hex_image.h"

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
        if (!file_)
            return true;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

  private:
    std::FILE* file_;
};

// Hands the file to the builder line by line through one fixed buffer. The
// whole text is never held: fresh memory for it costs more, page by page,
// than the conversion itself, and so does a bigger buffer than this. A
// line longer than the buffer is gathered in `carry`, so no line is ever cut.
HexFailure FeedLines(std::FILE* in, HexImageBuilder& builder) {
    static constexpr size_t kChunk = 16 * 1024;
    std::vector<char> buffer(kChunk);
    std::string carry;
    size_t got;
    bool endOfText = false;
    while (!endOfText && (got = std::fread(buffer.data(), 1, kChunk, in)) > 0) {
        if (const void* eot = std::memchr(buffer.data(), kEndOfText, got)) {
            got = static_cast<const char*>(eot) - buffer.data();
            endOfText = true;
        }
        const char* pos = buffer.data();
        const char* const end = pos + got;
        while (pos < end) {
            const char* nl = static_cast<const char*>(std::memchr(pos, '\n', end - pos));
            if (!nl) {
                carry.append(pos, end);
                break;
            }
            bool more;
            if (carry.empty()) {
                more = builder.AddLine(std::string_view(pos, nl - pos));
            } else {
                carry.append(pos, nl);
                more = builder.AddLine(carry);
                carry.clear();
            }
            if (!more)
                return HexFailure::None;
            pos = nl + 1;
        }
    }
    if (!endOfText && std::ferror(in))
        return HexFailure::SourceOpenFailed;
    if (!carry.empty())
        builder.AddLine(carry);
    return HexFailure::None;
}

bool IsPlainFile(const std::string& path) {
    struct stat status;
#ifdef _WIN32
    const int got = stat(path.c_str(), &status); // no links to keep apart
#else
    const int got = lstat(path.c_str(), &status);
#endif
    return got == 0 && S_ISREG(status.st_mode);
}

// `file` is the header followed by as much of the image as is to be written.
HexFailure WriteImageFile(const std::string& path, const uint8_t* file, size_t length) {
    // An earlier image is replaced by a new file rather than truncated: a
    // file system that delays allocation flushes a truncated-and-rewritten
    // file at close, which costs more than the whole conversion. Only a
    // plain file is removed; a device or a link is written as it stands.
    if (IsPlainFile(path))
        std::remove(path.c_str());
    StdFile out(path, "wb");
    if (!out.get())
        return HexFailure::OutputCreateFailed;
    // One buffer, one write: the stream's own buffer would only split it.
    std::setvbuf(out.get(), nullptr, _IONBF, 0);
    bool ok = std::fwrite(file, 1, length, out.get()) == length;
    ok = out.Close() && ok;
    return ok ? HexFailure::None : HexFailure::OutputWriteFailed;
}

} // namespace

HexConversion ReadHexImage(const std::string& sourcePath, std::vector<uint8_t>& file) {
    file.clear();
    StdFile in(sourcePath, "rb");
    if (!in.get())
        return {HexFailure::SourceOpenFailed, 0};

    // Header and image in one buffer, so the file is written in one piece.
    constexpr size_t kHeaderSize = kFlashImageHeader.size();
    HexConversion result;
    try {
        file.reserve(kHeaderSize + kFlashImageSize);
        PrefaultForWriting(file.data(), file.capacity());
        file.assign(kHeaderSize + kFlashImageSize, kFlashErased);
        std::copy(kFlashImageHeader.begin(), kFlashImageHeader.end(), file.begin());
        HexImageBuilder builder(file.data() + kHeaderSize);
        if (auto f = FeedLines(in.get(), builder); f != HexFailure::None) {
            file.clear();
            return {f, 0};
        }
        result = builder.Finish();
    } catch (const std::bad_alloc&) {
        file.assign(kFlashImageHeader.begin(), kFlashImageHeader.end());
        return {HexFailure::OutOfMemory, 0};
    }
    if (!result.ok() && IsHexFormatFailure(result.failure))
        file.resize(kHeaderSize);
    return result;
}

HexConversion ConvertHexImage(const std::string& sourcePath, const std::string& outputPath) {
    std::vector<uint8_t> file;
    const HexConversion result = ReadHexImage(sourcePath, file);
    if (file.empty())
        return result;
    const HexFailure written = WriteImageFile(outputPath, file.data(), file.size());
    if (!result.ok())
        return result;
    return {written, 0};
}

} // namespace kestrel
