// Fresh memory that is about to be written whole: asks the system for its
// pages in one call. Left to itself the system hands them over one fault
// at a time on first touch, and for the converter's buffers that costs more
// than decoding the whole file. Only a hint: where it is not available the
// faults simply happen as before.
#pragma once

#include <cstddef>

namespace kestrel {

void PrefaultForWriting(void* start, size_t length);

} // namespace kestrel
