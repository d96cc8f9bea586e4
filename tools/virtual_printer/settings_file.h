// The latest line settings as one line of text. Rewritten by rename so that
// a reader never sees half a line, and only when the settings change.
#pragma once

#include <string>

namespace kestrel::vprinter {

class SettingsFile {
  public:
    explicit SettingsFile(std::string path) : path_(std::move(path)) {}

    // Writes `line` unless it is what the file already says.
    bool Update(const std::string& line, std::string& error);

  private:
    std::string path_;
    std::string written_;
    bool any_ = false;
};

} // namespace kestrel::vprinter
