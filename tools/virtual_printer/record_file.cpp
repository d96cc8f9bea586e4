#include "tools/virtual_printer/record_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace kestrel::vprinter {

bool RecordFile::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    fd_.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd_.Valid()) {
        error = "open " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool RecordFile::Append(std::span<const std::uint8_t> bytes, std::string& error) {
    if (!fd_.Valid())
        return true;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::string("record write: ") + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace kestrel::vprinter
