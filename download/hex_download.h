// The download of a hexadecimal firmware file: convert it into an image
// file of this run's own, send that like any binary firmware file, and take
// it away again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "download/download_engine.h"
#include "firmware/hex_failure.h"

namespace kestrel {

namespace msg {
inline constexpr const char* kHexFileFailed = "Failed File Loaded!!";
} // namespace msg

inline constexpr const char* kHexImageFileName = "temp.fls";

// `directory` with "temp.fls" appended; the directory may or may not end in
// a separator (GetTempPath's result does).
std::string HexImagePath(const std::string& directory);

// The first line is the program's own; the second says what is wrong.
std::string HexFailureMessage(const HexConversion& conversion);

// Where a run keeps its converted image. Two copies of the program may
// flash two printers at once: each run's file is its own, and nobody else
// may change or delete it until the download has read it.
class IImageFileStore {
  public:
    virtual ~IImageFileStore() = default;
    // Writes the bytes to a new file; its full path, or nothing.
    virtual std::optional<std::string> WriteImageFile(const uint8_t* bytes, size_t size) = 0;
    // The download is over: lets go of the file and deletes it.
    virtual void DeleteImageFile(const std::string& path) = 0;
};

struct HexDownloadResult {
    HexConversion conversion;
    std::optional<DownloadOutcome> download; // empty: nothing was sent
};

// Converts request.firmwarePath into an image file of `images` and points
// request.firmwarePath at it (also when the conversion fails, unless the
// source could not be read at all). On failure shows the message and sends
// nothing, and the file stays for the user to find; otherwise runs the
// download and deletes the file after it.
HexDownloadResult RunHexDownload(DownloadRequest& request, IImageFileStore& images,
                                 DownloadPorts& ports);

} // namespace kestrel
