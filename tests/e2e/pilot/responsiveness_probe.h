// Measures how long the program's window takes to answer a message while
// it works: a second thread keeps sending WM_NULL and records each answer's
// delay. A window that leaves messages unanswered for seconds is what
// Windows marks "Not responding".
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "tests/e2e/pilot/owned_handles.h"

namespace e2e {

struct ProbeResult {
    int answers = 0;
    int timeouts = 0;     // sends that got no answer within the send bound
    double longestMs = 0; // longest wait for one answer (a timeout counts as the bound)
    double longestAskedMs = 0; // when that question was asked, from the probe's start
    double meanMs = 0;
};

class ResponsivenessProbe {
  public:
    static constexpr UINT kSendBoundMs = 5000;

    // Sends `message` (WM_NULL unless told) with `wParam` and no record.
    explicit ResponsivenessProbe(HWND window, UINT message = WM_NULL, WPARAM wParam = 0);
    ~ResponsivenessProbe(); // stops the thread
    ResponsivenessProbe(const ResponsivenessProbe&) = delete;
    ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

    ProbeResult Stop();

  private:
    void Run();

    HWND window_;
    UINT message_;
    WPARAM wParam_;
    OwnedHandle stop_;
    ProbeResult result_; // written by the probe thread, read after join
    std::thread thread_;
};

} // namespace e2e
