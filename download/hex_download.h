// The download of a hexadecimal firmware file: convert it into an image
// file beside the user's other temporary files, send that like any binary
// firmware file, and take it away again.
#pragma once

#include <optional>
#include <string>

#include "download/download_engine.h"
#include "download/hex_failure.h"

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

struct HexDownloadResult {
    HexConversion conversion;
    std::optional<DownloadOutcome> download; // empty: nothing was sent
};

// Converts request.firmwarePath into temp.fls in `tempDirectory` and points
// request.firmwarePath at it (also when the conversion fails, unless the
// source could not be read at all). On failure shows the message and sends
// nothing; otherwise runs the download and deletes temp.fls after it.
HexDownloadResult RunHexDownload(DownloadRequest& request, const std::string& tempDirectory,
                                 DownloadPorts& ports);

} // namespace kestrel
