// A download as the console shows it, the same on every system: the engine's
// driver and network link wrapped so that what reached the printer is
// counted and an interrupt stops the next block, and the console in the
// place of the main window. Each front end hands in its output and its
// interrupt flag.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "console/command_line.h"
#include "console/exit_codes.h"
#include "download/download_engine.h"
#include "download/hex_download.h"

namespace kestrel {

// The system under the console: where kestrelc's words go (a console
// rewrites a progress line in place, a pipe or a file gets every line as a
// line of its own), whether the user has interrupted, and file sizes as
// the system reads its own paths.
class IConsoleHost {
  public:
    virtual ~IConsoleHost() = default;
    virtual bool IsConsole() const = 0;
    // A finished line (ends a line rewritten in place first).
    virtual void Line(const std::string& text) = 0;
    // Rewrites the current line on a console; elsewhere the same as Line.
    virtual void Status(const std::string& text) = 0;
    // A message for a person, to standard error.
    virtual void Problem(const std::string& text) = 0;
    virtual bool Interrupted() const = 0;
    // 0 when the file cannot be read.
    virtual uint64_t FileSize(const std::string& path) const = 0;
};

// How one printer's download ended.
struct PortResult {
    ExitCode code = kExitSuccess;
    std::optional<std::string> message; // the program's message on failure
};

// The words the program's LED notice shows.
inline constexpr const char* kLedNoticeText =
    "Please wait until the download is complete (LED blinking stops).";

// Counts what reached the driver, and stops handing it blocks once the
// user has interrupted: the engine then ends the run through its usual
// clean-up. A block in flight then is cut short by the binding itself.
class CountingDriver : public IPortDriver {
  public:
    CountingDriver(IPortDriver& inner, const IConsoleHost& host)
        : inner_(inner), host_(host) {}
    bool Load(const std::string& path) override { return inner_.Load(path); }
    void Release() override { inner_.Release(); }
    int32_t SetDeviceOption(const ConnectionSettings& s) override {
        return inner_.SetDeviceOption(s);
    }
    int32_t OpenPort() override { return inner_.OpenPort(); }
    int32_t Write(const uint8_t* data, uint32_t count) override;
    std::optional<int32_t> WriteThenRest(const uint8_t* data, uint32_t count,
                                         uint32_t restMs) override;
    void ClosePort() override { inner_.ClosePort(); }
    uint64_t sent = 0;

  private:
    int32_t Counted(int32_t written);
    IPortDriver& inner_;
    const IConsoleHost& host_;
};

// The same for the network. The image still goes as one stream on one
// connection, but handed over in pieces, so that progress can be shown and
// an interrupt stops it between two of them (a piece the printer does not
// take fails at the interrupt by itself).
class CountingLink : public INetworkLink {
  public:
    CountingLink(INetworkLink& inner, const IConsoleHost& host)
        : inner_(inner), host_(host) {}
    bool Create() override { return inner_.Create(); }
    bool Connect(const std::string& host, uint16_t port) override {
        return !host_.Interrupted() && inner_.Connect(host, port);
    }
    int64_t Send(const uint8_t* data, uint64_t count) override;
    void Close() override { inner_.Close(); }
    uint64_t sent = 0;
    std::function<void()> onProgress;

  private:
    INetworkLink& inner_;
    const IConsoleHost& host_;
};

// The console in the place of the main window.
class ConsoleView : public IDownloadView {
  public:
    ConsoleView(const PortTarget& target, OutputStyle style, IConsoleHost& host,
                const uint64_t& sent, const DownloadRequest& request);

    void RedrawAll() override {}
    void ShowProgress(int32_t value) override;
    void ShowMessage(const std::string& text) override;
    void ShowLedNotice() override;

    const std::optional<std::string>& Message() const { return message_; }
    // Bytes went out without a progress value of the engine's (network).
    void SendingAdvanced();
    // Said once, when the interrupt came while the printer may be writing.
    void WarnInterrupted();

  private:
    uint64_t Total();
    void ReportSending(uint64_t total, bool last);
    void ReportClosing(int32_t value);

    std::string port_;
    OutputStyle style_;
    IConsoleHost& out_;
    const uint64_t& sent_;
    const DownloadRequest& request_;
    std::optional<uint64_t> total_;
    std::optional<std::string> message_;
    bool closing_ = false;
    bool warned_ = false;
    uint64_t started_;
    uint64_t lastStatus_ = 0;
    uint64_t lastTenth_ = 0;
};

// Runs one printer's download through the engine (converting first for a
// hex model, into a store `makeImages` gives) and reads how it ended:
// kExitInterrupted when the user stopped it, else the engine's outcome with
// the program's message.
PortResult RunConsoleEngine(const ConsoleCommand& command, DownloadRequest& request,
                            DownloadPorts& ports, ConsoleView& view, const IConsoleHost& host,
                            const std::function<std::unique_ptr<IImageFileStore>()>& makeImages);

// The one line a printer's result gets: a result line, or the JSON done event.
void ReportResult(const PortTarget& target, const PortResult& result, OutputStyle style,
                  IConsoleHost& output);

} // namespace kestrel
