#include "sim/event_log.hpp"

#include <array>
#include <cstdio>

namespace sim {

void EventLog::record(std::string_view event, std::string_view args) {
  if (detail_ == Detail::kBrief && event != "sign" && event != "message" && event != "exit") return;
  const double ms = std::chrono::duration<double, std::milli>(clock_.now().time_since_epoch()).count();
  std::array<char, 32> time{};
  std::snprintf(time.data(), time.size(), "%.3f", ms);
  out_ << time.data() << ' ' << event;
  if (!args.empty()) out_ << ' ' << args;
  out_ << '\n';
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    std::array<char, 4> digits{};
    std::snprintf(digits.data(), digits.size(), "%02X", byte);
    if (!text.empty()) text += ' ';
    text += digits.data();
  }
  return text;
}

}  // namespace sim
