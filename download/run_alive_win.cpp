#include "download/run_alive_win.h"

#include <cctype>
#include <cstdio>

namespace kestrel {

std::string ThisRunName() {
    // The process id alone could be a later process's; with its start time
    // it names this run and no other.
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    char name[64];
    std::snprintf(name, sizeof name, "%lu.%08lx%08lx",
                  static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long>(created.dwHighDateTime),
                  static_cast<unsigned long>(created.dwLowDateTime));
    return name;
}

bool IsRunName(const std::string& text) {
    const size_t dot = text.find('.');
    if (dot == 0 || dot == std::string::npos || text.size() - dot - 1 != 16)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (i < dot ? !std::isdigit(c) : i > dot && !std::isxdigit(c))
            return false;
    }
    return true;
}

std::string RunAliveMutexName(const std::string& run) {
    // Making a mutex in Global\ needs no privilege, unlike a mapping there.
    return "Global\\Kestrel.RunAlive." + run;
}

UniqueHandle MarkThisRunAlive() {
    return UniqueHandle(::CreateMutexA(nullptr, FALSE, RunAliveMutexName(ThisRunName()).c_str()));
}

bool RunHasEnded(const std::string& run) {
    HANDLE alive = ::OpenMutexA(SYNCHRONIZE, FALSE, RunAliveMutexName(run).c_str());
    if (alive) {
        ::CloseHandle(alive);
        return false;
    }
    return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace kestrel
