#include "console/console_download_win.h"

#include <timeapi.h>
#include <windows.h>

#include <algorithm>
#include <functional>

#include "config/printer_models.h"
#include "console/console_interrupt_win.h"
#include "console/console_view.h"
#include "console/progress_text.h"
#include "console/usb_printers_win.h"
#include "driver_host/driver_files_win.h"
#include "driver_host/driver_loader_win.h"
#include "firmware/firmware_file.h"
#include "download/hex_download.h"
#include "download/image_file_store_win.h"
#include "ports/printer_socket_win.h"
#include "ports/spooler_ports_win.h"

namespace kestrel {
namespace {

class ConsoleClock : public IClock {
  public:
    explicit ConsoleClock(std::function<void()> onInterrupt)
        : onInterrupt_(std::move(onInterrupt)) {}
    ~ConsoleClock() override { EndFineSleep(); }
    // Ends at once on Ctrl+C, so the closing wait does not hold the user.
    void Sleep(uint32_t ms) override {
        if (WaitForSingleObject(InterruptEvent(), ms) == WAIT_OBJECT_0)
            onInterrupt_();
    }
    void KeepAlive() override {}
    void BeginFineSleep() override {
        if (!fine_)
            fine_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    void EndFineSleep() override {
        if (fine_)
            timeEndPeriod(1);
        fine_ = false;
    }

  private:
    std::function<void()> onInterrupt_;
    bool fine_ = false;
};

} // namespace

PortResult RunConsoleDownload(const ConsoleCommand& command, const PortTarget& target,
                              CConsoleOutput& output) {
    PortResult result;
    SettingsFields fields = command.line;
    fields.portName = target.portName;
    if (target.usbIndex > 0) {
        const std::vector<UsbPortEntry> found =
            FindFamilyUsbPrinters(command.printerType, command.output != OutputStyle::Normal);
        if (static_cast<size_t>(target.usbIndex) > found.size()) {
            result.code = kExitNoUsbPrinter;
            result.message = kNoUsbPrinterMessage;
            return result;
        }
        fields.portName = found[static_cast<size_t>(target.usbIndex) - 1].devicePath;
    }
    if (target.kind == PortKind::Network)
        fields.baudRate = target.tcpPort;
    StoredConnection connection;
    connection.ApplyConfirmed(fields);
    DownloadRequest request{connection.Record(), command.printerType, command.firmware, {}};

    CDriverFileStore files;
    CSpoolerPorts spooler;
    CPortDriver library;
    library.InterruptWritesOn(InterruptEvent());
    CountingDriver driver(library, output);
    CPrinterSocket socket;
    socket.CancelOn(InterruptEvent());
    CountingLink link(socket, output);
    const bool network = target.kind == PortKind::Network;
    ConsoleView view(target, command.output, output, network ? link.sent : driver.sent, request);
    ConsoleClock clock([&view] { view.WarnInterrupted(); });
    link.onProgress = [&view] { view.SendingAdvanced(); };
    DownloadPorts ports{files, spooler, driver, link, view, clock};

    return RunConsoleEngine(command, request, ports, view, output,
                            [] { return std::make_unique<CImageFileStore>(); });
}

} // namespace kestrel
