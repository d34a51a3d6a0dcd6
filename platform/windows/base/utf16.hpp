#pragma once
// Conversions between the program's UTF-8 texts and the UTF-16 of the Windows API.

#include <string>
#include <string_view>

namespace platform::windows {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view text);

}  // namespace platform::windows
