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
    // Each call first answers what the window was sent during the run's
    // steps before it (driver file and repaint before this one, the image
    // read before Send), so that they never add up to one long silence.
    PumpPaintAndTimers();
    Close();
    if (!changed_) changed_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!changed_) return false;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return false;
    // Also makes the socket non-blocking.
    if (WSAEventSelect(socket_, changed_.Get(), FD_CONNECT | FD_WRITE | FD_CLOSE) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CPrinterSocket::WaitWritable(uint32_t limitMs) {
    const auto slice = [this](uint32_t sliceMs) {
        // Cleared before the look, so that a change after it still wakes
        // the wait below.
        WSANETWORKEVENTS seen;
        if (WSAEnumNetworkEvents(socket_, changed_.Get(), &seen) != 0) return SliceResult::Failed;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket_, &writable);
        FD_SET(socket_, &failed);
        timeval now{0, 0};
        const int ready = select(0, nullptr, &writable, &failed, &now);
        if (ready == SOCKET_ERROR) return SliceResult::Failed;
        if (ready > 0) return FD_ISSET(socket_, &writable) ? SliceResult::Ready : SliceResult::Failed;
        // A select with a time-out would leave the window unanswered for
        // the whole slice: a message sent to it ends this wait at once.
        HANDLE changed = changed_.Get();
        MsgWaitForMultipleObjects(1, &changed, FALSE, sliceMs,
                                  QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
        PumpPaintAndTimers();
        return SliceResult::NotYet;
    };

    // A cancel ends the wait at the next slice.
    const auto cancellable = [this, &slice](uint32_t sliceMs) {
        if (cancel_ && WaitForSingleObject(cancel_, 0) == WAIT_OBJECT_0)
            return SliceResult::Failed;
        return slice(sliceMs);
    };
    return WaitInSlices(limitMs, NowMs, cancellable) == WaitResult::Ready;
}

bool CPrinterSocket::Connect(const std::string& host, uint16_t port) {
    PumpPaintAndTimers();
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
    PumpPaintAndTimers();
    if (socket_ == INVALID_SOCKET) return -1;
    uint64_t sent = 0;
    while (sent < count) {
        // As much as the system takes at once: under Wine every call, and
        // every message check between calls, costs a round trip to its server.
        const int chunk = static_cast<int>(std::min(count - sent, kMostPerSend));
        const int n = send(socket_, reinterpret_cast<const char*>(data + sent), chunk, 0);
        if (n > 0) {
            sent += static_cast<uint64_t>(n);
            // While a printer takes the image piece by piece, the window
            // answers between the pieces too (one question to the system
            // when nothing waits).
            PumpPaintAndTimers();
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
