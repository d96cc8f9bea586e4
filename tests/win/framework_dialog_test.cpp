// The dialog layer under Wine: binding at WM_INITDIALOG, command routing,
// the key filter, and the owners of handles and GDI objects.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "framework/dialog.h"
#include "framework/file_dialog.h"
#include "framework/gdi_object.h"
#include "framework/win_handle.h"
#include "resources/resource.h"

namespace kestrel {
namespace {

// Runs a list of steps inside a dialog's own modal loop, one per posted
// message, so that each step sees the effects of the previous one.
constexpr UINT kStepMessage = WM_APP + 7;

class ScriptedDialog : public CDialog {
public:
    using Step = std::function<void(ScriptedDialog&)>;
    ScriptedDialog(int templateId, std::vector<Step> steps, bool filterKeys = false)
        : CDialog(templateId), steps_(std::move(steps)), filterKeys_(filterKeys) {}

    int initCount = 0;
    std::vector<int> commands;

protected:
    bool OnInitDialog() override {
        ++initCount;
        ::PostMessageA(Handle(), kStepMessage, 0, 0);
        return true;
    }
    bool OnCommand(int id, int code, HWND control) override {
        if (code == BN_CLICKED) commands.push_back(id);
        return CDialog::OnCommand(id, code, control);
    }
    bool OnMessage(UINT message, WPARAM, LPARAM, INT_PTR&) override {
        if (message == kStepMessage + 1) {
            EndDialog(-2);
            return true;
        }
        if (message != kStepMessage) return false;
        if (next_ < steps_.size()) steps_[next_++](*this);
        // A safety net: a dialog the steps did not close ends on its own.
        if (next_ >= steps_.size()) ::PostMessageA(Handle(), kStepMessage + 1, 0, 0);
        else ::PostMessageA(Handle(), kStepMessage, 0, 0);
        return true;
    }
    bool WantsPreTranslate() const override { return filterKeys_; }
    bool PreTranslateMessage(const MSG& msg) override {
        return msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN;
    }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool filterKeys_;
};

void Click(CDialog& dialog, int id) {
    ::SendMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(dialog.Item(id)));
}

TEST(FrameworkDialog, BindsOnceAndEndsWithTheValueGiven) {
    ScriptedDialog dialog(IDD_ABOUTBOX, {[](ScriptedDialog& d) { d.EndDialog(42); }});
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.Handle(), nullptr);  // no dangling window after the run
}

TEST(FrameworkDialog, OkAndCancelEndTheDialog) {
    struct Case {
        int button;
        INT_PTR result;
    } cases[] = {{IDOK, IDOK}, {IDCANCEL, IDCANCEL}};
    for (const Case& c : cases) {
        ScriptedDialog dialog(IDD_ABOUTBOX, {[&](ScriptedDialog& d) { Click(d, c.button); }});
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.commands, std::vector<int>{c.button});
    }
}

TEST(FrameworkDialog, MissingTemplateFailsInsteadOfHanging) {
    ScriptedDialog dialog(9999, {});
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.initCount, 0);
}

TEST(FrameworkDialog, NestedDialogsEachKeepTheirObject) {
    INT_PTR inner = 0;
    ScriptedDialog outer(IDD_ABOUTBOX, {[&](ScriptedDialog& d) {
                                            ScriptedDialog nested(
                                                IDD_ABOUTBOX,
                                                {[](ScriptedDialog& n) { n.EndDialog(7); }});
                                            inner = nested.DoModal(d.Handle());
                                            d.EndDialog(8);
                                        }});
    EXPECT_EQ(outer.DoModal(), 8);
    EXPECT_EQ(inner, 7);
}

// Enter on a focused push button reaches the dialog as that button's command
// unless the dialog's filter takes the key first.
TEST(FrameworkDialog, KeyFilterSeesKeysBeforeTheDialogManager) {
    for (bool filter : {false, true}) {
        ScriptedDialog dialog(
            IDD_ABOUTBOX,
            {[](ScriptedDialog& d) {
                 ::SetFocus(d.Item(IDOK));
                 ::PostMessageA(d.Item(IDOK), WM_KEYDOWN, VK_RETURN, 0);
             },
             [](ScriptedDialog&) {},  // the key is handled between steps
             [](ScriptedDialog& d) { d.EndDialog(99); }},
            filter);
        const INT_PTR result = dialog.DoModal();
        EXPECT_EQ(result, filter ? 99 : IDOK) << "filter " << filter;
    }
}

TEST(FrameworkHandles, EmptyValuesAndDoubleCloseAreSafe) {
    for (HANDLE empty : {HANDLE(nullptr), INVALID_HANDLE_VALUE}) {
        UniqueHandle h(empty);
        EXPECT_FALSE(h);
        h.Close();
        h.Close();
    }
    UniqueHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.Get();
    UniqueHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_EQ(moved.Get(), raw);
    moved.Close();
    EXPECT_FALSE(moved);
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // really closed
}

TEST(FrameworkGdi, SelectedObjectPutsThePreviousOneBack) {
    MemoryDc dc(nullptr);
    ASSERT_NE(dc.Get(), nullptr);
    const HGDIOBJ before = ::GetCurrentObject(dc.Get(), OBJ_PEN);
    Pen pen(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    {
        SelectedObject use(dc.Get(), pen.Get());
        EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), pen.Get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.Get(), OBJ_PEN), before);
    const HPEN raw = pen.Get();
    pen.Reset();
    EXPECT_EQ(::GetObjectType(raw), 0u);  // deleted
}

TEST(FrameworkFileDialog, FilterBecomesNulSeparatedList) {
    EXPECT_EQ(FilterForOpenDialog("Firmware File(*.hex)|*.hex||"),
              std::string("Firmware File(*.hex)\0*.hex\0\0\0\0", 30));
    const std::string bare = FilterForOpenDialog("A|*.a");
    EXPECT_EQ(bare, std::string("A\0*.a\0\0", 7));
}

}  // namespace
}  // namespace kestrel
