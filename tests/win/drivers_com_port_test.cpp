// com.dll under Wine against the virtual printer on a pty (started by
// with_pty_printer.sh through scripts/vprinter-com.sh). The library is loaded fresh for every test
// so each one starts from the loaded state.
#include "drivers/common/port_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/harness_env.h"

namespace {

using Bytes = std::vector<uint8_t>;

using kestrel::test::Env;

using CPeer = kestrel::test::CPrinterPeer;

// One peer serves every test of the run.
CPeer& ThePeer() {
    static CPeer peer;
    return peer;
}

struct CComLibrary : kestrel::test::CDriverLibrary {
    bool Load() { return CDriverLibrary::Load("com.dll"); }
};

// The record as the program fills it for a serial download.
ConnectionSettings ProgramSettings(const char* port, int32_t baud, int32_t handshake) {
    ConnectionSettings s{};
    s.portName = port;
    s.baudRate = baud;
    s.dataBits = 8;
    s.stopBits = 0;
    s.parity = 0;
    s.handshake = handshake;
    s.readIntervalTimeout = s.readTotalTimeoutMultiplier = s.readTotalTimeoutConstant = 10;
    s.inputBufferSize = 8192;
    s.outputBufferSize = 4096;
    s.transferMode = 1;
    s.writeTimeout = 3000;
    return s;
}

template <typename Pred> bool WaitFor(Pred pred, int tries = 500) { // 10 ms steps
    for (int i = 0; i < tries; ++i) {
        if (pred())
            return true;
        ::Sleep(10);
    }
    return pred();
}

class ComPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_port = Env("KESTREL_COM_PORT");
        if (HavePeer())
            peer.Rebase();
        ASSERT_TRUE(lib.Load()) << "com.dll with its nine entries";
    }
    void TearDown() override {
        if (lib.ClosePort)
            lib.ClosePort();
    }
    bool HavePeer() const { return !m_port.empty(); }
    bool Open(int32_t baud = 115200, int32_t handshake = 0) {
        auto s = ProgramSettings(m_port.c_str(), baud, handshake);
        return lib.SetDeviceOption(s) == 1 && lib.OpenPort() == 1;
    }

    CComLibrary lib;
    CPeer& peer = ThePeer();
    std::string m_port;
};

#define REQUIRE_PEER()                                                                             \
    if (!HavePeer())                                                                               \
    GTEST_SKIP() << "run through with_pty_printer.sh"

TEST_F(ComPortTest, RefusesTransfersUntilOpenAndWithoutData) {
    uint8_t buf[8] = {1, 2, 3, 4};
    EXPECT_EQ(lib.Write(buf, 4), 0);
    EXPECT_EQ(lib.Read(buf, 4, 0), 0);
    EXPECT_EQ(lib.IsPowerState(), 2000);
    auto empty = ProgramSettings("", 9600, 0);
    EXPECT_EQ(lib.SetDeviceOption(empty), 0);
    auto missing = ProgramSettings("COM199", 9600, 0);
    ASSERT_EQ(lib.SetDeviceOption(missing), 1);
    EXPECT_EQ(lib.OpenPort(), 0);
    EXPECT_EQ(lib.Write(buf, 4), 0);
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    EXPECT_EQ(lib.Write(nullptr, 4), 0);
    EXPECT_EQ(lib.Write(buf, 0), 0);
    EXPECT_EQ(lib.Read(nullptr, 4, 0), 0);
    EXPECT_EQ(lib.Read(buf, 0, 0), 0);
}

TEST_F(ComPortTest, FirmwareImageArrivesByteForByte) {
    REQUIRE_PEER();
    Bytes image(262148);
    image[0] = 0x1B, image[1] = 0x23, image[2] = 0x6D, image[3] = 0x6B;
    uint32_t x = 12345;
    for (size_t i = 4; i < image.size(); ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(x >> 16);
    }
    ASSERT_TRUE(Open());
    for (size_t sent = 0; sent < image.size(); sent += 4096) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(4096, image.size() - sent));
        ASSERT_EQ(lib.Write(image.data() + sent, n), static_cast<int32_t>(n)) << "at " << sent;
    }
    ASSERT_TRUE(peer.WaitReceived(image.size()));
    Bytes got = peer.Received();
    ASSERT_EQ(got.size(), image.size());
    EXPECT_TRUE(got == image) << "bytes differ";
}

TEST_F(ComPortTest, LineSettingsReachThePrinter) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open(115200, 1));
    EXPECT_EQ(peer.Settings("baud=115200 ixon=1 ixoff=1"), "baud=115200 ixon=1 ixoff=1");
    lib.ClosePort();
    ASSERT_TRUE(Open(9600, 0));
    EXPECT_EQ(peer.Settings("baud=9600 ixon=0 ixoff=0"), "baud=9600 ixon=0 ixoff=0");
}

TEST_F(ComPortTest, PrinterBytesAreSortedIntoReadAndStatus) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(peer.Command("send 41 14 00 00 0f 42 43 35 40 41 00"));
    ASSERT_TRUE(WaitFor([&] { return lib.GetInputBufferCount() == 3; }));
    uint8_t rec[4];
    ASSERT_EQ(lib.GetASBState(rec), 1);
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x14, 0x00, 0x00, 0x0F}));
    uint8_t buf[10] = {};
    ASSERT_EQ(lib.Read(buf, 10, 0), 3);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{0x41, 0x42, 0x43}));
    EXPECT_EQ(lib.GetInputBufferCount(), 0);

    // Clear empties the received bytes and leaves the records.
    ASSERT_TRUE(peer.Command("send 44 45 1c 40 0c 0f"));
    ASSERT_TRUE(WaitFor([&] { return lib.GetInputBufferCount() == 2; }));
    lib.Clear();
    EXPECT_EQ(lib.GetInputBufferCount(), 0);
    EXPECT_EQ(lib.Read(buf, 2, 0), 0);

    // Records queued before the close are still handed out after it.
    lib.ClosePort();
    ASSERT_EQ(lib.GetASBState(rec), 1);
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x35, 0x40, 0x41, 0x00}));
    ASSERT_EQ(lib.GetASBState(rec), 1);
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x1C, 0x40, 0x0C, 0x0F}));
    uint8_t untouched[4] = {7, 7, 7, 7};
    EXPECT_EQ(lib.GetASBState(untouched), 0);
    EXPECT_EQ(Bytes(untouched, untouched + 4), (Bytes{7, 7, 7, 7}));
}

uint64_t ThreadCpuMs() {
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME& f) {
        return ((uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime) / 10000;
    };
    return ms(kernel) + ms(user);
}

TEST_F(ComPortTest, ReadWaitsForBytesUpToItsTimeout) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    uint8_t buf[8] = {};
    // Waiting for bytes that do not come must not keep a processor busy.
    const uint64_t cpu = ThreadCpuMs(), wall = ::GetTickCount64();
    EXPECT_EQ(lib.Read(buf, 8, 1500), 0);
    const uint64_t waited = ::GetTickCount64() - wall;
    EXPECT_GE(waited, 1500u);
    EXPECT_LT(ThreadCpuMs() - cpu, waited / 10) << "the read polled without pause";
    ASSERT_TRUE(peer.Command("send 61 62 63 64"));
    // Generous time-out: the bytes must come out before it ends.
    EXPECT_EQ(lib.Read(buf, 4, 20000), 4);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x61, 0x62, 0x63, 0x64}));
}

TEST_F(ComPortTest, SecondOpenKeepsTheFirstDevice) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open(115200, 0));
    ASSERT_EQ(peer.Settings("baud=115200 ixon=0 ixoff=0"), "baud=115200 ixon=0 ixoff=0");
    // New settings reach the device only by a real open; the second call
    // must answer from the open port and leave the line as it is.
    auto slower = ProgramSettings(m_port.c_str(), 9600, 1);
    ASSERT_EQ(lib.SetDeviceOption(slower), 1);
    EXPECT_EQ(lib.OpenPort(), 1);
    ::Sleep(200); // several of the printer's settings polls
    EXPECT_EQ(peer.Settings("baud=115200 ixon=0 ixoff=0"), "baud=115200 ixon=0 ixoff=0");
    uint8_t b[3] = {'x', 'y', 'z'};
    EXPECT_EQ(lib.Write(b, 3), 3);
    EXPECT_TRUE(peer.WaitReceived(3));
}

TEST_F(ComPortTest, PortNamesInBothFormsOpen) {
    REQUIRE_PEER();
    const std::string device = "\\\\.\\" + m_port; // \\.\COMn stays as it is
    for (const std::string& name : {m_port, device}) {
        auto s = ProgramSettings(name.c_str(), 9600, 0);
        ASSERT_EQ(lib.SetDeviceOption(s), 1) << name;
        EXPECT_EQ(lib.OpenPort(), 1) << name;
        lib.ClosePort();
    }
}

TEST_F(ComPortTest, RefusedLineSettingsLeaveThePortUnusableUntilClosed) {
    REQUIRE_PEER();
    // Open and close once first: a failed reopen must not answer "open"
    // from the earlier success.
    ASSERT_TRUE(Open());
    lib.ClosePort();
    auto bad = ProgramSettings(m_port.c_str(), 9600, 0);
    bad.dataBits = 3; // no serial line has 3-bit bytes
    ASSERT_EQ(lib.SetDeviceOption(bad), 1);
    EXPECT_EQ(lib.OpenPort(), 0);
    auto good = ProgramSettings(m_port.c_str(), 9600, 0);
    ASSERT_EQ(lib.SetDeviceOption(good), 1);
    EXPECT_EQ(lib.OpenPort(), 0) << "half-open until ClosePort";
    uint8_t b[2] = {1, 2};
    EXPECT_EQ(lib.Write(b, 2), 0);
    lib.ClosePort();
    EXPECT_EQ(lib.OpenPort(), 1);
}

TEST_F(ComPortTest, UnloadingWithThePortOpenStopsItsThread) {
    REQUIRE_PEER();
    {
        CComLibrary second; // a second load of the same module: same port
        ASSERT_TRUE(second.Load());
    }
    ASSERT_TRUE(Open());
    // Unloading without ClosePort must not leave the status thread running
    // in unmapped code (the process would crash on its next pass).
    ::FreeLibrary(lib.module);
    lib.module = nullptr;
    lib.ClosePort = nullptr;
    ::Sleep(400); // several passes of a thread that survived
    ASSERT_TRUE(lib.Load());
    EXPECT_EQ(lib.IsPowerState(), 2000);
    EXPECT_TRUE(Open());
}

TEST_F(ComPortTest, PowerStateFollowsTheStatusThread) {
    REQUIRE_PEER();
    EXPECT_EQ(lib.IsPowerState(), 2000);
    auto s = ProgramSettings(m_port.c_str(), 9600, 0);
    ASSERT_EQ(lib.SetDeviceOption(s), 1);
    EXPECT_EQ(lib.IsPowerState(), 2000);
    ASSERT_EQ(lib.OpenPort(), 1);
    // A pty has no modem lines: the status query fails, which reads as off.
    EXPECT_TRUE(WaitFor([&] { return lib.IsPowerState() == 2003; }));
    lib.ClosePort();
    EXPECT_EQ(lib.IsPowerState(), 2003);
}

TEST_F(ComPortTest, WriteToAPrinterThatStopsReadingReturnsShort) {
    REQUIRE_PEER();
    auto s = ProgramSettings(m_port.c_str(), 115200, 0);
    s.writeTimeout = 200;
    ASSERT_EQ(lib.SetDeviceOption(s), 1);
    ASSERT_EQ(lib.OpenPort(), 1);
    ASSERT_TRUE(peer.Command("stop-reading"));
    Bytes block(1024, 0x55);
    int32_t last = 0;
    size_t accepted = 0;
    for (int i = 0; i < 16384; ++i) { // 16 MiB: far beyond any pty buffer
        last = lib.Write(block.data(), 1024);
        if (last != 1024)
            break;
        accepted += 1024;
    }
    EXPECT_LT(last, 1024) << "every write went through";
    EXPECT_GE(last, 0);
    ASSERT_TRUE(peer.Command("resume-reading"));
    // The line works again once the printer reads.
    EXPECT_EQ(lib.Write(block.data(), 1024), 1024);
    EXPECT_TRUE(peer.WaitReceived(accepted + static_cast<size_t>(last) + 1024));
}

TEST_F(ComPortTest, PrinterPausingTheLineDoesNotCutABlock) {
    REQUIRE_PEER();
    // 2400 baud with XON/XOFF and the program's write time-out base of 3 s.
    // The printer holds the line with XOFF for 8 s, as while it erases
    // flash; a bound of the base plus 5 ms a byte cut a short last block.
    ASSERT_TRUE(Open(2400, 1));
    ASSERT_EQ(peer.Settings("baud=2400 ixon=1 ixoff=1"), "baud=2400 ixon=1 ixoff=1");
    Bytes sent;
    for (uint32_t size : {4096u, 512u}) {
        Bytes block(size);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<uint8_t>(i * 13 + size);
        ASSERT_TRUE(peer.Command("send 13"));
        std::thread pause([&] {
            ::Sleep(8000);
            peer.Command("send 11");
        });
        const uint64_t start = ::GetTickCount64();
        EXPECT_EQ(lib.Write(block.data(), size), static_cast<int32_t>(size)) << size;
        EXPECT_GE(::GetTickCount64() - start, 7000u) << "the printer did not hold the line";
        pause.join();
        sent.insert(sent.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(peer.WaitReceived(sent.size()));
    EXPECT_TRUE(peer.Received() == sent) << "bytes differ";
}

} // namespace
