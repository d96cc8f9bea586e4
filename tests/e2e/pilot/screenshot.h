// Pictures of the windows a scenario passes through, so that a failed run
// can be looked at afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// Copies the window's screen area into a 24-bit BMP file. Returns an empty
// string on success, else why it failed.
std::string SaveWindowBitmap(HWND window, const std::string& path);

} // namespace e2e
