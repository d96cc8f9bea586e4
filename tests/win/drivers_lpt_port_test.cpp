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

TEST_F(LptPortTest, WriteToAPrinterThatStopsReadingGivesUpWithinItsBound) {
    REQUIRE_PEER();
    struct Form {
        const char* name;
        int32_t synchronous;
        uint32_t count;
        double leastMs, mostMs; // base 1000 ms + 5 ms per byte, and slack
    } forms[] = {
        // One attempt waits out the bound, then one 500 ms pause.
        {"overlapped, repeated attempts", 0, 4096, 21400, 23000},
        // The program's: a blocking write would otherwise never return.
        // Wine cannot cancel it, so its worker also gets its 2 s to end.
        {"the program's: blocking, direct", 4096, 512, 3500, 10000},
    };
    for (const Form& form : forms) {
        auto s = ProgramSettings(m_port.c_str());
        s.outputBufferSize = form.synchronous;
        s.transferMode = 0; // no status thread
        s.writeTimeout = 1000;
        ASSERT_TRUE(Open(s)) << form.name;
        peer.Rebase();
        ASSERT_TRUE(peer.Command("stop-reading"));
        const size_t filled = FillTheLine(m_port);
        ASSERT_GT(filled, 0u);

        Bytes block(form.count, 0xC3);
        LARGE_INTEGER f, t0, t1;
        ::QueryPerformanceFrequency(&f);
        ::QueryPerformanceCounter(&t0);
        const int32_t n = lib.Write(block.data(), form.count);
        ::QueryPerformanceCounter(&t1);
        const double ms = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / f.QuadPart;
        EXPECT_GE(n, 0) << form.name;
        EXPECT_LT(n, static_cast<int32_t>(form.count)) << form.name;
        EXPECT_GE(ms, form.leastMs) << form.name;
        EXPECT_LE(ms, form.mostMs) << form.name;

        // The count is what the printer gets once it reads again, and the
        // port still works.
        ASSERT_TRUE(peer.Command("resume-reading"));
        ASSERT_EQ(lib.Write(block.data(), 3), 3) << form.name;
        const size_t want = filled + static_cast<size_t>(n) + 3;
        ASSERT_TRUE(peer.WaitReceived(want)) << form.name;
        ::Sleep(300);
        EXPECT_EQ(peer.Received().size(), want) << form.name;
        lib.ClosePort();
    }
}

} // namespace
