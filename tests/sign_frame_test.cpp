// What the emulated LED sign lights.

#include <gtest/gtest.h>

#include "sim/sign_frame.hpp"

namespace sim {
namespace {

constexpr int kCells = 10;

std::vector<std::uint8_t> Cell(const std::vector<std::uint8_t>& columns, int cell) {
  const auto first = columns.begin() + cell * kCellColumns;
  return {first, first + kCellColumns};
}

std::vector<std::uint8_t> Set(char c, std::uint8_t extra = 0) {
  auto columns = SetInFont(std::string(1, c));
  for (std::size_t i = 0; i + 1 < columns.size(); ++i) columns[i] |= extra;
  return columns;
}

TEST(SignFrame, DuringEntryShowsTheAcceptedTextAndTheSelectedCharacterUnderTheCursor) {
  const auto columns = SignColumns({"CP", true, 'U'}, kCells, 0);
  ASSERT_EQ(columns.size(), static_cast<std::size_t>(kCells * kCellColumns));
  EXPECT_EQ(Cell(columns, 0), Set('C'));
  EXPECT_EQ(Cell(columns, 1), Set('P'));
  EXPECT_EQ(Cell(columns, 2), Set('U', kCursorRow));
  EXPECT_EQ(Cell(columns, 3), std::vector<std::uint8_t>(kCellColumns, 0));
}

TEST(SignFrame, DuringEntryALongTextShowsItsTail) {
  const auto columns = SignColumns({"0123456789AB", true, 'Z'}, kCells, 0);
  EXPECT_EQ(Cell(columns, 0), Set('3'));
  EXPECT_EQ(Cell(columns, kCells - 1), Set('Z', kCursorRow));
}

TEST(SignFrame, FinishedTextRunsInFromTheRightAndComesRoundAgain) {
  const SignView view{"45'C", false, ' '};
  const auto start = SignColumns(view, kCells, 0);
  EXPECT_EQ(start.back(), Glyph('4')[0]);
  // Four columns on, the whole first glyph has come in.
  const auto later = SignColumns(view, kCells, 4);
  const auto four = Glyph('4');
  EXPECT_EQ(std::vector<std::uint8_t>(later.end() - 5, later.end()), std::vector<std::uint8_t>(four.begin(), four.end()));
  // The drum is the text and at least a display's width of dark columns.
  const long period = kCells * kCellColumns;
  EXPECT_EQ(SignColumns(view, kCells, period), start);
  EXPECT_NE(SignColumns(view, kCells, period / 2), start);
}

TEST(SignFrame, UnknownCodesShowTheBlockAndAnEmptySignIsDark) {
  EXPECT_EQ(Glyph('\x7F'), Glyph('\x01'));
  EXPECT_EQ(Glyph(static_cast<char>(0xE4)), Glyph('\x7F'));
  EXPECT_NE(Glyph('A'), Glyph('\x7F'));
  EXPECT_EQ(SignColumns({"", false, ' '}, kCells, 123), std::vector<std::uint8_t>(kCells * kCellColumns, 0));
}

}  // namespace
}  // namespace sim
