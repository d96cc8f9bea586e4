// Every byte the printer receives, written through at once so that a test
// may compare the file while the printer still runs or after it is killed.
#pragma once

#include "tools/virtual_printer/unique_fd.h"

#include <cstdint>
#include <span>
#include <string>

namespace kestrel::vprinter {

class RecordFile {
  public:
    // No path: bytes are counted by the caller and not kept.
    bool Open(const std::string& path, std::string& error);
    bool Append(std::span<const std::uint8_t> bytes, std::string& error);

  private:
    UniqueFd fd_;
};

} // namespace kestrel::vprinter
