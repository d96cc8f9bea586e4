#include "framework/socket_library.h"

namespace kestrel {

SocketLibrary::SocketLibrary() {
    WSADATA data{};
    const int result = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (result == 0) {
        started_ = true;
        return;
    }
    // WSAStartup reports its error as its result; WSAGetLastError is not
    // usable before the library started.
    socketError_ = result;
    systemError_ = ::GetLastError();
}

SocketLibrary::~SocketLibrary() {
    if (started_) ::WSACleanup();
}

}  // namespace kestrel
