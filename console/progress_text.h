// The words and JSON lines kestrelc prints about a download. Kept apart from
// the console so that what a script parses is fixed by tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

// "  131072/262148 bytes  50%  25.6 KB/s  0:05 left"; rate and time left
// only once some time has passed.
std::string SendingLine(const std::string& port, uint64_t sent, uint64_t total, uint64_t elapsedMs);
std::string ClosingLine(const std::string& port, double leftSeconds);

std::string JsonProgress(const std::string& port, uint64_t sent, uint64_t total);
std::string JsonClosing(const std::string& port, double leftSeconds);
// `message` is the program's message on failure, absent on success.
std::string JsonDone(const std::string& port, int exitCode,
                     const std::optional<std::string>& message);

// A JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// Seconds of closing wait left once the progress value has reached `progress`.
double ClosingSecondsLeft(int32_t progress);

} // namespace kestrel
