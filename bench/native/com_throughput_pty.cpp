// Baseline for the serial throughput benchmark: the same image written
// straight into the virtual printer's pty from Linux, no Wine, no com.dll.
// What this measures over the floor is the printer's own pacing cost.
// Usage: com_throughput_pty PTY RECORD-FILE [BYTES] [RATE]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PTY RECORD-FILE [BYTES] [RATE]\n", argv[0]);
        return 2;
    }
    const unsigned long bytes = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 262148;
    const unsigned long rate = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 11520;
    if (bytes == 0 || rate == 0)
        return 2;
    const int fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> image(bytes);
    for (unsigned long i = 0; i < bytes; ++i)
        image[i] = static_cast<unsigned char>((i * 31 + (i >> 8)) & 0xFF);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (unsigned long done = 0; done < bytes;) {
        const unsigned long n = bytes - done < 4096 ? bytes - done : 4096;
        const ssize_t w = write(fd, image.data() + done, n);
        if (w <= 0) {
            std::perror("write");
            return 1;
        }
        done += static_cast<unsigned long>(w);
    }
    const double floor = double(bytes) / double(rate);
    const auto limit = start + std::chrono::duration<double>(3 * floor + 30);
    struct stat st {};
    while (Clock::now() < limit) {
        if (stat(argv[2], &st) == 0 && static_cast<unsigned long>(st.st_size) >= bytes)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(fd);
    if (static_cast<unsigned long>(st.st_size) < bytes) {
        std::fprintf(stderr, "the printer holds %lld of %lu bytes\n",
                     static_cast<long long>(st.st_size), bytes);
        return 1;
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("  floor %.3f s, printer has all %.3f s (%+.2f%%)\n", floor, took,
                100.0 * (took - floor) / floor);
    return 0;
}
