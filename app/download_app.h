// The program object: starts what the whole program needs, runs the main
// window once, and ends.
#pragma once

namespace kestrel {

class CDownloadApp {
public:
    // Returns the process exit code.
    int Run();
};

}  // namespace kestrel
