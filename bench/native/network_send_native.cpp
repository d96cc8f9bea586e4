// Baseline of the network benchmark (bench/network_send.sh): the same bytes
// handed to the kernel by a plain blocking Linux socket, connect not timed,
// so the Windows side's time can be read against what the loopback itself
// costs.
//   network_send_native PORT BYTES RUNS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: network_send_native PORT BYTES RUNS\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const size_t bytes = std::strtoul(argv[2], nullptr, 10);
    const int runs = std::atoi(argv[3]);
    std::vector<char> image(bytes);
    for (size_t i = 0; i < bytes; ++i)
        image[i] = static_cast<char>(i * 7 + i / 251);
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never beyond this machine
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            std::perror("connect");
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        size_t sent = 0;
        while (sent < bytes) {
            const ssize_t n = ::send(fd, image.data() + sent, bytes - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                std::perror("send");
                return 1;
            }
            sent += static_cast<size_t>(n);
        }
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        ::close(fd);
        ::usleep(20000); // let the printer take the bytes before the next run
    }
    std::sort(ms.begin(), ms.end());
    std::printf("native send: median %.3f ms, best %.3f ms over %d runs\n", ms[ms.size() / 2],
                ms.front(), runs);
    return 0;
}
