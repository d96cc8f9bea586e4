// Both of the printer's FIFOs (commands in, chunks out) are made the same
// way: a fresh FIFO at a path, replacing only a FIFO an earlier printer left.
#pragma once

#include <string>

namespace kestrel::vprinter {

bool MakeFreshFifo(const std::string& path, std::string& error);

} // namespace kestrel::vprinter
