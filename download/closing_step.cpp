#include "download/closing_step.h"

#include "download/download_engine.h"
#include "download/test_bound.h"

namespace kestrel {

uint32_t ClosingStepMs() {
    // Read once: the engine and the console's countdown must agree.
    static const uint32_t step =
        BoundFromTestEnvironment("KESTREL_TEST_CLOSING_STEP_MS", kClosingStepMs);
    return step;
}

} // namespace kestrel
