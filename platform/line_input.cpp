#include "platform/line_input.hpp"

#include <string>

namespace platform {

bool StreamLineInput::read_line() {
  std::string line;
  return static_cast<bool>(std::getline(in_, line));
}

}  // namespace platform
