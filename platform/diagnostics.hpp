#pragma once
// The one way the program reports diagnostics to whoever runs it.

#include <string_view>

namespace platform {

// Writes one line of diagnostics (UTF-8) for the user or developer; never fails.
void Diagnostic(std::string_view line);

// Writes `text` (UTF-8) to standard output, for a report a person reads: a Windows
// console gets it as UTF-16, a file, a pipe and any other system the bytes as they are.
void WriteOutput(std::string_view text);

}  // namespace platform
