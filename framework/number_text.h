// Numbers typed or chosen as text in the dialogs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

// A field that must hold an unsigned decimal number: optional blanks around
// the digits, nothing else, at most `maximum`.
std::optional<uint32_t> ParseUnsignedText(std::string_view text, uint32_t maximum);

// The number at the start of a list row ("9600" -> 9600); text that does
// not start with a digit reads as 0, as an empty row does.
int32_t LeadingNumber(std::string_view text);

}  // namespace kestrel
