#include "display/text_entry.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "display/key_pulses.hpp"
#include "tests/rig.hpp"

namespace {

using testing_rig::ForwardPressesPerPosition;
using testing_rig::Rig;

constexpr std::uint8_t kEnter = 0xFE;
constexpr std::uint8_t kForward = 0xFB;
constexpr std::uint8_t kBack = 0xEF;
constexpr std::uint8_t kFinish = 0xBF;

// Types `text` on a fresh rig whose keys were released first.
struct Typed {
  Rig rig;
  explicit Typed(const std::string& text) {
    display::ReleaseAllKeys(rig.w, rig.lib);
    rig.w.DisplayText = text;
    display::EnterText(rig.w, rig.lib);
  }
};

TEST(MapCharacter, MapsLettersDigitsAndPunctuationOntoTheRing) {
  struct Row {
    int code;
    int index;
  };
  const Row rows[] = {{'A', 0}, {'Z', 25}, {'a', 32}, {'z', 57}, {' ', 63}, {'0', 79},
                      {'9', 88}, {':', 89}, {'\'', 70}, {'@', 95}, {'-', 76}, {'C', 2}};
  for (const Row& row : rows) {
    WindowState w;
    w.CharCode = static_cast<std::int16_t>(row.code);
    display::MapCharacter(w);
    EXPECT_EQ(w.TargetIndex, row.index) << "code " << row.code;
  }
}

TEST(MapCharacter, LeavesTargetUnchangedForCodesWithoutRingPosition) {
  for (const int code : {0, 31, int{'['}, int{'`'}, int{'{'}, 127, 128, 200, 255, -1, -32768}) {
    WindowState w;
    w.TargetIndex = 17;
    w.CharCode = static_cast<std::int16_t>(code);
    display::MapCharacter(w);
    EXPECT_EQ(w.TargetIndex, 17) << "code " << code;
  }
}

TEST(EnterText, EmptyTextOpensAndClosesEntryWithTheExactWaits) {
  Typed t("");
  const auto p = t.rig.presses();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].line_byte, kEnter);
  EXPECT_DOUBLE_EQ(p[0].held_ms, 4000);
  EXPECT_EQ(p[1].line_byte, kFinish);
  EXPECT_DOUBLE_EQ(p[1].gap_ms, 100) << "50 ms after the start press, 50 ms before the finish";
  EXPECT_DOUBLE_EQ(p[1].held_ms, 50);
  EXPECT_EQ(t.rig.sign.shown(), "");
}

TEST(EnterText, FirstCharacterAtIndexZeroIsSelectedByForwardThenBack) {
  Typed t("A");
  const auto p = t.rig.presses();
  ASSERT_EQ(p.size(), 5u);
  const std::uint8_t lines[] = {kEnter, kForward, kBack, kEnter, kFinish};
  const double gaps[] = {100, 50, 0, 100, 100};
  for (std::size_t i = 0; i < p.size(); ++i) {
    EXPECT_EQ(p[i].line_byte, lines[i]) << "press " << i;
    EXPECT_DOUBLE_EQ(p[i].gap_ms, gaps[i]) << "press " << i;
  }
  EXPECT_DOUBLE_EQ(p[3].held_ms, 50) << "a short press accepts the character";
  EXPECT_EQ(t.rig.sign.shown(), "A");
}

TEST(EnterText, StepsOnlyForwardRoundTheRing) {
  struct Row {
    std::string text;
    std::vector<int> forward;
    int back;
  };
  const Row rows[] = {
      {"AB", {1, 1}, 1},   // the A takes a forward-then-back pair, the B one step
      {"BA", {1, 95}, 0},  // behind the B: round the ring
      {"AA", {1, 1}, 2},   // equal characters: a pair each
      {"A[", {1, 1}, 2},   // no ring position: entered as the character before
      {"CPU Temperatur : 45'C",
       {2, 13, 5, 43, 52, 17, 8, 3, 85, 13, 79, 19, 1, 93, 14, 26, 70, 20, 1, 82, 28},
       0},
  };
  for (const Row& row : rows) {
    Typed t(row.text);
    const auto p = t.rig.presses();
    EXPECT_EQ(ForwardPressesPerPosition(p), row.forward) << row.text;
    EXPECT_EQ(std::count_if(p.begin(), p.end(), [](const auto& x) { return x.line_byte == kBack; }), row.back)
        << row.text;
  }
}

TEST(EnterText, TemperatureTextTakes697PulsesAnd41SecondsOfHoldsAndWaits) {
  Typed t("CPU Temperatur : 45'C");
  const auto p = t.rig.presses();
  EXPECT_EQ(p.size(), 697u);
  const auto forward = std::count_if(p.begin(), p.end(), [](const auto& x) { return x.line_byte == kForward; });
  EXPECT_EQ(forward, 674);
  // The simulated writes take no time: the text's duration is its holds and waits.
  EXPECT_DOUBLE_EQ(t.rig.now_ms() - 100, 41000.0);
  EXPECT_EQ(t.rig.sign.shown(), "CPU Temperatur : 45'C");
}

TEST(EnterText, UnmappedFirstCharacterRepeatsTheTargetLeftByThePreviousText) {
  Rig rig;
  display::ReleaseAllKeys(rig.w, rig.lib);
  rig.w.DisplayText = "ABC";
  display::EnterText(rig.w, rig.lib);
  const std::size_t before = rig.presses().size();
  rig.w.DisplayText = "[x";
  display::EnterText(rig.w, rig.lib);
  const auto all = rig.presses();
  const std::vector<testing_rig::Press> second(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  EXPECT_EQ(ForwardPressesPerPosition(second).front(), 2) << "the bracket is entered as the C before it";
  EXPECT_EQ(rig.sign.shown(), "Cx");
}

TEST(EnterText, TypesLongTextsInFull) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += static_cast<char>("Lumatext 0123456789:'-"[i % 22]);
  Typed t(text);
  EXPECT_EQ(t.rig.sign.shown(), text);
}

// What the sign shows after typing `text`: characters without a ring position come out
// as the character before them ("A" at the start).
std::string Expected(const std::string& text) {
  std::string shown;
  char last = 'A';
  for (const char c : text) {
    if (display::RingIndexOf(static_cast<unsigned char>(c)) >= 0) last = c;
    shown += last;
  }
  return shown;
}

TEST(EnterText, SignReadsBackRandomTexts) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> printable(32, 126);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> long_length(0, 1000);
  Rig rig;  // one sign for all texts: each entry starts afresh
  display::ReleaseAllKeys(rig.w, rig.lib);
  char last_target = 'A';
  std::string whole_ring;
  for (int code = 32; code < 128; ++code) whole_ring += static_cast<char>(code);
  const std::vector<std::string> chosen{"", "A", "@", " ", "AAAA", "zzz", "[", whole_ring, whole_ring + whole_ring};
  for (int n = 0; n < 1000; ++n) {
    std::string text;
    const int size = n % 50 == 0 ? long_length(random) : length(random);
    for (int i = 0; i < size; ++i) text += static_cast<char>(n % 5 == 0 ? byte(random) : printable(random));
    if (static_cast<std::size_t>(n) < chosen.size()) text = chosen[static_cast<std::size_t>(n)];
    rig.w.DisplayText = text;
    display::EnterText(rig.w, rig.lib);
    // The target left by the previous text carries over into a leading unmapped run.
    std::string expected = Expected(std::string(1, last_target) + text).substr(1);
    ASSERT_EQ(rig.sign.shown(), expected) << "text " << n;
    if (!expected.empty()) last_target = expected.back();
  }
}

}  // namespace
