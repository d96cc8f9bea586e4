#include "drivers/common/watched_write.h"

#include "drivers/common/port_bounds.h"
#include "drivers/common/serial_write_watch.h"
#include "drivers/common/win_handle.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// One piece on its way, on the heap: a transfer whose cancellation never
// completes keeps its copy and record for good instead of the caller's block.
struct CPiece {
    uint8_t data[kPrinterWritePiece] = {};
    OVERLAPPED ov{};
    CHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

enum class PieceEnd { Completed, Stalled, Stopped, Abandoned };

bool Signalled(HANDLE h) {
    return h && ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
}

// Waits for the piece in flight until it completes, the watch says stalled
// or `stop` is set; an unfinished piece is cancelled and completed.
PieceEnd AwaitPiece(HANDLE device, HANDLE stop, CPiece& piece, const CSerialWriteWatch& watch) {
    HANDLE waits[] = {piece.event.Get(), stop};
    PieceEnd end = PieceEnd::Stalled;
    for (;;) {
        const uint64_t left = watch.MsUntilStalled(::GetTickCount64());
        if (left == 0)
            break;
        const DWORD slice = static_cast<DWORD>(std::min<uint64_t>(left, INFINITE - 1));
        const DWORD woke = ::WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, slice);
        if (woke == WAIT_OBJECT_0)
            return PieceEnd::Completed;
        if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_FAILED) {
            end = PieceEnd::Stopped;
            break;
        }
    }
    ::CancelIoEx(device, &piece.ov);
    if (::WaitForSingleObject(piece.event.Get(), kCancelGraceMs) != WAIT_OBJECT_0)
        return PieceEnd::Abandoned;
    return end;
}

} // namespace

WatchedWriteEnd WatchedWrite(HANDLE device, HANDLE stop, const uint8_t* data, uint32_t count,
                             uint64_t stallMs, DWORD retryPauseMs) {
    WatchedWriteEnd result;
    auto piece = std::unique_ptr<CPiece>(new (std::nothrow) CPiece);
    if (!piece || !piece->event) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    CSerialWriteWatch watch(::GetTickCount64(), 0, stallMs);
    while (result.written < count && !Signalled(stop)) {
        const uint32_t ask = std::min(kPrinterWritePiece, count - result.written);
        std::memcpy(piece->data, data + result.written, ask);
        ::ResetEvent(piece->event.Get());
        piece->ov = OVERLAPPED{};
        piece->ov.hEvent = piece->event.Get();
        if (!::WriteFile(device, piece->data, ask, nullptr, &piece->ov) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            result.error = ::GetLastError();
            break;
        }
        const PieceEnd end = AwaitPiece(device, stop, *piece, watch);
        if (end == PieceEnd::Abandoned) {
            (void)piece.release(); // still the device's: left behind on purpose
            break;
        }
        DWORD moved = 0;
        const bool ok = ::GetOverlappedResult(device, &piece->ov, &moved, FALSE) != FALSE;
        const DWORD error = ok ? 0 : ::GetLastError();
        // A cancelled piece still reports what the device took before it.
        moved = std::min<DWORD>(static_cast<DWORD>(piece->ov.InternalHigh), ask);
        result.written += moved;
        if (moved > 0)
            watch.Progress(::GetTickCount64());
        if (end != PieceEnd::Completed) {
            result.stalled = end == PieceEnd::Stalled;
            break;
        }
        if (!ok && error != ERROR_OPERATION_ABORTED) {
            result.error = error;
            break;
        }
        if (moved < ask) {
            if (watch.Stalled(::GetTickCount64())) {
                result.stalled = true;
                break;
            }
            if (stop ? ::WaitForSingleObject(stop, retryPauseMs) != WAIT_TIMEOUT
                     : (::Sleep(retryPauseMs), false))
                break;
        }
    }
    return result;
}
