#include "download/hex_download.h"

#include <cstdio>

#include "download/hex_image_file.h"

namespace kestrel {

std::string HexImagePath(const std::string& directory) {
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    std::string path = directory;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += kSeparator;
    return path + kHexImageFileName;
}

std::string HexFailureMessage(const HexConversion& conversion) {
    return std::string(msg::kHexFileFailed) + "\n" + HexFailureText(conversion);
}

HexDownloadResult RunHexDownload(DownloadRequest& request, const std::string& tempDirectory,
                                 DownloadPorts& ports) {
    HexDownloadResult result;
    const std::string imagePath = HexImagePath(tempDirectory);
    // Copied: the conversion may replace the path it reads from.
    const std::string sourcePath = request.firmwarePath;
    result.conversion = ConvertHexImage(sourcePath, imagePath);
    if (result.conversion.failure != HexFailure::SourceOpenFailed)
        request.firmwarePath = imagePath;
    if (!result.conversion.ok()) {
        ports.view.ShowMessage(HexFailureMessage(result.conversion));
        return result;
    }
    result.download = RunDownload(request, ports);
    std::remove(imagePath.c_str());
    return result;
}

} // namespace kestrel
