// The symlink through which the host finds the printer's line (--link). A
// USB printer can be pulled and plugged in again: the link goes and comes
// back, and the host's next open fails or works accordingly.
#pragma once

#include <string>

namespace kestrel::vprinter {

class HostLink {
  public:
    ~HostLink() { Unplug(); }
    bool Make(const std::string& link, const std::string& target, std::string& error);
    bool Made() const { return !link_.empty(); }
    // Removes the link, and only if it is still ours.
    void Unplug();
    // Makes it again after Unplug.
    bool Plug(std::string& error);

  private:
    std::string link_;
    std::string target_;
};

} // namespace kestrel::vprinter
