// Ownership of the few Windows handles the pilot makes: each closes once,
// on scope exit, whichever way the step ends.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace e2e {

struct KernelHandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleCloser>;

struct MemoryDcDeleter {
    void operator()(HDC dc) const {
        if (dc)
            DeleteDC(dc);
    }
};
using OwnedMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

struct GdiObjectDeleter {
    void operator()(HGDIOBJ obj) const {
        if (obj)
            DeleteObject(obj);
    }
};
using OwnedBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;

// A DC from GetDC is given back with ReleaseDC, not deleted.
class ScreenDc {
  public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// Puts an object back into a DC when the scope ends, so that the object
// can be deleted after.
class DcSelection {
  public:
    DcSelection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~DcSelection() {
        if (old_ && old_ != HGDI_ERROR)
            SelectObject(dc_, old_);
    }
    DcSelection(const DcSelection&) = delete;
    DcSelection& operator=(const DcSelection&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

} // namespace e2e
