// The printer-to-host side of a USB printer: each chunk the printer sends
// must reach the host as one short read. Under Wine a pty read waits for
// every byte asked for, so chunks go through a FIFO, where a read completes
// with what is waiting. The host's path is linked to the FIFO and only reads
// from it (its own writes would come back to it).
#pragma once

#include "tools/virtual_printer/unique_fd.h"

#include <cstdint>
#include <span>
#include <string>

namespace kestrel::vprinter {

class ChunkFifo {
  public:
    ~ChunkFifo();
    // Makes the FIFO at `path` (replacing a FIFO left there) and holds it
    // open both ways, so that neither side waits for the other to open it.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_.Valid(); }
    // The whole chunk in one write, so that it is read as one.
    bool Write(std::span<const std::uint8_t> chunk, std::string& error);

  private:
    UniqueFd fd_;
    std::string path_;
};

} // namespace kestrel::vprinter
