#include "tools/virtual_printer/chunk_fifo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace kestrel::vprinter {

ChunkFifo::~ChunkFifo() {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool ChunkFifo::Open(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            error = path + " exists and is not a FIFO";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::mkfifo(path.c_str(), 0600) != 0) {
        error = "mkfifo " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    fd_.Reset(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.Valid()) {
        error = "open " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ChunkFifo::Write(std::span<const std::uint8_t> chunk, std::string& error) {
    ssize_t n;
    do
        n = ::write(fd_.Get(), chunk.data(), chunk.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(chunk.size())) {
        error = n < 0 ? std::string("chunk: ") + std::strerror(errno)
                      : "chunk: the FIFO took only part of it";
        return false;
    }
    return true;
}

} // namespace kestrel::vprinter
