#include "tests/rig.hpp"

#include <stdexcept>

namespace testing_rig {

std::vector<Press> Presses(const std::vector<sim::WriteRecord>& writes) {
  std::vector<Press> presses;
  double released_at = 0;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto& bytes = writes[i].bytes;
    if (bytes.size() != 3 || bytes[0] != 0x00 || bytes[1] != 0xFF) throw std::logic_error("not a pin report");
    if (bytes[2] == 0xFF) {
      released_at = Ms(writes[i].time);
      continue;
    }
    if (i + 1 >= writes.size() || writes[i + 1].bytes != std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}) {
      throw std::logic_error("a press not followed by a release");
    }
    const double at = Ms(writes[i].time);
    presses.push_back({bytes[2], at, Ms(writes[i + 1].time) - at, at - released_at});
  }
  return presses;
}

std::vector<int> ForwardPressesPerPosition(const std::vector<Press>& presses) {
  std::vector<int> counts;
  int forward = 0;
  for (const Press& press : presses) {
    if (press.line_byte == 0xFB) ++forward;
    if (press.line_byte == 0xFE && press.held_ms < 1000) {
      counts.push_back(forward);
      forward = 0;
    }
  }
  return counts;
}

}  // namespace testing_rig
