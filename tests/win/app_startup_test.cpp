// kestrel.exe started as a user would: the model list comes first, its
// cancellation ends the program with exit code 1, and a chosen model shows
// the main window with its title strip, help line and command states.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/win_handle.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

// Generous bounds that only keep a broken program from hanging the test.
constexpr DWORD kWindowLimitMs = 60000;
constexpr DWORD kExitLimitMs = 60000;

std::string ProgramPath() {
    std::string path = "Z:" KESTREL_EXE_PATH;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

struct Program {
    UniqueHandle process;
    UniqueHandle thread;
};

Program Start() {
    std::string commandLine = "\"" + ProgramPath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        ADD_FAILURE() << "CreateProcess failed: " << ::GetLastError();
        return {};
    }
    return {UniqueHandle(info.hProcess), UniqueHandle(info.hThread)};
}

HWND WaitForWindow(const char* title, DWORD processId) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kWindowLimitMs) {
        HWND window = nullptr;
        while ((window = ::FindWindowExA(nullptr, window, nullptr, title)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == processId && ::IsWindowVisible(window)) return window;
        }
        ::Sleep(50);
    }
    return nullptr;
}

DWORD WaitForExit(const Program& program) {
    if (::WaitForSingleObject(program.process.Get(), kExitLimitMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(program.process.Get(), 99);
        return 99;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(program.process.Get(), &code);
    return code;
}

std::string ItemText(HWND dialog, int id) {
    char text[256] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

TEST(AppStartup, CancellingTheModelListEndsWithExitCodeOne) {
    Program program = Start();
    ASSERT_TRUE(program.process);
    HWND select = WaitForWindow("Select Printer", ::GetProcessId(program.process.Get()));
    ASSERT_NE(select, nullptr);
    // The main window is not shown while the model is being chosen.
    HWND main = ::FindWindowA(nullptr, "Skylark");
    EXPECT_TRUE(main == nullptr || !::IsWindowVisible(main));
    ::PostMessageA(select, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(WaitForExit(program), 1u);
}

TEST(AppStartup, ChosenModelShowsTheMainWindowReadyForConfiguration) {
    Program program = Start();
    ASSERT_TRUE(program.process);
    const DWORD pid = ::GetProcessId(program.process.Get());
    HWND select = WaitForWindow("Select Printer", pid);
    ASSERT_NE(select, nullptr);
    HWND list = ::GetDlgItem(select, IDC_MODEL_LIST);
    ::SendMessageA(list, LB_SETCURSEL, 5, 0);  // TQ-140F
    ::PostMessageA(select, WM_COMMAND, MAKEWPARAM(IDC_MODEL_LIST, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));

    HWND main = WaitForWindow("Skylark", pid);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(ItemText(main, IDC_TITLE_STRIP), " TQ-140F  Skylark V1.0.9");
    EXPECT_EQ(ItemText(main, IDC_HELP_TEXT), "HELP : Set Communication Configuration. ");
    struct Command {
        int id;
        const char* caption;
        bool enabled;
    } commands[] = {{IDC_CONFIGURATION, "Configuration", true},
                    {IDC_SELECT_FILE, "Select f/w", false},
                    {IDC_DOWNLOAD, "Download", false},
                    {IDOK, "Exit", true}};
    for (const Command& c : commands) {
        EXPECT_EQ(ItemText(main, c.id), c.caption);
        EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(main, c.id)) != FALSE, c.enabled) << c.caption;
    }
    EXPECT_NE(::GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(::GetWindowLongA(main, GWL_STYLE) & WS_CAPTION, WS_BORDER);  // no caption bar
    // The picture control shows the family's bitmap at its own size.
    RECT picture{};
    ::GetClientRect(::GetDlgItem(main, IDC_PRINTER_PICTURE), &picture);
    EXPECT_EQ(picture.right, 130);
    EXPECT_EQ(picture.bottom, 134);

    ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(WaitForExit(program), 0u);
}

}  // namespace
}  // namespace kestrel
