#include "sim/sign_emulator.hpp"

namespace sim {
namespace {

constexpr int kEnterLine = 0;
constexpr int kForwardLine = 2;
constexpr int kBackLine = 4;
constexpr int kFinishLine = 6;

}  // namespace

char SignEmulator::RingChar(int index) { return static_cast<char>(32 + (index + 33) % kRingSize); }

void SignEmulator::on_report(iow::TimePoint time, std::span<const std::uint8_t> report) {
  // Only the pin report (ID 0) with both port bytes drives the lines.
  if (report.size() < 3 || report[0] != 0x00) return;
  const std::uint8_t lines = report[2];
  for (const int line : {kEnterLine, kForwardLine, kBackLine, kFinishLine}) {
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << line);
    const bool was_low = (lines_ & bit) == 0;
    const bool is_low = (lines & bit) == 0;
    if (!was_low && is_low) pressed_at_[static_cast<std::size_t>(line)] = time;
    if (was_low && !is_low) key_released(line, time - pressed_at_[static_cast<std::size_t>(line)]);
  }
  lines_ = lines;
}

void SignEmulator::key_released(int line, iow::Duration held) {
  if (held < kDebounce) return;
  ++presses_;
  if (line == kEnterLine && held >= kLongPress) {
    entering_ = true;
    entered_.clear();
    selected_ = 0;
    return;
  }
  if (!entering_) return;
  switch (line) {
    case kEnterLine:
      entered_ += RingChar(selected_);
      break;
    case kForwardLine:
      selected_ = (selected_ + 1) % kRingSize;
      break;
    case kBackLine:
      selected_ = (selected_ + kRingSize - 1) % kRingSize;
      break;
    case kFinishLine:
      entering_ = false;
      shown_ = entered_;
      if (finished_) finished_(shown_);
      break;
    default:
      break;
  }
}

}  // namespace sim
