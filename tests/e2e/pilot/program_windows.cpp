#include "tests/e2e/pilot/program_windows.h"

#include <cstring>

namespace e2e {
namespace {

// Control ids the program's dialogs are recognised by.
constexpr int kIdExit = 1;
constexpr int kIdHelpLine = 1004;
constexpr int kIdConfiguration = 1014;
constexpr int kIdModelList = 1018;
constexpr int kIdSettingsOk = 1009;
constexpr int kIdComRadio = 1006;
constexpr int kIdLedOk = 1016;
// Standard file dialog: the file name field (Explorer style keeps it in an
// edit "edt1"; older templates in a combo box "cmb13").
constexpr int kIdFileNameEdit = 0x480;
constexpr int kIdFileNameCombo = 0x47c;

constexpr char kDialogClass[] = "#32770";
constexpr char kProductName[] = "Skylark";

bool Has(HWND w, int id) {
    return FindControl(w, id) != nullptr;
}
bool IsDialog(HWND w) {
    return ClassOf(w) == kDialogClass;
}

bool IsMain(HWND w) {
    return Has(w, kIdConfiguration) && Has(w, kIdHelpLine) && Has(w, kIdExit) &&
           TitleOf(w) == kProductName;
}
bool IsModelList(HWND w) {
    return IsDialog(w) && Has(w, kIdModelList);
}
bool IsSettings(HWND w) {
    return IsDialog(w) && Has(w, kIdSettingsOk) && Has(w, kIdComRadio);
}
bool IsLedNotice(HWND w) {
    return IsDialog(w) && Has(w, kIdLedOk) && !Has(w, kIdSettingsOk) && !Has(w, kIdComRadio) &&
           !Has(w, kIdConfiguration);
}
bool IsFileDialog(HWND w) {
    return IsDialog(w) && (Has(w, kIdFileNameEdit) || Has(w, kIdFileNameCombo));
}
bool IsAbout(HWND w) {
    return TitleOf(w) == "About Skylark";
}
// Message boxes carry the program's name as caption and none of the main
// window's controls.
bool IsMessageBox(HWND w) {
    return IsDialog(w) && TitleOf(w) == kProductName && !Has(w, kIdConfiguration) &&
           !Has(w, kIdModelList) && !Has(w, kIdSettingsOk) && !Has(w, kIdLedOk);
}

const WindowKind kKinds[] = {
    {"main", "main window (title \"Skylark\", Configuration 1014, help line 1004)", IsMain},
    {"models", "model list (list box 1018)", IsModelList},
    {"settings", "settings dialog (OK 1009, COM radio 1006)", IsSettings},
    {"led", "LED notice (button 1016 only)", IsLedNotice},
    {"open", "standard Open File dialog", IsFileDialog},
    {"about", "About box (\"About Skylark\")", IsAbout},
    {"msgbox", "message box (caption \"Skylark\")", IsMessageBox},
};

struct EnumState {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisible(HWND w, LPARAM param) {
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if ((state->pid == 0 || owner == state->pid) && IsWindowVisible(w))
        state->found.push_back(w);
    return TRUE;
}

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<ControlSearch*>(param);
    if (GetDlgCtrlID(w) == search->id) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

} // namespace

const WindowKind* FindWindowKind(const std::string& name) {
    for (const auto& kind : kKinds)
        if (name == kind.name)
            return &kind;
    return nullptr;
}

std::string KnownWindowKindNames() {
    std::string names;
    for (const auto& kind : kKinds)
        names += std::string(names.empty() ? "" : ", ") + kind.name;
    return names;
}

std::vector<HWND> VisibleWindowsOf(DWORD pid) {
    EnumState state{pid, {}};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

std::vector<HWND> FindWindowsOfKind(const WindowKind& kind, DWORD pid) {
    std::vector<HWND> out;
    for (HWND w : VisibleWindowsOf(pid))
        if (kind.matches(w))
            out.push_back(w);
    return out;
}

HWND FindControl(HWND window, int id) {
    if (HWND direct = GetDlgItem(window, id))
        return direct;
    ControlSearch search{id, nullptr};
    EnumChildWindows(window, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string TitleOf(HWND window) {
    WCHAR text[1024] = {};
    InternalGetWindowText(window, text, 1024);
    return Narrow(text);
}

std::string TextOf(HWND window) {
    WCHAR text[1024] = {};
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                            2000, &copied))
        return Narrow(text);
    // Owner busy: the caption the window manager holds is what a
    // screen reader would show too.
    InternalGetWindowText(window, text, 1024);
    return Narrow(text);
}

} // namespace e2e
