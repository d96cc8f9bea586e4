#include "tests/e2e/pilot/step_script.h"

namespace e2e {
namespace {

// Splits one line into words; returns false with a reason on an
// unterminated quote.
bool SplitLine(std::string_view line, std::vector<std::string>& words, std::string& reason) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        std::string word;
        if (c == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char q = line[i];
                if (q == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (q == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    word += line[i + 1];
                    i += 2;
                    continue;
                }
                word += q;
                ++i;
            }
            if (!closed) {
                reason = "unterminated quote";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
        }
        words.push_back(std::move(word));
    }
    return true;
}

} // namespace

Step StepFromWords(const std::vector<std::string>& words, int line) {
    Step step;
    step.line = line;
    if (words.empty())
        return step;
    step.verb = words.front();
    step.args.assign(words.begin() + 1, words.end());
    return step;
}

ParsedScript ParseStepScript(std::string_view text) {
    ParsedScript out;
    int lineNo = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        ++lineNo;
        std::vector<std::string> words;
        std::string reason;
        if (!SplitLine(text.substr(start, end - start), words, reason))
            out.errors.push_back({lineNo, reason});
        else if (!words.empty())
            out.steps.push_back(StepFromWords(words, lineNo));
        if (end == text.size())
            break;
        start = end + 1;
    }
    return out;
}

} // namespace e2e
