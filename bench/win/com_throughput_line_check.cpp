// Proves the serial harness before it is trusted with a benchmark: opens
// \\.\COMn as a program would, sets 115200 baud 8N1 with XON/XOFF both ways,
// and writes a counting pattern (byte i is i mod 256) that the virtual
// printer must record unchanged.
// Usage: com_throughput_line_check.exe COM-NUMBER BYTE-COUNT
#include "framework/win_handle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s COM-NUMBER BYTE-COUNT\n", argv[0]);
        return 2;
    }
    const std::string path = std::string("\\\\.\\COM") + argv[1];
    const unsigned long count = std::strtoul(argv[2], nullptr, 10);

    kestrel::UniqueHandle port(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!port) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "CreateFile %s: error %lu\n", path.c_str(), error);
        return 1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port.Get(), &dcb)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "GetCommState: error %lu\n", error);
        return 1;
    }
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    if (!SetCommState(port.Get(), &dcb)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "SetCommState: error %lu\n", error);
        return 1;
    }
    // A bound, so a printer that stopped reading fails the check instead of hanging it.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 20000;
    if (!SetCommTimeouts(port.Get(), &timeouts)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "SetCommTimeouts: error %lu\n", error);
        return 1;
    }
    std::vector<unsigned char> bytes(count);
    for (unsigned long i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(i & 0xFF);
    DWORD written = 0;
    if (!WriteFile(port.Get(), bytes.data(), count, &written, nullptr) || written != count) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "WriteFile: %lu of %lu bytes, error %lu\n", written, count, error);
        return 1;
    }
    std::printf("wrote %lu bytes to %s\n", written, path.c_str());
    return 0;
}
