// The converted image of a hexadecimal download on Linux: temp.fls in a
// folder of the run's own under $TMPDIR (mode 0700), so two runs at once
// each send their own image; the folder goes with the run.
#pragma once

#include <optional>
#include <string>

#include "download/hex_download.h"

namespace kestrel {

class CImageFileStore : public IImageFileStore {
  public:
    CImageFileStore() = default;
    ~CImageFileStore() override;
    CImageFileStore(const CImageFileStore&) = delete;
    CImageFileStore& operator=(const CImageFileStore&) = delete;

    std::optional<std::string> WriteImageFile(const uint8_t* bytes, size_t size) override;
    void DeleteImageFile(const std::string& path) override;

  private:
    std::string folder_; // empty until made
};

} // namespace kestrel
