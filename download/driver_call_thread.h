// Runs the driver library's calls on a thread of their own while the
// user-interface thread waits and keeps painting. A write to a printer that
// has stopped reading may take the driver its full bound (over 20 s for a
// 4096-byte block); the window must not turn "Not Responding" meanwhile.
// All calls go to the same thread, so the library still sees one caller.
#pragma once

#include <windows.h>

#include <functional>

namespace kestrel {

class CDriverCallThread {
public:
    CDriverCallThread() = default;
    ~CDriverCallThread();
    CDriverCallThread(const CDriverCallThread&) = delete;
    CDriverCallThread& operator=(const CDriverCallThread&) = delete;

    // Runs `call` on the driver thread and returns when it has finished,
    // handling paint, timer and sent messages meanwhile. Runs it here when
    // the thread cannot be made.
    void Run(const std::function<void()>& call);

private:
    bool Start();
    static DWORD WINAPI Main(void* self);

    HANDLE thread_ = nullptr;
    HANDLE workReady_ = nullptr;  // auto-reset: a call (or the stop) is posted
    HANDLE workDone_ = nullptr;   // auto-reset: the posted call has returned
    // Handed over through the two events: written by the caller before
    // workReady_ is set, read by the driver thread until it sets workDone_.
    const std::function<void()>* job_ = nullptr;
    bool stopping_ = false;
};

}  // namespace kestrel
