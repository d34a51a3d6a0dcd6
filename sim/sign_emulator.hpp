#pragma once
// The LED message sign, as far as its four wired keys reach it. It decodes the key
// lines of port 1 from the IO-Warrior's pin reports:
//   line 0 held 1 s or more opens text entry at ring index 0,
//   line 0 held briefly accepts the selected character and moves to the next position,
//   line 2 and line 4 select the next and the previous character of the 96-position ring,
//   line 6 closes text entry and shows the text.
// A key acts when it is released; presses shorter than the sign's debounce time are lost.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/iow.hpp"

namespace sim {

class SignEmulator {
 public:
  static constexpr int kRingSize = 96;
  static constexpr std::chrono::milliseconds kLongPress{1000};
  static constexpr std::chrono::milliseconds kDebounce{20};

  // The character at ring index `index` (0 to 95): ASCII 32 to 127 rotated so that
  // "A" is at 0; index 62 is the sign's block glyph, shown as DEL (127).
  static char RingChar(int index);

  // Feeds one pin report (report ID, port 0, port 1) written at `time`.
  void on_report(iow::TimePoint time, std::span<const std::uint8_t> report);
  // Called with the text each time an entry is closed.
  void on_finished(std::function<void(const std::string&)> listener) { finished_ = std::move(listener); }

  // The text the sign shows as a running text (empty until the first entry closes).
  const std::string& shown() const { return shown_; }
  bool entering() const { return entering_; }
  // During entry: the characters accepted so far, and the ring index selected.
  const std::string& entered() const { return entered_; }
  int selected() const { return selected_; }
  // Key presses the sign took (long, short, forward, back, finish all count).
  int presses() const { return presses_; }

 private:
  void key_released(int line, iow::Duration held);

  std::uint8_t lines_ = 0xFF;
  std::array<iow::TimePoint, 8> pressed_at_{};
  bool entering_ = false;
  int selected_ = 0;
  int presses_ = 0;
  std::string entered_;
  std::string shown_;
  std::function<void(const std::string&)> finished_;
};

}  // namespace sim
