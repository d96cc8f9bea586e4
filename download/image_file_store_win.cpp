#include "download/image_file_store_win.h"

#include <windows.h>

namespace kestrel {

CImageFileStore::~CImageFileStore() {
    DeleteLeftOver();
}

std::optional<std::string> CImageFileStore::WriteImageFile(const uint8_t* bytes, size_t size) {
    DeleteLeftOver();
    const auto folder = folder_.Path();
    if (!folder || size > MAXDWORD)
        return std::nullopt;
    const std::string path = HexImagePath(*folder);
    // Write access stays with this handle; the engine's own read shares
    // writing, so it may open the file beside it, and nobody else may
    // write or delete it while it is held.
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        folder_.Remove();
        return std::nullopt;
    }
    path_ = path;
    held_ = std::move(file);
    DWORD written = 0;
    if (!WriteFile(held_.Get(), bytes, static_cast<DWORD>(size), &written, nullptr) ||
        written != size) {
        DeleteLeftOver();
        return std::nullopt;
    }
    return path;
}

void CImageFileStore::DeleteImageFile(const std::string& path) {
    if (path_ && *path_ == path)
        DeleteLeftOver();
}

void CImageFileStore::DeleteLeftOver() {
    held_.Close();
    if (path_)
        DeleteFileA(path_->c_str());
    path_.reset();
    folder_.Remove();
}

} // namespace kestrel
