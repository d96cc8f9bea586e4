// Runs the driver library's calls on a thread of their own while the
// user-interface thread waits and keeps painting. A write to a printer that
// has stopped reading may take the driver its full bound (over 20 s for a
// 4096-byte block); the window must not turn "Not Responding" meanwhile.
//
// The thread is the library's one caller from load to unload: it loads and
// frees it, makes every call, and between calls takes the window messages
// of its own windows. usb.dll creates its device-change window on the thread
// that opens the port and answers notices there, so that window is created,
// served and destroyed by this one thread and never outlives its code.
//
// A download with 64-byte blocks makes thousands of calls a second, each
// followed by a 1 ms pause. The pause is kept here, on the driver thread,
// from the moment the write returned, while the user-interface thread
// repaints and hands over the next block: the hand-over is not added to
// every pause. Both sides spin for a moment before sleeping in the kernel,
// so a hand-off costs microseconds instead of a scheduler round trip.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace kestrel {

class CDriverCallThread {
public:
    CDriverCallThread() = default;
    ~CDriverCallThread();
    CDriverCallThread(const CDriverCallThread&) = delete;
    CDriverCallThread& operator=(const CDriverCallThread&) = delete;

    // Runs `call` on the driver thread and gives its result, handling paint,
    // timer and sent messages meanwhile; runs it here when the thread cannot
    // be made. Nothing when the call has not returned after `boundMs`: the
    // thread is then given up (the call keeps what it captured, so it must
    // capture by value) and every later Run gives nothing at once.
    //
    // With `restMs`, the thread then keeps the library quiet for that long
    // from the moment the call returned, and only then serves its windows
    // and takes the next call; this thread has the result at once.
    //
    // With `interrupt`, the wait also watches its event: once it is
    // signalled, `cancel` runs here, on the waiting thread, while the call is
    // still in flight on the driver thread, and the call is then given at
    // most `afterCancelMs` more to come back.
    struct Interrupt {
        HANDLE event = nullptr;
        std::function<void()> cancel;
        uint32_t afterCancelMs = 0;
    };
    std::optional<int32_t> Run(std::function<int32_t()> call, uint32_t boundMs, uint32_t restMs = 0,
                               const Interrupt* interrupt = nullptr);

    // A call ran past its bound and may still be running.
    bool Abandoned() const { return abandoned_; }

    struct Shared; // what the thread and its owner share; lives until both let go

private:
    bool Start();

    std::shared_ptr<Shared> shared_;
    HANDLE thread_ = nullptr; // owned
    bool abandoned_ = false;
};

} // namespace kestrel
