#include "ports/parallel_port_linux.h"

#include <linux/lp.h>
#include <sys/ioctl.h>

#include "download/test_bound.h"
#include "drivers/common/serial_write_watch.h"
#include "ports/wait_fd_posix.h"

namespace kestrel {
namespace {

// A tree built with tests may shorten the bound (KESTREL_TEST_PRINTER_STALL_MS),
// so that the console's test of a printer that stops reading need not sit
// through it.
uint64_t StallMs(int32_t writeTimeout) {
    const uint64_t bound = PrinterStallMs(writeTimeout);
    return BoundFromTestEnvironment("KESTREL_TEST_PRINTER_STALL_MS",
                                    static_cast<uint32_t>(bound));
}

} // namespace

int32_t CParallelPort::SetDeviceOption(const ConnectionSettings& settings) {
    path_ = settings.portName ? settings.portName : "";
    writeTimeout_ = settings.writeTimeout;
    return path_.empty() ? 0 : 1;
}

int32_t CParallelPort::OpenPort() {
    said_.clear();
    if (!device_.Open(path_)) {
        say_(device_.Problem());
        return 0;
    }
    SayNotReady();
    return 1;
}

// The status register as the port driver hands it over: BUSY comes in
// inverted (set: not busy), ERROR is active low.
std::string CParallelPort::NotReadyReason() const {
    int status = 0;
    if (ioctl(device_.Fd(), LPGETSTATUS, &status) != 0)
        return {};
    if (status & LP_POUTPA)
        return "out of paper";
    if (!(status & LP_PSELECD))
        return "off line";
    if (!(status & LP_PERRORP))
        return "in error";
    return {};
}

bool CParallelPort::SayNotReady() {
    const std::string reason = NotReadyReason();
    if (!reason.empty() && reason != said_)
        say_(path_ + ": the printer is " + reason + "; waiting for it");
    said_ = reason;
    return !reason.empty();
}

int32_t CParallelPort::Write(const uint8_t* data, uint32_t count) {
    if (device_.Fd() < 0)
        return -1;
    // The kernel's driver refuses a write while the printer is out of paper
    // or off line; that counts against the stall bound like a held BUSY.
    DeviceWriteRules rules;
    rules.piece = kPrinterWritePiece;
    rules.notReady = [this](int) { return SayNotReady(); };
    CSerialWriteWatch watch(MonotonicMs(), 0, StallMs(writeTimeout_));
    return static_cast<int32_t>(device_.Write(data, count, watch, rules));
}

} // namespace kestrel
