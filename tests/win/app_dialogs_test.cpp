// The program's dialogs driven through their controls under Wine: what the
// model list hands back, what the settings dialog writes for each kind, that
// the LED notice closes, and what the owner-drawn buttons draw.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/image_button.h"
#include "app/led_warning_dialog.h"
#include "config/select_printer_dialog_win.h"
#include "config/settings_dialog_win.h"
#include "framework/data_exchange.h"
#include "framework/gdi_object.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

constexpr UINT kStepMessage = WM_APP + 17;

// Runs steps inside the dialog's own modal loop, one per posted message; a
// dialog the steps leave open ends with -2 instead of hanging the test.
template <typename Base>
class Scripted : public Base {
public:
    using Step = std::function<void(Scripted&)>;
    template <typename... Args>
    explicit Scripted(std::vector<Step> steps, Args&&... args)
        : Base(std::forward<Args>(args)...), steps_(std::move(steps)) {}

    // Exposed for the steps.
    using Base::Handle;
    using Base::Item;

protected:
    bool OnInitDialog() override {
        const bool focus = Base::OnInitDialog();
        ::PostMessageA(Handle(), kStepMessage, 0, 0);
        return focus;
    }
    bool OnMessage(UINT message, WPARAM w, LPARAM l, INT_PTR& result) override {
        if (message != kStepMessage) return Base::OnMessage(message, w, l, result);
        if (next_ < steps_.size()) {
            steps_[next_++](*this);
            ::PostMessageA(Handle(), kStepMessage, 0, 0);
        } else {
            this->EndDialog(-2);
        }
        return true;
    }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
};

void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Closes every message box of the program that appears on this thread and
// keeps its text: a thread timer fires inside the message box's own loop.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        texts().clear();
        timer_ = ::SetTimer(nullptr, 0, 30, &MessageBoxCloser::Tick);
    }
    ~MessageBoxCloser() { ::KillTimer(nullptr, timer_); }
    static std::vector<std::string>& texts() {
        static std::vector<std::string> seen;
        return seen;
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM) {
        char title[64] = {}, cls[64] = {};
        ::GetWindowTextA(window, title, sizeof title);
        ::GetClassNameA(window, cls, sizeof cls);
        if (std::string(title) == "Skylark" && std::string(cls) == "#32770" &&
            ::IsWindowVisible(window)) {
            char text[256] = {};
            ::GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
            texts().push_back(text);
            ::PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &MessageBoxCloser::Visit, 0);
    }
    UINT_PTR timer_ = 0;
};

struct CommonControls {
    CommonControls() {
        INITCOMMONCONTROLSEX controls{sizeof controls,
                                      ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
} g_commonControls;

// ---- model list ------------------------------------------------------------

TEST(AppSelectPrinter, ChoosingARowClosesWithItsModel) {
    struct Case {
        int row;
        const char* name;
        int32_t type;
    } cases[] = {{5, "TQ-140F", 350}, {2, "TQ-130", 100}, {0, "TQ-110", 200}};
    for (const Case& c : cases) {
        int rows = -1, selectedAtStart = 0;
        Scripted<CSelectPrinterDialog> dialog({[&](auto& d) {
            HWND list = d.Item(IDC_MODEL_LIST);
            rows = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
            selectedAtStart = static_cast<int>(::SendMessageA(list, LB_GETCURSEL, 0, 0));
            ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(c.row), 0);
            ::SendMessageA(d.Handle(), WM_COMMAND, MAKEWPARAM(IDC_MODEL_LIST, LBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(list));
        }});
        EXPECT_EQ(dialog.DoModal(), IDOK) << c.name;
        EXPECT_EQ(dialog.Selection().name, c.name);
        EXPECT_EQ(dialog.Selection().typeCode, c.type);
        EXPECT_EQ(rows, 7);
        EXPECT_EQ(selectedAtStart, LB_ERR);
    }
}

TEST(AppSelectPrinter, EnterWithoutChoiceGivesDefaultFamilyAndEscapeCancels) {
    Scripted<CSelectPrinterDialog> enter({[](auto& d) {
        ::SendMessageA(d.Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }});
    EXPECT_EQ(enter.DoModal(), IDOK);
    EXPECT_EQ(enter.Selection().name, "");
    EXPECT_EQ(enter.Selection().typeCode, 100);

    Scripted<CSelectPrinterDialog> escape({[](auto& d) {
        ::SendMessageA(d.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }});
    EXPECT_EQ(escape.DoModal(), IDCANCEL);
}

// ---- connection settings ---------------------------------------------------

using SettingsScript = Scripted<CSettingsDialog>;

SettingsFields Stored(const char* port) {
    SettingsFields f;
    f.portName = port;
    return f;
}

TEST(AppSettings, OpensOnTheStoredKind) {
    struct Case {
        const char* port;
        int checked;  // radio index
        bool usbMessage;
    } cases[] = {
        {"COM1", 0, false},
        {"\\\\.\\COM15", 0, false},
        {"LPT2", 1, false},
        {"192.168.0.10", 3, false},
        // No USB printer can be found yet: the dialog says so and falls back.
        {"\\\\?\\usb#vid_7a31&pid_0006#0001", 0, true},
    };
    const std::vector<int> radios = {IDC_KIND_COM, IDC_KIND_LPT, IDC_KIND_USB, IDC_KIND_ETHERNET};
    for (const Case& c : cases) {
        MessageBoxCloser closer;
        int checked = -1;
        bool portListVisible = false;
        SettingsScript dialog({[&](auto& d) {
                                  checked = CheckedRadio(d.Handle(), radios);
                                  // The dialog itself is shown only once its queue is idle.
                                  portListVisible = (::GetWindowLongA(d.Item(IDC_PORT_LIST),
                                                                      GWL_STYLE) &
                                                     WS_VISIBLE) != 0;
                                  Click(d.Handle(), IDC_SETTINGS_CANCEL);
                              }},
                              Stored(c.port), 200);
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << c.port;
        EXPECT_EQ(checked, c.checked) << c.port;
        EXPECT_EQ(portListVisible, c.checked != 3) << c.port;
        const std::vector<std::string> expected =
            c.usbMessage ? std::vector<std::string>{"Not Connect USB Printer"}
                         : std::vector<std::string>{};
        EXPECT_EQ(MessageBoxCloser::texts(), expected) << c.port;
    }
}

TEST(AppSettings, SerialOnlyFamilyOffersOnlyCom) {
    for (int32_t type : {350, 200}) {
        std::vector<bool> enabled;
        SettingsScript dialog({[&](auto& d) {
                                  for (int id : {IDC_KIND_COM, IDC_KIND_LPT, IDC_KIND_USB,
                                                 IDC_KIND_ETHERNET}) {
                                      enabled.push_back(::IsWindowEnabled(d.Item(id)) != FALSE);
                                  }
                                  Click(d.Handle(), IDC_SETTINGS_CANCEL);
                              }},
                              Stored("COM1"), type);
        dialog.DoModal();
        const bool others = type != 350;
        EXPECT_EQ(enabled, (std::vector<bool>{true, others, others, others})) << type;
    }
}

TEST(AppSettings, ConfirmingWritesWhatTheControlsShow) {
    struct Case {
        const char* name;
        std::vector<SettingsScript::Step> steps;
        SettingsFields expected;
    };
    auto ok = [](auto& d) { Click(d.Handle(), IDC_SETTINGS_OK); };
    auto choose = [](int id, int row) {
        return [=](auto& d) { SelectComboRow(d.Item(id), row); };
    };
    const Case cases[] = {
        {"com untouched", {ok}, {"COM1", 9600, 8, 0, 0, 0, 1}},
        {"com rows",
         {choose(IDC_PORT_LIST, 14), choose(IDC_BAUD_LIST, 6), choose(IDC_PARITY_LIST, 2),
          choose(IDC_HANDSHAKE_LIST, 1), ok},
         {"\\\\.\\COM15", 115200, 8, 0, 2, 1, 1}},
        {"lpt", {[](auto& d) { Click(d.Handle(), IDC_KIND_LPT); }, ok},
         {"LPT1", 0, 0, -1, 0, -1, 1}},
        {"ethernet",
         {[](auto& d) { Click(d.Handle(), IDC_KIND_ETHERNET); },
          [](auto& d) {
              ::SendMessageA(d.Item(IDC_IP_ADDRESS), IPM_SETADDRESS, 0,
                             MAKEIPADDRESS(10, 0, 0, 7));
              ::SetWindowTextA(d.Item(IDC_TCP_PORT), "9100");
          },
          ok},
         {"10.0.0.7", 9100, 8, 0, 0, 0, 1}},
        // A port text longer than any fixed buffer is read whole, not cut to
        // a prefix that reads as another port.
        {"ethernet long port text",
         {[](auto& d) { Click(d.Handle(), IDC_KIND_ETHERNET); },
          [](auto& d) {
              ::SendMessageA(d.Item(IDC_IP_ADDRESS), IPM_SETADDRESS, 0,
                             MAKEIPADDRESS(127, 0, 0, 1));
              ::SetWindowTextA(d.Item(IDC_TCP_PORT), (std::string(40, '0') + "9100").c_str());
          },
          ok},
         {"127.0.0.1", 9100, 8, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SettingsScript dialog(c.steps, Stored("COM1"), 200);
        EXPECT_EQ(dialog.DoModal(), IDOK) << c.name;
        const SettingsFields& f = dialog.Fields();
        EXPECT_EQ(f.portName, c.expected.portName) << c.name;
        EXPECT_EQ(f.baudRate, c.expected.baudRate) << c.name;
        EXPECT_EQ(f.dataBits, c.expected.dataBits) << c.name;
        EXPECT_EQ(f.stopBits, c.expected.stopBits) << c.name;
        EXPECT_EQ(f.parity, c.expected.parity) << c.name;
        EXPECT_EQ(f.handshake, c.expected.handshake) << c.name;
        EXPECT_EQ(f.transferMode, 1) << c.name;
    }
}

TEST(AppSettings, RefusalsKeepTheStoredSettings) {
    // A port name typed into the list ends the dialog as cancelled.
    {
        MessageBoxCloser closer;
        SettingsScript dialog({[](auto& d) {
                                   HWND list = d.Item(IDC_PORT_LIST);
                                   SelectComboRow(list, -1);
                                   ::SetWindowTextA(list, "COM7");
                               },
                               [](auto& d) { Click(d.Handle(), IDC_SETTINGS_OK); }},
                              Stored("LPT3"), 200);
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_EQ(MessageBoxCloser::texts(), std::vector<std::string>{"Invalid Port Name!"});
    }
    // A TCP port out of range, and addresses that cannot be a printer (the
    // empty control among them), are refused and the dialog stays open.
    const std::pair<const char*, DWORD> refused[] = {{"70000", MAKEIPADDRESS(10, 0, 0, 7)},
                                                     {"9100", 0},
                                                     {"9100", MAKEIPADDRESS(255, 255, 255, 255)},
                                                     {"9100", MAKEIPADDRESS(224, 0, 0, 251)}};
    for (const auto& refusal : refused) {
        const char* port = refusal.first;
        const DWORD address = refusal.second;
        MessageBoxCloser closer;
        bool stillOpen = false;
        SettingsScript dialog({[](auto& d) { Click(d.Handle(), IDC_KIND_ETHERNET); },
                               [&](auto& d) {
                                   if (address != 0)
                                       ::SendMessageA(d.Item(IDC_IP_ADDRESS), IPM_SETADDRESS, 0,
                                                      address);
                                   ::SetWindowTextA(d.Item(IDC_TCP_PORT), port);
                                   Click(d.Handle(), IDC_SETTINGS_OK);
                               },
                               [&](auto& d) {
                                   stillOpen = ::IsWindow(d.Handle()) != FALSE;
                                   Click(d.Handle(), IDC_SETTINGS_CANCEL);
                               }},
                              Stored("COM1"), 200);
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_TRUE(stillOpen);
        ASSERT_EQ(MessageBoxCloser::texts().size(), 1u);
        EXPECT_EQ(MessageBoxCloser::texts()[0], address == MAKEIPADDRESS(10, 0, 0, 7)
                                                    ? kInvalidTcpPortMessage
                                                    : kUnusableAddressMessage);
        EXPECT_EQ(dialog.Fields().portName, "COM1");
    }
}

TEST(AppSettings, EnterAndEscapeDoNotCloseIt) {
    SettingsScript dialog({[](auto& d) {
                               // With the focus on OK, an unfiltered Enter would press it.
                               ::SetFocus(d.Item(IDC_SETTINGS_OK));
                               ::PostMessageA(d.Item(IDC_SETTINGS_OK), WM_KEYDOWN, VK_RETURN, 0);
                               ::PostMessageA(d.Item(IDC_SETTINGS_OK), WM_KEYDOWN, VK_ESCAPE, 0);
                           },
                           [](auto&) {},
                           [](auto& d) { Click(d.Handle(), IDC_SETTINGS_CANCEL); }},
                          Stored("COM1"), 200);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

// ---- LED notice ------------------------------------------------------------

TEST(AppLedNotice, ClosesWithItsButtonOrEscape) {
    Scripted<CLedWarningDialog> ok({[](auto& d) { Click(d.Handle(), IDC_LED_OK); }});
    EXPECT_EQ(ok.DoModal(), IDOK);
    Scripted<CLedWarningDialog> escape({[](auto& d) {
        ::SendMessageA(d.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }});
    EXPECT_EQ(escape.DoModal(), IDCANCEL);
}

// ---- owner-drawn buttons ---------------------------------------------------

constexpr COLORREF kBlack = RGB(0, 0, 0), kRed = RGB(255, 0, 0), kGrey = RGB(192, 192, 192);
constexpr COLORREF kCaption = RGB(40, 40, 40), kDisabledCaption = RGB(129, 129, 129);

// What a button draws for one state, read back from a bitmap of face size.
struct Drawn {
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * 108 + x)]; }
    // The box around every pixel in `colour`; left is -1 when there is none.
    RECT Box(COLORREF colour) const {
        RECT box{-1, -1, -1, -1};
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 108; ++x) {
                if (At(x, y) != colour) continue;
                if (box.left < 0) box = {x, y, x, y};
                box = {std::min<LONG>(box.left, x), box.top, std::max<LONG>(box.right, x), y};
            }
        }
        return box;
    }
};

Drawn DrawState(HWND control, UINT state) {
    WindowDc screen(control);
    MemoryDc memory(screen.Get());
    Bitmap bitmap(::CreateCompatibleBitmap(screen.Get(), 108, 22));
    SelectedObject use(memory.Get(), bitmap.Get());
    RECT all{0, 0, 108, 22};
    ::FillRect(memory.Get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(::GetDlgCtrlID(control)), 0,
                        ODA_DRAWENTIRE, state, control, memory.Get(), all, 0};
    ::SendMessageA(control, kReflectedDrawItem, 0, reinterpret_cast<LPARAM>(&item));
    Drawn drawn;
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 108; ++x) drawn.pixels.push_back(::GetPixel(memory.Get(), x, y));
    }
    return drawn;
}

// The LED notice's own button (its faces, caption at (42, 3)), then buttons
// made here with faces missing. Keys and the mouse: the e2e scenarios.
TEST(AppImageButton, EachStateDrawsItsFaceAndCaptionColour) {
    constexpr COLORREF kFrame = CLR_INVALID;  // no face: the push-button frame
    struct Case {
        const char* name;
        int normalFace, pressedFace, disabledFace;  // all 0: the LED notice's own button
        int x, y;                                   // caption origin
        UINT state;
        COLORREF face, caption;
    } cases[] = {
        {"up", 0, 0, 0, 42, 3, 0, kBlack, kCaption},
        {"held", 0, 0, 0, 42, 3, ODS_SELECTED, kRed, kCaption},
        {"disabled", 0, 0, 0, 42, 3, ODS_DISABLED, kGrey, kDisabledCaption},
        {"focused", 0, 0, 0, 42, 3, ODS_FOCUS, kBlack, kCaption},
        {"normal face only, held", IDB_BUTTON_NORMAL, 0, 0, -1, -1, ODS_SELECTED, kBlack, kCaption},
        {"normal face only, disabled", IDB_BUTTON_NORMAL, 0, 0, -1, 3, ODS_DISABLED, kBlack,
         kDisabledCaption},
        // A missing pressed face must not lend its place to the disabled one.
        {"no pressed face, held", IDB_BUTTON_NORMAL, 0, IDB_BUTTON_DISABLED, 42, 3, ODS_SELECTED,
         kBlack, kCaption},
        {"no pressed face, disabled", IDB_BUTTON_NORMAL, 0, IDB_BUTTON_DISABLED, 42, 3,
         ODS_DISABLED, kGrey, kDisabledCaption},
        {"no normal face", 9999, IDB_BUTTON_PRESSED, IDB_BUTTON_DISABLED, -1, -1, ODS_DISABLED,
         kFrame, kBlack},
    };
    for (const Case& c : cases) {
        Drawn drawn;
        RECT size{};
        Scripted<CLedWarningDialog> dialog({[&](auto& d) {
            HWND control = d.Item(IDC_LED_OK);
            CImageButton button;
            if (c.normalFace != 0) {
                // A control of an odd size, made a button here.
                ::CreateWindowA("Button", "", WS_CHILD | BS_OWNERDRAW, 5, 5, 60, 30, d.Handle(),
                                reinterpret_cast<HMENU>(4242), nullptr, nullptr);
                button.SetBitmaps(c.normalFace, c.pressedFace, c.disabledFace);
                button.SetCaption("OK");
                button.SetCaptionFont("Arial", 15);
                button.SetTextOrigin(c.x, c.y);
                button.SetTextColors(kCaption, kDisabledCaption);
                ASSERT_TRUE(button.Subclass(d.Handle(), 4242));
                control = button.Handle();
            }
            drawn = DrawState(control, c.state);
            ::GetWindowRect(control, &size);
        }});
        dialog.DoModal();
        ASSERT_EQ(drawn.pixels.size(), 108u * 22u) << c.name;
        const RECT caption = drawn.Box(c.caption);
        ASSERT_GE(caption.left, 0) << c.name << ": no caption pixel";
        if (c.face == kFrame) {
            EXPECT_EQ(drawn.At(3, 10), ::GetSysColor(COLOR_BTNFACE)) << c.name;
            int middle = 0;  // black caption pixels, away from the frame's edges
            for (int x = 30; x < 78; ++x) middle += drawn.At(x, 11) == kBlack;
            EXPECT_GT(middle, 0) << c.name;
            continue;
        }
        EXPECT_EQ(drawn.At(0, 0), RGB(255, 255, 255)) << c.name;
        EXPECT_EQ(drawn.At(1, 1), c.face) << c.name;
        EXPECT_EQ(drawn.At(5, 10), c.face) << c.name;
        EXPECT_EQ(drawn.At(54, 1), c.face) << c.name;
        if (c.x >= 0 && c.y >= 0) {
            EXPECT_GE(caption.left, c.x) << c.name;
            EXPECT_LE(caption.left, c.x + 3) << c.name;
            EXPECT_GE(caption.top, c.y) << c.name;
            EXPECT_LE(caption.top, c.y + 5) << c.name;
        } else {
            EXPECT_NEAR((caption.left + caption.right) / 2, 54, 3) << c.name;
            EXPECT_NEAR((caption.top + caption.bottom) / 2, 11, 3) << c.name;
        }
        EXPECT_EQ(size.right - size.left, 108) << c.name;  // whatever the template said
        EXPECT_EQ(size.bottom - size.top, 22) << c.name;
    }
}

TEST(AppSettings, OwnerDrawnButtonsColoursAndClosing) {
    RECT ok{}, cancel{};
    int unnamed = 0;
    COLORREF radioText = 0, unnamedText = 0, namedText = 0;
    SettingsScript dialog(
        {[&](auto& d) {
             ::ShowWindow(d.Handle(), SW_SHOW);
             ::UpdateWindow(d.Handle());
         },
         [&](auto& d) {
             ::GetWindowRect(d.Item(IDC_SETTINGS_OK), &ok);
             ::GetWindowRect(d.Item(IDC_SETTINGS_CANCEL), &cancel);
             HWND label = nullptr;
             for (HWND c = ::GetWindow(d.Handle(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
                 if (::GetDlgCtrlID(c) == IDC_STATIC && ++unnamed == 1) label = c;
             }
             // The colours the dialog hands a control that asks.
             WindowDc screen(d.Handle());
             MemoryDc dc(screen.Get());
             auto textFor = [&](HWND control) {
                 ::SendMessageA(d.Handle(), WM_CTLCOLORSTATIC,
                                reinterpret_cast<WPARAM>(dc.Get()),
                                reinterpret_cast<LPARAM>(control));
                 return ::GetTextColor(dc.Get());
             };
             radioText = textFor(d.Item(IDC_KIND_ETHERNET));
             unnamedText = label ? textFor(label) : 0;
             namedText = textFor(d.Item(IDC_PORT_LABEL));
         },
         // Alt+F4 closes it as Cancel (Escape does not: EnterAndEscapeDoNotCloseIt).
         [](auto& d) {
             HWND focus = ::GetFocus() ? ::GetFocus() : d.Handle();
             ::PostMessageA(focus, WM_SYSKEYDOWN, VK_F4, 1 | (LPARAM{1} << 29));
         },
         [](auto&) {}, [](auto&) {}},
        Stored("COM1"), 200);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    for (const RECT& r : {ok, cancel}) {
        EXPECT_EQ(r.right - r.left, 108);
        EXPECT_EQ(r.bottom - r.top, 22);
    }
    // The template's places at this dialog font: OK reaches 2 pixels into
    // Cancel, as it does on Windows.
    EXPECT_EQ(ok.right - cancel.left, 2);
    EXPECT_EQ(unnamed, 5);  // four labels and the large group box
    EXPECT_EQ(radioText, RGB(100, 0, 0));
    EXPECT_EQ(unnamedText, RGB(100, 0, 0));
    EXPECT_EQ(namedText, RGB(80, 80, 80));
}

}  // namespace
}  // namespace kestrel
