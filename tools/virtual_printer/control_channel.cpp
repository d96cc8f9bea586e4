#include "tools/virtual_printer/control_channel.h"
#include "tools/virtual_printer/fifo_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace kestrel::vprinter {

ControlChannel::~ControlChannel() {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool ControlChannel::Open(const std::string& path, std::string& error) {
    if (!MakeFreshFifo(path, error))
        return false;
    path_ = path;
    reader_.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!reader_.Valid()) {
        error = "open " + path + ": " + std::strerror(errno);
        return false;
    }
    keepOpen_.Reset(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!keepOpen_.Valid()) {
        error = "open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::string> ControlChannel::ReadLines() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(reader_.Get(), buffer, sizeof buffer);
        if (n > 0) {
            lines_.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // empty (EAGAIN), or nothing more
    }
    std::vector<std::string> out;
    while (auto line = lines_.NextLine())
        out.push_back(std::move(*line));
    return out;
}

} // namespace kestrel::vprinter
