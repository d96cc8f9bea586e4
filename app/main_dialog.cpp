#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/led_warning_dialog.h"
#include "config/model_picture.h"
#include "config/select_printer_dialog_win.h"
#include "config/settings_dialog_win.h"
#include "driver_host/driver_files_win.h"
#include "driver_host/driver_loader_win.h"
#include "download/hex_download.h"
#include "ports/printer_socket_win.h"
#include "download/private_folder_win.h"
#include "download/ui_clock_win.h"
#include "framework/dialog_colours.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr const char* kHelpConfigure = "HELP : Set Communication Configuration. ";
constexpr const char* kHelpSelectFile = "HELP : Select Firmware File.";
constexpr const char* kHelpReady = "HELP : Ready firmware download.";
constexpr const char* kHelpDownloading = "HELP : firmware downloading....";
constexpr const char* kHelpFinished = "HELP : Finished firmware download.";
constexpr const char* kNoFileMessage = "Not select File!! Select File!";

// The progress bar in client pixels; the fill runs from x = 9 to 9 + progress.
constexpr RECT kProgressFrame{8, 200, 278, 210};
constexpr int kTitleStripBottom = 15;

// The commands a download disables and enables again, in that order.
constexpr int kCommandButtons[] = {IDC_CONFIGURATION, IDC_SELECT_FILE, IDC_DOWNLOAD, IDOK};

}  // namespace

CMainDialog::CMainDialog()
    : CDialog(IDD_MAIN),
      icon_(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      smallIcon_(static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr),
                                                 MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON),
                                                 ::GetSystemMetrics(SM_CYSMICON), 0))),
      titleBrush_(::CreateSolidBrush(RGB(238, 239, 206))),
      helpBrush_(::CreateSolidBrush(RGB(255, 255, 255))) {}

CMainDialog::~CMainDialog() = default;

bool CMainDialog::OnInitDialog() {
    HWND window = Handle();
    if (HMENU systemMenu = ::GetSystemMenu(window, FALSE)) {
        char about[128] = {};
        if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about) > 0) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageA(window, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(smallIcon_.Get() ? smallIcon_.Get() : icon_));

    SetHelpText(kHelpConfigure);
    EnableItem(IDC_DOWNLOAD, false);
    EnableItem(IDC_SELECT_FILE, false);
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetWindowTextA(window, kProgramName);

    SetUpImageButton(configurationButton_, window, IDC_CONFIGURATION, "Configuration", 17, 3);
    SetUpImageButton(selectFileButton_, window, IDC_SELECT_FILE, "Select f/w", 17, 3);
    SetUpImageButton(downloadButton_, window, IDC_DOWNLOAD, "Download", 17, 3);
    SetUpImageButton(exitButton_, window, IDOK, "Exit", 17, 3);

    progress_ = 0;
    printerType_ = kDefaultPrinterType;

    // Printers that a run which died (a crash, a kill, a power cut) left on
    // "FILE:" get their ports back before anything else happens, and its
    // private folders go.
    CSpoolerPorts::GiveBackLeftByEndedRuns();
    CPrivateFolder::RemoveThoseOfEndedRuns();

    // The model must be known before the window is shown; without one there
    // is nothing to do, and nothing has been taken yet that needs giving back.
    CSelectPrinterDialog select;
    if (select.DoModal(nullptr) != IDOK) ::ExitProcess(1);
    modelName_ = select.Selection().name;
    printerType_ = select.Selection().typeCode;

    ShowPrinterPicture();
    SetItemText(IDC_TITLE_STRIP, " " + modelName_ + ItemText(IDC_TITLE_STRIP));
    return true;
}

void CMainDialog::ShowPrinterPicture() {
    Bitmap picture(static_cast<HBITMAP>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PictureForPrinterType(printerType_)),
        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!picture) return;
    SendItem(IDC_PRINTER_PICTURE, STM_SETIMAGE, IMAGE_BITMAP,
             reinterpret_cast<LPARAM>(picture.Get()));
    picture_ = std::move(picture);
}

void CMainDialog::SetHelpText(const std::string& text) {
    helpText_ = text;
    SetItemText(IDC_HELP_TEXT, helpText_);
}

void CMainDialog::EnableCommands(bool enable) {
    for (int id : kCommandButtons) EnableItem(id, enable);
}

bool CMainDialog::OnCommand(int id, int notifyCode, HWND control) {
    // The window keeps taking sent messages while a download runs; a command
    // sent by another thread or program then must not start a second
    // download inside the first, open a dialog or end the program.
    if (downloading_) return true;
    if (notifyCode == BN_CLICKED) {
        switch (id) {
        case IDC_SELECT_FILE: OnSelectFile(); return true;
        case IDC_DOWNLOAD: OnDownload(); return true;
        case IDC_CONFIGURATION: OnConfiguration(); return true;
        default: break;
        }
    }
    return CDialog::OnCommand(id, notifyCode, control);
}

void CMainDialog::OnSelectFile() {
    const std::optional<std::string> chosen =
        AskOpenFile(Handle(), FirmwareFileFilter(printerType_), firmwarePath_);
    if (!chosen) return;
    firmwarePath_ = *chosen;
    EnableItem(IDC_DOWNLOAD, true);
    SetHelpText(kHelpReady);
}

void CMainDialog::OnConfiguration() {
    CSettingsDialog settings(connection_.Fields(), printerType_);
    if (settings.DoModal(Handle()) != IDOK) return;
    connection_.ApplyConfirmed(settings.Fields());
    EnableItem(IDC_SELECT_FILE, true);
    SetHelpText(kHelpSelectFile);
}

void CMainDialog::OnDownload() {
    if (firmwarePath_.empty()) {
        ShowMessage(kNoFileMessage);
        return;
    }
    EnableCommands(false);
    SetHelpText(kHelpDownloading);
    downloading_ = true;
    if (UsesHexFirmware(printerType_)) {
        RunHexDownload();
    } else {
        RunDownload();
    }
    downloading_ = false;
    EnableCommands(true);
    SetHelpText(kHelpFinished);
}

void CMainDialog::RunDownload() {
    DownloadRequest request{connection_.Record(), printerType_, firmwarePath_, {}};
    WithDownloadPorts([&](DownloadPorts& ports) { kestrel::RunDownload(request, ports); });
}

void CMainDialog::RunHexDownload() {
    DownloadRequest request{connection_.Record(), printerType_, firmwarePath_, {}};
    WithDownloadPorts(
        [&](DownloadPorts& ports) { kestrel::RunHexDownload(request, hexImages_, ports); });
    // The next Select f/w offers the converted image's path.
    firmwarePath_ = request.firmwarePath;
}

void CMainDialog::WithDownloadPorts(const std::function<void(DownloadPorts&)>& run) {
    CDriverFileStore files;
    CPortDriver driver;
    CPrinterSocket socket;
    CUiClock clock;
    DownloadPorts ports{files, spooler_, driver, socket, *this, clock};
    run(ports);
}

void CMainDialog::RedrawAll() {
    ::InvalidateRect(Handle(), nullptr, TRUE);
    ::UpdateWindow(Handle());
}

void CMainDialog::ShowProgress(int32_t value) {
    progress_ = value;
    ::InvalidateRect(Handle(), &kProgressFrame, TRUE);
    ::UpdateWindow(Handle());
}

void CMainDialog::ShowMessage(const std::string& text) { ShowProgramMessage(Handle(), text); }

void CMainDialog::ShowLedNotice() {
    CLedWarningDialog notice;
    notice.DoModal(Handle());
}

bool CMainDialog::OnPaint(HDC dc) {
    HWND window = Handle();
    RECT client{};
    ::GetClientRect(window, &client);
    if (::IsIconic(window)) {
        ::SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        ::DrawIcon(dc, x, y, icon_);
        return true;
    }
    Pen black(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    Brush white(::CreateSolidBrush(RGB(255, 255, 255)));
    Brush fill(::CreateSolidBrush(RGB(135, 206, 250)));
    SelectedObject usePen(dc, black.Get());
    {
        SelectedObject useBrush(dc, white.Get());
        ::Rectangle(dc, client.left, client.top, client.right, client.bottom);
        ::MoveToEx(dc, 0, kTitleStripBottom, nullptr);
        ::LineTo(dc, client.right, kTitleStripBottom);
        ::Rectangle(dc, kProgressFrame.left, kProgressFrame.top, kProgressFrame.right,
                    kProgressFrame.bottom);
    }
    if (progress_ > 0) {
        SelectedObject useBrush(dc, fill.Get());
        ::Rectangle(dc, kProgressFrame.left + 1, kProgressFrame.top + 1,
                    kProgressFrame.left + 1 + progress_, kProgressFrame.bottom - 1);
    }
    return true;
}

HBRUSH CMainDialog::OnCtlColor(HDC dc, HWND control, UINT message) {
    HBRUSH brush = CDialog::OnCtlColor(dc, control, message);
    switch (::GetDlgCtrlID(control)) {
    case IDC_TITLE_STRIP:
        ::SetTextColor(dc, RGB(100, 100, 100));
        ::SetBkMode(dc, TRANSPARENT);
        return titleBrush_.Get();
    case IDC_HELP_TEXT:
        ::SetTextColor(dc, RGB(100, 0, 0));
        ::SetBkMode(dc, TRANSPARENT);
        return helpBrush_.Get();
    default: return brush;
    }
}

bool CMainDialog::OnSysCommand(WPARAM command, LPARAM /*position*/) {
    if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
    if (downloading_) return true;  // no modal box inside a download
    CAboutDialog about;
    about.DoModal(Handle());
    return true;
}

bool CMainDialog::OnMessage(UINT message, WPARAM w, LPARAM /*l*/, INT_PTR& result) {
    if (message == WM_QUERYDRAGICON) {
        result = reinterpret_cast<INT_PTR>(icon_);
        return true;
    }
    if (message == WM_ENDSESSION) {
        // The process may be ended at any moment after this returns, also
        // in the middle of a download: the printers get their ports now.
        if (w) spooler_.RestorePrinterPorts();
        result = 0;
        return true;
    }
    return false;
}

}  // namespace kestrel
