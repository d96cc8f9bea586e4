#include "console/console_interrupt_win.h"

#include <atomic>

namespace kestrel {
namespace {

std::atomic<bool> g_interrupted{false};
HANDLE g_interruptEvent = nullptr; // manual-reset, lives as long as the process
HANDLE g_cleanupDone = nullptr;    // manual-reset, likewise

// Windows ends the process after the handler returns for these; give the
// clean-up most of the few seconds it allows.
constexpr DWORD kCloseCleanupMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
    g_interrupted = true;
    SetEvent(g_interruptEvent);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    WaitForSingleObject(g_cleanupDone, kCloseCleanupMs);
    return TRUE;
}

} // namespace

void InstallInterruptHandler() {
    if (g_interruptEvent == nullptr)
        g_interruptEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (g_cleanupDone == nullptr)
        g_cleanupDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

bool Interrupted() {
    return g_interrupted;
}

HANDLE InterruptEvent() {
    return g_interruptEvent;
}

void CleanupFinished() {
    if (g_cleanupDone != nullptr)
        SetEvent(g_cleanupDone);
}

} // namespace kestrel
