#include "download/bounded_wait.h"

#include <algorithm>

namespace kestrel {

WaitResult WaitInSlices(uint32_t limitMs, const std::function<uint64_t()>& nowMs,
                        const std::function<SliceResult(uint32_t sliceMs)>& slice) {
    const uint64_t start = nowMs();
    for (;;) {
        const uint64_t passed = nowMs() - start;
        if (passed >= limitMs)
            return WaitResult::TimedOut;
        const uint64_t left = limitMs - passed;
        switch (slice(static_cast<uint32_t>(std::min<uint64_t>(left, kWaitSliceMs)))) {
        case SliceResult::Ready:
            return WaitResult::Ready;
        case SliceResult::Failed:
            return WaitResult::Failed;
        case SliceResult::NotYet:
            break;
        }
    }
}

} // namespace kestrel
