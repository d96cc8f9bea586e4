#include "download/test_bound.h"

#ifdef KESTREL_TEST_HOOKS
#include <cstdlib>
#endif

namespace kestrel {

uint32_t BoundFromTestEnvironment(const char* variable, uint32_t bound) {
#ifdef KESTREL_TEST_HOOKS
    const char* text = std::getenv(variable);
    if (!text || !*text)
        return bound;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    return *end == '\0' && value <= bound ? static_cast<uint32_t>(value) : bound;
#else
    (void)variable;
    return bound;
#endif
}

} // namespace kestrel
