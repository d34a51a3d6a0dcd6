#include "platform/hex_text.hpp"

#include <array>
#include <cstdio>

namespace platform {

std::string Hex(unsigned value, int digits) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "0x%0*X", digits, value);
  return text.data();
}

}  // namespace platform
