#include "framework/message_box.h"

namespace kestrel {

void ShowProgramMessage(HWND owner, const std::string& text) {
    ::MessageBoxA(owner, text.c_str(), kProgramName, MB_OK | MB_ICONWARNING);
}

}  // namespace kestrel
