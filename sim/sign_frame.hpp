#pragma once
// What the emulated LED sign lights: a strip of LED columns, each a byte whose bits
// 0 to 6 are the rows of the 5 x 7 font from the top and bit 7 the cursor row below.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/iow.hpp"
#include "sim/sign_view.hpp"

namespace sim {

// Columns per character cell: five of the glyph and one dark between characters.
inline constexpr int kCellColumns = 6;
// The cursor row under the character being selected during entry.
inline constexpr std::uint8_t kCursorRow = 0x80;

// The sign's window on every desktop: character cells (the longest reading with the
// character being selected fits), LED pitch and diameter and the margin in pixels,
// LED rows (seven of the font, one for the cursor), the running text's speed, and the
// window's title.
inline constexpr int kSignCells = 34;
inline constexpr int kLedPitch = 5;
inline constexpr int kLedSize = 4;
inline constexpr int kSignMargin = 10;
inline constexpr int kSignRows = 8;
inline constexpr double kScrollColumnsPerSecond = 30.0;
inline constexpr char kSignTitle[] = "LED-Laufschrift (emuliert)";
// The window's client area in pixels.
inline constexpr int kSignWidth = 2 * kSignMargin + kSignCells * kCellColumns * kLedPitch;
inline constexpr int kSignHeight = 2 * kSignMargin + kSignRows * kLedPitch;

// The five columns of `c` (ASCII 32 to 127; 127 is the sign's block glyph); any other
// code shows as the block.
std::array<std::uint8_t, 5> Glyph(char c);

// The columns of `text` set in the font, kCellColumns per character.
std::vector<std::uint8_t> SetInFont(const std::string& text);

// The `cells` character cells of the sign for `view`. During entry: the characters
// accepted so far and the one being selected, with the cursor under it, the tail shown
// when they do not fit. Otherwise the finished text runs from right to left, `scroll`
// columns on, and comes round again after a gap.
std::vector<std::uint8_t> SignColumns(const SignView& view, int cells, long scroll);

// The sign's columns frame by frame, as its window shows them on every desktop: the
// running text starts again from the right whenever the text changes, paced by `clock`.
class SignFrames {
 public:
  SignFrames(iow::Clock& clock, std::function<SignView()> view);

  // Looks at the sign again; true when the columns changed and the window needs redrawing.
  bool advance();
  const std::vector<std::uint8_t>& columns() const { return columns_; }

 private:
  iow::Clock& clock_;
  std::function<SignView()> view_;
  SignView last_;
  iow::TimePoint scroll_start_;
  std::vector<std::uint8_t> columns_;
};

}  // namespace sim
