#include "console/progress_text.h"

#include <cstdio>

#include "download/closing_step.h"
#include "download/download_engine.h"

namespace kestrel {

std::string SendingLine(const std::string& port, uint64_t sent, uint64_t total,
                        uint64_t elapsedMs) {
    const unsigned percent = total == 0 ? 0 : static_cast<unsigned>(sent * 100 / total);
    char text[160];
    int n = std::snprintf(text, sizeof text, "%s  %llu/%llu bytes  %3u%%", port.c_str(),
                          static_cast<unsigned long long>(sent),
                          static_cast<unsigned long long>(total), percent);
    if (elapsedMs >= 500 && sent > 0 && n > 0 && static_cast<size_t>(n) < sizeof text) {
        const double rate = static_cast<double>(sent) * 1000.0 / static_cast<double>(elapsedMs);
        const uint64_t leftS =
            static_cast<uint64_t>(static_cast<double>(total - sent) / rate + 0.5);
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n),
                      "  %.1f KB/s  %llu:%02llu left", rate / 1024.0,
                      static_cast<unsigned long long>(leftS / 60),
                      static_cast<unsigned long long>(leftS % 60));
    }
    return text;
}

std::string ClosingLine(const std::string& port, double leftSeconds) {
    char text[160];
    std::snprintf(text, sizeof text, "%s  sent; the printer is writing its flash: %.1f s left",
                  port.c_str(), leftSeconds);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string JsonProgress(const std::string& port, uint64_t sent, uint64_t total) {
    return "{\"event\":\"progress\",\"port\":" + JsonString(port) +
           ",\"sent\":" + std::to_string(sent) + ",\"total\":" + std::to_string(total) + "}";
}

std::string JsonClosing(const std::string& port, double leftSeconds) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", leftSeconds);
    return "{\"event\":\"closing\",\"port\":" + JsonString(port) + ",\"left_s\":" + seconds + "}";
}

std::string JsonDone(const std::string& port, int exitCode,
                     const std::optional<std::string>& message) {
    std::string line = "{\"event\":\"done\",\"port\":" + JsonString(port) +
                       ",\"exit\":" + std::to_string(exitCode);
    if (message)
        line += ",\"message\":" + JsonString(*message);
    return line + "}";
}

double ClosingSecondsLeft(int32_t progress) {
    if (progress >= kProgressFull)
        return 0.0;
    return static_cast<double>(kProgressFull - progress) * ClosingStepMs() / 1000.0;
}

} // namespace kestrel
