#include "console/usb_printers_win.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "config/usb_interfaces_win.h"

namespace kestrel {
namespace {

// Points the C library's standard output at NUL for as long as it lives.
class SilencedStdout {
  public:
    SilencedStdout() {
        std::fflush(stdout);
        saved_ = _dup(1);
        const int nul = _open("NUL", _O_WRONLY);
        if (saved_ >= 0 && nul >= 0)
            _dup2(nul, 1);
        if (nul >= 0)
            _close(nul);
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            _dup2(saved_, 1);
            _close(saved_);
        }
    }
    SilencedStdout(const SilencedStdout&) = delete;
    SilencedStdout& operator=(const SilencedStdout&) = delete;

  private:
    int saved_ = -1;
};

} // namespace

std::vector<UsbPortEntry> FindFamilyUsbPrinters(int32_t printerType, bool silent) {
    const std::unique_ptr<IUsbInterfaces> interfaces = SystemUsbInterfaces();
    if (!silent) {
        auto found = FindUsbPrinterEntries(*interfaces, printerType, 0);
        std::fflush(stdout);
        return found;
    }
    SilencedStdout quiet;
    return FindUsbPrinterEntries(*interfaces, printerType, 0);
}

} // namespace kestrel
