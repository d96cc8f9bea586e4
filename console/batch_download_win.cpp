#include "console/batch_download_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "console/batch_lines.h"
#include "console/console_download_win.h"
#include "console/console_interrupt_win.h"
#include "console/progress_text.h"
#include "framework/win_handle.h"

namespace kestrel {
namespace {

constexpr DWORD kPollMs = 100;

struct Child {
    PortTarget target;
    UniqueHandle process;
    UniqueHandle output; // our end of its standard output
    std::string pending; // bytes of a line not yet complete
    std::string status;  // its latest progress or closing text
    std::optional<std::string> message;
    ExitCode code = kExitSuccess;
    bool outputEnded = false;
    bool done = false;
    uint64_t lastTenth = ~0ull;
};

bool StartChild(const std::string& exe, const ConsoleCommand& command, Child& child) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    child.output.Reset(readEnd);
    UniqueHandle childEnd(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    UniqueHandle nul(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = childEnd.Get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string line =
        JoinCommandLine({exe}) + " " + JoinCommandLine(ChildArguments(command, child.target));
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    child.process.Reset(info.hProcess);
    return true;
}

class BatchView {
  public:
    BatchView(std::vector<std::unique_ptr<Child>>& children, OutputStyle style, CConsoleOutput& out)
        : children_(children), style_(style), out_(out) {
        if (style_ != OutputStyle::Normal || !out_.IsConsole())
            return;
        // One line per printer, rewritten in place below where we are now.
        for (auto& child : children_)
            out_.Line(child->target.given);
        HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (GetConsoleScreenBufferInfo(console, &info)) {
            top_ =
                static_cast<SHORT>(info.dwCursorPosition.Y - static_cast<SHORT>(children_.size()));
            width_ = info.dwSize.X;
            inPlace_ = top_ >= 0;
        }
    }

    void Take(Child& child, const std::string& line) {
        if (style_ == OutputStyle::Json) {
            out_.Line(line);
        }
        const auto event = JsonValue(line, "event");
        if (!event)
            return;
        if (*event == "done") {
            child.done = true;
            child.message = JsonValue(line, "message");
            return;
        }
        if (style_ != OutputStyle::Normal)
            return;
        if (*event == "progress") {
            const uint64_t sent =
                std::strtoull(JsonValue(line, "sent").value_or("0").c_str(), nullptr, 10);
            const uint64_t total =
                std::strtoull(JsonValue(line, "total").value_or("0").c_str(), nullptr, 10);
            child.status = SendingLine(child.target.given, sent, total, 0);
            const uint64_t tenth = sent * 10 / (total ? total : 1);
            if (!inPlace_ && tenth != child.lastTenth)
                out_.Line(child.status);
            child.lastTenth = tenth;
        } else if (*event == "closing") {
            const double left =
                std::strtod(JsonValue(line, "left_s").value_or("0").c_str(), nullptr);
            child.status = ClosingLine(child.target.given, left);
            if (!inPlace_ && (static_cast<int>(left * 10) % 50 == 0))
                out_.Line(child.status);
        }
    }

    void Repaint() {
        if (!inPlace_)
            return;
        HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
        for (size_t i = 0; i < children_.size(); ++i) {
            std::string text =
                children_[i]->status.empty() ? children_[i]->target.given : children_[i]->status;
            if (width_ > 1 && text.size() >= static_cast<size_t>(width_))
                text.resize(width_ - 1);
            text.append(static_cast<size_t>(width_ > 1 ? width_ - 1 : 0) - text.size(), ' ');
            SetConsoleCursorPosition(console, COORD{0, static_cast<SHORT>(top_ + i)});
            DWORD written = 0;
            WriteFile(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        SetConsoleCursorPosition(console, COORD{0, static_cast<SHORT>(top_ + children_.size())});
    }

  private:
    std::vector<std::unique_ptr<Child>>& children_;
    OutputStyle style_;
    CConsoleOutput& out_;
    SHORT top_ = 0;
    SHORT width_ = 80;
    bool inPlace_ = false;
};

// Takes what the child has written so far.
void ReadChild(Child& child, BatchView& view) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(child.output.Get(), nullptr, 0, nullptr, &available, nullptr)) {
            child.outputEnded = true;
            break;
        }
        if (available == 0)
            break;
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(child.output.Get(), buffer, std::min<DWORD>(available, sizeof buffer), &got,
                      nullptr) ||
            got == 0) {
            child.outputEnded = true;
            break;
        }
        child.pending.append(buffer, got);
    }
    size_t end;
    while ((end = child.pending.find('\n')) != std::string::npos) {
        std::string line = child.pending.substr(0, end);
        child.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            view.Take(child, line);
    }
}

} // namespace

ExitCode RunBatchDownload(const ConsoleCommand& command, CConsoleOutput& output) {
    char exe[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::vector<std::unique_ptr<Child>> children;
    for (const PortTarget& target : command.ports) {
        auto child = std::make_unique<Child>();
        child->target = target;
        children.push_back(std::move(child));
    }
    BatchView view(children, command.output, output);
    for (auto& child : children) {
        if (length == 0 || length >= sizeof exe || !StartChild(exe, command, *child)) {
            child->code = kExitDriver;
            child->message = "the program could not start a copy of itself for this printer";
            child->done = true;
            child->outputEnded = true;
        }
    }

    // Unbounded on purpose: each child bounds its own download; the parent
    // waits for all of them, Ctrl+C included, so that none is left behind.
    for (;;) {
        bool running = false;
        for (auto& child : children) {
            if (!child->process)
                continue;
            ReadChild(*child, view);
            const bool exited = WaitForSingleObject(child->process.Get(), 0) == WAIT_OBJECT_0;
            if (exited) {
                ReadChild(*child, view);
                DWORD code = kExitSendFailed;
                GetExitCodeProcess(child->process.Get(), &code);
                child->code = static_cast<ExitCode>(code);
                child->process.Close();
                child->output.Close();
                continue;
            }
            running = true;
        }
        view.Repaint();
        if (!running)
            break;
        Sleep(kPollMs);
    }

    std::vector<ExitCode> codes;
    bool anySent = false;
    for (auto& child : children) {
        codes.push_back(child->code);
        anySent = anySent || child->code == kExitSuccess || child->code == kExitSendFailed;
        if (command.output != OutputStyle::Json)
            output.Line(ResultLine(child->target.given, child->code, child->message));
    }
    if (anySent && command.output == OutputStyle::Normal && !Interrupted())
        output.Line(kLedNoticeText);
    return CombinedExitCode(codes.data(), codes.size());
}

} // namespace kestrel
