#include "console/batch_lines.h"

#include <cstdlib>

namespace kestrel {

std::vector<std::string> ChildArguments(const ConsoleCommand& command, const PortTarget& target) {
    std::vector<std::string> args{"--model", command.modelName, "--port", target.given};
    if (target.kind == PortKind::Serial) {
        static const char* const kParity[] = {"none", "odd", "even"};
        args.insert(args.end(), {"--baud", std::to_string(command.line.baudRate), "--parity",
                                 kParity[command.line.parity % 3], "--handshake",
                                 command.line.handshake == 0 ? "dtr" : "xon"});
    }
    args.push_back("--json");
    // A name that starts with dashes would read as an option.
    args.push_back(command.firmware.rfind("-", 0) == 0 ? ".\\" + command.firmware
                                                       : command.firmware);
    return args;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"')
                line.append(backslashes * 2 + 1, '\\');
            else
                line.append(backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

std::optional<std::string> JsonValue(const std::string& line, const std::string& key) {
    const std::string quoted = "\"" + key + "\":";
    const size_t at = line.find(quoted);
    if (at == std::string::npos)
        return std::nullopt;
    size_t i = at + quoted.size();
    if (i >= line.size())
        return std::nullopt;
    if (line[i] != '"') {
        const size_t end = line.find_first_of(",}", i);
        if (end == std::string::npos)
            return std::nullopt;
        return line.substr(i, end - i);
    }
    std::string value;
    for (++i; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            return value;
        if (c != '\\' || i + 1 >= line.size()) {
            value += c;
            continue;
        }
        const char e = line[++i];
        switch (e) {
        case 'n':
            value += '\n';
            break;
        case 'r':
            value += '\r';
            break;
        case 't':
            value += '\t';
            break;
        case 'u':
            if (i + 4 < line.size()) {
                value += static_cast<char>(std::strtol(line.substr(i + 1, 4).c_str(), nullptr, 16));
                i += 4;
            }
            break;
        default:
            value += e;
        }
    }
    return std::nullopt;
}

std::string ResultLine(const std::string& port, int exitCode,
                       const std::optional<std::string>& message) {
    if (exitCode == 0)
        return port + ": done";
    std::string line = port + ": failed (" + std::to_string(exitCode) + ")";
    if (message) {
        std::string oneLine = *message;
        for (char& c : oneLine)
            if (c == '\n' || c == '\r')
                c = ' ';
        line += ": " + oneLine;
    }
    return line;
}

} // namespace kestrel
