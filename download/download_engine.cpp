#include "download/download_engine.h"

#include <vector>

#include "download/closing_step.h"
#include "firmware/firmware_file.h"
#include "download/printer_address.h"

namespace kestrel {
namespace {

// Gives back whatever the run took, in the order the normal end uses, on
// every way out of RunDownload: port closed before the library goes, the
// library freed before its file is deleted, printers back on their ports.
class RunResources {
public:
    explicit RunResources(DownloadPorts& ports) : ports_(ports) {}
    RunResources(const RunResources&) = delete;
    RunResources& operator=(const RunResources&) = delete;

    ~RunResources() {
        if (socketCreated) ports_.network.Close();
        // A failed OpenPort can leave the device half-open inside the library
        // (handle held, flag clear); closing it is harmless otherwise.
        if (portOpenCalled) ports_.driver.ClosePort();
        if (libraryLoaded) ports_.driver.Release();
        if (driverFile) ports_.files.DeleteDriverFile(*driverFile);
        if (spoolerReleased) ports_.spooler.RestorePrinterPorts();
    }

    std::optional<std::string> driverFile;
    bool spoolerReleased = false;
    bool libraryLoaded = false;
    bool portOpenCalled = false;
    bool socketCreated = false;

private:
    DownloadPorts& ports_;
};

class FineSleep {
public:
    FineSleep(IClock& clock, bool wanted) : clock_(clock), active_(wanted) {
        if (active_) clock_.BeginFineSleep();
    }
    ~FineSleep() {
        if (active_) clock_.EndFineSleep();
    }
    FineSleep(const FineSleep&) = delete;
    FineSleep& operator=(const FineSleep&) = delete;

private:
    IClock& clock_;
    bool active_;
};

DownloadOutcome Fail(DownloadPorts& ports, const char* text, DownloadOutcome outcome) {
    ports.view.ShowMessage(text);
    return outcome;
}

// Returns the progress value reached; sets `failed` on a short write.
int32_t SendBlocks(const std::vector<uint8_t>& image, uint32_t blockSize, DownloadPorts& ports,
                   int32_t progress, bool& failed) {
    const uint64_t length = image.size();
    FineSleep fine(ports.clock, blockSize < 4096);
    uint64_t sent = 0;
    while (sent < length) {
        const uint64_t remaining = length - sent;
        const bool full = remaining >= blockSize;
        const uint32_t count = full ? blockSize : static_cast<uint32_t>(remaining);
        // The pause after a 64-byte block starts as the write returns. A
        // binding that rests on its own thread pauses there, while this one
        // repaints and hands over the next block: the hand-over no longer
        // adds to every pause.
        const bool pause = full && blockSize == 64;
        const std::optional<int32_t> rested =
            pause ? ports.driver.WriteThenRest(image.data() + sent, count, 1) : std::nullopt;
        const int32_t written = rested ? *rested : ports.driver.Write(image.data() + sent, count);
        if (written < 0 || static_cast<uint32_t>(written) != count) {
            failed = true;
            return progress;
        }
        // Otherwise the pause is waited here: the bar's repaint (about 2 ms
        // under Wine, once per 17 blocks) counts towards it instead of
        // adding to it, and the pause itself keeps the window painting.
        const bool waitHere = pause && !rested;
        const uint64_t pauseMark = waitHere ? ports.clock.PauseMark() : 0;
        sent += count;
        const int32_t value = SendProgress(sent, length);
        if (value != progress) {
            progress = value;
            ports.view.ShowProgress(progress);
        }
        if (waitHere)
            ports.clock.SleepRest(pauseMark, 1);
        else
            ports.clock.KeepAlive();
    }
    return progress;
}

void ClosingWait(DownloadPorts& ports, int32_t progress) {
    for (;;) {
        ++progress;
        ports.view.ShowProgress(progress);
        if (progress >= kProgressFull) return;
        ports.clock.Sleep(ClosingStepMs());
    }
}

}  // namespace

uint32_t BlockSizeFor(PortKind kind, int32_t printerType) {
    if (kind == PortKind::Usb && (printerType == 203 || printerType == 352)) return 64;
    return 4096;
}

int32_t SendProgress(uint64_t sent, uint64_t length) {
    if (length == 0) return 0;
    return static_cast<int32_t>(sent * kSentProgress / length);
}

DownloadOutcome RunDownload(const DownloadRequest& request, DownloadPorts& ports) {
    const std::string portName = request.settings.portName ? request.settings.portName : "";
    const PortKind kind = request.kind.value_or(ClassifyPortName(portName));
    const bool network = kind == PortKind::Network;
    RunResources taken(ports);

    taken.driverFile = ports.files.WriteDriverFile(DriverForPort(kind));

    int32_t progress = 0;
    ports.view.ShowProgress(progress);
    ports.view.RedrawAll();

    if (IsSpoolerPort(kind)) {
        ports.spooler.ReleasePrinterPorts(portName);
        taken.spoolerReleased = true;
    }

    if (network) {
        if (!ports.network.Create())
            return Fail(ports, msg::kPortCreateFailed, DownloadOutcome::SocketCreateFailed);
        taken.socketCreated = true;
        const int32_t port = request.settings.baudRate;
        // An address that cannot be a printer is never connected to: 0.0.0.0
        // would reach this very machine.
        if (port < 0 || port > 65535 ||
            JudgePrinterAddress(portName) != AddressVerdict::Usable ||
            !ports.network.Connect(portName, static_cast<uint16_t>(port)))
            return Fail(ports, msg::kSocketConnect, DownloadOutcome::ConnectFailed);
    } else {
        if (!taken.driverFile)
            return Fail(ports, msg::kPortCreateFailed, DownloadOutcome::DriverFileFailed);
        if (!ports.driver.Load(*taken.driverFile))
            return Fail(ports, msg::kPortCreateFailed, DownloadOutcome::LoadFailed);
        taken.libraryLoaded = true;
        if (ports.driver.SetDeviceOption(request.settings) == 0)
            return Fail(ports, msg::kConfigurationSet, DownloadOutcome::ConfigurationFailed);
        taken.portOpenCalled = true;
        if (ports.driver.OpenPort() == 0)
            return Fail(ports, msg::kPortOpen, DownloadOutcome::OpenFailed);
    }

    FirmwareImage image = ReadFirmwareFile(request.firmwarePath);
    if (image.status == FirmwareStatus::OpenFailed)
        return Fail(ports, msg::kFileOpen, DownloadOutcome::FileOpenFailed);
    if (image.status == FirmwareStatus::Empty)
        return Fail(ports, msg::kFileEmpty, DownloadOutcome::FileEmpty);

    DownloadOutcome outcome = DownloadOutcome::Completed;
    if (network) {
        const int64_t sent = ports.network.Send(image.bytes.data(), image.bytes.size());
        if (sent < 0 || static_cast<uint64_t>(sent) != image.bytes.size())
            return Fail(ports, msg::kNetworkWrite, DownloadOutcome::NetworkWriteFailed);
        progress = kNetworkSentProgress;
        ports.view.ShowProgress(progress);
    } else {
        bool failed = false;
        progress = SendBlocks(image.bytes, BlockSizeFor(kind, request.printerType), ports,
                              progress, failed);
        if (failed) {
            ports.view.ShowMessage(msg::kSendFailed);
            outcome = DownloadOutcome::SendFailed;
        }
    }

    // The printer is writing its flash now; the port stays open until the
    // user has seen the notice.
    ClosingWait(ports, progress);
    ports.view.ShowLedNotice();
    return outcome;
}

}  // namespace kestrel
