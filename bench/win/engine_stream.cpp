// How long the engine takes to stream a converted flash image through a
// transport that costs nothing, with the real clock and a real window
// repainting its progress bar. What is left is the engine's own cost:
// repaints, the pumping between blocks, and for 64-byte blocks the 1 ms
// sleeps, whose floor is 4096 x the measured length of one sleep.
// With --usb PATH it instead streams through the real binding and usb.dll,
// with the program's settings, to the printer behind that device path (see
// bench/usb_stream.sh), and prints the ratio to the floor. There the pause
// is kept by the driver thread with a plain sleep, which under Wine ends
// nearer 1 ms than the window-pumping sleep the floor is measured with, so
// a ratio a little under 1 is possible; the pause is never under 1 ms.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "config/settings_rules.h"
#include "download/download_engine.h"
#include "driver_host/driver_loader_win.h"
#include "download/ui_clock_win.h"

namespace {

using namespace kestrel;

double NowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

struct NullDriver : IPortDriver, IDriverFileStore, ISpooler, INetworkLink {
    double first = 0, last = 0;
    bool Load(const std::string&) override { return true; }
    void Release() override {}
    int32_t SetDeviceOption(const ConnectionSettings&) override { return 1; }
    int32_t OpenPort() override { return 1; }
    int writes = 0;
    int32_t Write(const uint8_t*, uint32_t count) override {
        ++writes;
        last = NowMs();
        if (first == 0) first = last;
        return static_cast<int32_t>(count);
    }
    void ClosePort() override {}
    std::optional<std::string> WriteDriverFile(DriverKind) override { return "null.dll"; }
    void DeleteDriverFile(const std::string&) override {}
    void ReleasePrinterPorts(const std::string&) override {}
    void RestorePrinterPorts() override {}
    bool Create() override { return false; }
    bool Connect(const std::string&, uint16_t) override { return false; }
    int64_t Send(const uint8_t*, uint64_t) override { return -1; }
    void Close() override {}
};

// The real binding to a library that costs nothing, so the hand-over of
// every call to the driver thread is in the measurement.
struct BoundNullDriver : NullDriver {
    CPortDriver real;
    bool Load(const std::string& path) override { return real.Load(path); }
    void Release() override { real.Release(); }
    int32_t SetDeviceOption(const ConnectionSettings& s) override { return real.SetDeviceOption(s); }
    int32_t OpenPort() override { return real.OpenPort(); }
    int32_t Write(const uint8_t* data, uint32_t count) override {
        NullDriver::Write(data, count);
        const int32_t written = real.Write(data, count);
        inWriteMs += NowMs() - last;
        return written;
    }
    std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                         uint32_t restMs) override {
        NullDriver::Write(data, count);
        const std::optional<int32_t> written = real.WriteThenRest(data, count, restMs);
        inWriteMs += NowMs() - last;
        return written;
    }
    double inWriteMs = 0;  // hand-off, the rest after the last block, the call, and back
    void ClosePort() override { real.ClosePort(); }
    std::optional<std::string> WriteDriverFile(DriverKind) override { return path; }
    std::string path;
};

// The real clock, except that the closing wait is not waited out.
struct SendOnlyClock : CUiClock {
    void Sleep(uint32_t ms) override {
        if (ms < kClosingStepMs) CUiClock::Sleep(ms);
    }
};

struct WindowView : IDownloadView {
    HWND hwnd;
    int32_t value = 0;
    int repaints = 0;
    void RedrawAll() override {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
    }
    void ShowProgress(int32_t v) override {
        value = v;
        RECT bar{8, 200, 278, 210};
        InvalidateRect(hwnd, &bar, TRUE);
        UpdateWindow(hwnd);
        ++repaints;
    }
    void ShowMessage(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    void ShowLedNotice() override {}
};

double MeasuredSleepMs(int samples) {
    CUiClock clock;
    clock.BeginFineSleep();
    const double start = NowMs();
    for (int i = 0; i < samples; ++i) clock.Sleep(1);
    const double per = (NowMs() - start) / samples;
    clock.EndFineSleep();
    return per;
}

// The two 64-byte families through usb.dll to a printer.
int StreamThroughUsb(HWND hwnd, const std::string& image, const std::string& usbDll,
                     const std::string& devicePath, double sleepMs) {
    StoredConnection connection;
    SettingsFields fields = connection.Fields();
    fields.portName = devicePath;
    connection.ApplyConfirmed(fields);
    const double floorMs = 4096 * sleepMs;
    int failures = 0;
    for (int32_t type : {203, 352}) {
        BoundNullDriver driver;
        driver.path = usbDll;
        WindowView view;
        view.hwnd = hwnd;
        SendOnlyClock clock;
        DownloadPorts ports{driver, driver, driver, driver, view, clock};
        DownloadRequest request{connection.Record(), type, image, {}};
        if (RunDownload(request, ports) != DownloadOutcome::Completed) {
            std::printf("type %d through usb.dll did not complete\n", type);
            ++failures;
            continue;
        }
        const double took = driver.last - driver.first;
        std::printf("type %d through usb.dll: 262,148 bytes in %8.1f ms, floor %8.1f ms, "
                    "ratio %.3f (target 1.10); %.0f us a block in the binding (the rest after the last block included)\n",
                    type, took, floorMs, took / floorMs, 1000.0 * driver.inWriteMs / 4097);
    }
    DeleteFileA(image.c_str());
    DestroyWindow(hwnd);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string usbPath = argc == 3 && std::string(argv[1]) == "--usb" ? argv[2] : "";
    HWND hwnd = CreateWindowA("STATIC", "engine bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              300, 250, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) {
        std::fprintf(stderr, "needs a display\n");
        return 1;
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "kestrel-engine-bench.fls";
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<char> image(262148, '\x5a');
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
    }
    const double sleepMs = MeasuredSleepMs(500);
    std::printf("one 1 ms sleep measures %.3f ms\n", sleepMs);

    char exe[MAX_PATH];
    std::string binDir(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH));
    binDir = binDir.substr(0, binDir.find_last_of('\\') + 1);
    const std::string nullDll = binDir + "null_driver.dll";
    if (!usbPath.empty()) return StreamThroughUsb(hwnd, path, binDir + "usb.dll", usbPath, sleepMs);

    struct Run {
        const char* name;
        const char* port;
        int32_t type;
        double floorMs;
        bool bound;
    } runs[] = {
        {"4096-byte blocks", "COM1", 200, 0.0, false},
        {"64-byte blocks", "\\\\?\\usb#vid_0000&pid_0000#0#{0}", 352, 4096 * sleepMs, false},
        {"4096, bound", "COM1", 200, 0.0, true},
        {"64, bound", "\\\\?\\usb#vid_0000&pid_0000#0#{0}", 352, 4096 * sleepMs, true},
    };
    for (const Run& run : runs) {
        BoundNullDriver bound;
        bound.path = nullDll;
        NullDriver plain;
        NullDriver& driver = run.bound ? bound : plain;
        WindowView view;
        view.hwnd = hwnd;
        SendOnlyClock clock;
        DownloadPorts ports{driver, driver, driver, driver, view, clock};
        DownloadRequest request;
        request.settings.portName = run.port;
        request.printerType = run.type;
        request.firmwarePath = path;
        if (RunDownload(request, ports) != DownloadOutcome::Completed) {
            std::printf("%-17s did not complete\n", run.name);
            continue;
        }
        const double took = driver.last - driver.first;
        std::printf("%-17s 262,148 bytes in %8.1f ms, floor %8.1f ms (%+.1f%%), %d repaints",
                    run.name, took, run.floorMs,
                    run.floorMs > 0 ? 100.0 * (took - run.floorMs) / run.floorMs : 0.0,
                    view.repaints);
        if (run.bound)
            std::printf(", %.0f us a block in the binding", 1000.0 * bound.inWriteMs / bound.writes);
        std::printf("\n");
    }
    DeleteFileA(path.c_str());
    DestroyWindow(hwnd);
    return 0;
}
