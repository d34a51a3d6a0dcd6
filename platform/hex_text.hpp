#pragma once
// Numbers as the diagnostics and logs write them: hexadecimal with "0x".

#include <string>

namespace platform {

// "0x" and at least `digits` upper-case hex digits: Hex(0x295) is "0x295", Hex(13, 2) "0x0D".
std::string Hex(unsigned value, int digits = 1);

}  // namespace platform
