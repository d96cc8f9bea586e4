// A stand-in with the program's window shapes and a few of its reactions,
// so that the pilot's own steps can be checked without the program.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <string>

namespace {

std::string g_file;
std::string g_port = "COM1";
bool g_slow = false; // busy long enough for the probe to object

INT_PTR CALLBACK Models(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_INITDIALOG) {
        for (const char* row : {"TQ-110", "TQ-140F"})
            SendDlgItemMessageA(dlg, 1018, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(w) == 1018 && HIWORD(w) == LBN_SELCHANGE) {
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(w) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK Settings(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_INITDIALOG) {
        for (const char* row : {"COM1", "COM2"})
            SendDlgItemMessageA(dlg, 1000, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        for (const char* row : {"9600", "115200"})
            SendDlgItemMessageA(dlg, 1001, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        SendDlgItemMessageA(dlg, 1000, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageA(dlg, 1001, CB_SETCURSEL, 0, 0);
        CheckRadioButton(dlg, 1006, 1007, 1006);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    switch (LOWORD(w)) {
    case 1009: {
        LRESULT row = SendDlgItemMessageA(dlg, 1000, CB_GETCURSEL, 0, 0);
        if (row < 0) {
            MessageBoxA(dlg, "Invalid Port Name!", "Skylark", MB_OK | MB_ICONWARNING);
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        char text[32] = {};
        SendDlgItemMessageA(dlg, 1000, CB_GETLBTEXT, static_cast<WPARAM>(row),
                            reinterpret_cast<LPARAM>(text));
        g_port = IsDlgButtonChecked(dlg, 1007) ? "LPT1" : text;
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    case IDOK: // Enter, which the program's own settings dialog filters
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    case 1016:
    case IDCANCEL: // Escape, likewise
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK Led(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_COMMAND && (LOWORD(w) == 1016 || LOWORD(w) == IDCANCEL)) {
        EndDialog(dlg, IDOK);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

INT_PTR CALLBACK Main(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetWindowTextA(dlg, "Skylark");
        if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(153), nullptr, Models, 0) !=
            IDOK)
            ExitProcess(1);
        SetDlgItemTextA(dlg, 1004, "HELP : Set Communication Configuration. ");
        EnableWindow(GetDlgItem(dlg, 1003), FALSE);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    switch (LOWORD(w)) {
    case 1014:
        if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(129), dlg, Settings, 0) ==
            IDOK) {
            EnableWindow(GetDlgItem(dlg, 1003), TRUE);
            SetDlgItemTextA(dlg, 1004, ("HELP : port " + g_port).c_str());
        }
        return TRUE;
    case 1003: {
        char path[MAX_PATH] = {};
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof(ofn);
        ofn.hwndOwner = dlg;
        ofn.lpstrFilter = "Firmware File(*.fls)\0*.fls\0";
        ofn.lpstrFile = path;
        ofn.nMaxFile = MAX_PATH;
        ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
        if (GetOpenFileNameA(&ofn)) {
            g_file = path;
            SetDlgItemTextA(dlg, 1004, ("HELP : file " + g_file).c_str());
        }
        return TRUE;
    }
    case 1002:
        if (g_file.empty()) {
            MessageBoxA(dlg, "Not select File!! Select File!", "Skylark", MB_OK | MB_ICONWARNING);
            return TRUE;
        }
        // Busy without taking messages, as long as the probe's limit allows.
        Sleep(g_slow ? 1500 : 300);
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(151), dlg, Led, 0);
        SetDlgItemTextA(dlg, 1004, "HELP : Finished firmware download.");
        return TRUE;
    case IDOK:
    case IDCANCEL:
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_slow = commandLine && std::string(commandLine).find("slow") != std::string::npos;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(102), nullptr, Main, 0);
    return 0;
}
