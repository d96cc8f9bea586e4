// The About box reached from the main window's system menu.
#pragma once

#include "framework/dialog.h"
#include "resources/resource.h"

namespace kestrel {

class CAboutDialog : public CDialog {
public:
    CAboutDialog() : CDialog(IDD_ABOUTBOX) {}
};

}  // namespace kestrel
