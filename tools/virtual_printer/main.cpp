// The virtual printer: stands for a receipt printer on a serial line so that
// the Windows program and its drivers can be tested under Wine on Linux.
#include "tools/virtual_printer/host_link.h"
#include "tools/virtual_printer/printer_options.h"
#include "tools/virtual_printer/printer_session.h"
#include "tools/virtual_printer/pty_transport.h"
#include "tools/virtual_printer/tcp_transport.h"
#include "tools/virtual_printer/unique_fd.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

using namespace kestrel::vprinter;

// Written by the signal handler: the only way a signal reaches the loop.
int g_signalWriteFd = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalWriteFd, &byte, 1);
    errno = saved;
}

bool InstallStopSignals(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    for (int fd : fds)
        if (::fcntl(fd, F_SETFL, O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
            return false;
    g_signalWriteFd = writeEnd.Get();
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        if (::sigaction(sig, &sa, nullptr) != 0)
            return false;
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const OptionsParse parsed = ParsePrinterOptions(args);
    if (!parsed.options) {
        std::cerr << "virtual_printer: " << parsed.error << "\n" << PrinterUsage();
        return 2;
    }
    const PrinterOptions& options = *parsed.options;
    if (options.help) {
        std::cout << PrinterUsage();
        return 0;
    }

    UniqueFd stopRead, stopWrite;
    if (!InstallStopSignals(stopRead, stopWrite)) {
        std::cerr << "virtual_printer: signal set-up: " << std::strerror(errno) << "\n";
        return 1;
    }
    std::string error;
    std::unique_ptr<Transport> transport;
    if (options.tcpPort)
        transport = TcpTransport::Listen(*options.tcpPort, options.receiveBuffer, error);
    else
        transport = PtyTransport::Open(error);
    if (!transport) {
        std::cerr << "virtual_printer: " << error << "\n";
        return 1;
    }
    HostLink link;
    if (!options.linkPath.empty() && !link.Make(options.linkPath, transport->HostPath(), error)) {
        std::cerr << "virtual_printer: " << error << "\n";
        return 1;
    }
    PrinterSession session(options, *transport, link);
    if (!session.Prepare(error)) {
        std::cerr << "virtual_printer: " << error << "\n";
        return 1;
    }
    // The one line a harness waits for: everything is in place from here on.
    std::cout << transport->ReadyLine() << std::endl;
    const int code = session.Run(stopRead.Get());
    std::cerr << "virtual_printer: received " << session.Received() << " bytes\n";
    return code;
}
