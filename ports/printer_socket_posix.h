// The TCP connection to a printer on Ethernet over POSIX sockets: a
// connect and a send that never wait without a bound, and that end the
// moment the run's cancel descriptor turns readable.
#pragma once

#include "download/download_engine.h"

namespace kestrel {

class CPrinterSocket : public INetworkLink {
  public:
    explicit CPrinterSocket(int cancelFd) : cancelFd_(cancelFd) {}
    ~CPrinterSocket() override { Close(); }
    CPrinterSocket(const CPrinterSocket&) = delete;
    CPrinterSocket& operator=(const CPrinterSocket&) = delete;

    bool Create() override;
    // `host` is a dotted IPv4 address; names are not looked up.
    bool Connect(const std::string& host, uint16_t port) override;
    int64_t Send(const uint8_t* data, uint64_t count) override;
    void Close() override;

  private:
    int cancelFd_;
    int fd_ = -1;
    bool sendFailed_ = false; // Close then resets the connection
};

} // namespace kestrel
