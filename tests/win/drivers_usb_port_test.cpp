// usb.dll under Wine, loaded and bound by the program's own loader, against
// the virtual printer on a USB device path (a dosdevices link to its pty,
// which its unplug and plug commands take away and bring back) and on a
// second path to its chunk FIFO. Run through with_pty_printer.sh usb:INSTANCE.
#include <windows.h>

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/settings_rules.h"
#include "driver_host/driver_files_win.h"
#include "driver_host/driver_loader_win.h"
#include "ports/spooler_ports_win.h"
#include "download/ui_clock_win.h"
#include "tests/win/download_engine_stand_ins.h"
#include "tests/win/harness_env.h"

namespace kestrel {
namespace {

using test::CPrinterPeer;
using test::Env;
using test::NoNetwork;
using test::QuickClosingClock;
using test::RecordingView;
using test::FileText;
using Bytes = std::vector<uint8_t>;

constexpr char kWindowText[] = "USBPNPWindow";

// The notice window of this process: other tests in the same prefix may
// have one of their own open at the same time.
HWND OwnNoticeWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, kWindowText)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId())
            return window;
    }
    return nullptr;
}

CPrinterPeer& ThePeer() {
    static CPrinterPeer peer;
    return peer;
}

std::string ExeDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

Bytes Image(size_t size) {
    Bytes image(size);
    uint32_t x = 2024;
    for (uint8_t& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return image;
}

// The record as the Configuration command fills it for a USB printer.
StoredConnection UsbConnection(const std::string& path) {
    SettingsFields fields;
    fields.portName = path;
    StoredConnection connection;
    connection.ApplyConfirmed(fields);
    return connection;
}

// usb.dll as the program loads it. The calls are made on this thread, so
// that the notification window is this thread's and a notice sent with
// SendMessage arrives exactly between two calls.
struct CUsbLibrary {
    CPortDriver driver;
    PFN_SetDeviceOption SetDeviceOption = nullptr;
    PFN_OpenPort OpenPort = nullptr;
    PFN_Write Write = nullptr;
    PFN_ClosePort ClosePort = nullptr;

    bool Load() {
        if (!driver.Load(ExeDirectory() + "\\usb.dll"))
            return false;
        HMODULE module = GetModuleHandleA("usb.dll");
        auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                reinterpret_cast<void*>(GetProcAddress(module, name)));
            return fn != nullptr;
        };
        return bind(SetDeviceOption, "SetDeviceOption") && bind(OpenPort, "OpenPort") &&
               bind(Write, "Write") && bind(ClosePort, "ClosePort");
    }
    int32_t Read(uint8_t* buffer, uint32_t count, uint32_t ms) {
        return driver.Read()(buffer, count, ms);
    }
    int32_t Power() { return driver.IsPowerState()(); }
    bool Record(Bytes& record) {
        record.assign(4, 0);
        return driver.GetASBState()(record.data()) == 1;
    }
    int32_t Waiting() { return driver.GetInputBufferCount()(); }
};

// The character-device handles of this process (Wine makes a pty one). The
// driver's device handle is the one that an open adds.
std::set<HANDLE> FileHandles() {
    std::set<HANDLE> handles;
    for (uintptr_t v = 4; v < 0x1000; v += 4) {
        HANDLE h = reinterpret_cast<HANDLE>(v);
        DWORD flags = 0;
        if (GetHandleInformation(h, &flags) && GetFileType(h) == FILE_TYPE_CHAR)
            handles.insert(h);
    }
    return handles;
}

HANDLE AddedHandle(const std::set<HANDLE>& before) {
    HANDLE added = nullptr;
    int n = 0;
    for (HANDLE h : FileHandles())
        if (!before.count(h))
            added = h, ++n;
    return n == 1 ? added : nullptr;
}

LRESULT HandleNotice(HWND window, UINT event, HANDLE handle) {
    DEV_BROADCAST_HANDLE record{};
    record.dbch_size = sizeof record;
    record.dbch_devicetype = DBT_DEVTYP_HANDLE;
    record.dbch_handle = handle;
    return SendMessageA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record));
}

LRESULT ArrivalNotice(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_A record{};
    record.dbcc_size = sizeof record;
    record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    return SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                        reinterpret_cast<LPARAM>(&record));
}

template <typename Pred> bool WaitFor(Pred pred) {
    for (int i = 0; i < 2000; ++i) { // 10 ms steps: generous
        if (pred())
            return true;
        Sleep(10);
    }
    return pred();
}

// The driver opens "debug.bin" without sharing for each chunk: looking at
// its size must not hold it open.
size_t LogSize() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA("debug.bin", GetFileExInfoStandard, &data))
        return 0;
    return data.nFileSizeLow;
}

class UsbPort : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = Env("KESTREL_USB_PATH");
        chunksPath_ = Env("KESTREL_USB_CHUNKS_PATH");
        if (path_.empty())
            GTEST_SKIP() << "run through with_pty_printer.sh usb:INSTANCE";
        peer_.Rebase();
        ASSERT_TRUE(lib_.Load()) << "usb.dll with its nine entries";
    }
    void TearDown() override {
        if (!lib_.ClosePort)
            return;
        lib_.ClosePort();
        // Freed on the program's driver thread, the library asks the window
        // it made on this thread to close; it must go once this thread takes
        // its messages, and not call into the unloaded library.
        lib_.driver.Release();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        EXPECT_EQ(OwnNoticeWindow(), nullptr);
    }
    ConnectionSettings ProgramSettings() {
        connection_ = UsbConnection(path_);
        return connection_.Record();
    }

    std::string path_, chunksPath_;
    StoredConnection connection_;
    CPrinterPeer& peer_ = ThePeer();
    CUsbLibrary lib_;
};

// The quick clock skips only the closing wait's 800 ms steps.
TEST_F(UsbPort, ProgramSettingsCarryAnImageIn64And4096ByteBlocks) {
    // The download loads its own copy, from the program's resources.
    lib_.driver.Release();
    lib_.ClosePort = nullptr;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string firmware = std::string(temp) + "kestrel-usb-port.fls";
    const Bytes image = Image(262148);
    {
        std::ofstream out(firmware, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }
    Bytes expected;
    for (int32_t printerType : {203, 200}) { // 64-byte blocks, then 4096
        SCOPED_TRACE(printerType);
        {
            CDriverFileStore files;
            CPortDriver driver;
            NoNetwork network;
            CSpoolerPorts spooler;
            RecordingView view;
            QuickClosingClock clock;
            DownloadPorts ports{files, spooler, driver, network, view, clock};
            DownloadRequest request;
            request.settings = ProgramSettings();
            request.printerType = printerType;
            request.firmwarePath = firmware;
            EXPECT_EQ(RunDownload(request, ports), DownloadOutcome::Completed);
            EXPECT_TRUE(view.messages.empty());
            EXPECT_EQ(view.notices, 1);
        }
        // Nothing of the run is left: neither the library nor its window.
        EXPECT_EQ(GetModuleHandleA("usb.dll"), nullptr);
        EXPECT_EQ(OwnNoticeWindow(), nullptr);
        expected.insert(expected.end(), image.begin(), image.end());
        ASSERT_TRUE(peer_.WaitReceived(expected.size()));
        EXPECT_TRUE(peer_.Received() == expected) << "bytes differ";
    }
    DeleteFileA(firmware.c_str());
}

TEST_F(UsbPort, RefusalsAndReadModes) {
    ConnectionSettings s = ProgramSettings();
    ASSERT_EQ(lib_.SetDeviceOption(s), 1);
    ConnectionSettings empty = s;
    empty.portName = "";
    EXPECT_EQ(lib_.SetDeviceOption(empty), 0);
    EXPECT_EQ(lib_.Power(), 0);
    ASSERT_EQ(lib_.OpenPort(), 1) << "the earlier settings are kept";
    EXPECT_EQ(lib_.Power(), 1);
    EXPECT_EQ(lib_.OpenPort(), 0) << "already open";
    lib_.ClosePort();

    // Modes 0 and 1 hand over whole answers longer than 16 bytes, on plain
    // and on overlapped handles; below 16 bytes only the buffered read
    // (mode 2) serves. Writes go direct beside mode 0 and through a worker
    // beside mode 1.
    const Bytes answer = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
                          'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
    s.readTimeout = 5000; // a bound only: the answer is on its way
    size_t written = 0;
    for (int32_t synchronous : {4096, 0}) {
        for (int32_t mode : {0, 1, 3}) {
            SCOPED_TRACE(::testing::Message() << "synchronous " << synchronous << " mode " << mode);
            s.outputBufferSize = synchronous;
            s.transferMode = mode;
            s.writeMode = mode;
            ASSERT_EQ(lib_.SetDeviceOption(s), 1);
            ASSERT_EQ(lib_.OpenPort(), 1);
            uint8_t buffer[32] = {};
            EXPECT_EQ(lib_.Read(buffer, 15, 0), 0);
            if (mode != 3) {
                ASSERT_TRUE(peer_.Command("send 30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 "
                                          "67 68 69 6a"));
                ASSERT_EQ(lib_.Read(buffer, 20, 200), 20);
                EXPECT_EQ(Bytes(buffer, buffer + 20), answer);
                EXPECT_EQ(lib_.Write(answer.data(), 20), 20);
                written += 20;
            }
            lib_.ClosePort();
        }
    }
    ASSERT_TRUE(peer_.WaitReceived(written));
    EXPECT_EQ(peer_.Received().size(), written);
}

TEST_F(UsbPort, DevicePathsOfAnyLength) {
    // Any name the system opens will do; a file deep in the temporary folder
    // makes a path of over 300 characters.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(L"\\\\?\\") + temp;
    for (int i = 0; i < 3; ++i) {
        path += std::wstring(100, wchar_t(L'a' + i));
        CreateDirectoryW(path.c_str(), nullptr);
        path += L'\\';
    }
    path += L"printer.bin";
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string narrow(path.begin(), path.end());
    ASSERT_GT(narrow.size(), 300u);

    ConnectionSettings s = ProgramSettings();
    s.portName = narrow.c_str();
    ASSERT_EQ(lib_.SetDeviceOption(s), 1);
    ASSERT_EQ(lib_.OpenPort(), 1);
    const uint8_t bytes[] = {1, 2, 3, 4};
    EXPECT_EQ(lib_.Write(bytes, 4), 4);
    lib_.ClosePort();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    uint8_t back[8] = {};
    DWORD got = 0;
    ReadFile(file, back, sizeof back, &got, nullptr);
    CloseHandle(file);
    EXPECT_EQ(Bytes(back, back + got), (Bytes{1, 2, 3, 4}));
    DeleteFileW(path.c_str());
    for (int i = 0; i < 3; ++i) {
        path.resize(path.find_last_of(L'\\'));
        RemoveDirectoryW(path.c_str());
    }
}

TEST_F(UsbPort, NoticesFollowThePrinterOutAndBack) {
    ASSERT_EQ(lib_.SetDeviceOption(ProgramSettings()), 1);
    const std::set<HANDLE> before = FileHandles();
    ASSERT_EQ(lib_.OpenPort(), 1);
    const HWND window = OwnNoticeWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetDlgCtrlID(window), 1234);
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
    HANDLE device = AddedHandle(before);
    ASSERT_NE(device, nullptr);
    // Options set on an open port wait for the next open: the reconnections
    // below still find the printer the port was opened on.
    ConnectionSettings elsewhere = ProgramSettings();
    elsewhere.portName =
        "\\\\?\\usb#vid_7a31&pid_0006#missing#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    elsewhere.outputBufferSize = 0;
    ASSERT_EQ(lib_.SetDeviceOption(elsewhere), 1);

    EXPECT_EQ(HandleNotice(window, DBT_DEVICEQUERYREMOVE, device), BROADCAST_QUERY_DENY);
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEQUERYREMOVE, GetCurrentProcess()), 1);
    EXPECT_EQ(SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), 1);
    EXPECT_EQ(lib_.Power(), 1);

    // Pulled out and back before the next write: the write finds the handle
    // gone, reconnects and tells the printer to report its status again.
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEREMOVECOMPLETE, device), 1);
    EXPECT_EQ(lib_.Power(), -1);
    const uint8_t ab[] = {'A', 'B'}, cd[] = {'C', 'D'};
    EXPECT_EQ(lib_.Write(ab, 2), 0);
    EXPECT_EQ(lib_.Power(), 1);
    EXPECT_EQ(lib_.Write(cd, 2), 2);
    ASSERT_TRUE(peer_.WaitReceived(5));
    EXPECT_EQ(peer_.Received(), (Bytes{0x1D, 0x61, 0x0F, 'C', 'D'}));

    // Pulled out for good: the write fails to reconnect, and notices no
    // longer try.
    device = AddedHandle(before);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEREMOVECOMPLETE, device), 1);
    ASSERT_TRUE(peer_.Command("unplug"));
    EXPECT_EQ(lib_.Write(ab, 2), 0);
    EXPECT_EQ(lib_.Power(), 0);
    ASSERT_TRUE(peer_.Command("plug"));
    EXPECT_EQ(ArrivalNotice(window), 1);
    EXPECT_EQ(lib_.Power(), 0);
    EXPECT_EQ(AddedHandle(before), nullptr);

    // Removed, then back by an arrival notice: reopened without the command.
    EXPECT_EQ(lib_.Write(ab, 2), 0); // reconnects: the printer is there
    EXPECT_EQ(lib_.Power(), 1);
    device = AddedHandle(before);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEREMOVEPENDING, device), 1);
    EXPECT_EQ(lib_.Power(), -1);
    EXPECT_EQ(ArrivalNotice(window), 1);
    EXPECT_EQ(lib_.Power(), 1);
    EXPECT_EQ(lib_.Write(cd, 2), 2);
    ASSERT_TRUE(peer_.WaitReceived(10));
    EXPECT_EQ(peer_.Received(), (Bytes{0x1D, 0x61, 0x0F, 'C', 'D', 0x1D, 0x61, 0x0F, 'C', 'D'}));

    // Closed and opened again: the same window, serving the new handle.
    lib_.ClosePort();
    ASSERT_EQ(lib_.SetDeviceOption(ProgramSettings()), 1);
    EXPECT_EQ(AddedHandle(before), nullptr);
    ASSERT_EQ(lib_.OpenPort(), 1);
    EXPECT_EQ(OwnNoticeWindow(), window);
    device = AddedHandle(before);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEQUERYREMOVE, device), BROADCAST_QUERY_DENY);

    // Removed while open, then opened anew: one port, one status thread.
    EXPECT_EQ(HandleNotice(window, DBT_DEVICEREMOVECOMPLETE, device), 1);
    EXPECT_EQ(lib_.OpenPort(), 1);
    EXPECT_EQ(lib_.Power(), 1);
}

TEST_F(UsbPort, StatusChunksAreSortedAndLogged) {
    ASSERT_FALSE(chunksPath_.empty());
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir = std::string(temp) + "kestrel-usb-chunks";
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    DeleteFileA("debug.bin");

    connection_ = UsbConnection(chunksPath_);
    ConnectionSettings s = connection_.Record();
    s.outputBufferSize = 0; // overlapped, with the status thread
    s.transferMode = 2;
    s.inputBufferSize = 64;
    s.readTimeout = 100;
    ASSERT_EQ(lib_.SetDeviceOption(s), 1);
    ASSERT_EQ(lib_.OpenPort(), 1);

    // In this order, so that a chunk that should have been dropped would
    // show as the wrong record or bytes at the next step.
    struct Case {
        const char* chunk;
        Bytes bytes;
        Bytes record; // or the bytes for Read; none: dropped
        Bytes received;
    } cases[] = {
        {"10 00 00 0f 00 00", {0x10, 0, 0, 0x0F, 0, 0}, {0x10, 0, 0, 0x0F}, {}},
        {"14 00 00 0e", {0x14, 0, 0, 0x0E}, {}, {}},
        {"35 12 34 00 00", {0x35, 0x12, 0x34, 0, 0}, {0x35, 0x12, 0x34, 0}, {}},
        {"41 42 00 43", {0x41, 0x42, 0, 0x43}, {}, {0x41, 0x42, 0}},
        {"10 00 00 0f", {0x10, 0, 0, 0x0F}, {0x10, 0, 0, 0x0F}, {}},
    };
    std::string logged;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        ASSERT_TRUE(peer_.Command(std::string("chunk ") + c.chunk));
        logged.append(c.bytes.begin(), c.bytes.end());
        ASSERT_TRUE(WaitFor([&] { return LogSize() >= logged.size(); }));
        Bytes record;
        if (!c.record.empty()) {
            ASSERT_TRUE(WaitFor([&] { return lib_.Record(record); }));
            EXPECT_EQ(record, c.record);
        }
        if (!c.received.empty()) {
            uint8_t buffer[15] = {};
            ASSERT_TRUE(WaitFor([&] { return lib_.Waiting() == int32_t(c.received.size()); }));
            ASSERT_EQ(lib_.Read(buffer, 15, 0), int32_t(c.received.size()));
            EXPECT_EQ(Bytes(buffer, buffer + c.received.size()), c.received);
        }
    }
    Bytes record;
    EXPECT_FALSE(lib_.Record(record));
    EXPECT_EQ(lib_.Waiting(), 0);
    lib_.ClosePort();
    EXPECT_EQ(FileText("debug.bin"), logged);

    // On the pty a 16-byte read waits for all 16 bytes; the read cancelled
    // after its wait keeps the three it gathered.
    connection_ = UsbConnection(path_);
    s.portName = connection_.Record().portName;
    ASSERT_EQ(lib_.SetDeviceOption(s), 1);
    ASSERT_EQ(lib_.OpenPort(), 1);
    ASSERT_TRUE(peer_.Command("send 41 42 00"));
    ASSERT_TRUE(WaitFor([&] { return lib_.Waiting() == 3; }));
    uint8_t buffer[15] = {};
    ASSERT_EQ(lib_.Read(buffer, 15, 0), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x41, 0x42, 0}));
    lib_.ClosePort();
    DeleteFileA("debug.bin");
}

} // namespace
} // namespace kestrel
