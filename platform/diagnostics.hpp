#pragma once
// The one way the program reports diagnostics to whoever runs it.

#include <string_view>

namespace platform {

// Writes one line of diagnostics (UTF-8) for the user or developer; never fails.
void Diagnostic(std::string_view line);

}  // namespace platform
