#include "tools/virtual_printer/number_text.h"

#include <charconv>

namespace kestrel::vprinter {

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text) {
    const std::size_t dot = text.find('.');
    // A day is more than any test should wait.
    const auto whole = ParseUnsigned(text.substr(0, dot), 86'400);
    if (!whole)
        return std::nullopt;
    std::uint64_t ms = *whole * 1000;
    if (dot != std::string_view::npos) {
        const std::string_view frac = text.substr(dot + 1);
        if (frac.empty() || frac.size() > 3 || !ParseUnsigned(frac, 999))
            return std::nullopt;
        std::uint64_t scaled = *ParseUnsigned(frac, 999);
        for (std::size_t i = frac.size(); i < 3; ++i)
            scaled *= 10;
        ms += scaled;
    }
    return std::chrono::milliseconds(ms);
}

} // namespace kestrel::vprinter
