#include "console/console_view.h"

#include <algorithm>
#include <chrono>

#include "config/printer_models.h"
#include "console/batch_lines.h"
#include "console/progress_text.h"

namespace kestrel {
namespace {

// A console line is rewritten at most this often; a pipe gets a line per
// tenth of the image.
constexpr uint64_t kStatusEveryMs = 200;
// What the network link is handed at a time.
constexpr uint64_t kPieceBytes = 64 * 1024;

uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace

int32_t CountingDriver::Write(const uint8_t* data, uint32_t count) {
    if (host_.Interrupted())
        return 0;
    return Counted(inner_.Write(data, count));
}

std::optional<int32_t> CountingDriver::WriteThenRest(const uint8_t* data, uint32_t count,
                                                     uint32_t restMs) {
    if (host_.Interrupted())
        return 0;
    const std::optional<int32_t> written = inner_.WriteThenRest(data, count, restMs);
    return written ? std::optional<int32_t>(Counted(*written)) : std::nullopt;
}

int32_t CountingDriver::Counted(int32_t written) {
    if (written > 0)
        sent += static_cast<uint64_t>(written);
    return written;
}

int64_t CountingLink::Send(const uint8_t* data, uint64_t count) {
    uint64_t done = 0;
    while (done < count) {
        if (host_.Interrupted())
            return -1;
        const uint64_t piece = std::min<uint64_t>(count - done, kPieceBytes);
        const int64_t result = inner_.Send(data + done, piece);
        if (result < 0 || static_cast<uint64_t>(result) != piece)
            return result < 0 ? result : static_cast<int64_t>(done) + result;
        done += piece;
        sent += piece;
        if (onProgress)
            onProgress();
    }
    return static_cast<int64_t>(done);
}

ConsoleView::ConsoleView(const PortTarget& target, OutputStyle style, IConsoleHost& host,
                         const uint64_t& sent, const DownloadRequest& request)
    : port_(target.given), style_(style), out_(host), sent_(sent), request_(request),
      started_(NowMs()) {}

void ConsoleView::ShowProgress(int32_t value) {
    if (value == 0)
        return; // the start of a run, nothing sent yet
    if (!closing_) {
        const uint64_t total = Total();
        if (sent_ < total) {
            ReportSending(total, false);
            return;
        }
        ReportSending(total, true);
        closing_ = true;
        return; // the first closing step follows at once
    }
    ReportClosing(value);
}

void ConsoleView::ShowMessage(const std::string& text) {
    // A send cut short by an interrupt is not the printer's failure.
    if (out_.Interrupted()) {
        closing_ = true;
        return;
    }
    if (!message_)
        message_ = text;
    if (style_ == OutputStyle::Normal)
        out_.Line(port_ + ": " + text);
    closing_ = true; // after a failed send the closing wait still runs
}

void ConsoleView::ShowLedNotice() {
    if (out_.Interrupted() || style_ != OutputStyle::Normal)
        return;
    out_.Line(port_ + ": " + kLedNoticeText);
}

void ConsoleView::SendingAdvanced() {
    const uint64_t total = Total();
    if (!closing_ && sent_ < total)
        ReportSending(total, false);
}

void ConsoleView::WarnInterrupted() {
    if (warned_)
        return;
    warned_ = true;
    const uint64_t total = Total();
    if (closing_ && sent_ >= total && total > 0)
        out_.Problem(port_ +
                     ": interrupted. The printer may still be writing its flash: do "
                     "not switch it off until its LED stops blinking.");
    else
        out_.Problem(port_ + ": interrupted after " + std::to_string(sent_) + " of " +
                     std::to_string(total) +
                     " bytes; the printer did not receive the whole image.");
}

uint64_t ConsoleView::Total() {
    if (!total_)
        total_ = out_.FileSize(request_.firmwarePath);
    return *total_;
}

void ConsoleView::ReportSending(uint64_t total, bool last) {
    const uint64_t now = NowMs();
    if (style_ == OutputStyle::Json) {
        out_.Line(JsonProgress(port_, sent_, total));
        return;
    }
    if (style_ == OutputStyle::Quiet)
        return;
    const bool console = out_.IsConsole();
    const uint64_t tenth = total / 10 + 1;
    const bool due = console ? now - lastStatus_ >= kStatusEveryMs : sent_ / tenth != lastTenth_;
    if (!due && !last)
        return;
    lastStatus_ = now;
    lastTenth_ = sent_ / tenth;
    out_.Status(SendingLine(port_, sent_, total, now - started_));
}

void ConsoleView::ReportClosing(int32_t value) {
    if (out_.Interrupted())
        return;
    const double left = ClosingSecondsLeft(value);
    if (style_ == OutputStyle::Json) {
        out_.Line(JsonClosing(port_, left));
        return;
    }
    if (style_ == OutputStyle::Quiet)
        return;
    // Every step on a console; every 5 s into a log.
    if (out_.IsConsole() || (kProgressFull - value) % 7 == 0 || left == 0.0)
        out_.Status(ClosingLine(port_, left));
    if (left == 0.0 && out_.IsConsole())
        out_.Line("");
}

PortResult RunConsoleEngine(const ConsoleCommand& command, DownloadRequest& request,
                            DownloadPorts& ports, ConsoleView& view, const IConsoleHost& host,
                            const std::function<std::unique_ptr<IImageFileStore>()>& makeImages) {
    PortResult result;
    std::optional<DownloadOutcome> outcome;
    if (UsesHexFirmware(command.printerType)) {
        const std::unique_ptr<IImageFileStore> images = makeImages(); // this run's own image file
        const HexDownloadResult hex = RunHexDownload(request, *images, ports);
        if (!hex.conversion.ok()) {
            result.code = kExitFirmware;
            result.message = HexFailureMessage(hex.conversion);
            return result;
        }
        outcome = hex.download;
    } else {
        outcome = RunDownload(request, ports);
    }
    if (host.Interrupted()) {
        view.WarnInterrupted();
        result.code = kExitInterrupted;
        return result;
    }
    result.code = outcome ? ExitCodeFor(*outcome) : kExitFirmware;
    if (result.code != kExitSuccess)
        result.message = view.Message();
    return result;
}

void ReportResult(const PortTarget& target, const PortResult& result, OutputStyle style,
                  IConsoleHost& output) {
    if (style == OutputStyle::Json)
        output.Line(JsonDone(target.given, result.code, result.message));
    else
        output.Line(ResultLine(target.given, result.code, result.message));
}

} // namespace kestrel
