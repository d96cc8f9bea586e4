// One firmware download from start to end, as portable code. The Windows
// side hands in real pieces (the bound driver library, a socket, the main
// window, the spooler); the unit tests hand in fakes and a fake clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "drivers/common/port_driver.h"
#include "download/port_name.h"

namespace kestrel {

// The progress bar runs from 0 to this value; the send loop fills it to
// kSentProgress and the closing wait climbs the rest in 800 ms steps.
inline constexpr int32_t kProgressFull = 268;
inline constexpr int32_t kSentProgress = 240;
inline constexpr int32_t kNetworkSentProgress = 100;
inline constexpr uint32_t kClosingStepMs = 800;

// Puts a driver library on disk and takes it away again.
class IDriverFileStore {
public:
    virtual ~IDriverFileStore() = default;
    // Writes the library; returns the full path it was written to, or
    // nothing when it could not be written anywhere.
    virtual std::optional<std::string> WriteDriverFile(DriverKind kind) = 0;
    // Deletes exactly the file WriteDriverFile returned.
    virtual void DeleteDriverFile(const std::string& fullPath) = 0;
};

// The port-driver library bound for one download.
class IPortDriver {
public:
    virtual ~IPortDriver() = default;
    virtual bool Load(const std::string& fullPath) = 0;  // all nine entries bound
    virtual void Release() = 0;
    virtual int32_t SetDeviceOption(const ConnectionSettings& settings) = 0;
    virtual int32_t OpenPort() = 0;
    virtual int32_t Write(const uint8_t* data, uint32_t count) = 0;
    // Writes, then keeps the library quiet for `restMs` from the moment the
    // write returned: no later call reaches it sooner. Nothing when the
    // binding cannot rest on its own; the engine then waits itself.
    virtual std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                                 uint32_t restMs) {
        (void)data;
        (void)count;
        (void)restMs;
        return std::nullopt;
    }
    virtual void ClosePort() = 0;
};

// The TCP connection to a printer on Ethernet.
class INetworkLink {
public:
    virtual ~INetworkLink() = default;
    virtual bool Create() = 0;
    virtual bool Connect(const std::string& host, uint16_t port) = 0;
    // Bytes handed to the network, negative on error.
    virtual int64_t Send(const uint8_t* data, uint64_t count) = 0;
    virtual void Close() = 0;
};

// Spooler printers that share the chosen serial or parallel port.
class ISpooler {
public:
    virtual ~ISpooler() = default;
    virtual void ReleasePrinterPorts(const std::string& portName) = 0;
    virtual void RestorePrinterPorts() = 0;
};

// The main window as the engine sees it.
class IDownloadView {
public:
    virtual ~IDownloadView() = default;
    // Redraws the whole window (start of a run).
    virtual void RedrawAll() = 0;
    // Stores the new progress value and repaints the bar at once.
    virtual void ShowProgress(int32_t value) = 0;
    // A modal message box; returns when it is dismissed.
    virtual void ShowMessage(const std::string& text) = 0;
    // The modal LED notice at the end of a download.
    virtual void ShowLedNotice() = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Waits while the window keeps painting; input stays ignored.
    virtual void Sleep(uint32_t ms) = 0;
    // Lets the window paint between blocks without waiting.
    virtual void KeepAlive() = 0;
    // A pause of `ms` that began at `mark` (from PauseMark): what the engine
    // did since counts towards it. A clock without time of its own waits it
    // whole.
    virtual uint64_t PauseMark() { return 0; }
    virtual void SleepRest(uint64_t mark, uint32_t ms) {
        (void)mark;
        Sleep(ms);
    }
    // Asks for (and gives back) 1 ms sleep resolution.
    virtual void BeginFineSleep() = 0;
    virtual void EndFineSleep() = 0;
};

struct DownloadPorts {
    IDriverFileStore& files;
    ISpooler& spooler;
    IPortDriver& driver;
    INetworkLink& network;
    IDownloadView& view;
    IClock& clock;
};

struct DownloadRequest {
    ConnectionSettings settings{};  // portName must stay valid during the run
    int32_t printerType = 0;
    std::string firmwarePath;
    // The connection when the port name alone cannot say it: a device path
    // on Linux names a serial, parallel or USB printer alike.
    std::optional<PortKind> kind;
};

enum class DownloadOutcome {
    Completed,
    SendFailed,          // closing wait and notice still ran
    DriverFileFailed,
    LoadFailed,
    SocketCreateFailed,
    ConnectFailed,
    ConfigurationFailed,
    OpenFailed,
    FileOpenFailed,
    FileEmpty,
    NetworkWriteFailed,
};

// The user's messages, exactly as the program shows them.
namespace msg {
inline constexpr const char* kPortCreateFailed = "Failed Port Create Failed!";
inline constexpr const char* kSocketConnect = "Socket Connect Error!";
inline constexpr const char* kConfigurationSet = "Port Configuration Set Error!";
inline constexpr const char* kPortOpen = "Port Open Error";
inline constexpr const char* kFileOpen = "File Open Error";
inline constexpr const char* kFileEmpty = "The firmware file is empty. Nothing was sent.";
inline constexpr const char* kNetworkWrite = "Write Failed!";
inline constexpr const char* kSendFailed = "Send Failed";
}  // namespace msg

// Block size for a connection: USB printers of types 203 and 352 take
// 64-byte blocks, everything else 4096.
uint32_t BlockSizeFor(PortKind kind, int32_t printerType);

// Progress after `sent` of `length` bytes: sent * 240 / length, in 64 bits.
int32_t SendProgress(uint64_t sent, uint64_t length);

DownloadOutcome RunDownload(const DownloadRequest& request, DownloadPorts& ports);

}  // namespace kestrel
