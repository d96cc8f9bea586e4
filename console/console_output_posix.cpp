#include "console/console_output_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "console/console_interrupt_posix.h"

namespace kestrel {

CConsoleOutput::CConsoleOutput() : console_(isatty(STDOUT_FILENO) == 1) {}

void CConsoleOutput::Write(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed pipe: the run goes on without its words
        done += static_cast<size_t>(n);
    }
}

void CConsoleOutput::Line(const std::string& text) {
    if (statusWidth_ > 0)
        Write(STDOUT_FILENO, "\n");
    statusWidth_ = 0;
    Write(STDOUT_FILENO, text + "\n");
}

void CConsoleOutput::Status(const std::string& text) {
    if (!console_) {
        Write(STDOUT_FILENO, text + "\n");
        return;
    }
    std::string line = "\r" + text;
    // Blank out what a longer earlier line left behind.
    if (text.size() < statusWidth_)
        line.append(statusWidth_ - text.size(), ' ');
    statusWidth_ = text.size();
    Write(STDOUT_FILENO, line);
}

bool CConsoleOutput::Interrupted() const {
    return kestrel::Interrupted();
}

uint64_t CConsoleOutput::FileSize(const std::string& path) const {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    return static_cast<uint64_t>(info.st_size);
}

void CConsoleOutput::Error(const std::string& text) {
    Write(STDERR_FILENO, text + "\n");
}

} // namespace kestrel
