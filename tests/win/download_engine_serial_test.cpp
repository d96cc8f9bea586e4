// The whole download path without a window: the engine, the driver file
// written out of this program's resources, the loader and the real com.dll,
// to the virtual printer on a pty. Run through engine_serial_test.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/settings_rules.h"
#include "driver_host/driver_files_win.h"
#include "driver_host/driver_loader_win.h"
#include "download/hex_download.h"
#include "download/image_file_store_win.h"
#include "ports/spooler_ports_win.h"
#include "download/ui_clock_win.h"
#include "framework/win_handle.h"
#include "tests/win/download_engine_stand_ins.h"
#include "tests/win/harness_env.h"

namespace kestrel {
namespace {

using test::Env;
using test::NoNetwork;
using test::QuickClosingClock;
using test::RecordingView;
using test::WinPath;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The record exactly as the Configuration command fills it for a serial
// port at 115200 with XON/XOFF.
StoredConnection SerialConnection(const std::string& port) {
    SettingsFields fields;
    fields.portName = port;
    fields.baudRate = 115200;
    fields.handshake = 1;
    StoredConnection connection;
    connection.ApplyConfirmed(fields);
    return connection;
}

TEST(EngineOverSerial, FirmwareReachesThePrinterByteForByte) {
    const std::string com = Env("KESTREL_COM_PORT");
    const std::string record = Env("VPRINTER_RECORD");
    ASSERT_FALSE(com.empty());
    ASSERT_FALSE(record.empty());

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string firmware = std::string(temp) + "kestrel-engine-serial.fls";
    std::vector<uint8_t> image(70001);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + i / 256);
    {
        std::ofstream out(firmware, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    // A read-only firmware file is a perfectly good one.
    ASSERT_TRUE(SetFileAttributesA(firmware.c_str(), FILE_ATTRIBUTE_READONLY));

    // The plain name and the device-namespace form reach the same printer.
    const std::string names[] = {com, "\\\\.\\" + com};
    std::vector<uint8_t> expected;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        CDriverFileStore files;
        CPortDriver driver;
        NoNetwork network;
        CSpoolerPorts spooler;
        RecordingView view;
        QuickClosingClock clock;
        DownloadPorts ports{files, spooler, driver, network, view, clock};
        const StoredConnection connection = SerialConnection(name);
        DownloadRequest request;
        request.settings = connection.Record();
        request.printerType = 200;
        request.firmwarePath = firmware;
        EXPECT_EQ(RunDownload(request, ports), DownloadOutcome::Completed);
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(view.notices, 1);
        EXPECT_EQ(view.progress.back(), kProgressFull);
        // Nothing of the run is left: the library is gone, and so is its file.
        EXPECT_EQ(GetModuleHandleA("com.dll"), nullptr);
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, cwd);
        EXPECT_EQ(GetFileAttributesA((std::string(cwd) + "\\com.dll").c_str()),
                  INVALID_FILE_ATTRIBUTES);

        expected.insert(expected.end(), image.begin(), image.end());
        // The pty holds what the printer has not read yet; give it time.
        std::vector<uint8_t> got;
        for (int i = 0; i < 300; ++i) {
            got = ReadAll(WinPath(record));
            if (got.size() >= expected.size()) break;
            ::Sleep(100);
        }
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected) << "bytes differ";
    }
    SetFileAttributesA(firmware.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(firmware.c_str());
}

// Holds the download once the port is open until the other copy has got as
// far: by then both have written their images and neither has read its own.
struct GatedDriver : IPortDriver {
    CPortDriver real;
    HANDLE mine = nullptr;
    HANDLE theirs = nullptr;
    bool Load(const std::string& path) override { return real.Load(path); }
    void Release() override { real.Release(); }
    int32_t SetDeviceOption(const ConnectionSettings& s) override { return real.SetDeviceOption(s); }
    int32_t OpenPort() override {
        const int32_t opened = real.OpenPort();
        SetEvent(mine);
        WaitForSingleObject(theirs, 60000);
        return opened;
    }
    int32_t Write(const uint8_t* data, uint32_t count) override { return real.Write(data, count); }
    void ClosePort() override { real.ClosePort(); }
};

// One of two copies run at once by download_hex_two_copies.sh, each with its own
// .hex file and printer; the script compares what each printer got.
TEST(HexDownloadOverSerial, EachCopySendsItsOwnImage) {
    const std::string source = Env("KESTREL_HEX_SOURCE");
    if (source.empty()) GTEST_SKIP() << "only through download_hex_two_copies.sh";
    UniqueHandle mine(CreateEventA(nullptr, TRUE, FALSE, Env("KESTREL_GATE_MINE").c_str()));
    UniqueHandle theirs(CreateEventA(nullptr, TRUE, FALSE, Env("KESTREL_GATE_THEIRS").c_str()));
    ASSERT_TRUE(mine && theirs);

    CDriverFileStore files;
    GatedDriver driver;
    driver.mine = mine.Get();
    driver.theirs = theirs.Get();
    NoNetwork network;
    CSpoolerPorts spooler;
    RecordingView view;
    QuickClosingClock clock;
    CImageFileStore images;
    DownloadPorts ports{files, spooler, driver, network, view, clock};
    const StoredConnection connection = SerialConnection(Env("KESTREL_COM_PORT"));
    DownloadRequest request;
    request.settings = connection.Record();
    request.printerType = 100;
    request.firmwarePath = source;
    const HexDownloadResult result = RunHexDownload(request, images, ports);
    EXPECT_TRUE(result.conversion.ok()) << HexFailureText(result.conversion);
    EXPECT_EQ(result.download, DownloadOutcome::Completed);
    EXPECT_TRUE(view.messages.empty());
    // The path still names the image file, which is gone.
    EXPECT_NE(request.firmwarePath, source);
    EXPECT_EQ(GetFileAttributesA(request.firmwarePath.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace kestrel
