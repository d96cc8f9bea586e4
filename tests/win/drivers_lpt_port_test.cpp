// lpt.dll under Wine against the virtual printer on a pty mapped to an LPT
// port (started by with_pty_printer.sh through scripts/vprinter-com.sh). The
// library is loaded fresh for every test so each one starts from the
// loaded state.
#include "drivers/common/port_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/win/harness_env.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kestrel::test::CDriverLibrary;
using kestrel::test::CPrinterPeer;
using kestrel::test::Env;

// The record as the program fills it: synchronous transfers, read mode 1,
// direct writes, write time-out base 3000 ms.
ConnectionSettings ProgramSettings(const char* port) {
    ConnectionSettings s{};
    s.portName = port;
    s.readIntervalTimeout = s.readTotalTimeoutMultiplier = s.readTotalTimeoutConstant = 10;
    s.inputBufferSize = 8192;
    s.outputBufferSize = 4096;
    s.transferMode = 1;
    s.writeTimeout = 3000;
    return s;
}

// Overlapped transfers with the status thread and the receive queue. No
// read time-outs: Wine then keeps a status read pending until it is
// cancelled, so what it took arrives only if a cancelled read keeps it.
ConnectionSettings QueueSettings(const char* port) {
    ConnectionSettings s = ProgramSettings(port);
    s.readIntervalTimeout = s.readTotalTimeoutMultiplier = s.readTotalTimeoutConstant = 0;
    s.outputBufferSize = 0;
    s.transferMode = 2;
    return s;
}

// Fills the line to a printer that has stopped reading, through a handle
// of the test's own (Wine does not enforce the driver's exclusive open), so
// that the driver's next write meets a full line. The pty frees some room
// a while after it first refuses bytes, so it is topped up until a second
// passes without taking any. Returns the bytes taken, 0 when it never filled.
size_t FillTheLine(const std::string& port) {
    const std::string device = "\\\\.\\" + port;
    HANDLE h = ::CreateFileA(device.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Bytes filler(4 << 20, 0x5A);
    size_t total = 0;
    DWORD taken = 1;
    for (int pass = 0; pass < 10 && taken > 0; ++pass) {
        OVERLAPPED ov{};
        ov.hEvent = event;
        ::ResetEvent(event);
        if (!::WriteFile(h, filler.data(), static_cast<DWORD>(filler.size()), nullptr, &ov) &&
            ::GetLastError() == ERROR_IO_PENDING) {
            ::WaitForSingleObject(event, 1000);
            ::CancelIo(h);
        }
        ::GetOverlappedResult(h, &ov, &taken, TRUE);
        taken = static_cast<DWORD>(ov.InternalHigh);
        total += taken;
    }
    ::CloseHandle(event);
    ::CloseHandle(h);
    return taken == 0 ? total : 0;
}

double NowMs() {
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Pred> bool WaitFor(Pred pred, int tries = 500) { // 10 ms steps
    for (int i = 0; i < tries; ++i) {
        if (pred())
            return true;
        ::Sleep(10);
    }
    return pred();
}

CPrinterPeer& ThePeer() {
    static CPrinterPeer peer;
    return peer;
}

class LptPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_port = Env("KESTREL_LPT_PORT");
        if (HavePeer())
            peer.Rebase();
        ASSERT_TRUE(lib.Load("lpt.dll")) << "lpt.dll with its nine entries";
    }
    void TearDown() override {
        if (lib.ClosePort)
            lib.ClosePort();
    }
    bool HavePeer() const { return !m_port.empty(); }
    bool Open(const ConnectionSettings& s) {
        return lib.SetDeviceOption(s) == 1 && lib.OpenPort() == 1;
    }

    CDriverLibrary lib;
    CPrinterPeer& peer = ThePeer();
    std::string m_port;
};

#define REQUIRE_PEER()                                                                             \
    if (!HavePeer())                                                                               \
    GTEST_SKIP() << "run through with_pty_printer.sh"

TEST_F(LptPortTest, RefusesNamesModesAndTransfersOutsideAnOpenPort) {
    uint8_t buf[8] = {1, 2, 3, 4};
    EXPECT_EQ(lib.Write(buf, 4), 0);
    EXPECT_EQ(lib.Read(buf, 4, 0), 0);
    for (const char* refused : {"lpt1", "", "LP", "COM1"}) {
        auto s = ProgramSettings(refused);
        EXPECT_EQ(lib.SetDeviceOption(s), 0) << refused;
    }
    auto none = ProgramSettings(nullptr);
    EXPECT_EQ(lib.SetDeviceOption(none), 0);
    auto bare = ProgramSettings("LPT");
    EXPECT_EQ(lib.SetDeviceOption(bare), 1);

    REQUIRE_PEER();
    // Blocking transfers have no status thread to fill the receive queue.
    auto syncQueue = QueueSettings(m_port.c_str());
    syncQueue.outputBufferSize = 1;
    ASSERT_EQ(lib.SetDeviceOption(syncQueue), 1);
    EXPECT_EQ(lib.OpenPort(), 0);
    EXPECT_EQ(lib.Write(buf, 4), 0) << "nothing was opened";

    ASSERT_TRUE(Open(ProgramSettings(m_port.c_str())));
    EXPECT_EQ(lib.Write(nullptr, 4), 0);
    EXPECT_EQ(lib.Write(buf, 0), 0);
    EXPECT_EQ(lib.Read(nullptr, 4, 0), 0);
    EXPECT_EQ(lib.Read(buf, 0, 0), 0);
    // Wine's parallel ports answer no status request: no status bit, and
    // never the ready value 0x80.
    EXPECT_EQ(lib.IsPowerState(), 0);
    lib.ClosePort();
    EXPECT_EQ(lib.Write(buf, 4), 0);
    EXPECT_EQ(lib.Read(buf, 4, 0), 0);
    lib.ClosePort(); // twice is harmless
    EXPECT_TRUE(Open(ProgramSettings(m_port.c_str()))) << "opens again after a close";
}

TEST_F(LptPortTest, FirmwareImageArrivesByteForByteInEveryWriteForm) {
    REQUIRE_PEER();
    Bytes image(262148);
    image[0] = 0x1B, image[1] = 0x23, image[2] = 0x6D, image[3] = 0x6B;
    uint32_t x = 4242;
    for (size_t i = 4; i < image.size(); ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(x >> 16);
    }
    struct Form {
        const char* name;
        int32_t synchronous, writeMode;
    } forms[] = {
        {"the program's: blocking, direct", 4096, 0},
        {"blocking, worker", 4096, 1},
        {"overlapped, repeated attempts", 0, 0},
        {"overlapped, worker", 0, 1},
    };
    for (const Form& form : forms) {
        auto s = ProgramSettings(m_port.c_str());
        s.outputBufferSize = form.synchronous;
        s.writeMode = form.writeMode;
        ASSERT_TRUE(Open(s)) << form.name;
        peer.Rebase();
        for (size_t sent = 0; sent < image.size(); sent += 4096) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(4096, image.size() - sent));
            ASSERT_EQ(lib.Write(image.data() + sent, n), static_cast<int32_t>(n))
                << form.name << " at " << sent;
        }
        ASSERT_TRUE(peer.WaitReceived(image.size())) << form.name;
        ::Sleep(100); // nothing more may follow
        EXPECT_TRUE(peer.Received() == image) << form.name << ": bytes differ";
        lib.ClosePort();
    }
}

TEST_F(LptPortTest, DirectAndWorkerReadsTakeWhatThePrinterSent) {
    REQUIRE_PEER();
    struct Form {
        const char* name;
        int32_t synchronous, readMode;
    } forms[] = {
        {"blocking, direct", 4096, 0},
        {"the program's: blocking, worker", 4096, 1},
        {"overlapped, direct", 0, 0},
        {"overlapped, worker", 0, 1},
    };
    for (const Form& form : forms) {
        auto s = ProgramSettings(m_port.c_str());
        s.outputBufferSize = form.synchronous;
        s.transferMode = form.readMode;
        s.readTimeout = 2000; // the worker's base: generous
        ASSERT_TRUE(Open(s)) << form.name;
        ASSERT_TRUE(peer.Command("send 61 62 63 64"));
        ::Sleep(100); // on the line before the read starts
        uint8_t buf[8] = {};
        EXPECT_EQ(lib.Read(buf, 4, 0), 4) << form.name;
        EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x61, 0x62, 0x63, 0x64})) << form.name;
        lib.ClosePort();
    }
}

class LptStatusThreadTest : public LptPortTest, public ::testing::WithParamInterface<int32_t> {};

// Direct writes and worker writes alike: the poll byte goes through Write.
TEST_P(LptStatusThreadTest, SortsPollsAndKeepsTheReadyFlag) {
    REQUIRE_PEER();
    auto s = QueueSettings(m_port.c_str());
    s.writeMode = GetParam();
    ASSERT_TRUE(Open(s));
    EXPECT_TRUE(WaitFor([&] { return lib.IsPowerState() == 0; })) << "not ready under Wine";

    ASSERT_TRUE(peer.Command("send 14 99 99 0f"));
    uint8_t rec[4] = {};
    ASSERT_TRUE(WaitFor([&] { return lib.GetASBState(rec) == 1; }));
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x14, 0x99, 0x99, 0x0F}));
    EXPECT_EQ(lib.GetInputBufferCount(), 0);

    ASSERT_TRUE(peer.Command("send 14 00 00 0e"));
    ASSERT_TRUE(WaitFor([&] { return lib.GetInputBufferCount() == 4; }));
    uint8_t buf[10] = {};
    ASSERT_EQ(lib.Read(buf, 4, 0), 4);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x14, 0x00, 0x00, 0x0E}));
    EXPECT_EQ(lib.GetASBState(rec), 0);

    // One 0x00 per pass of about half a second, and nothing else.
    peer.Rebase();
    ::Sleep(1500);
    Bytes polls = peer.Received();
    EXPECT_GE(polls.size(), 2u);
    EXPECT_LE(polls.size(), 4u);
    EXPECT_EQ(std::count(polls.begin(), polls.end(), 0), static_cast<long>(polls.size()));

    // A caller's block arrives whole, the poll bytes only around it.
    Bytes block(4096, 0xA5);
    peer.Rebase();
    ASSERT_EQ(lib.Write(block.data(), 4096), 4096);
    Bytes got;
    ASSERT_TRUE(WaitFor([&] {
        got = peer.Received();
        return std::count(got.begin(), got.end(), 0xA5) == 4096;
    }));
    got.erase(got.begin(), std::find(got.begin(), got.end(), 0xA5));
    ASSERT_GE(got.size(), 4096u);
    EXPECT_TRUE(Bytes(got.begin(), got.begin() + 4096) == block);

    // Unloading without ClosePort must not leave the thread running in
    // unmapped code (the process would crash on its next pass).
    lib.Unload();
    ::Sleep(1200);
    ASSERT_TRUE(lib.Load("lpt.dll"));
    EXPECT_EQ(lib.IsPowerState(), 0);
}

INSTANTIATE_TEST_SUITE_P(WriteModes, LptStatusThreadTest, ::testing::Values(0, 1));

// The program's blocking writes are bounded by the printer's progress, not
// by the block's size: a printer that holds BUSY for half a minute (a flash
// erase) gets its block whole; one that takes nothing for base + 40 s is
// given up. Overlapped writes take the same road.
TEST_F(LptPortTest, BlockingWriteWaitsOutAPauseAndGivesUpOnAStall) {
    REQUIRE_PEER();
    struct Form {
        const char* name;
        DWORD resumeAfterMs; // 0: never
        double leastMs, mostMs;
    } forms[] = {
        {"printer pauses 30 s mid-image", 30000, 29000, 40000},
        {"printer stops for good: base 1 s + 40 s", 0, 40500, 50000},
    };
    for (const Form& form : forms) {
        auto s = ProgramSettings(m_port.c_str());
        s.transferMode = 0; // no status thread
        s.writeTimeout = 1000;
        ASSERT_TRUE(Open(s)) << form.name;
        peer.Rebase();
        ASSERT_TRUE(peer.Command("stop-reading"));
        const size_t filled = FillTheLine(m_port);
        ASSERT_GT(filled, 0u);

        struct Resume {
            CPrinterPeer* peer;
            DWORD afterMs;
        } resume{&peer, form.resumeAfterMs};
        HANDLE resumer = form.resumeAfterMs == 0
                             ? nullptr
                             : ::CreateThread(
                                   nullptr, 0,
                                   [](LPVOID p) -> DWORD {
                                       auto* r = static_cast<Resume*>(p);
                                       ::Sleep(r->afterMs);
                                       return r->peer->Command("resume-reading") ? 0 : 1;
                                   },
                                   &resume, 0, nullptr);
        Bytes block(4096);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<uint8_t>(i * 13 + 1);
        const double t0 = NowMs();
        const int32_t n = lib.Write(block.data(), 4096);
        const double ms = NowMs() - t0;
        EXPECT_GE(ms, form.leastMs) << form.name;
        EXPECT_LE(ms, form.mostMs) << form.name;
        if (resumer) {
            EXPECT_EQ(n, 4096) << form.name;
            EXPECT_EQ(::WaitForSingleObject(resumer, 30000), WAIT_OBJECT_0);
            ::CloseHandle(resumer);
        } else {
            EXPECT_GE(n, 0) << form.name;
            EXPECT_LT(n, 4096) << form.name;
            ASSERT_TRUE(peer.Command("resume-reading"));
        }
        // The count is what the printer gets, and the port still works.
        ASSERT_EQ(lib.Write(block.data(), 3), 3) << form.name;
        const size_t want = filled + static_cast<size_t>(n) + 3;
        ASSERT_TRUE(peer.WaitReceived(want)) << form.name;
        ::Sleep(300);
        const Bytes got = peer.Received();
        ASSERT_EQ(got.size(), want) << form.name;
        EXPECT_TRUE(Bytes(got.begin() + filled, got.begin() + filled + n) ==
                    Bytes(block.begin(), block.begin() + n))
            << form.name;
        lib.ClosePort();
    }
}

// A worker reports its transfer and then still has to leave the library's
// code: a Write that returned before the worker thread ended let an unload
// right after it pull the code from under the thread. The test trees'
// library lingers in the worker after its report to widen that window.
TEST_F(LptPortTest, UnloadRightAfterAWorkerWriteLeavesNoThreadBehind) {
    REQUIRE_PEER();
    lib.Unload();
    ::SetEnvironmentVariableA("KESTREL_TEST_WORKER_LINGER_MS", "50");
    auto s = ProgramSettings(m_port.c_str());
    s.writeMode = 1;
    const Bytes block(64, 0x3C);
    peer.Rebase();
    for (int cycle = 0; cycle < 8; ++cycle) {
        CDriverLibrary once;
        ASSERT_TRUE(once.Load("lpt.dll"));
        ASSERT_EQ(once.SetDeviceOption(s), 1);
        ASSERT_EQ(once.OpenPort(), 1);
        ASSERT_EQ(once.Write(block.data(), 64), 64) << cycle;
        once.ClosePort();
    } // unloaded here
    ::SetEnvironmentVariableA("KESTREL_TEST_WORKER_LINGER_MS", nullptr);
    ::Sleep(200); // a thread left behind would have run into unmapped code by now
    EXPECT_TRUE(peer.WaitReceived(8 * 64));
    ASSERT_TRUE(lib.Load("lpt.dll"));
}

// kestrelc's Ctrl+C closes the port from its main thread while its driver
// thread is stuck in a Write to a printer that stopped reading. In every
// library the Write then gives up at once with what the printer took,
// ClosePort returns once it and the library's threads have left, a second
// ClosePort does nothing and the library can go. All three open the same
// line here: the pty behind the LPT port.
TEST_F(LptPortTest, ClosePortFromAnotherThreadEndsAStalledWriteInEveryLibrary) {
    REQUIRE_PEER();
    const std::string device = "\\\\.\\" + m_port;
    struct Row {
        const char* library;
        ConnectionSettings settings;
    } rows[] = {
        {"com.dll", ProgramSettings(m_port.c_str())},
        {"lpt.dll", ProgramSettings(m_port.c_str())},
        {"usb.dll", ProgramSettings(device.c_str())},
    };
    rows[0].settings.baudRate = 115200, rows[0].settings.dataBits = 8;
    rows[0].settings.outputBufferSize = 0;
    for (const Row& row : rows) {
        CDriverLibrary other;
        ASSERT_TRUE(other.Load(row.library)) << row.library;
        ASSERT_EQ(other.SetDeviceOption(row.settings), 1) << row.library;
        ASSERT_EQ(other.OpenPort(), 1) << row.library;
        peer.Rebase();
        ASSERT_TRUE(peer.Command("stop-reading"));
        const size_t filled = FillTheLine(m_port);
        ASSERT_GT(filled, 0u) << row.library;

        struct Closer {
            PFN_ClosePort close;
            double calledAt = 0, returnedAt = 0;
        } closer{other.ClosePort};
        HANDLE t = ::CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                auto* c = static_cast<Closer*>(p);
                ::Sleep(1000);
                c->calledAt = NowMs();
                c->close();
                c->returnedAt = NowMs();
                return 0;
            },
            &closer, 0, nullptr);
        const Bytes block(4096, 0x77);
        const int32_t n = other.Write(block.data(), 4096);
        const double writeEnded = NowMs();
        ASSERT_EQ(::WaitForSingleObject(t, 20000), WAIT_OBJECT_0) << row.library;
        ::CloseHandle(t);
        EXPECT_GE(n, 0) << row.library;
        EXPECT_LT(n, 4096) << row.library;
        // Generous against a noisy machine; the fault is the stall bound (10 s and more).
        EXPECT_LT(writeEnded - closer.calledAt, 3000) << row.library;
        EXPECT_LT(closer.returnedAt - closer.calledAt, 5000) << row.library;
        other.ClosePort(); // harmless
        EXPECT_EQ(other.Write(block.data(), 4), 0) << row.library;
        other.Unload();

        ASSERT_TRUE(peer.Command("resume-reading"));
        const size_t want = filled + static_cast<size_t>(n);
        EXPECT_TRUE(peer.WaitReceived(want)) << row.library;
        ::Sleep(300);
        EXPECT_EQ(peer.Received().size(), want) << row.library;
    }
}

} // namespace
