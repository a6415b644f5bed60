#pragma once
// `taktwerk info FILE.rtm [--json]`: what a rhythm file holds, loaded exactly as the window
// loads it on top of the start-up state. Main thread of the command line.

#include "rhythms/Rhythm.h"

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace taktwerk::cli {

// `args` are the words after "info". Returns the process's exit code: 0, or 2 for a usage
// error or a file that cannot be read (one line on `err`).
int runInfo(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

// The rhythm as one JSON object on one line (UTF-8, no trailing newline).
std::string rhythmJson(const rhythms::Rhythm& rhythm);

// `text` as a JSON string literal, quotes included. Bytes that are not valid UTF-8 become
// U+FFFD, so the output is always valid JSON.
std::string jsonString(std::string_view text);

}  // namespace taktwerk::cli
