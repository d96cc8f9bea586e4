// The program's windows as a user tells them apart: by title, by class and
// by the controls they show. Scenarios name them ("main", "settings", ...)
// instead of carrying handles.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

struct WindowKind {
    const char* name;
    const char* description;
    bool (*matches)(HWND window);
};

// The known kinds; nullptr when the name is unknown.
const WindowKind* FindWindowKind(const std::string& name);
std::string KnownWindowKindNames();

// Visible top-level windows of the process (all processes when pid is 0),
// in Z order, that match the kind.
std::vector<HWND> FindWindowsOfKind(const WindowKind& kind, DWORD pid);

// Visible top-level windows of the process, for reports of a failed step.
std::vector<HWND> VisibleWindowsOf(DWORD pid);

// A control anywhere below the window (the file dialog keeps some
// controls one level down).
HWND FindControl(HWND window, int id);

std::string ClassOf(HWND window);
// A window's caption as the window manager keeps it: no message is sent,
// so a busy program cannot stall the search for its windows.
std::string TitleOf(HWND window);
// Reads a window's text without hanging on a busy owner: asks with a
// bounded wait, else falls back to the text the window manager keeps.
std::string TextOf(HWND window);

// Text crosses processes in UTF-16 under Wine whichever form the sender
// used, so the pilot asks in UTF-16 and converts at its edge.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

} // namespace e2e
