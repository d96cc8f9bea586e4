#include "download/hex_download.h"

#include <vector>

#include "firmware/hex_image_file.h"

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

HexDownloadResult RunHexDownload(DownloadRequest& request, IImageFileStore& images,
                                 DownloadPorts& ports) {
    HexDownloadResult result;
    // Read whole first: the source may be the image file of an earlier run.
    std::vector<uint8_t> file;
    result.conversion = ReadHexImage(request.firmwarePath, file);
    std::optional<std::string> imagePath;
    if (!file.empty()) {
        imagePath = images.WriteImageFile(file.data(), file.size());
        if (imagePath)
            request.firmwarePath = *imagePath;
        else if (result.conversion.ok())
            result.conversion = {HexFailure::OutputCreateFailed, 0};
    }
    if (!result.conversion.ok()) {
        ports.view.ShowMessage(HexFailureMessage(result.conversion));
        return result;
    }
    result.download = RunDownload(request, ports);
    images.DeleteImageFile(*imagePath);
    return result;
}

} // namespace kestrel
