#include "tools/virtual_printer/control_command.h"

#include "tools/virtual_printer/hex_bytes.h"
#include "tools/virtual_printer/number_text.h"

namespace kestrel::vprinter {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

ControlParse ParseControlLine(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == '#')
        return {};
    const std::size_t space = line.find_first_of(" \t");
    const std::string_view verb = line.substr(0, space);
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space));
    auto bare = [&](ControlAction action) -> ControlParse {
        if (!rest.empty())
            return {std::nullopt, std::string(verb) + " takes no argument"};
        return {ControlCommand{action, {}, 0, false}, {}};
    };
    if (verb == "send" || verb == "chunk") {
        HexParse hex = ParseHexBytes(rest);
        if (!hex.bytes)
            return {std::nullopt, std::string(verb) + ": " + hex.error};
        const ControlAction action = verb == "send" ? ControlAction::Send : ControlAction::Chunk;
        return {ControlCommand{action, std::move(*hex.bytes), 0, false}, {}};
    }
    if (verb == "rate") {
        if (rest == "line")
            return {ControlCommand{ControlAction::SetRate, {}, 0, true}, {}};
        const auto rate = ParseUnsigned(rest, kMaxRate);
        if (!rate)
            return {std::nullopt, "rate: not a byte rate: '" + std::string(rest) + "'"};
        return {ControlCommand{ControlAction::SetRate, {}, *rate, false}, {}};
    }
    if (verb == "stop-reading")
        return bare(ControlAction::StopReading);
    if (verb == "resume-reading")
        return bare(ControlAction::ResumeReading);
    if (verb == "drop")
        return bare(ControlAction::Drop);
    if (verb == "unplug")
        return bare(ControlAction::Unplug);
    if (verb == "plug")
        return bare(ControlAction::Plug);
    if (verb == "quit")
        return bare(ControlAction::Quit);
    return {std::nullopt, "unknown command '" + std::string(verb) + "'"};
}

void ControlLineBuffer::Append(std::string_view chunk) {
    for (char c : chunk) {
        if (discarding_) {
            if (c == '\n')
                discarding_ = false;
            continue;
        }
        pending_.push_back(c);
        if (c == '\n') {
            tail_ = 0;
        } else if (++tail_ > kMaxLine) {
            pending_.resize(pending_.size() - tail_);
            tail_ = 0;
            discarding_ = true;
        }
    }
}

std::optional<std::string> ControlLineBuffer::NextLine() {
    const std::size_t nl = pending_.find('\n');
    if (nl == std::string::npos)
        return std::nullopt;
    std::string line = pending_.substr(0, nl);
    pending_.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace kestrel::vprinter
