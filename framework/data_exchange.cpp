#include "framework/data_exchange.h"

#include "framework/number_text.h"
#include "framework/message_box.h"

namespace kestrel {

void ResetCombo(HWND combo) { ::SendMessageA(combo, CB_RESETCONTENT, 0, 0); }

void AddComboRow(HWND combo, const std::string& row) {
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
}

void AddComboRows(HWND combo, const std::vector<std::string>& rows) {
    for (const std::string& row : rows) AddComboRow(combo, row);
}

void SelectComboRow(HWND combo, int row) {
    ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

int ComboSelection(HWND combo) {
    const LRESULT row = ::SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return row == CB_ERR ? -1 : static_cast<int>(row);
}

int ComboRowCount(HWND combo) {
    const LRESULT count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

std::string ComboRowText(HWND combo, int row) {
    if (row < 0) return {};
    const LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length == CB_ERR) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT copied = ::SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(row),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

int CheckedRadio(HWND dialog, const std::vector<int>& ids) {
    for (size_t i = 0; i < ids.size(); ++i) {
        if (::IsDlgButtonChecked(dialog, ids[i]) == BST_CHECKED) return static_cast<int>(i);
    }
    return -1;
}

void CheckRadio(HWND dialog, const std::vector<int>& ids, int index) {
    for (size_t i = 0; i < ids.size(); ++i) {
        ::CheckDlgButton(dialog, ids[i],
                         static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED);
    }
}

std::optional<uint32_t> ReadUnsignedField(HWND dialog, int id, uint32_t maximum,
                                          const std::string& refusal) {
    // Read whole, however long: a cut text could read as another number.
    std::string text;
    if (HWND field = ::GetDlgItem(dialog, id)) {
        text.resize(static_cast<size_t>(::GetWindowTextLengthA(field)) + 1);
        text.resize(static_cast<size_t>(
            ::GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
    }
    const std::optional<uint32_t> value = ParseUnsignedText(text, maximum);
    if (!value) {
        ShowProgramMessage(dialog, refusal);
        if (HWND field = ::GetDlgItem(dialog, id)) {
            ::SetFocus(field);
            ::SendMessageA(field, EM_SETSEL, 0, -1);
        }
    }
    return value;
}

void WriteUnsignedField(HWND dialog, int id, uint32_t value) {
    ::SetDlgItemTextA(dialog, id, std::to_string(value).c_str());
}

}  // namespace kestrel
