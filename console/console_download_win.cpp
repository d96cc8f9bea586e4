#include "console/console_download_win.h"

#include <timeapi.h>
#include <windows.h>

#include <algorithm>
#include <functional>

#include "config/printer_models.h"
#include "console/console_interrupt_win.h"
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

// A console line is rewritten at most this often; a pipe gets a line per
// tenth of the image.
constexpr uint64_t kStatusEveryMs = 200;
// What the network link is handed at a time.
constexpr uint64_t kPieceBytes = 64 * 1024;

// Counts what reached the library, and stops handing it blocks once the
// user has pressed Ctrl+C: the engine then ends the run through its usual
// clean-up. A block in flight then is cut short by the binding itself.
class CountingDriver : public IPortDriver {
  public:
    explicit CountingDriver(IPortDriver& inner) : inner_(inner) {}
    bool Load(const std::string& path) override { return inner_.Load(path); }
    void Release() override { inner_.Release(); }
    int32_t SetDeviceOption(const ConnectionSettings& s) override {
        return inner_.SetDeviceOption(s);
    }
    int32_t OpenPort() override { return inner_.OpenPort(); }
    int32_t Write(const uint8_t* data, uint32_t count) override {
        if (Interrupted())
            return 0;
        return Counted(inner_.Write(data, count));
    }
    std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                         uint32_t restMs) override {
        if (Interrupted())
            return 0;
        const std::optional<int32_t> written = inner_.WriteThenRest(data, count, restMs);
        return written ? std::optional<int32_t>(Counted(*written)) : std::nullopt;
    }
    void ClosePort() override { inner_.ClosePort(); }
    uint64_t sent = 0;

  private:
    int32_t Counted(int32_t written) {
        if (written > 0)
            sent += static_cast<uint64_t>(written);
        return written;
    }
    IPortDriver& inner_;
};

// The same for the network. The image still goes as one stream on one
// connection, but handed over in pieces, so that progress can be shown and
// Ctrl+C stops it between two of them (a piece the printer does not take
// fails at Ctrl+C by itself).
class CountingLink : public INetworkLink {
  public:
    explicit CountingLink(INetworkLink& inner) : inner_(inner) {}
    bool Create() override { return inner_.Create(); }
    bool Connect(const std::string& host, uint16_t port) override {
        return !Interrupted() && inner_.Connect(host, port);
    }
    int64_t Send(const uint8_t* data, uint64_t count) override {
        uint64_t done = 0;
        while (done < count) {
            if (Interrupted())
                return -1;
            const uint64_t piece = std::min<uint64_t>(count - done, kPieceBytes);
            const int64_t result = inner_.Send(data + done, piece);
            if (result < 0 || static_cast<uint64_t>(result) != piece)
                return result < 0 ? result : static_cast<int64_t>(done) + result;
            done += piece;
            sent += piece;
            if (onProgress)
                onProgress();
        }
        return static_cast<int64_t>(done);
    }
    void Close() override { inner_.Close(); }
    uint64_t sent = 0;
    std::function<void()> onProgress;

  private:
    INetworkLink& inner_;
};

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

// The console in the place of the main window.
class ConsoleView : public IDownloadView {
  public:
    ConsoleView(const PortTarget& target, OutputStyle style, CConsoleOutput& output,
                const uint64_t& sent, const DownloadRequest& request)
        : port_(target.given), style_(style), out_(output), sent_(sent), request_(request),
          started_(GetTickCount64()) {}

    void RedrawAll() override {}

    void ShowProgress(int32_t value) override {
        if (value == 0)
            return; // the start of a run, nothing sent yet
        if (!closing_) {
            const uint64_t total = Total();
            if (sent_ < total) {
                ReportSending(total, false);
                return;
            }
            ReportSending(total, true);
            closing_ = true;
            return; // the first closing step follows at once
        }
        ReportClosing(value);
    }

    void ShowMessage(const std::string& text) override {
        // A send cut short by Ctrl+C is not the printer's failure.
        if (Interrupted()) {
            closing_ = true;
            return;
        }
        if (!message_)
            message_ = text;
        if (style_ == OutputStyle::Normal)
            out_.Line(port_ + ": " + text);
        closing_ = true; // after a failed send the closing wait still runs
    }

    void ShowLedNotice() override {
        if (Interrupted() || style_ != OutputStyle::Normal)
            return;
        out_.Line(port_ + ": " + kLedNoticeText);
    }

    const std::optional<std::string>& Message() const { return message_; }

    // Bytes went out without a progress value of the engine's (network).
    void SendingAdvanced() {
        const uint64_t total = Total();
        if (!closing_ && sent_ < total)
            ReportSending(total, false);
    }

    // Said once, when Ctrl+C came while the printer may be writing.
    void WarnInterrupted() {
        if (warned_)
            return;
        warned_ = true;
        const uint64_t total = Total();
        if (closing_ && sent_ >= total && total > 0)
            CConsoleOutput::Error(port_ +
                                  ": interrupted. The printer may still be writing its flash: do "
                                  "not switch it off until its LED stops blinking.");
        else
            CConsoleOutput::Error(port_ + ": interrupted after " + std::to_string(sent_) + " of " +
                                  std::to_string(total) +
                                  " bytes; the printer did not receive the whole image.");
    }

  private:
    uint64_t Total() {
        if (!total_) {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            uint64_t size = 0;
            if (GetFileAttributesExA(request_.firmwarePath.c_str(), GetFileExInfoStandard, &data))
                size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            total_ = size;
        }
        return *total_;
    }

    void ReportSending(uint64_t total, bool last) {
        const uint64_t now = GetTickCount64();
        if (style_ == OutputStyle::Json) {
            out_.Line(JsonProgress(port_, sent_, total));
            return;
        }
        if (style_ == OutputStyle::Quiet)
            return;
        const bool console = out_.IsConsole();
        const uint64_t tenth = total / 10 + 1;
        const bool due =
            console ? now - lastStatus_ >= kStatusEveryMs : sent_ / tenth != lastTenth_;
        if (!due && !last)
            return;
        lastStatus_ = now;
        lastTenth_ = sent_ / tenth;
        out_.Status(SendingLine(port_, sent_, total, now - started_));
    }

    void ReportClosing(int32_t value) {
        if (Interrupted())
            return;
        const double left = ClosingSecondsLeft(value);
        if (style_ == OutputStyle::Json) {
            out_.Line(JsonClosing(port_, left));
            return;
        }
        if (style_ == OutputStyle::Quiet)
            return;
        // Every step on a console; every 5 s into a log.
        if (out_.IsConsole() || (kProgressFull - value) % 7 == 0 || left == 0.0)
            out_.Status(ClosingLine(port_, left));
        if (left == 0.0 && out_.IsConsole())
            out_.Line("");
    }

    std::string port_;
    OutputStyle style_;
    CConsoleOutput& out_;
    const uint64_t& sent_;
    const DownloadRequest& request_;
    std::optional<uint64_t> total_;
    std::optional<std::string> message_;
    bool closing_ = false;
    bool warned_ = false;
    uint64_t started_;
    uint64_t lastStatus_ = 0;
    uint64_t lastTenth_ = 0;
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
    DownloadRequest request{connection.Record(), command.printerType, command.firmware};

    CDriverFileStore files;
    CSpoolerPorts spooler;
    CPortDriver library;
    library.InterruptWritesOn(InterruptEvent());
    CountingDriver driver(library);
    CPrinterSocket socket;
    socket.CancelOn(InterruptEvent());
    CountingLink link(socket);
    const bool network = target.kind == PortKind::Network;
    ConsoleView view(target, command.output, output, network ? link.sent : driver.sent, request);
    ConsoleClock clock([&view] { view.WarnInterrupted(); });
    link.onProgress = [&view] { view.SendingAdvanced(); };
    DownloadPorts ports{files, spooler, driver, link, view, clock};

    std::optional<DownloadOutcome> outcome;
    if (UsesHexFirmware(command.printerType)) {
        CImageFileStore images; // this run's own image file
        const HexDownloadResult hex = RunHexDownload(request, images, ports);
        if (!hex.conversion.ok()) {
            result.code = kExitFirmware;
            result.message = HexFailureMessage(hex.conversion);
            return result;
        }
        outcome = hex.download;
    } else {
        outcome = RunDownload(request, ports);
    }
    if (Interrupted()) {
        view.WarnInterrupted();
        result.code = kExitInterrupted;
        return result;
    }
    result.code = outcome ? ExitCodeFor(*outcome) : kExitFirmware;
    if (result.code != kExitSuccess)
        result.message = view.Message();
    return result;
}

} // namespace kestrel
