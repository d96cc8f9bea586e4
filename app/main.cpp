#include <windows.h>

#include "app/download_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    kestrel::CDownloadApp app;
    return app.Run();
}
