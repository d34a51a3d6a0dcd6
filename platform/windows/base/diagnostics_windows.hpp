#pragma once
// Where the diagnostics of platform::Diagnostic go beside the debugger's output and
// standard error.

#include <string_view>

namespace platform::windows {

// Hands every later diagnostic line (UTF-8) also to `sink` (null: to nobody more), one
// call at a time. Set it before the program runs: a service sends its lines to the
// event log.
void SendDiagnosticsAlsoTo(void (*sink)(std::string_view line));

}  // namespace platform::windows
