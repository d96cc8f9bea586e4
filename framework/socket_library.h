// The Windows socket library for the life of the program.
#pragma once

#include <winsock2.h>

namespace kestrel {

class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

    bool Started() const { return started_; }
    // WSAStartup's own result and the system's last error, taken at once.
    int SocketError() const { return socketError_; }
    DWORD SystemError() const { return systemError_; }

private:
    bool started_ = false;
    int socketError_ = 0;
    DWORD systemError_ = 0;
};

}  // namespace kestrel
