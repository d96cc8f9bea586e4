// The converted image of a hexadecimal download, as a file of the run's
// own: temp.fls in a private folder made for the run, created new, and
// held (others may read it, but not change or delete it) until the
// download has read it. Two copies of the program flashing two printers at
// once each send their own image.
#pragma once

#include <optional>
#include <string>

#include "download/hex_download.h"
#include "download/private_folder_win.h"
#include "framework/win_handle.h"

namespace kestrel {

class CImageFileStore : public IImageFileStore {
  public:
    CImageFileStore() = default;
    // A file a failed conversion left for the user goes with the program.
    ~CImageFileStore() override;
    CImageFileStore(const CImageFileStore&) = delete;
    CImageFileStore& operator=(const CImageFileStore&) = delete;

    // Also takes away what an earlier run left.
    std::optional<std::string> WriteImageFile(const uint8_t* bytes, size_t size) override;
    void DeleteImageFile(const std::string& path) override;

  private:
    void DeleteLeftOver();

    CPrivateFolder folder_;
    UniqueHandle held_;
    std::optional<std::string> path_;
};

} // namespace kestrel
