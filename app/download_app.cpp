#include "app/download_app.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>

#include "app/main_dialog.h"
#include "framework/message_box.h"
#include "framework/socket_library.h"

namespace kestrel {

int CDownloadApp::Run() {
    // The dialogs use the IP address control besides the standard ones.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES |
                                                       ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    SocketLibrary sockets;
    if (!sockets.Started()) {
        char text[96];
        std::snprintf(text, sizeof text, "Socket Init Error! : %d, %lu", sockets.SocketError(),
                      static_cast<unsigned long>(sockets.SystemError()));
        ShowProgramMessage(nullptr, text);
    }

    {
        // Its destruction gives back printer ports still held from the spooler.
        CMainDialog main;
        main.DoModal(nullptr);
    }
    return 0;
}

}  // namespace kestrel
