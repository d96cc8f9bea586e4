// The one kind of message the program shows the user: OK button, the
// program's name as caption, the warning icon.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

inline constexpr const char* kProgramName = "Skylark";

void ShowProgramMessage(HWND owner, const std::string& text);

}  // namespace kestrel
