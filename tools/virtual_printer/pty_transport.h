// A pseudo-terminal pair: the host (Wine's COMn) opens the slave by path;
// the printer reads and writes the master. The printer also keeps the slave
// open itself, so that the host's line settings and any bytes waiting for
// the host survive the host closing and reopening the port, as they would
// on a real serial port, and so that the master never sees a hang-up.
#pragma once

#include "tools/virtual_printer/transport.h"
#include "tools/virtual_printer/unique_fd.h"

#include <memory>
#include <string>

namespace kestrel::vprinter {

class PtyTransport final : public Transport {
  public:
    // Null with `error` set when the system gives no pty.
    static std::unique_ptr<PtyTransport> Open(std::string& error);

    std::string ReadyLine() const override { return "PTY " + slavePath_; }
    std::string HostPath() const override { return slavePath_; }
    int PollFd() const override { return master_.Get(); }
    IoResult Receive(std::span<std::uint8_t> buffer) override;
    IoResult Send(std::span<const std::uint8_t> bytes) override;
    void Drop() override;
    bool Dropped() const override { return !master_.Valid(); }
    std::optional<LineSettings> Settings() const override;

  private:
    PtyTransport(UniqueFd master, UniqueFd slave, std::string slavePath);

    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
};

} // namespace kestrel::vprinter
