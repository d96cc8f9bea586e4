#include "framework/number_text.h"

namespace kestrel {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<uint32_t> ParseUnsignedText(std::string_view text, uint32_t maximum) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size() || !IsDigit(text[i])) return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > maximum) return std::nullopt;
    }
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size()) return std::nullopt;
    return static_cast<uint32_t>(value);
}

int32_t LeadingNumber(std::string_view text) {
    int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value * 10 + (c - '0');
        // The rows are the dialog's own; clamping only keeps a wild row from
        // overflowing.
        if (value > INT32_MAX) return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

}  // namespace kestrel
