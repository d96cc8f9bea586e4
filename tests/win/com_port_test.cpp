// com.dll under Wine against a stand-in printer on a pty (com_peer.py,
// started by com_port_test.sh). The library is loaded fresh for every test
// so each one starts from the loaded state.
#include "drivers/common/port_driver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Talks to the peer through files in its control directory (Z: is /).
class CPeer {
  public:
    CPeer() : m_dir("Z:" + Env("KESTREL_PEER_DIR")) {
        for (auto& c : m_dir)
            if (c == '/')
                c = '\\';
    }
    std::string Command(const std::string& text) {
        const std::string cmd = m_dir + "\\cmd" + std::to_string(m_seq);
        const std::string ack = m_dir + "\\ack" + std::to_string(m_seq);
        ++m_seq;
        { std::ofstream(cmd + ".tmp") << text; }
        ::MoveFileA((cmd + ".tmp").c_str(), cmd.c_str());
        for (int i = 0; i < 2000; ++i) {  // generous: about 20 s
            std::ifstream in(ack);
            if (in) {
                std::string answer((std::istreambuf_iterator<char>(in)), {});
                return answer;
            }
            ::Sleep(10);
        }
        ADD_FAILURE() << "peer did not answer " << text;
        return "";
    }
    Bytes Received() {
        std::ifstream in(m_dir + "\\received.bin", std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), {});
    }
    // Waits until the peer has taken `count` bytes off the line.
    bool WaitReceived(size_t count) {
        for (int i = 0; i < 600; ++i) {
            if (std::stoul("0" + Command("count")) >= count)
                return true;
            ::Sleep(50);
        }
        return false;
    }

  private:
    std::string m_dir;
    int m_seq = 0;
};

// One peer serves every test of the run; its commands are numbered.
CPeer& ThePeer() {
    static CPeer peer;
    return peer;
}

struct CComLibrary {
    HMODULE module = nullptr;
    PFN_SetDeviceOption SetDeviceOption = nullptr;
    PFN_OpenPort OpenPort = nullptr;
    PFN_Write Write = nullptr;
    PFN_Read Read = nullptr;
    PFN_ClosePort ClosePort = nullptr;
    PFN_Clear Clear = nullptr;
    PFN_GetInputBufferCount GetInputBufferCount = nullptr;
    PFN_IsPowerState IsPowerState = nullptr;
    PFN_GetASBState GetASBState = nullptr;

    bool Load() {
        char exe[MAX_PATH];
        ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string path(exe);
        path = path.substr(0, path.find_last_of('\\') + 1) + "com.dll";
        module = ::LoadLibraryA(path.c_str());
        if (!module)
            return false;
        auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                reinterpret_cast<void*>(::GetProcAddress(module, name)));
            return fn != nullptr;
        };
        return bind(SetDeviceOption, "SetDeviceOption") && bind(OpenPort, "OpenPort") &&
               bind(Write, "Write") && bind(Read, "Read") && bind(ClosePort, "ClosePort") &&
               bind(Clear, "Clear") && bind(GetInputBufferCount, "GetInputBufferCount") &&
               bind(IsPowerState, "IsPowerState") && bind(GetASBState, "GetASBState");
    }
    ~CComLibrary() {
        if (module)
            ::FreeLibrary(module);
    }
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

template <typename Pred>
bool WaitFor(Pred pred, int tries = 500) {  // 10 ms steps
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

#define REQUIRE_PEER()                                                                   \
    if (!HavePeer())                                                                     \
    GTEST_SKIP() << "run through com_port_test.sh"

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
    EXPECT_EQ(peer.Command("termios"), "baud=115200 ixon=1 ixoff=1");
    lib.ClosePort();
    ASSERT_TRUE(Open(9600, 0));
    EXPECT_EQ(peer.Command("termios"), "baud=9600 ixon=0 ixoff=0");
}

TEST_F(ComPortTest, PrinterBytesAreSortedIntoReadAndStatus) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    ASSERT_EQ(peer.Command("send 41 14 00 00 0F 42 43 35 40 41 00"), "ok");
    ASSERT_TRUE(WaitFor([&] { return lib.GetInputBufferCount() == 3; }));
    uint8_t rec[4];
    ASSERT_EQ(lib.GetASBState(rec), 1);
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x14, 0x00, 0x00, 0x0F}));
    uint8_t buf[10] = {};
    ASSERT_EQ(lib.Read(buf, 10, 0), 3);
    EXPECT_EQ(Bytes(buf, buf + 3), (Bytes{0x41, 0x42, 0x43}));
    EXPECT_EQ(lib.GetInputBufferCount(), 0);

    // Clear empties the received bytes and leaves the records.
    ASSERT_EQ(peer.Command("send 44 45 1C 40 0C 0F"), "ok");
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

TEST_F(ComPortTest, ReadWaitsForBytesUpToItsTimeout) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    uint8_t buf[8] = {};
    EXPECT_EQ(lib.Read(buf, 8, 50), 0);
    ASSERT_EQ(peer.Command("send 61 62 63 64"), "ok");
    // Generous time-out: the bytes must come out before it ends.
    EXPECT_EQ(lib.Read(buf, 4, 20000), 4);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x61, 0x62, 0x63, 0x64}));
}

TEST_F(ComPortTest, SecondOpenKeepsTheFirstDevice) {
    REQUIRE_PEER();
    ASSERT_TRUE(Open());
    // With the port's name gone, a second real open could not succeed.
    ASSERT_EQ(peer.Command("unlink"), "ok");
    EXPECT_EQ(lib.OpenPort(), 1);
    uint8_t b[3] = {'x', 'y', 'z'};
    EXPECT_EQ(lib.Write(b, 3), 3);
    ASSERT_EQ(peer.Command("link"), "ok");
    EXPECT_TRUE(peer.WaitReceived(3));
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
    ASSERT_EQ(peer.Command("stop"), "ok");
    Bytes block(1024, 0x55);
    int32_t last = 0;
    size_t accepted = 0;
    for (int i = 0; i < 16384; ++i) {  // 16 MiB: far beyond any pty buffer
        last = lib.Write(block.data(), 1024);
        if (last != 1024)
            break;
        accepted += 1024;
    }
    EXPECT_LT(last, 1024) << "every write went through";
    EXPECT_GE(last, 0);
    ASSERT_EQ(peer.Command("resume"), "ok");
    // The line works again once the printer reads.
    EXPECT_EQ(lib.Write(block.data(), 1024), 1024);
    EXPECT_TRUE(peer.WaitReceived(accepted + static_cast<size_t>(last) + 1024));
}

}  // namespace
