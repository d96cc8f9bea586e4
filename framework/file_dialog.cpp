#include "framework/file_dialog.h"

#include <commdlg.h>

#include <vector>

namespace kestrel {

std::string FilterForOpenDialog(const std::string& filter) {
    std::string result = filter;
    for (char& c : result) {
        if (c == '|') c = '\0';
    }
    // The list must end with two NULs whatever the caller wrote.
    result.push_back('\0');
    result.push_back('\0');
    return result;
}

std::optional<std::string> AskOpenFile(HWND owner, const std::string& filter,
                                       const std::string& initialPath) {
    const std::string filterList = FilterForOpenDialog(filter);
    std::vector<char> path(MAX_PATH * 4, '\0');
    if (initialPath.size() < path.size()) initialPath.copy(path.data(), initialPath.size());

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterList.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!::GetOpenFileNameA(&ofn)) return std::nullopt;
    return std::string(path.data());
}

}  // namespace kestrel
