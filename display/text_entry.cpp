#include "display/text_entry.hpp"

#include "display/key_pulses.hpp"

namespace display {

std::int16_t RingIndexOf(std::int32_t code) {
  const bool upper = code >= 'A' && code <= 'Z';
  const bool lower = code >= 'a' && code <= 'z';
  const bool punctuation = code >= ' ' && code <= '@';
  if (!upper && !lower && !punctuation) return -1;
  // The ring is ASCII 32..127 rotated so that "A" sits at index 0.
  return static_cast<std::int16_t>((code - 'A' + kRingSize) % kRingSize);
}

void MapCharacter(WindowState& w) {
  const std::int16_t index = RingIndexOf(w.CharCode);
  if (index >= 0) w.TargetIndex = index;
}

void EnterText(WindowState& w, iow::OutsideLibraries& lib) {
  w.CurrentIndex = 0;
  PressStartEntry(w, lib);
  lib.DELAY(kGap);
  const std::size_t length = w.DisplayText.size();
  for (std::size_t i = 0; i < length; ++i) {
    w.CurrentChar = w.DisplayText.substr(i, 1);
    w.CharCode = static_cast<unsigned char>(w.CurrentChar[0]);
    MapCharacter(w);
    w.Steps = static_cast<std::int16_t>(w.TargetIndex - w.CurrentIndex);
    if (w.Steps == 0) {
      // A character equal to the one before is selected by a step forward and one back.
      PressCharForward(w, lib);
      PressCharBack(w, lib);
      lib.DELAY(kGap);
    }
    if (w.Steps < 0) w.Steps = static_cast<std::int16_t>(w.Steps + kRingSize);
    for (std::int16_t step = 0; step < w.Steps; ++step) PressCharForward(w, lib);
    w.CurrentIndex = w.TargetIndex;
    lib.DELAY(kGap);
    PressNextPosition(w, lib);
    lib.DELAY(kGap);
  }
  lib.DELAY(kGap);
  PressFinishEntry(w, lib);
}

}  // namespace display
