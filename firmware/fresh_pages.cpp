#include "firmware/fresh_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kestrel {

void PrefaultForWriting([[maybe_unused]] void* start, [[maybe_unused]] size_t length) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + length + page - 1) & ~(page - 1);
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#endif
}

} // namespace kestrel
