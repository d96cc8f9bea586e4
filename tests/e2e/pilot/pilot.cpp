// Drives the program as a user would, from a script of steps, and reports
// the first step that did not turn out as expected. Every wait is bounded.
//
//   e2e_pilot.exe [--shots DIR] --script FILE
//   e2e_pilot.exe [--shots DIR] verb args ; verb args ; ...
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/pilot/owned_handles.h"
#include "tests/e2e/pilot/program_windows.h"
#include "tests/e2e/pilot/responsiveness_probe.h"
#include "tests/e2e/pilot/screenshot.h"
#include "tests/e2e/pilot/step_script.h"

namespace e2e {
namespace {

constexpr double kDefaultWaitSeconds = 20;
constexpr DWORD kPollMs = 50;
constexpr double kProbeLimitMs = 1000;
constexpr double kProbeTargetMs = 100;

struct StepFailed {
    std::string reason;
};

double SecondsArg(const Step& step, size_t index, double fallback) {
    if (index >= step.args.size())
        return fallback;
    char* end = nullptr;
    double v = std::strtod(step.args[index].c_str(), &end);
    if (end == step.args[index].c_str() || *end)
        throw StepFailed{"not a number: " + step.args[index]};
    return v;
}

int IntArg(const Step& step, size_t index) {
    if (index >= step.args.size())
        throw StepFailed{"missing argument " + std::to_string(index + 1)};
    char* end = nullptr;
    long v = std::strtol(step.args[index].c_str(), &end, 0);
    if (end == step.args[index].c_str() || *end)
        throw StepFailed{"not a number: " + step.args[index]};
    return static_cast<int>(v);
}

const std::string& Arg(const Step& step, size_t index) {
    if (index >= step.args.size())
        throw StepFailed{"missing argument " + std::to_string(index + 1)};
    return step.args[index];
}

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

// Keeps polling until `ready` holds or the bound passes.
template <class Ready> bool PollUntil(double seconds, Ready ready) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

class Pilot {
  public:
    explicit Pilot(std::string shotDir) : shotDir_(std::move(shotDir)) {
        QueryPerformanceCounter(&start_);
    }
    ~Pilot() {
        EndProgram();
        for (Started& p : earlier_) {
            process_ = std::move(p.process);
            pid_ = p.pid;
            EndProgram();
        }
    }

    int Run(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            Log("line " + std::to_string(step.line) + ": " + Describe(step));
            try {
                Execute(step);
            } catch (const StepFailed& failure) {
                std::printf("FAIL at line %d (%s): %s\n", step.line, step.verb.c_str(),
                            failure.reason.c_str());
                ReportWindows();
                return 1;
            }
        }
        if (probe_) {
            std::printf("FAIL: probe-start without probe-stop\n");
            return 1;
        }
        if (!lateFailures_.empty()) {
            for (const auto& f : lateFailures_)
                std::printf("FAIL (noted earlier) %s\n", f.c_str());
            return 1;
        }
        Log("all steps passed");
        return 0;
    }

  private:
    void Execute(const Step& s) {
        const std::string& v = s.verb;
        if (v == "start")
            Start(s);
        else if (v == "wait")
            WaitFor(Kind(s), SecondsArg(s, 1, kDefaultWaitSeconds));
        else if (v == "gone")
            WaitGone(Kind(s), SecondsArg(s, 1, kDefaultWaitSeconds));
        else if (v == "absent")
            StaysAbsent(Kind(s), SecondsArg(s, 1, 0));
        else if (v == "click")
            Click(s);
        else if (v == "command")
            Command(s);
        else if (v == "syscommand")
            PostMessageA(WaitFor(Kind(s), kDefaultWaitSeconds), WM_SYSCOMMAND,
                         static_cast<WPARAM>(IntArg(s, 1)), 0);
        else if (v == "expect-pixel")
            ExpectPixel(s);
        else if (v == "expect-colour")
            ExpectColour(s);
        else if (v == "expect-size")
            ExpectSize(s);
        else if (v == "expect-focus")
            ExpectFocus(s);
        else if (v == "hold")
            Mouse(s, true);
        else if (v == "release")
            Mouse(s, false);
        else if (v == "press")
            Press(s);
        else if (v == "select")
            Select(s);
        else if (v == "type")
            Type(s);
        else if (v == "type-address")
            TypeAddress(s);
        else if (v == "key")
            Key(s);
        else if (v == "expect-text")
            ExpectText(s);
        else if (v == "expect-enabled")
            ExpectFlag(s, "enabled", [](HWND c) { return IsWindowEnabled(c) != FALSE; });
        else if (v == "expect-visible")
            ExpectFlag(s, "visible", [](HWND c) { return IsWindowVisible(c) != FALSE; });
        else if (v == "expect-checked")
            ExpectFlag(s, "checked", [](HWND c) { return CheckState(c) == BST_CHECKED; });
        else if (v == "expect-rows")
            ExpectRows(s);
        else if (v == "expect-selected")
            ExpectSelected(s);
        else if (v == "msgbox")
            MessageBoxStep(s);
        else if (v == "open-file")
            OpenFile(s);
        else if (v == "cancel")
            PostCommand(WaitFor(Kind(s), kDefaultWaitSeconds), IDCANCEL, nullptr);
        else if (v == "shot")
            ShotStep(s);
        else if (v == "probe-start")
            ProbeStart(s);
        else if (v == "probe-stop")
            ProbeStop(s);
        else if (v == "exit-code")
            ExitCode(s);
        else if (v == "end")
            EndProgram(true);
        else if (v == "back")
            Back();
        else if (v == "send")
            SendStep(s);
        else if (v == "expect-port")
            ExpectPort(s);
        else if (v == "sleep")
            Sleep(static_cast<DWORD>(IntArg(s, 0)));
        else if (v == "echo")
            Log(Arg(s, 0));
        else
            throw StepFailed{"unknown verb " + Quote(v)};
    }

    // ---- the program's process ----

    void Start(const Step& s) {
        std::string command;
        for (const auto& a : s.args)
            command += (command.empty() ? "" : " ") + Quote(a);
        if (command.empty())
            throw StepFailed{"start needs a program"};
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi))
            throw StepFailed{"cannot start " + command + ", error " +
                             std::to_string(GetLastError())};
        OwnedHandle thread(pi.hThread);
        // A second copy beside a running one: the first stays ours to come
        // back to (`back`) and to end.
        if (process_ && !ProgramEnded())
            earlier_.push_back({std::move(process_), pid_});
        process_.reset(pi.hProcess);
        pid_ = pi.dwProcessId;
        Log("started pid " + std::to_string(pid_));
    }

    bool ProgramEnded(DWORD* code = nullptr) {
        if (!process_)
            return false;
        if (WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0)
            return false;
        DWORD c = 0;
        GetExitCodeProcess(process_.get(), &c);
        if (code)
            *code = c;
        return true;
    }

    void ExitCode(const Step& s) {
        const int expected = IntArg(s, 0);
        const double seconds = SecondsArg(s, 1, kDefaultWaitSeconds);
        if (!process_)
            throw StepFailed{"no program was started"};
        DWORD code = 0;
        if (!PollUntil(seconds, [&] { return ProgramEnded(&code); }))
            throw StepFailed{"program still running after " + std::to_string(seconds) + " s"};
        if (static_cast<int>(code) != expected)
            throw StepFailed{"exit code " + std::to_string(code) + ", expected " +
                             std::to_string(expected)};
        process_.reset();
    }

    // Ends a program we started that a failed or unfinished script left
    // running, so that no test run leaves it behind.
    void EndProgram(bool asked = false) {
        if (process_ && !ProgramEnded()) {
            std::printf("ending the program (pid %lu)%s\n", static_cast<unsigned long>(pid_),
                        asked ? "" : " left running");
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), 5000);
        }
        process_.reset();
    }

    void Back() {
        if (process_ && !ProgramEnded())
            throw StepFailed{"the current program is still running"};
        if (earlier_.empty())
            throw StepFailed{"no program was started before this one"};
        process_ = std::move(earlier_.back().process);
        pid_ = earlier_.back().pid;
        earlier_.pop_back();
        Log("back to pid " + std::to_string(pid_));
    }

    // A message sent as another thread or program would send it (the
    // program's pump delivers sent messages at any time); it must be
    // answered within 5 s.
    void SendStep(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        const UINT message = static_cast<UINT>(IntArg(s, 1));
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, message, static_cast<WPARAM>(IntArg(s, 2)),
                                 static_cast<LPARAM>(IntArg(s, 3)), SMTO_NORMAL, 5000, &result))
            throw StepFailed{"message " + Arg(s, 1) + " not answered within 5 s"};
    }

    // The port a spooler printer of the prefix is on, polled up to S seconds.
    void ExpectPort(const Step& s) {
        const std::string& printer = Arg(s, 0);
        const std::string& wanted = Arg(s, 1);
        std::string got;
        const bool ok = PollUntil(SecondsArg(s, 2, 0), [&] {
            got = "<no printer>";
            HANDLE h = nullptr;
            if (!OpenPrinterA(const_cast<char*>(printer.c_str()), &h, nullptr))
                return false;
            DWORD needed = 0;
            GetPrinterA(h, 2, nullptr, 0, &needed);
            std::vector<BYTE> info(needed ? needed : 1);
            if (needed && GetPrinterA(h, 2, info.data(), needed, &needed))
                got = reinterpret_cast<PRINTER_INFO_2A*>(info.data())->pPortName;
            ClosePrinter(h);
            return got == wanted;
        });
        if (!ok)
            throw StepFailed{"printer " + Quote(printer) + " is on " + Quote(got) + ", expected " +
                             Quote(wanted)};
    }

    // ---- windows ----

    const WindowKind& Kind(const Step& s) {
        const WindowKind* kind = FindWindowKind(Arg(s, 0));
        if (!kind)
            throw StepFailed{"unknown window " + Quote(Arg(s, 0)) +
                             " (known: " + KnownWindowKindNames() + ")"};
        return *kind;
    }

    HWND FindNow(const WindowKind& kind) {
        auto found = FindWindowsOfKind(kind, pid_);
        return found.empty() ? nullptr : found.front();
    }

    // A message box that nobody asked for ends the wait at once with its
    // text, which says more than a timeout would.
    void FailOnSurprise(const WindowKind& awaited) {
        DWORD code = 0;
        if (ProgramEnded(&code))
            throw StepFailed{std::string("program ended (exit code ") + std::to_string(code) +
                             ") while waiting for " + awaited.description};
        const WindowKind* box = FindWindowKind("msgbox");
        if (&awaited != box)
            if (HWND b = FindNow(*box)) {
                Shot(b, "unexpected-msgbox");
                throw StepFailed{"unexpected message box " + Quote(MessageText(b)) +
                                 " while waiting for " + awaited.description};
            }
    }

    HWND WaitFor(const WindowKind& kind, double seconds, bool pictureOnFirstSight = true) {
        HWND found = nullptr;
        PollUntil(seconds, [&] {
            found = FindNow(kind);
            if (!found)
                FailOnSurprise(kind);
            return found != nullptr;
        });
        if (!found)
            throw StepFailed{std::string("no ") + kind.description + " within " +
                             std::to_string(seconds) + " s"};
        // Every window the scenario passes through gets one picture.
        if (pictureOnFirstSight && seen_.insert(found).second)
            Shot(found, kind.name);
        return found;
    }

    void WaitGone(const WindowKind& kind, double seconds) {
        if (!PollUntil(seconds, [&] { return FindNow(kind) == nullptr; }))
            throw StepFailed{std::string(kind.description) + " still shown after " +
                             std::to_string(seconds) + " s"};
    }

    void StaysAbsent(const WindowKind& kind, double seconds) {
        bool appeared = PollUntil(seconds, [&] { return FindNow(kind) != nullptr; });
        if (appeared)
            throw StepFailed{std::string(kind.description) + " is shown"};
    }

    HWND Control(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        const int id = IntArg(s, 1);
        HWND control = FindControl(window, id);
        if (!control)
            throw StepFailed{"no control " + std::to_string(id) + " in " + Kind(s).description};
        return control;
    }

    // A user waits a moment for a control to become usable; a control
    // that stays disabled fails the step.
    void RequireUsable(HWND control, const Step& s) {
        PollUntil(5, [&] { return IsWindowVisible(control) && IsWindowEnabled(control); });
        if (!IsWindowVisible(control))
            throw StepFailed{"control " + Arg(s, 1) + " is hidden"};
        if (!IsWindowEnabled(control))
            throw StepFailed{"control " + Arg(s, 1) + " is disabled"};
    }

    // Posted, not sent: the command may open a modal dialog, and a sent
    // message would not come back until that dialog closed.
    static void PostCommand(HWND target, int id, HWND control, int code = BN_CLICKED) {
        PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
    }

    static LRESULT Ask(HWND control, UINT msg, WPARAM w, LPARAM l) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(control, msg, w, l, SMTO_NORMAL, 5000, &result))
            throw StepFailed{"control did not answer message " + std::to_string(msg)};
        return static_cast<LRESULT>(result);
    }

    static LRESULT AskWide(HWND control, UINT msg, WPARAM w, LPARAM l) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(control, msg, w, l, SMTO_NORMAL, 5000, &result))
            throw StepFailed{"control did not answer message " + std::to_string(msg)};
        return static_cast<LRESULT>(result);
    }

    static LRESULT CheckState(HWND control) { return Ask(control, BM_GETCHECK, 0, 0); }

    // Push buttons of the program are owner-drawn and subclassed, so a
    // click is delivered as the command a click produces.
    void Click(const Step& s) {
        HWND control = Control(s);
        RequireUsable(control, s);
        PostCommand(GetParent(control), GetDlgCtrlID(control), control);
    }

    // The command a button gives, whether or not the button is usable: what
    // a stale click or another program could deliver.
    void Command(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        const int id = IntArg(s, 1);
        PostCommand(window, id, FindControl(window, id));
    }

    // Radio buttons keep their own check state: let the button handle the
    // click itself.
    void Press(const Step& s) {
        HWND control = Control(s);
        RequireUsable(control, s);
        PostMessageA(control, BM_CLICK, 0, 0);
        Sleep(kPollMs);
    }

    struct ListMessages {
        UINT count, textLen, text, getSel, setSel;
        WORD selChange;
    };

    ListMessages MessagesFor(HWND control) {
        std::string cls = ClassOf(control);
        for (auto& c : cls)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (cls == "listbox")
            return {LB_GETCOUNT,  LB_GETTEXTLEN, LB_GETTEXT,
                    LB_GETCURSEL, LB_SETCURSEL,  LBN_SELCHANGE};
        if (cls == "combobox")
            return {CB_GETCOUNT,  CB_GETLBTEXTLEN, CB_GETLBTEXT,
                    CB_GETCURSEL, CB_SETCURSEL,    CBN_SELCHANGE};
        throw StepFailed{"control of class " + Quote(cls) + " is not a list"};
    }

    std::vector<std::string> Rows(HWND control, const ListMessages& m) {
        std::vector<std::string> rows;
        const LRESULT count = Ask(control, m.count, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT len = AskWide(control, m.textLen, static_cast<WPARAM>(i), 0);
            if (len < 0)
                len = 0;
            // Asked for in UTF-16: Wine carries a row's text across
            // processes as the wide form whatever the caller's.
            std::wstring text(static_cast<size_t>(len) + 1, L'\0');
            AskWide(control, m.text, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
            text.resize(std::wcslen(text.c_str()));
            rows.push_back(Narrow(text));
        }
        return rows;
    }

    static std::string Joined(const std::vector<std::string>& rows) {
        std::string out;
        for (const auto& r : rows)
            out += (out.empty() ? "" : ", ") + Quote(r);
        return "[" + out + "]";
    }

    // As a user's click on a row: the row becomes the selection and the
    // owner hears of the change.
    void Select(const Step& s) {
        HWND control = Control(s);
        RequireUsable(control, s);
        const std::string& wanted = Arg(s, 2);
        ListMessages m = MessagesFor(control);
        auto rows = Rows(control, m);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] != wanted)
                continue;
            Ask(control, m.setSel, i, 0);
            PostCommand(GetParent(control), GetDlgCtrlID(control), control, m.selChange);
            Sleep(kPollMs);
            return;
        }
        throw StepFailed{"no row " + Quote(wanted) + " in " + Joined(rows)};
    }

    void ExpectRows(const Step& s) {
        HWND control = Control(s);
        std::vector<std::string> wanted(s.args.begin() + 2, s.args.end());
        auto rows = Rows(control, MessagesFor(control));
        if (rows != wanted)
            throw StepFailed{"rows " + Joined(rows) + ", expected " + Joined(wanted)};
    }

    void ExpectSelected(const Step& s) {
        HWND control = Control(s);
        ListMessages m = MessagesFor(control);
        LRESULT sel = Ask(control, m.getSel, 0, 0);
        auto rows = Rows(control, m);
        std::string got = sel >= 0 && static_cast<size_t>(sel) < rows.size()
                              ? rows[static_cast<size_t>(sel)]
                              : std::string("(none)");
        if (got != Arg(s, 2))
            throw StepFailed{"selected " + Quote(got) + ", expected " + Quote(Arg(s, 2))};
    }

    // Typing goes into the edit field (an editable drop-down list has one
    // inside) as characters, one message each, so that the field and its
    // owner react as to keystrokes; a WM_SETTEXT would not tell a drop-down
    // list that its text changed.
    void Type(const Step& s) {
        HWND control = Control(s);
        RequireUsable(control, s);
        HWND edit =
            ClassOf(control) == "Edit" ? control : FindWindowExA(control, nullptr, "Edit", nullptr);
        if (!edit)
            throw StepFailed{"control " + Arg(s, 1) + " has no edit field"};
        AskWide(edit, EM_SETSEL, 0, -1);
        for (wchar_t c : Widen(Arg(s, 2)))
            PostMessageW(edit, WM_CHAR, c, 1);
        std::string got;
        if (!PollUntil(5, [&] { return (got = TextOf(edit)) == Arg(s, 2); }))
            throw StepFailed{"the field reads " + Quote(got) + " after typing"};
    }

    // The IPv4 address control holds four edit fields, left to right; a user
    // types each part into its own field.
    void TypeAddress(const Step& s) {
        HWND control = Control(s);
        RequireUsable(control, s);
        std::vector<HWND> fields;
        for (HWND c = GetWindow(control, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (ClassOf(c) == "Edit")
                fields.push_back(c);
        std::sort(fields.begin(), fields.end(), [](HWND a, HWND b) {
            RECT ra{}, rb{};
            GetWindowRect(a, &ra);
            GetWindowRect(b, &rb);
            return ra.left < rb.left;
        });
        std::vector<std::string> parts;
        std::stringstream address(Arg(s, 2));
        for (std::string part; std::getline(address, part, '.');)
            parts.push_back(part);
        if (fields.size() != 4 || parts.size() != 4)
            throw StepFailed{"want four fields and four parts, have " +
                             std::to_string(fields.size()) + " and " +
                             std::to_string(parts.size())};
        for (size_t i = 0; i < 4; ++i) {
            AskWide(fields[i], EM_SETSEL, 0, -1);
            for (wchar_t c : Widen(parts[i]))
                PostMessageW(fields[i], WM_CHAR, c, 1);
            std::string got;
            if (!PollUntil(5, [&] { return (got = TextOf(fields[i])) == parts[i]; }))
                throw StepFailed{"field " + std::to_string(i + 1) + " reads " + Quote(got)};
        }
    }

    HWND FocusOf(HWND window) {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
            return info.hwndFocus;
        return nullptr;
    }

    // Keys go through the program's message loop, where dialogs translate
    // (or filter) them, so they are posted to the window that has the focus;
    // a count repeats the key, each after the last has been handled.
    void Key(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        const std::string& name = Arg(s, 1);
        const bool alt = name == "ALT+F4";
        WPARAM vk = name == "RETURN"   ? VK_RETURN
                    : name == "ESCAPE" ? VK_ESCAPE
                    : name == "TAB"    ? VK_TAB
                    : name == "SPACE"  ? VK_SPACE
                    : alt              ? VK_F4
                                       : 0;
        if (!vk)
            throw StepFailed{"unknown key " + Quote(name) +
                             " (RETURN, ESCAPE, TAB, SPACE, ALT+F4)"};
        const int count = s.args.size() > 2 ? IntArg(s, 2) : 1;
        const UINT scan = MapVirtualKeyA(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
        // Alt held: the context bit; a system key, as Windows sends it.
        const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? LPARAM{1} << 29 : 0);
        for (int i = 0; i < count; ++i) {
            HWND target = FocusOf(window);
            if (!target)
                target = window;
            PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
            PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, down | (LPARAM{3} << 30));
            Sleep(kPollMs);
        }
    }

    void ExpectFocus(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        const int id = IntArg(s, 1);
        HWND focus = nullptr;
        // An editable drop-down list has the focus in its edit field.
        bool ok = PollUntil(3, [&] {
            focus = FocusOf(window);
            return focus && (GetDlgCtrlID(focus) == id || GetDlgCtrlID(GetParent(focus)) == id);
        });
        if (!ok)
            throw StepFailed{"the focus is on " +
                             (focus ? "control " + std::to_string(GetDlgCtrlID(focus))
                                    : std::string("no control"))};
    }

    void ExpectSize(const Step& s) {
        HWND control = Control(s);
        const int width = IntArg(s, 2), height = IntArg(s, 3);
        RECT r{};
        bool ok = PollUntil(3, [&] {
            GetWindowRect(control, &r);
            return r.right - r.left == width && r.bottom - r.top == height;
        });
        if (!ok)
            throw StepFailed{"control is " + std::to_string(r.right - r.left) + " x " +
                             std::to_string(r.bottom - r.top)};
    }

    // The mouse button goes down (hold) or up (release) over the middle of
    // the control, through the system's input queue as a user's would.
    void Mouse(const Step& s, bool down) {
        HWND control = Control(s);
        if (down)
            RequireUsable(control, s);
        RECT r{};
        GetWindowRect(control, &r);
        if (!SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2))
            throw StepFailed{"cannot move the pointer, error " + std::to_string(GetLastError())};
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
        if (SendInput(1, &input, sizeof(input)) != 1)
            throw StepFailed{"SendInput failed, error " + std::to_string(GetLastError())};
        Sleep(kPollMs);
    }

    void ExpectText(const Step& s) {
        HWND control = Control(s);
        const std::string& wanted = Arg(s, 2);
        const double seconds = SecondsArg(s, 3, 0);
        std::string got;
        bool ok = PollUntil(seconds, [&] {
            got = TextOf(control);
            return got == wanted;
        });
        if (!ok)
            throw StepFailed{"text " + Quote(got) + ", expected " + Quote(wanted)};
    }

    template <class Flag> void ExpectFlag(const Step& s, const char* what, Flag flag) {
        HWND control = Control(s);
        const bool wanted = IntArg(s, 2) != 0;
        if (flag(control) != wanted)
            throw StepFailed{"control " + Arg(s, 1) + (wanted ? " is not " : " is ") + what};
    }

    // What the user sees at a point of the window's client area, as
    // RRGGBB; polled briefly, since painting follows the state.
    void ExpectPixel(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds);
        POINT at{IntArg(s, 1), IntArg(s, 2)};
        const std::string& wanted = Arg(s, 3);
        if (!ClientToScreen(window, &at))
            throw StepFailed{"cannot map the point to the screen"};
        char got[8] = "?";
        bool ok = PollUntil(SecondsArg(s, 4, 3), [&] {
            ScreenDc screen;
            COLORREF c = GetPixel(screen.get(), at.x, at.y);
            if (c == CLR_INVALID)
                return false;
            std::snprintf(got, sizeof(got), "%02X%02X%02X", GetRValue(c), GetGValue(c),
                          GetBValue(c));
            return _stricmp(got, wanted.c_str()) == 0;
        });
        if (!ok)
            throw StepFailed{"pixel (" + Arg(s, 1) + ", " + Arg(s, 2) + ") is " + got +
                             ", expected " + wanted};
    }

    // Whether the colour shows anywhere on the control (or, with 0, nowhere),
    // read from the screen in one piece; polled briefly.
    void ExpectColour(const Step& s) {
        HWND control = Control(s);
        const std::string& wanted = Arg(s, 2);
        const bool present = s.args.size() > 3 ? IntArg(s, 3) != 0 : true;
        const unsigned long rgb = std::strtoul(wanted.c_str(), nullptr, 16);
        bool ok = PollUntil(3, [&] {
            RECT r{};
            GetWindowRect(control, &r);
            const int w = r.right - r.left, h = r.bottom - r.top;
            if (w <= 0 || h <= 0)
                return false;
            ScreenDc screen;
            OwnedMemoryDc memory(CreateCompatibleDC(screen.get()));
            BITMAPINFO info{};
            info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
            void* bits = nullptr;
            OwnedBitmap bitmap(
                CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
            if (!memory || !bitmap || !bits)
                return false;
            {
                DcSelection selected(memory.get(), bitmap.get());
                if (!BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY))
                    return false;
            }
            const auto* pixel = static_cast<const DWORD*>(bits);
            bool found = false;
            for (int i = 0; i < w * h && !found; ++i)
                found = (pixel[i] & 0xFFFFFF) == rgb;
            return found == present;
        });
        if (!ok)
            throw StepFailed{"colour " + wanted + (present ? " not" : "") + " shown on control " +
                             Arg(s, 1)};
    }

    static std::string MessageText(HWND box) {
        // A message box keeps its text in a static of id 0xFFFF.
        if (HWND text = GetDlgItem(box, 0xFFFF))
            return TextOf(text);
        std::string all;
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            if (ClassOf(c) == "Static" && !TextOf(c).empty())
                all += TextOf(c);
        return all;
    }

    void MessageBoxStep(const Step& s) {
        const std::string& wanted = Arg(s, 0);
        HWND box = WaitFor(*FindWindowKind("msgbox"), SecondsArg(s, 1, kDefaultWaitSeconds));
        const std::string got = MessageText(box);
        if (got != wanted)
            throw StepFailed{"message " + Quote(got) + ", expected " + Quote(wanted)};
        PostCommand(box, IDOK, GetDlgItem(box, IDOK));
        if (!PollUntil(10, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
            throw StepFailed{"message box did not close on OK"};
    }

    void OpenFile(const Step& s) {
        HWND dialog = WaitFor(*FindWindowKind("open"), SecondsArg(s, 1, kDefaultWaitSeconds));
        HWND field = FindControl(dialog, 0x480);
        if (!field)
            field = FindControl(dialog, 0x47c);
        if (!field)
            throw StepFailed{"the file dialog has no file name field"};
        const std::wstring path = Widen(Arg(s, 0));
        AskWide(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        Shot(dialog, "open");
        PostCommand(dialog, IDOK, GetDlgItem(dialog, IDOK));
        if (!PollUntil(10, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }))
            throw StepFailed{"file dialog did not close on Open"};
    }

    void Shot(HWND window, const std::string& name) {
        if (shotDir_.empty())
            return;
        char number[16];
        std::snprintf(number, sizeof(number), "%02d-", ++shots_);
        std::string path = shotDir_ + "\\" + number + name + ".bmp";
        std::string error = SaveWindowBitmap(window, path);
        if (!error.empty())
            Log("screenshot " + path + ": " + error); // a missing picture fails nothing
    }

    void ShotStep(const Step& s) {
        HWND window = WaitFor(Kind(s), kDefaultWaitSeconds, false);
        seen_.insert(window);
        Shot(window, Arg(s, 1));
    }

    void ProbeStart(const Step& s) {
        if (probe_)
            throw StepFailed{"a probe already runs"};
        if (Arg(s, 0) == "usbpnp") {
            // usb.dll's hidden device-change window, made when the port
            // opens: notices without a record, which it answers at once.
            HWND notices = nullptr;
            if (!PollUntil(kDefaultWaitSeconds,
                           [&] { return (notices = FindWindowA(nullptr, "USBPNPWindow")) != nullptr; }))
                throw StepFailed{"no window \"USBPNPWindow\" showed up"};
            constexpr WPARAM kDevNodesChanged = 0x0007;
            probe_ = std::make_unique<ResponsivenessProbe>(notices, WM_DEVICECHANGE, kDevNodesChanged);
            return;
        }
        probe_ = std::make_unique<ResponsivenessProbe>(WaitFor(Kind(s), kDefaultWaitSeconds));
    }

    void ProbeStop(const Step& s) {
        if (!probe_)
            throw StepFailed{"no probe runs"};
        const double limit = SecondsArg(s, 0, kProbeLimitMs);
        ProbeResult r = probe_->Stop();
        probe_.reset();
        // When the longest wait began tells which step of the program's work
        // it fell in, read against the step times above.
        std::printf("probe: %d answers, %d unanswered, longest %.1f ms (asked %.2f s after "
                    "probe-start), mean %.1f ms (target %.0f ms, limit %.0f ms)\n",
                    r.answers, r.timeouts, r.longestMs, r.longestAskedMs / 1000, r.meanMs,
                    kProbeTargetMs, limit);
        if (r.answers == 0)
            throw StepFailed{"the probe got no answer at all"};
        // A slow answer does not stop the scenario: what the program does
        // after it is worth knowing too. The run still fails at its end.
        if (r.timeouts > 0 || r.longestMs > limit) {
            char text[160];
            std::snprintf(text, sizeof(text),
                          "at line %d (probe-stop): the window went unanswered for %.0f ms "
                          "(%d sends got no answer within %u ms)",
                          s.line, r.longestMs, r.timeouts, ResponsivenessProbe::kSendBoundMs);
            lateFailures_.push_back(text);
            Log(std::string("FAIL ") + text + "; going on");
        }
    }

    // ---- reporting ----

    void ReportWindows() {
        for (HWND w : VisibleWindowsOf(pid_)) {
            if (!pid_)
                break; // without a program of our own, the desktop is not ours to list
            std::printf("  window %p class %s title %s\n", static_cast<void*>(w),
                        ClassOf(w).c_str(), Quote(TitleOf(w)).c_str());
            Shot(w, "fail");
        }
    }

    std::string Describe(const Step& s) {
        std::string out = s.verb;
        for (const auto& a : s.args)
            out += " " + Quote(a);
        return out;
    }

    void Log(const std::string& text) {
        LARGE_INTEGER now, f;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&f);
        std::printf("[%7.2f s] %s\n",
                    static_cast<double>(now.QuadPart - start_.QuadPart) /
                        static_cast<double>(f.QuadPart),
                    text.c_str());
        std::fflush(stdout);
    }

    std::string shotDir_;
    int shots_ = 0;
    LARGE_INTEGER start_{};
    OwnedHandle process_;
    DWORD pid_ = 0;
    struct Started {
        OwnedHandle process;
        DWORD pid;
    };
    std::vector<Started> earlier_; // started before the current one, still running
    std::unique_ptr<ResponsivenessProbe> probe_;
    std::vector<std::string> lateFailures_; // failures that let the steps go on
    std::set<HWND> seen_;                   // windows already pictured
};

int Usage() {
    std::fprintf(stderr,
                 "usage: e2e_pilot [--shots DIR] (--script FILE | verb args [; verb args]...)\n");
    return 2;
}

} // namespace
} // namespace e2e

int main(int argc, char** argv) {
    using namespace e2e;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::string shotDir, scriptPath;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--shots" && i + 1 < argc)
            shotDir = argv[++i];
        else if (a == "--script" && i + 1 < argc)
            scriptPath = argv[++i];
        else
            words.push_back(a);
    }
    ParsedScript script;
    if (!scriptPath.empty()) {
        std::ifstream in(scriptPath, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", scriptPath.c_str());
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        script = ParseStepScript(text.str());
    } else {
        std::vector<std::string> current;
        int n = 0;
        for (size_t i = 0; i <= words.size(); ++i) {
            if (i == words.size() || words[i] == ";") {
                if (!current.empty())
                    script.steps.push_back(StepFromWords(current, ++n));
                current.clear();
            } else {
                current.push_back(words[i]);
            }
        }
    }
    for (const auto& e : script.errors)
        std::fprintf(stderr, "script line %d: %s\n", e.line, e.reason.c_str());
    if (!script.errors.empty() || script.steps.empty())
        return Usage();
    if (!shotDir.empty())
        CreateDirectoryA(shotDir.c_str(), nullptr);
    Pilot pilot(shotDir);
    return pilot.Run(script.steps);
}
