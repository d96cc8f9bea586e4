#include "download/closing_step.h"

#include "download/download_engine.h"

#ifdef KESTREL_TEST_HOOKS
#include <cstdlib>
#include <string>
#endif

namespace kestrel {

uint32_t ClosingStepMs() {
#ifdef KESTREL_TEST_HOOKS
    // Read once: the engine and the console's countdown must agree.
    static const uint32_t step = [] {
        const char* text = std::getenv("KESTREL_TEST_CLOSING_STEP_MS");
        if (!text || !*text)
            return kClosingStepMs;
        char* end = nullptr;
        const unsigned long value = std::strtoul(text, &end, 10);
        return *end == '\0' && value <= kClosingStepMs ? static_cast<uint32_t>(value)
                                                       : kClosingStepMs;
    }();
    return step;
#else
    return kClosingStepMs;
#endif
}

} // namespace kestrel
