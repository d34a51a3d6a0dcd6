#pragma once
// Windows error codes as text for diagnostics.

#include <windows.h>

#include <string>

namespace platform::windows {

// "text (code)" for `code`, the system's own wording in one line.
std::string ErrorText(DWORD code);

// ErrorText of GetLastError().
inline std::string LastErrorText() { return ErrorText(GetLastError()); }

}  // namespace platform::windows
