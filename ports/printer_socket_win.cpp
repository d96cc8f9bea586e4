#include "ports/printer_socket_win.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "download/bounded_wait.h"
#include "download/ui_pump_win.h"

namespace kestrel {
namespace {

constexpr uint64_t kMostPerSend = 1u << 30;

// Milliseconds since some fixed point; its 16 ms steps do not matter for
// bounds of many seconds.
uint64_t NowMs() { return GetTickCount64(); }

}  // namespace

CPrinterSocket::~CPrinterSocket() { Close(); }

bool CPrinterSocket::Create() {
    Close();
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return false;
    u_long nonBlocking = 1;
    if (ioctlsocket(socket_, FIONBIO, &nonBlocking) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CPrinterSocket::WaitWritable(uint32_t limitMs) {
    const auto slice = [this](uint32_t sliceMs) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket_, &writable);
        FD_SET(socket_, &failed);
        timeval wait{0, static_cast<long>(sliceMs * 1000)};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == SOCKET_ERROR) return SliceResult::Failed;
        if (ready > 0) return FD_ISSET(socket_, &writable) ? SliceResult::Ready : SliceResult::Failed;
        PumpPaintAndTimers();
        return SliceResult::NotYet;
    };
    return WaitInSlices(limitMs, NowMs, slice) == WaitResult::Ready;
}

bool CPrinterSocket::Connect(const std::string& host, uint16_t port) {
    if (socket_ == INVALID_SOCKET) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
    if (!WaitWritable(kConnectLimitMs)) return false;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return false;
    return error == 0;
}

int64_t CPrinterSocket::Send(const uint8_t* data, uint64_t count) {
    if (socket_ == INVALID_SOCKET) return -1;
    uint64_t sent = 0;
    uint64_t lastPump = NowMs();
    while (sent < count) {
        // As much as the system takes at once: under Wine every call, and
        // every message check between calls, costs a round trip to its server.
        const int chunk = static_cast<int>(std::min(count - sent, kMostPerSend));
        const int n = send(socket_, reinterpret_cast<const char*>(data + sent), chunk, 0);
        if (n > 0) {
            sent += static_cast<uint64_t>(n);
            // While a slow printer takes the image piece by piece, the
            // window still paints.
            if (NowMs() - lastPump >= kWaitSliceMs) {
                PumpPaintAndTimers();
                lastPump = NowMs();
            }
            continue;
        }
        if ((n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) ||
            // A printer that stops taking bytes for this long is gone.
            !WaitWritable(kStallLimitMs)) {
            sendFailed_ = true;
            return -1;
        }
    }
    return static_cast<int64_t>(sent);
}

void CPrinterSocket::Close() {
    if (socket_ == INVALID_SOCKET) return;
    if (sendFailed_) {
        // Reset rather than close: the system would otherwise go on offering
        // the rest of a failed image to a printer that is not taking it.
        const linger abort{1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
        sendFailed_ = false;
    }
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

}  // namespace kestrel
