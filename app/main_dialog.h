// The main window: model, connection and firmware file for as long as the
// program runs, the four commands, and the progress bar the download fills.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/image_button.h"
#include "config/printer_models.h"
#include "config/settings_rules.h"
#include "download/download_engine.h"
#include "download/image_file_store_win.h"
#include "ports/spooler_ports_win.h"
#include "framework/dialog.h"
#include "framework/gdi_object.h"

namespace kestrel {

class CMainDialog : public CDialog, public IDownloadView {
public:
    CMainDialog();
    ~CMainDialog() override;

    int32_t PrinterType() const { return printerType_; }
    const std::string& ModelName() const { return modelName_; }
    const StoredConnection& Connection() const { return connection_; }
    const std::string& FirmwarePath() const { return firmwarePath_; }
    int32_t Progress() const { return progress_; }
    const std::string& HelpText() const { return helpText_; }

    // IDownloadView
    void RedrawAll() override;
    void ShowProgress(int32_t value) override;
    void ShowMessage(const std::string& text) override;
    void ShowLedNotice() override;

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    bool OnPaint(HDC dc) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
    bool OnSysCommand(WPARAM command, LPARAM position) override;
    bool OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) override;

private:
    void OnSelectFile();
    void OnDownload();
    void OnConfiguration();
    void RunDownload();
    void RunHexDownload();
    // One download's real pieces, alive for exactly the length of `run`.
    void WithDownloadPorts(const std::function<void(kestrel::DownloadPorts&)>& run);
    void SetHelpText(const std::string& text);
    void EnableCommands(bool enable);
    void ShowPrinterPicture();

    int32_t printerType_ = kDefaultPrinterType;
    std::string modelName_;
    StoredConnection connection_;
    std::string firmwarePath_;
    // The converted image of a hexadecimal download, this copy's own.
    CImageFileStore hexImages_;
    // Gives held printer ports back when the window object goes.
    CSpoolerPorts spooler_;
    CImageButton configurationButton_;
    CImageButton selectFileButton_;
    CImageButton downloadButton_;
    CImageButton exitButton_;
    int32_t progress_ = 0;
    bool downloading_ = false;  // commands are refused while set
    std::string helpText_;
    HICON icon_;  // shared resource icon, never destroyed
    UniqueIcon smallIcon_;
    Bitmap picture_;  // the static control shows it but does not own it
    Brush titleBrush_;
    Brush helpBrush_;
};

}  // namespace kestrel
