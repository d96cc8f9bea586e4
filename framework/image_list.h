// Owner of an image list (ImageList_Create/ImageList_Destroy).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <utility>

namespace kestrel {

class ImageList {
  public:
    ImageList() = default;
    explicit ImageList(HIMAGELIST list) : list_(list) {}
    ~ImageList() { Reset(); }
    ImageList(ImageList&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
    ImageList& operator=(ImageList&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.list_, nullptr));
        return *this;
    }
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    explicit operator bool() const { return list_ != nullptr; }
    HIMAGELIST Get() const { return list_; }
    void Reset(HIMAGELIST list = nullptr) {
        if (list_ != nullptr)
            ::ImageList_Destroy(list_);
        list_ = list;
    }

  private:
    HIMAGELIST list_ = nullptr;
};

} // namespace kestrel
