// The Windows side of the port machinery that every driver library shares:
// handle ownership, the recursive locks, the status thread's stop protocol
// and transfers watched on a worker thread. Pipes stand in for devices.
#include "drivers/common/status_thread.h"
#include "drivers/common/win_handle.h"
#include "drivers/common/port_lock.h"
#include "drivers/common/worker_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DriverHandle, BothEmptyValuesAreEmptyAndClosingIsIdempotent) {
    for (HANDLE h : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
        CHandle empty(h);
        EXPECT_FALSE(empty);
        EXPECT_EQ(empty.Get(), nullptr);
        empty.Close();
    }
    CHandle a(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(a);
    HANDLE raw = a.Get();
    CHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);
    a = std::move(b);
    EXPECT_EQ(a.Get(), raw);
    a.Close();
    a.Close();
    EXPECT_FALSE(a);
    // The event really was closed once: its handle value is no longer valid.
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));
}

// Runs `fn` on a thread and says whether it finished within the bound.
template <typename Fn> bool FinishesOnAnotherThread(Fn fn, DWORD boundMs = 10000) {
    struct Box {
        Fn fn;
    } box{fn};
    HANDLE t = ::CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            static_cast<Box*>(p)->fn();
            return 0;
        },
        &box, 0, nullptr);
    bool done = ::WaitForSingleObject(t, boundMs) == WAIT_OBJECT_0;
    if (!done)
        ::TerminateThread(t, 1);
    ::CloseHandle(t);
    return done;
}

TEST(DriverLocks, RecursiveOnOneThreadExclusiveAcrossThreadsSurvivesDeadHolder) {
    CPortLock m;
    m.Lock();
    m.Lock(); // recursion: must not block
    m.Unlock();
    EXPECT_FALSE(FinishesOnAnotherThread(
        [&] {
            m.Lock();
            m.Unlock();
        },
        300))
        << "still held once";
    m.Unlock();
    EXPECT_TRUE(FinishesOnAnotherThread([&] {
        m.Lock();
        m.Unlock();
    }));

    // A holder that ends without unlocking abandons the lock; the next taker owns it.
    ASSERT_TRUE(FinishesOnAnotherThread([&] { m.Lock(); }));
    EXPECT_TRUE(FinishesOnAnotherThread([&] {
        m.Lock();
        m.Unlock();
    }));
    // So does one that is terminated while holding it twice.
    std::atomic<bool> holding{false};
    EXPECT_FALSE(FinishesOnAnotherThread(
        [&] {
            m.Lock();
            m.Lock();
            holding = true;
            ::Sleep(INFINITE);
        },
        2000));
    ASSERT_TRUE(holding.load());
    EXPECT_TRUE(FinishesOnAnotherThread([&] {
        m.Lock();
        m.Unlock();
    }));

    // Two takers at once never both hold it, and no waiter is left asleep.
    int shared = 0;
    auto bump = [&] {
        for (int i = 0; i < 2000; ++i) {
            CPortLockGuard outer(m);
            CPortLockGuard inner(m);
            const int seen = shared;
            ::SwitchToThread();
            shared = seen + 1;
        }
    };
    HANDLE other = ::CreateThread(
        nullptr, 0, [](LPVOID p) -> DWORD { (*static_cast<decltype(bump)*>(p))(); return 0; },
        &bump, 0, nullptr);
    ASSERT_TRUE(other);
    bump();
    EXPECT_EQ(::WaitForSingleObject(other, 60000), WAIT_OBJECT_0);
    ::CloseHandle(other);
    EXPECT_EQ(shared, 4000);
}

// The holder is always a thread of this process: an id that names a thread
// of another one (a dead holder's id reused there) is a holder gone, not one
// alive for ever.
TEST(DriverLocks, HolderIsGoneUnlessALiveThreadOfThisProcess) {
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string line = std::string("\"") + exe + "\" --gtest_list_tests";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, nullptr, &si, &pi));
    CHandle process(pi.hProcess), foreignThread(pi.hThread);
    HANDLE ended = ::CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    ASSERT_TRUE(ended);
    ::WaitForSingleObject(ended, 10000);
    const DWORD endedId = ::GetThreadId(ended);
    struct Row {
        const char* what;
        uint64_t holder; // no creation stamp: only the id speaks
        bool gone;
    } rows[] = {
        {"this thread", ::GetCurrentThreadId(), false},
        {"an ended thread of ours", endedId, true},
        {"a live thread of another process", pi.dwThreadId, true},
        {"no thread at all", 0xFFFFFFF0u, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PortLockHolderGone(row.holder), row.gone) << row.what;
    ::CloseHandle(ended);
    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), 10000);
}

TEST(DriverStatusThread, RunsRaisedUntilStoppedAndTerminatesOneThatIgnoresTheStop) {
    std::atomic<int> passes{0};
    std::atomic<int> priority{0};
    {
        CStatusThread t;
        ASSERT_TRUE(t.Start([&] {
            priority = ::GetThreadPriority(::GetCurrentThread());
            ++passes;
            return DWORD{1};
        }));
        for (int i = 0; i < 1000 && passes < 3; ++i)
            ::Sleep(5);
        EXPECT_EQ(t.Stop(), ThreadEnd::Ended);
        EXPECT_FALSE(t.Running());
    }
    EXPECT_GE(passes.load(), 3);
    EXPECT_EQ(priority.load(), THREAD_PRIORITY_HIGHEST);

    CHandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CStatusThread stuck;
    ASSERT_TRUE(stuck.Start([&] {
        ::WaitForSingleObject(never.Get(), 60000); // deaf to the stop event
        return DWORD{0};
    }));
    ::Sleep(50);
    EXPECT_EQ(stuck.Stop(), ThreadEnd::Terminated);
    // Can be started again after a forced stop.
    ASSERT_TRUE(stuck.Start([] { return DWORD{10}; }));
    EXPECT_EQ(stuck.Stop(), ThreadEnd::Ended);
}

// A byte pipe with a small buffer: `device` is our end, `printer` the other.
struct CPipePair {
    CHandle printer, device;
    CPipePair(bool overlapped, DWORD bufferSize = 4096) {
        static std::atomic<int> serial{0};
        const std::string name = "\\\\.\\pipe\\kestrel-driver-test-" +
                                 std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(++serial);
        printer.Reset(::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, bufferSize, bufferSize, 0,
                                         nullptr));
        device.Reset(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr));
    }
    // Blocking read of what the device end sent, bounded.
    Bytes Drain(size_t want) {
        Bytes got;
        Bytes buf(65536);
        CHandle ev(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        for (int i = 0; i < 200 && got.size() < want; ++i) {
            OVERLAPPED ov{};
            ov.hEvent = ev.Get();
            DWORD n = 0;
            if (!::ReadFile(printer.Get(), buf.data(), DWORD(buf.size()), &n, &ov)) {
                if (::GetLastError() != ERROR_IO_PENDING)
                    break;
                if (::WaitForSingleObject(ev.Get(), 50) != WAIT_OBJECT_0) {
                    ::CancelIo(printer.Get());
                    ::GetOverlappedResult(printer.Get(), &ov, &n, TRUE);
                }
                ::GetOverlappedResult(printer.Get(), &ov, &n, FALSE);
            }
            got.insert(got.end(), buf.begin(), buf.begin() + n);
        }
        return got;
    }
    void Send(const Bytes& b) {
        DWORD n = 0;
        OVERLAPPED ov{};
        CHandle ev(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ov.hEvent = ev.Get();
        if (!::WriteFile(printer.Get(), b.data(), DWORD(b.size()), &n, &ov))
            ::GetOverlappedResult(printer.Get(), &ov, &n, TRUE);
    }
};

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + 3);
    return b;
}

TEST(DriverWorkerTransfer, MovesWholeBlocksWhenTheOtherEndKeepsUp) {
    for (bool overlapped : {true, false}) {
        CPipePair pipe(overlapped);
        ASSERT_TRUE(pipe.printer && pipe.device);
        CPortLock io;
        WorkerTransferTarget target{pipe.device.Get(), !overlapped, &io};
        const Bytes block = Pattern(1000); // fits the pipe: no reader needed
        EXPECT_EQ(WorkerWrite(target, block.data(), 1000, 3000), 1000u) << overlapped;
        EXPECT_EQ(pipe.Drain(1000), block) << overlapped;

        pipe.Send(Bytes{1, 2, 3, 4, 5});
        uint8_t got[5] = {};
        EXPECT_EQ(WorkerRead(target, got, 5, 3000), 5u) << overlapped;
        EXPECT_EQ(Bytes(got, got + 5), (Bytes{1, 2, 3, 4, 5}));
    }
}

TEST(DriverWorkerTransfer, GivesUpOnAStalledDeviceAndLeavesItUsable) {
    for (bool overlapped : {true, false}) {
        CPipePair pipe(overlapped, 512);
        ASSERT_TRUE(pipe.printer && pipe.device);
        CPortLock io;
        WorkerTransferTarget target{pipe.device.Get(), !overlapped, &io};
        // More than the pipe holds, and nobody reads (5 ms a byte: 5 s).
        // A negative base (as a record may carry) is no base: once read as
        // unsigned it made a limit past 2^32 ms that never fired.
        const Bytes big = Pattern(1000);
        for (int32_t base : {0, -1}) {
            uint32_t n = 0;
            EXPECT_TRUE(FinishesOnAnotherThread(
                [&] { n = WorkerWrite(target, big.data(), uint32_t(big.size()), base); }, 60000))
                << overlapped << " base " << base;
            EXPECT_LT(n, big.size()) << overlapped;
        }
        // Nothing to read: the read gives up with 0, and nothing lands in the
        // caller's buffer afterwards.
        uint8_t got[8] = {9, 9, 9, 9, 9, 9, 9, 9};
        EXPECT_EQ(WorkerRead(target, got, 8, 20), 0u) << overlapped;
        pipe.Send(Bytes{1, 2, 3});
        ::Sleep(100);
        EXPECT_EQ(Bytes(got, got + 8), Bytes(8, 9)) << overlapped;
        // The lock was given back (or abandoned) by the worker.
        EXPECT_TRUE(FinishesOnAnotherThread([&] {
            io.Lock();
            io.Unlock();
        })) << overlapped;
    }
}

TEST(DriverWorkerTransfer, ShortReadWaitsOutTheTimeOutAndReturnsWhatCame) {
    CPipePair pipe(true);
    CPortLock io;
    WorkerTransferTarget target{pipe.device.Get(), false, &io};
    const Bytes sent = Pattern(20);
    pipe.Send(sent);
    uint8_t got[20] = {};
    // The device hands out 16 bytes per read; the caller asked for 20.
    EXPECT_EQ(WorkerRead(target, got, 20, 10, 16), 16u);
    EXPECT_EQ(Bytes(got, got + 16), Bytes(sent.begin(), sent.begin() + 16));
}

TEST(DriverWorkerTransfer, WorkerThatCannotGetTheLockIsStopped) {
    CPipePair pipe(true);
    CPortLock io;
    WorkerTransferTarget target{pipe.device.Get(), false, &io};
    io.Lock(); // another transfer holds the device
    const Bytes block = Pattern(4);
    EXPECT_EQ(WorkerWrite(target, block.data(), 4, 10), 0u);
    io.Unlock();
    EXPECT_EQ(WorkerWrite(target, block.data(), 4, 3000), 4u);
    EXPECT_EQ(pipe.Drain(4), block);
}

TEST(DriverWorkerTransfer, RefusesNothingToDo) {
    CPortLock io;
    WorkerTransferTarget target{nullptr, false, &io};
    uint8_t b[4] = {};
    EXPECT_EQ(WorkerWrite(target, nullptr, 4, 0), 0u);
    EXPECT_EQ(WorkerWrite(target, b, 0, 0), 0u);
    EXPECT_EQ(WorkerRead(target, nullptr, 4, 0), 0u);
    EXPECT_EQ(WorkerRead(target, b, 0, 0), 0u);
}

} // namespace
