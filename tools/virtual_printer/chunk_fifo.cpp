#include "tools/virtual_printer/chunk_fifo.h"
#include "tools/virtual_printer/fifo_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace kestrel::vprinter {

ChunkFifo::~ChunkFifo() {
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool ChunkFifo::Open(const std::string& path, std::string& error) {
    if (!MakeFreshFifo(path, error))
        return false;
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
