// The send phase of a network download: the whole image through
// CPrinterSocket to a printer on 127.0.0.1, and for comparison the same
// bytes through one plain blocking Winsock send in the same process, so
// that Wine's own cost of a send can be told from the socket class's
// (its non-blocking chunks, the waits and the pumping between them).
//   network_send.exe PORT BYTES RUNS
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
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
    return 0;
}
