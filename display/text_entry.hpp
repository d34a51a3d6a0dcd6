#pragma once
// Text entry on the LED sign. The sign offers its characters as a ring of 96
// positions that the keys step through; entry only ever steps forward.

#include <cstdint>

#include "platform/iow.hpp"
#include "platform/window_state.hpp"

namespace display {

inline constexpr std::int16_t kRingSize = 96;

// Ring index of character code `code`, or -1 when the sign has no position for it:
// "A".."Z" 0..25, "a".."z" 32..57, space to "@" 63..95.
std::int16_t RingIndexOf(std::int32_t code);

// Sets TargetIndex to the ring index of CharCode; leaves it unchanged for a code
// that has no ring position.
void MapCharacter(WindowState& w);

// Types DisplayText into the sign; blocks until the last key pulse is done. May end the
// program (platform::ProgramEnd) between pulses or during a hold.
void EnterText(WindowState& w, iow::OutsideLibraries& lib);

}  // namespace display
