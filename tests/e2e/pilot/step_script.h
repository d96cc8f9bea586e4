// A scenario is data: one step per line, a verb and its arguments, so that
// a new scenario needs no rebuild. Parsing is kept free of Windows so that
// it can be checked on its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace e2e {

struct Step {
    int line = 0;                  // 1-based line in the script, for messages
    std::string verb;              // lower case as written
    std::vector<std::string> args; // quotes removed, escapes resolved
};

struct ScriptError {
    int line = 0;
    std::string reason;
};

struct ParsedScript {
    std::vector<Step> steps;
    std::vector<ScriptError> errors;
};

// Words are separated by blanks; "double quoted" words may hold blanks and
// the escapes \" and \\ (any other backslash is kept as written, so Windows
// paths need no doubling). '#' outside quotes starts a comment.
ParsedScript ParseStepScript(std::string_view text);

// One step from command-line words (already split by the shell).
Step StepFromWords(const std::vector<std::string>& words, int line);

} // namespace e2e
