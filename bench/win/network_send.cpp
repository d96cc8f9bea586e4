// The send phase of a network download: the whole image through
// CPrinterSocket to a printer on 127.0.0.1, and for comparison the same
// bytes through one plain blocking Winsock send in the same process, so
// that Wine's own cost of a send can be told from the socket class's
// (its non-blocking chunks, the waits and the pumping between them).
// Then the window's longest wait for an answer while the class sends to a
// printer that has stopped reading, until that printer resets.
//   network_send.exe PORT BYTES RUNS
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "ports/printer_socket_win.h"
#include "framework/socket_library.h"

namespace {

double NowMs() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Times {
    std::vector<double> ms;
    void Report(const char* what) {
        std::sort(ms.begin(), ms.end());
        std::printf("%s: median %.3f ms, best %.3f ms over %zu runs\n", what, ms[ms.size() / 2],
                    ms.front(), ms.size());
    }
    double Median() const { return ms[ms.size() / 2]; }
};

bool PlainSend(uint16_t port, const std::vector<uint8_t>& image, double& ms) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    const double start = NowMs();
    size_t sent = 0;
    while (ok && sent < image.size()) {
        const int n = send(s, reinterpret_cast<const char*>(image.data() + sent),
                           static_cast<int>(image.size() - sent), 0);
        ok = n > 0;
        if (ok)
            sent += static_cast<size_t>(n);
    }
    ms = NowMs() - start;
    closesocket(s);
    return ok;
}

bool ClassSend(uint16_t port, const std::vector<uint8_t>& image, double& ms) {
    kestrel::CPrinterSocket socket;
    if (!socket.Create() || !socket.Connect("127.0.0.1", port))
        return false;
    const double start = NowMs();
    const int64_t sent = socket.Send(image.data(), image.size());
    ms = NowMs() - start;
    return sent == static_cast<int64_t>(image.size());
}

// A printer in this process that takes the connection, reads nothing
// through a small receive buffer, and resets it after `holdMs`.
class StalledPrinter {
  public:
    explicit StalledPrinter(DWORD holdMs) : holdMs_(holdMs) {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const int small = 4096;
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small),
                   sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof a;
        if (bind(listener_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            SOCKET taken = accept(listener_, nullptr, nullptr);
            Sleep(holdMs_);
            const linger reset{1, 0};
            setsockopt(taken, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
                       sizeof reset);
            closesocket(taken);
        });
    }
    ~StalledPrinter() {
        closesocket(listener_); // ends an accept that never came
        if (thread_.joinable())
            thread_.join();
    }
    uint16_t Port() const { return port_; }

  private:
    DWORD holdMs_;
    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::thread thread_;
};

struct Gaps {
    int answers = 0;
    double longestMs = 0, totalMs = 0;
};

// Sends WM_NULL to `window` every few milliseconds from a second thread
// until `stop`, as Windows does to tell a window that stopped answering.
void Probe(HWND window, const std::atomic<bool>& stop, Gaps& gaps) {
    while (!stop.load()) {
        const double before = NowMs();
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &reply);
        const double ms = NowMs() - before;
        ++gaps.answers;
        gaps.totalMs += ms;
        gaps.longestMs = std::max(gaps.longestMs, ms);
        Sleep(5);
    }
}

// The image is larger than every buffer on the way, so the send waits.
bool StalledSend(size_t bytes) {
    constexpr DWORD kHoldMs = 3000;
    HWND window = CreateWindowA("STATIC", "network_send", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return std::fprintf(stderr, "no window (needs a display)\n"), false;
    std::vector<uint8_t> image(bytes);
    StalledPrinter printer(kHoldMs);
    kestrel::CPrinterSocket socket;
    if (!printer.Port() || !socket.Create() || !socket.Connect("127.0.0.1", printer.Port()))
        return std::fprintf(stderr, "no connection to the stalled printer\n"), false;
    std::atomic<bool> stop{false};
    Gaps gaps;
    std::atomic<bool> probeDone{false};
    std::thread probe([&] {
        Probe(window, stop, gaps);
        probeDone = true;
    });
    const double start = NowMs();
    const int64_t sent = socket.Send(image.data(), image.size());
    const double ms = NowMs() - start;
    stop = true;
    // The probe's last question is answered here, not left to its time-out.
    while (!probeDone.load()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(1);
    }
    probe.join();
    DestroyWindow(window);
    std::printf("stalled printer: send %s after %.0f ms (reset at %lu ms)\n",
                sent < 0 ? "failed" : "ended", ms, kHoldMs);
    std::printf("window while the send waits: longest answer %.1f ms, mean %.1f ms over %d "
                "(target at most 20 ms)\n",
                gaps.longestMs, gaps.answers ? gaps.totalMs / gaps.answers : 0.0, gaps.answers);
    return sent < 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: network_send PORT BYTES RUNS\n");
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const size_t bytes = std::strtoul(argv[2], nullptr, 10);
    const int runs = std::atoi(argv[3]);
    kestrel::SocketLibrary library;
    if (!library.Started())
        return 1;
    std::vector<uint8_t> image(bytes);
    for (size_t i = 0; i < bytes; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + i / 251);

    Times plain, mine;
    // Alternating, so that a busy moment of the machine falls on both.
    for (int run = 0; run < runs; ++run) {
        double ms = 0;
        if (!PlainSend(port, image, ms))
            return std::fprintf(stderr, "plain send failed\n"), 1;
        plain.ms.push_back(ms);
        Sleep(20);
        if (!ClassSend(port, image, ms))
            return std::fprintf(stderr, "CPrinterSocket failed\n"), 1;
        mine.ms.push_back(ms);
        Sleep(20);
    }
    plain.Report("wine plain send");
    mine.Report("wine CPrinterSocket");
    std::printf("CPrinterSocket / plain Winsock under Wine: %.2fx\n",
                mine.Median() / plain.Median());
    std::printf("CPRINTERSOCKET_MEDIAN_MS %.3f\n", mine.Median());
    return StalledSend(8u << 20) ? 0 : 1;
}
