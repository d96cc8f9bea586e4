// The standard Open File dialog.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kestrel {

// `filter` in the "name|pattern||" form. Returns the chosen full path, or
// nothing when the user cancels.
std::optional<std::string> AskOpenFile(HWND owner, const std::string& filter,
                                       const std::string& initialPath);

// "a|b||" -> "a\0b\0\0", the form the dialog reads.
std::string FilterForOpenDialog(const std::string& filter);

}  // namespace kestrel
