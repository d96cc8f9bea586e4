// A printer on the network: listens on 127.0.0.1 and takes one connection
// at a time, as the program opens one per download. When the host closes
// its connection the printer listens again; what it received is kept in
// one record across connections. There are no line settings.
#pragma once

#include "tools/virtual_printer/transport.h"
#include "tools/virtual_printer/unique_fd.h"

#include <cstdint>
#include <optional>
#include <memory>
#include <string>

namespace kestrel::vprinter {

class TcpTransport final : public Transport {
  public:
    // Port 0 takes a free port; ReadyLine names the one taken.
    // `receiveBuffer` is set on the listener, before listen(), so that every
    // accepted connection starts with it and the window it offers stays small.
    static std::unique_ptr<TcpTransport> Listen(std::uint16_t port,
                                                std::optional<std::uint64_t> receiveBuffer,
                                                std::string& error);

    std::string ReadyLine() const override { return "TCP 127.0.0.1:" + std::to_string(port_); }
    std::string HostPath() const override { return {}; }
    // The connection while there is one, else the listener (readable when
    // a host connects).
    int PollFd() const override {
        return connection_.Valid() ? connection_.Get() : listener_.Get();
    }
    IoResult Receive(std::span<std::uint8_t> buffer) override;
    IoResult Send(std::span<const std::uint8_t> bytes) override;
    // Resets the connection (the host's next transfer fails, bytes it had
    // handed over are lost) and stops listening: later connects are refused.
    void Drop() override;
    bool Dropped() const override { return !listener_.Valid(); }
    std::optional<LineSettings> Settings() const override { return std::nullopt; }

  private:
    TcpTransport(UniqueFd listener, std::uint16_t port)
        : listener_(std::move(listener)), port_(port) {}
    bool AcceptWaiting();
    void EndConnection(const char* how);

    UniqueFd listener_;
    UniqueFd connection_;
    std::uint16_t port_;
    // Logged, so that a test can tell one connection from several.
    unsigned connections_ = 0;
    std::uint64_t connectionBytes_ = 0;
};

} // namespace kestrel::vprinter
