#include "drivers/common/worker_transfer.h"

#include "drivers/common/thread_stop.h"
#include "drivers/common/win_handle.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Shared by the caller and the worker; each holds one reference. A worker
// that is terminated never drops its reference, so the job outlives any
// transfer it may have left in flight.
struct CTransferJob {
    WorkerTransferTarget target{};
    bool write = false;
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t size = 0;   // bytes asked of the device
    uint32_t wanted = 0; // the caller's count: the watch waits for it
    std::atomic<uint32_t> done{0};
    std::atomic<bool> finished{false};
    OVERLAPPED ov{};
    CHandle event;
};

DWORD DoTransfer(CTransferJob& job) {
    HANDLE device = job.target.device;
    DWORD moved = 0;
    if (job.target.synchronous) {
        BOOL ok = job.write ? ::WriteFile(device, job.buffer.get(), job.size, &moved, nullptr)
                            : ::ReadFile(device, job.buffer.get(), job.size, &moved, nullptr);
        (void)ok; // a cancelled or failed call still reports what moved
        return moved;
    }
    job.ov.hEvent = job.event.Get();
    BOOL ok = job.write ? ::WriteFile(device, job.buffer.get(), job.size, nullptr, &job.ov)
                        : ::ReadFile(device, job.buffer.get(), job.size, nullptr, &job.ov);
    if (!ok && ::GetLastError() != ERROR_IO_PENDING)
        return 0;
    // Unbounded here on purpose: the caller watches the time and cancels
    // the transfer, which completes this wait.
    ::GetOverlappedResult(device, &job.ov, &moved, TRUE);
    return moved;
}

#ifdef KESTREL_TEST_HOOKS
// Test trees only: the worker lingers this many milliseconds after it has
// reported its transfer, so that a test can show the caller waits for it.
void LingerForTest() {
    char ms[16] = {};
    if (::GetEnvironmentVariableA("KESTREL_TEST_WORKER_LINGER_MS", ms, sizeof ms) > 0)
        ::Sleep(static_cast<DWORD>(std::strtoul(ms, nullptr, 10)));
}
#endif

DWORD WINAPI WorkerMain(LPVOID param) {
    auto* ref = static_cast<std::shared_ptr<CTransferJob>*>(param);
    CTransferJob& job = **ref;
    {
        CQueueLockGuard io(*job.target.ioLock);
        job.done = DoTransfer(job);
    }
    job.finished = true;
    delete ref;
#ifdef KESTREL_TEST_HOOKS
    LingerForTest();
#endif
    return 0;
}

void Cancel(CTransferJob& job, HANDLE worker) {
    if (job.target.synchronous)
        ::CancelSynchronousIo(worker);
    else
        ::CancelIoEx(job.target.device, &job.ov);
}

// The watch's limit in milliseconds: a negative base (a record's field
// gone wrong) counts as none, and the whole is clamped so that it always
// fires within the range of a signed 32-bit time-out.
uint64_t LimitMs(int32_t baseMs, uint32_t wanted) {
    const uint64_t limit =
        static_cast<uint64_t>(std::max(baseMs, 0)) + uint64_t{kWorkerPerByteMs} * wanted;
    return std::min<uint64_t>(limit, kWorkerLimitMaxMs);
}

uint32_t Run(const std::shared_ptr<CTransferJob>& job, int32_t baseMs) {
    auto* workerRef = new (std::nothrow) std::shared_ptr<CTransferJob>(job);
    if (!workerRef)
        return 0;
    CHandle worker(::CreateThread(nullptr, 0, WorkerMain, workerRef, 0, nullptr));
    if (!worker) {
        delete workerRef;
        return 0;
    }
    const uint64_t limit = LimitMs(baseMs, job->wanted);
    const uint64_t start = ::GetTickCount64();
    HANDLE stop = job->target.stop;
    while (job->done != job->wanted) {
        const bool stopping = stop && ::WaitForSingleObject(stop, 1) != WAIT_TIMEOUT;
        if (stopping || ::GetTickCount64() - start > limit) {
            Cancel(*job, worker.Get());
            break;
        }
        if (!stop)
            ::Sleep(1);
    }
    // A transfer that ends short still waits out the time-out above. The
    // worker is waited for even once it has reported: it may still be on its
    // way out of this library's code.
    WaitOrTerminateThread(worker.Get());
    return job->done;
}

std::shared_ptr<CTransferJob> MakeJob(const WorkerTransferTarget& target, bool write, uint32_t size,
                                      uint32_t wanted) {
    auto job = std::make_shared<CTransferJob>();
    job->target = target;
    job->write = write;
    job->size = size;
    job->wanted = wanted;
    job->buffer.reset(new (std::nothrow) uint8_t[size]);
    if (!target.synchronous)
        job->event.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->buffer || (!target.synchronous && !job->event) || !target.ioLock)
        return nullptr;
    return job;
}

} // namespace

uint32_t WorkerWrite(const WorkerTransferTarget& target, const uint8_t* data, uint32_t count,
                     int32_t baseMs) {
    if (!data || count == 0)
        return 0;
    auto job = MakeJob(target, true, count, count);
    if (!job)
        return 0;
    std::memcpy(job->buffer.get(), data, count);
    return Run(job, baseMs);
}

uint32_t WorkerRead(const WorkerTransferTarget& target, uint8_t* buffer, uint32_t count,
                    int32_t baseMs, uint32_t chunk) {
    if (!buffer || count == 0)
        return 0;
    const uint32_t ask = chunk && chunk < count ? chunk : count;
    auto job = MakeJob(target, false, ask, count);
    if (!job)
        return 0;
    uint32_t got = Run(job, baseMs);
    if (!job->finished)
        return 0; // the buffer may still be written to; nothing is handed out
    got = got < ask ? got : ask;
    std::memcpy(buffer, job->buffer.get(), got);
    return got;
}
