#pragma once
// Key pulses on the LED sign's keypad. Four of the sign's keys are wired to lines of
// port 1 of the IO-Warrior; a key is pressed by driving its line low for a hold time.

#include <chrono>
#include <cstdint>

#include "platform/iow.hpp"
#include "platform/window_state.hpp"

namespace display {

// Pipe 0 of the IO-Warrior sets the I/O pins.
inline constexpr std::uint32_t kPinsPipe = 0;
// Report ID byte, port-0 byte, port-1 byte.
inline constexpr std::uint32_t kReportLength = 3;
// Every line high: no key pressed.
inline constexpr std::uint8_t kAllReleased = 0xFF;
// Wait after releasing all keys at start-up.
inline constexpr std::chrono::milliseconds kReleaseSettle{100};

// One key pulse: the port-1 byte while the key is held, and how long it is held.
struct Pulse {
  std::uint8_t pressed;
  std::chrono::milliseconds hold;
};

// Key line 0 held 4 s opens text entry.
inline constexpr Pulse kStartEntry{0xFE, std::chrono::milliseconds{4000}};
// Key line 0 held briefly accepts the selected character and moves to the next position.
inline constexpr Pulse kNextPosition{0xFE, std::chrono::milliseconds{50}};
// Key line 2 selects the next character of the ring.
inline constexpr Pulse kCharForward{0xFB, std::chrono::milliseconds{50}};
// Key line 4 selects the previous character of the ring.
inline constexpr Pulse kCharBack{0xEF, std::chrono::milliseconds{50}};
// Key line 6 closes text entry.
inline constexpr Pulse kFinishEntry{0xBF, std::chrono::milliseconds{50}};

// Gap the sign needs between presses of different keys.
inline constexpr std::chrono::milliseconds kGap{50};

// Writes 00 FF FF (every key released), then waits 100 ms. Write failures are ignored.
void ReleaseAllKeys(WindowState& w, iow::OutsideLibraries& lib);

// Each pulse writes the pressed report, holds it, then writes 00 FF FF with no wait after.
// Any of them may end the program (platform::ProgramEnd) at a write or during the hold.
void PressStartEntry(WindowState& w, iow::OutsideLibraries& lib);
void PressNextPosition(WindowState& w, iow::OutsideLibraries& lib);
void PressCharForward(WindowState& w, iow::OutsideLibraries& lib);
void PressCharBack(WindowState& w, iow::OutsideLibraries& lib);
void PressFinishEntry(WindowState& w, iow::OutsideLibraries& lib);

// Leaves the keypad at rest when the program ends wherever it stood: releases a key being
// held and, when text entry is open, waits 50 ms and presses PressFinishEntry, so that
// the sign shows what was typed so far. Does nothing when the keypad is at rest.
void LeaveKeypadAtRest(WindowState& w, iow::OutsideLibraries& lib);

}  // namespace display
