#include "tools/virtual_printer/printer_options.h"

#include "tools/virtual_printer/hex_bytes.h"
#include "tools/virtual_printer/number_text.h"

#include <limits>

namespace kestrel::vprinter {

const char* PrinterUsage() {
    return "usage: virtual_printer [options]\n"
           "  --record FILE               append every byte received to FILE\n"
           "  --settings FILE             keep the host's line settings in FILE\n"
           "  --control PATH              make a FIFO at PATH that takes commands\n"
           "  --link PATH                 symlink PATH to the host's end of the line\n"
           "  --chunks PATH               make a FIFO at PATH for the chunk command\n"
           "  --tcp PORT                  be a network printer on 127.0.0.1:PORT (0: any)\n"
           "  --receive-buffer BYTES      TCP: keep the connection's receive buffer small\n"
           "  --rate BPS|line             read at most BPS bytes per second, or as fast as\n"
           "                              the host's baud rate carries them (8N1)\n"
           "  --stop-reading-after N      stop reading after N bytes (0: at once)\n"
           "  --drop-after N              hang up after N bytes (0: at once)\n"
           "  --send-at MS:HEX            send HEX bytes MS milliseconds after start\n"
           "  --idle-exit SECONDS         exit after SECONDS without traffic\n"
           "Prints 'PTY <path>' (or 'TCP 127.0.0.1:<port>') on stdout when ready.\n"
           "Commands: send HEX | chunk HEX | stop-reading | resume-reading | drop |\n"
           "          rate BPS|line | unplug | plug | quit\n";
}

namespace {

constexpr std::uint64_t kAnyCount = std::numeric_limits<std::uint64_t>::max();

OptionsParse Fail(std::string message) {
    return {std::nullopt, std::move(message)};
}

} // namespace

OptionsParse ParsePrinterOptions(const std::vector<std::string_view>& args) {
    PrinterOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inlineValue;
        if (const std::size_t eq = name.find('='); name.starts_with("--") && eq != name.npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        auto text = [&](std::string& field) -> bool {
            const auto v = value();
            if (!v || v->empty())
                return false;
            field = std::string(*v);
            return true;
        };
        auto count = [&](std::optional<std::uint64_t>& field, std::uint64_t max) -> bool {
            const auto v = value();
            const auto n = v ? ParseUnsigned(*v, max) : std::nullopt;
            field = n;
            return n.has_value();
        };
        const std::string bad = "bad or missing value for " + std::string(name);
        if (name == "--record") {
            if (!text(o.recordPath))
                return Fail(bad);
        } else if (name == "--settings") {
            if (!text(o.settingsPath))
                return Fail(bad);
        } else if (name == "--control") {
            if (!text(o.controlPath))
                return Fail(bad);
        } else if (name == "--link") {
            if (!text(o.linkPath))
                return Fail(bad);
        } else if (name == "--chunks") {
            if (!text(o.chunksPath))
                return Fail(bad);
        } else if (name == "--tcp") {
            std::optional<std::uint64_t> port;
            if (!count(port, 65535))
                return Fail(bad);
            o.tcpPort = static_cast<std::uint16_t>(*port);
        } else if (name == "--receive-buffer") {
            if (!count(o.receiveBuffer, 64 * 1024 * 1024) || *o.receiveBuffer == 0)
                return Fail(bad);
        } else if (name == "--rate") {
            const auto v = value();
            if (v && *v == "line") {
                o.rateFromLine = true;
                continue;
            }
            const auto rate = v ? ParseUnsigned(*v, kMaxRate) : std::nullopt;
            if (!rate)
                return Fail(bad);
            o.rate = *rate;
            o.rateFromLine = false;
        } else if (name == "--stop-reading-after") {
            if (!count(o.stopReadingAfter, kAnyCount))
                return Fail(bad);
        } else if (name == "--drop-after") {
            if (!count(o.dropAfter, kAnyCount))
                return Fail(bad);
        } else if (name == "--idle-exit") {
            const auto v = value();
            o.idleExit = v ? ParseSeconds(*v) : std::nullopt;
            if (!o.idleExit || o.idleExit->count() == 0)
                return Fail(bad);
        } else if (name == "--send-at") {
            const auto v = value();
            const std::size_t colon = v ? v->find(':') : std::string_view::npos;
            if (colon == std::string_view::npos)
                return Fail(bad + " (want MS:HEX)");
            // A day, in milliseconds.
            const auto at = ParseUnsigned(v->substr(0, colon), 86'400'000);
            if (!at)
                return Fail(bad + " (want MS:HEX)");
            HexParse hex = ParseHexBytes(v->substr(colon + 1));
            if (!hex.bytes)
                return Fail(bad + ": " + hex.error);
            o.sends.push_back({std::chrono::milliseconds(*at), std::move(*hex.bytes)});
        } else {
            return Fail("unknown option " + std::string(args[i]));
        }
    }
    if (o.tcpPort && !o.linkPath.empty())
        return Fail("--link names a pty; a network printer has none");
    if (o.receiveBuffer && !o.tcpPort)
        return Fail("--receive-buffer is for a network printer (--tcp)");
    return {std::move(o), {}};
}

} // namespace kestrel::vprinter
