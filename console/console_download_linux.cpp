#include "console/console_download_linux.h"

#include <poll.h>
#include <signal.h>

#include "config/printer_models.h"
#include "config/settings_rules.h"
#include "console/console_interrupt_posix.h"
#include "download/hex_download.h"
#include "download/image_file_store_posix.h"
#include "ports/parallel_port_linux.h"
#include "ports/printer_socket_posix.h"
#include "ports/serial_port_linux.h"
#include "ports/wait_fd_posix.h"

namespace kestrel {
namespace {

// The port is built in: there is no library file to write or delete.
class BuiltInDriver : public IDriverFileStore {
  public:
    std::optional<std::string> WriteDriverFile(DriverKind) override { return "built-in"; }
    void DeleteDriverFile(const std::string&) override {}
};

// Nothing holds a tty or a socket on the printer's behalf yet.
class NoSpooler : public ISpooler {
  public:
    void ReleasePrinterPorts(const std::string&) override {}
    void RestorePrinterPorts() override {}
};

class SignalClock : public IClock {
  public:
    explicit SignalClock(std::function<void()> onInterrupt)
        : onInterrupt_(std::move(onInterrupt)) {}
    // Ends at once on a signal, so the closing wait does not hold the user.
    void Sleep(uint32_t ms) override {
        if (WaitFd(InterruptFd(), POLLIN, -1, ms) == FdWait::Ready)
            onInterrupt_();
    }
    void KeepAlive() override {}
    void BeginFineSleep() override {}
    void EndFineSleep() override {}

  private:
    std::function<void()> onInterrupt_;
};

} // namespace

PortResult RunConsoleDownload(const ConsoleCommand& command, const PortTarget& target,
                              CConsoleOutput& output) {
    SettingsFields fields = command.line;
    fields.portName = target.portName;
    if (target.kind == PortKind::Network)
        fields.baudRate = target.tcpPort;
    StoredConnection connection;
    connection.ApplyConfirmed(fields);
    DownloadRequest request{connection.Record(), command.printerType, command.firmware,
                            target.kind};

    BuiltInDriver files;
    NoSpooler spooler;
    const auto say = [](const std::string& text) { CConsoleOutput::Error("kestrelc: " + text); };
    CSerialPort serial(InterruptFd(), say);
    CParallelPort parallel(InterruptFd(), say);
    IPortDriver& port = target.kind == PortKind::Parallel ? static_cast<IPortDriver&>(parallel)
                                                          : serial;
    CountingDriver driver(port, output);
    CPrinterSocket socket(InterruptFd());
    CountingLink link(socket, output);
    const bool network = target.kind == PortKind::Network;
    ConsoleView view(target, command.output, output, network ? link.sent : driver.sent, request);
    SignalClock clock([&view] { view.WarnInterrupted(); });
    link.onProgress = [&view] { view.SendingAdvanced(); };
    DownloadPorts ports{files, spooler, driver, link, view, clock};

    PortResult result = RunConsoleEngine(command, request, ports, view, output,
                                         [] { return std::make_unique<CImageFileStore>(); });
    // SIGTERM and SIGHUP end a run as SIGINT does, with a code of their own.
    if (result.code == kExitInterrupted && InterruptSignal() != SIGINT)
        result.code = kExitTerminated;
    return result;
}

} // namespace kestrel
