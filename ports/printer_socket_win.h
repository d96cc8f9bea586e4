// The TCP connection to a printer on Ethernet. Its calls block the caller
// as a blocking socket would, but keep the window painting meanwhile, and
// none of them waits without a bound.
#pragma once

#include <winsock2.h>

#include "download/download_engine.h"
#include "ports/network_bounds.h"
#include "framework/win_handle.h"

namespace kestrel {

class CPrinterSocket : public INetworkLink {
public:
    CPrinterSocket() = default;
    ~CPrinterSocket() override;
    CPrinterSocket(const CPrinterSocket&) = delete;
    CPrinterSocket& operator=(const CPrinterSocket&) = delete;

    bool Create() override;
    // `host` is a dotted IPv4 address; names are not looked up.
    bool Connect(const std::string& host, uint16_t port) override;
    int64_t Send(const uint8_t* data, uint64_t count) override;
    void Close() override;
    // A Connect or Send waiting on the printer fails once `event` is
    // signalled (kestrelc's Ctrl+C).
    void CancelOn(HANDLE event) { cancel_ = event; }

    // Longest wait for a connection, and for a printer that takes no byte.
    static constexpr uint32_t kConnectLimitMs = kNetworkConnectLimitMs;
    static constexpr uint32_t kStallLimitMs = kNetworkStallLimitMs;

private:
    // Waits until the socket can be written or has failed, answering the
    // window the moment a message comes; false on time-out.
    bool WaitWritable(uint32_t limitMs);

    HANDLE cancel_ = nullptr;  // not owned
    SOCKET socket_ = INVALID_SOCKET;
    // Set by the system when the socket connects, can take bytes again or
    // is closed by the printer; wakes WaitWritable beside window messages.
    UniqueHandle changed_;
    bool sendFailed_ = false;  // Close then resets the connection
};

}  // namespace kestrel
