// Explicit moves of values between a dialog's controls and its members:
// drop-down lists, radio groups and unsigned number fields.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel {

// Drop-down list (combo box) access.
void ResetCombo(HWND combo);
void AddComboRows(HWND combo, const std::vector<std::string>& rows);
void AddComboRow(HWND combo, const std::string& row);
void SelectComboRow(HWND combo, int row);
int ComboSelection(HWND combo);  // -1 when no row is chosen
int ComboRowCount(HWND combo);
std::string ComboRowText(HWND combo, int row);  // "" for -1 or a row out of range

// Radio group whose buttons have the ids in `ids`, in group order: the index
// of the checked one, -1 for none; and checking one (and only one).
int CheckedRadio(HWND dialog, const std::vector<int>& ids);
void CheckRadio(HWND dialog, const std::vector<int>& ids, int index);

// An unsigned decimal field. Reading shows `refusal` as the program's message
// and puts the focus on the field when its text is not a number in range.
std::optional<uint32_t> ReadUnsignedField(HWND dialog, int id, uint32_t maximum,
                                          const std::string& refusal);
void WriteUnsignedField(HWND dialog, int id, uint32_t value);

}  // namespace kestrel
