#include "config/settings_dialog_win.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "config/printer_models.h"
#include "config/usb_interfaces_win.h"
#include "framework/data_exchange.h"
#include "framework/frame_painting.h"
#include "framework/message_box.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

const std::vector<int> kKindButtons = {IDC_KIND_COM, IDC_KIND_LPT, IDC_KIND_USB,
                                       IDC_KIND_ETHERNET};
const int kSerialLists[] = {IDC_BAUD_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBIT_LIST,
                            IDC_HANDSHAKE_LIST};

void FillList(HWND combo, const std::vector<std::string>& rows, int chosen) {
    AddComboRows(combo, rows);
    if (chosen >= 0) SelectComboRow(combo, chosen);
}

}  // namespace

CSettingsDialog::CSettingsDialog(const SettingsFields& fields, int32_t printerType)
    : CDialog(IDD_SETTINGS),
      fields_(fields),
      printerType_(printerType),
      labelBrush_(::CreateSolidBrush(RGB(255, 255, 255))) {}

bool CSettingsDialog::OnInitDialog() {
    kind_ = static_cast<int>(KindForPortName(fields_.portName));
    FillPortControls();
    ShowKind();

    SetUpImageButton(okButton_, Handle(), IDC_SETTINGS_OK, "OK", 17, 3);
    SetUpImageButton(cancelButton_, Handle(), IDC_SETTINGS_CANCEL, "Cancel", 17, 3);

    const bool allKinds = printerType_ != kSerialOnlyPrinterType;
    EnableItem(IDC_KIND_COM, true);
    EnableItem(IDC_KIND_LPT, allKinds);
    EnableItem(IDC_KIND_USB, allKinds);
    EnableItem(IDC_KIND_ETHERNET, allKinds);
    return true;
}

bool CSettingsDialog::PreTranslateMessage(const MSG& msg) {
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN);
}

bool CSettingsDialog::OnPaint(HDC dc) {
    RECT client{};
    ::GetClientRect(Handle(), &client);
    PaintWhiteFrame(dc, client);
    return true;
}

HBRUSH CSettingsDialog::OnCtlColor(HDC dc, HWND control, UINT message) {
    HBRUSH brush = CDialog::OnCtlColor(dc, control, message);
    const int id = ::GetDlgCtrlID(control);
    const bool kindButton =
        std::find(kKindButtons.begin(), kKindButtons.end(), id) != kKindButtons.end();
    if (!kindButton && id != IDC_STATIC) return brush;
    ::SetTextColor(dc, RGB(100, 0, 0));
    ::SetBkMode(dc, TRANSPARENT);
    return labelBrush_.Get();
}

bool CSettingsDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (notifyCode == BN_CLICKED) {
        switch (id) {
        case IDC_KIND_COM: SwitchKind(ConnectionKind::Com); return true;
        case IDC_KIND_LPT: SwitchKind(ConnectionKind::Lpt); return true;
        case IDC_KIND_USB: SwitchKind(ConnectionKind::Usb); return true;
        case IDC_KIND_ETHERNET: SwitchKind(ConnectionKind::Ethernet); return true;
        case IDC_SETTINGS_OK: ReadBackSettings(); return true;
        case IDC_SETTINGS_CANCEL: EndDialog(IDCANCEL); return true;
        default: break;
        }
    }
    return CDialog::OnCommand(id, notifyCode, control);
}

void CSettingsDialog::EmptyLists(bool includingPortList) {
    if (includingPortList) ResetCombo(Item(IDC_PORT_LIST));
    for (int id : kSerialLists) ResetCombo(Item(id));
}

void CSettingsDialog::ShowKind() {
    CheckRadio(Handle(), kKindButtons, kind_);
    WriteUnsignedField(Handle(), IDC_TCP_PORT, tcpPort_);
}

bool CSettingsDialog::ReadDialogData() {
    kind_ = CheckedRadio(Handle(), kKindButtons);
    const std::optional<uint32_t> port =
        ReadUnsignedField(Handle(), IDC_TCP_PORT, kMaxTcpPort, kInvalidTcpPortMessage);
    if (!port) return false;
    tcpPort_ = *port;
    return true;
}

void CSettingsDialog::SwitchKind(ConnectionKind kind) {
    // Only the COM button reads the data back first; a refused TCP port is
    // reported and the switch goes on with the last good value.
    if (kind == ConnectionKind::Com) ReadDialogData();
    EmptyLists(kind != ConnectionKind::Ethernet);
    kind_ = static_cast<int>(kind);
    ShowKind();
    FillPortControls();
}

void CSettingsDialog::FillPortControls() {
    const ConnectionKind kind = static_cast<ConnectionKind>(kind_);
    const PortControlLayout layout = LayoutFor(kind);
    SetItemText(IDC_PORT_LABEL, layout.portLabel);
    SetItemText(IDC_BAUD_LABEL, layout.baudLabel);
    ShowItem(IDC_PORT_LIST, !layout.addressFields);
    ShowItem(IDC_BAUD_LIST, !layout.addressFields);
    ShowItem(IDC_IP_ADDRESS, layout.addressFields);
    ShowItem(IDC_TCP_PORT, layout.addressFields);

    HWND portList = Item(IDC_PORT_LIST);
    if (kind == ConnectionKind::Usb) {
        ResetCombo(portList);
        FindUsbPrinters();
        if (ComboRowCount(portList) == 0) {
            ShowProgramMessage(Handle(), kNoUsbPrinterMessage);
            kind_ = static_cast<int>(ConnectionKind::Com);
            CheckRadio(Handle(), kKindButtons, kind_);
            FillPortControls();
            return;
        }
    } else {
        AddComboRows(portList, layout.portRows);
    }
    FillList(Item(IDC_BAUD_LIST), layout.baudRows, layout.baudDefault);
    FillList(Item(IDC_DATABITS_LIST), layout.dataBitRows, layout.dataBitDefault);
    FillList(Item(IDC_PARITY_LIST), layout.parityRows, layout.parityDefault);
    FillList(Item(IDC_STOPBIT_LIST), layout.stopBitRows, layout.stopBitDefault);
    FillList(Item(IDC_HANDSHAKE_LIST), layout.handshakeRows, layout.handshakeDefault);

    SelectComboRow(portList, 0);
    for (int id : kSerialLists) EnableItem(id, layout.serialListsEnabled);
}

void CSettingsDialog::FindUsbPrinters() {
    const std::unique_ptr<IUsbInterfaces> system = SystemUsbInterfaces();
    HWND portList = Item(IDC_PORT_LIST);
    for (UsbPortEntry& entry : FindUsbPrinterEntries(*system, printerType_, usbPorts_.size())) {
        AddComboRows(portList, {entry.label});
        usbPorts_.push_back(std::move(entry));
    }
}

void CSettingsDialog::ReadBackSettings() {
    if (!ReadDialogData()) return;  // the dialog stays open on the refused field

    DialogChoice choice;
    choice.kind = static_cast<ConnectionKind>(kind_ < 0 ? 0 : kind_);
    HWND portList = Item(IDC_PORT_LIST);
    choice.portRow = ComboSelection(portList);
    choice.portRowText = ComboRowText(portList, choice.portRow);
    const std::string shown = ItemText(IDC_PORT_LIST);
    if (shown != choice.portRowText) choice.portFieldText = shown;
    HWND baud = Item(IDC_BAUD_LIST);
    choice.baudRowText = ComboRowText(baud, ComboSelection(baud));
    HWND dataBits = Item(IDC_DATABITS_LIST);
    choice.dataBitRowText = ComboRowText(dataBits, ComboSelection(dataBits));
    choice.parityRow = ComboSelection(Item(IDC_PARITY_LIST));
    choice.stopBitRow = ComboSelection(Item(IDC_STOPBIT_LIST));
    choice.handshakeRow = ComboSelection(Item(IDC_HANDSHAKE_LIST));
    DWORD address = 0;
    SendItem(IDC_IP_ADDRESS, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    choice.address = {static_cast<uint8_t>(FIRST_IPADDRESS(address)),
                      static_cast<uint8_t>(SECOND_IPADDRESS(address)),
                      static_cast<uint8_t>(THIRD_IPADDRESS(address)),
                      static_cast<uint8_t>(FOURTH_IPADDRESS(address))};
    choice.tcpPort = tcpPort_;

    switch (kestrel::ReadBackSettings(choice, usbPorts_, fields_)) {
    case ReadBackResult::InvalidPortName:
        ShowProgramMessage(Handle(), kInvalidPortNameMessage);
        EndDialog(IDCANCEL);
        return;
    case ReadBackResult::UnusableAddress:
        // Stays open, as for a refused TCP port, with the address to correct.
        ShowProgramMessage(Handle(), kUnusableAddressMessage);
        ::SetFocus(Item(IDC_IP_ADDRESS));
        return;
    case ReadBackResult::UnknownUsbPort:
        // The dialog stays open for a port from the list.
        ShowProgramMessage(Handle(), UnknownUsbPortMessage(choice.portFieldText.empty()
                                                               ? choice.portRowText
                                                               : choice.portFieldText));
        return;
    case ReadBackResult::Accepted: break;
    }
    EndDialog(IDOK);
}

}  // namespace kestrel
