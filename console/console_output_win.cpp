#include "console/console_output_win.h"

#include "console/console_interrupt_win.h"

namespace kestrel {

CConsoleOutput::CConsoleOutput() : out_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    DWORD mode = 0;
    console_ = out_ != nullptr && out_ != INVALID_HANDLE_VALUE && GetConsoleMode(out_, &mode);
}

void CConsoleOutput::Write(const std::string& text) {
    DWORD written = 0;
    if (out_ != nullptr && out_ != INVALID_HANDLE_VALUE)
        WriteFile(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void CConsoleOutput::Line(const std::string& text) {
    if (statusWidth_ > 0)
        Write("\r\n");
    statusWidth_ = 0;
    Write(text + "\r\n");
}

void CConsoleOutput::Status(const std::string& text) {
    if (!console_) {
        Write(text + "\r\n");
        return;
    }
    std::string line = "\r" + text;
    // Blank out what a longer earlier line left behind.
    if (text.size() < statusWidth_)
        line.append(statusWidth_ - text.size(), ' ');
    statusWidth_ = text.size();
    Write(line);
}

bool CConsoleOutput::Interrupted() const {
    return kestrel::Interrupted();
}

uint64_t CConsoleOutput::FileSize(const std::string& path) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void CConsoleOutput::Error(const std::string& text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    const std::string line = text + "\r\n";
    if (err != nullptr && err != INVALID_HANDLE_VALUE)
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace kestrel
