#include "sim/sign_emulator.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

using std::chrono::milliseconds;

// Drives the sign's key lines by hand: each press is written, held, then released.
struct Keypad {
  sim::SignEmulator sign;
  iow::TimePoint now{};

  void write(std::uint8_t port1) {
    const std::uint8_t report[] = {0x00, 0xFF, port1};
    sign.on_report(now, report);
  }
  void press(int line, milliseconds held) {
    write(static_cast<std::uint8_t>(~(1u << line)));
    now += held;
    write(0xFF);
  }
  void type(const std::vector<int>& forward_steps) {
    press(0, milliseconds{4000});
    for (const int steps : forward_steps) {
      for (int i = 0; i < steps; ++i) press(2, milliseconds{50});
      press(0, milliseconds{50});
    }
    press(6, milliseconds{50});
  }
};

TEST(SignEmulator, RingIsAsciiFromSpaceRotatedSoThatAIsFirst) {
  EXPECT_EQ(sim::SignEmulator::RingChar(0), 'A');
  EXPECT_EQ(sim::SignEmulator::RingChar(25), 'Z');
  EXPECT_EQ(sim::SignEmulator::RingChar(32), 'a');
  EXPECT_EQ(sim::SignEmulator::RingChar(63), ' ');
  EXPECT_EQ(sim::SignEmulator::RingChar(95), '@');
}

TEST(SignEmulator, LongPressOpensEntryShortPressesAcceptAndLineSixShows) {
  Keypad keypad;
  std::vector<std::string> finished;
  keypad.sign.on_finished([&](const std::string& text) { finished.push_back(text); });
  keypad.type({1, 95, 2});  // B, A, C
  EXPECT_FALSE(keypad.sign.entering());
  EXPECT_EQ(keypad.sign.shown(), "BAC");
  EXPECT_EQ(finished, std::vector<std::string>{"BAC"});
}

TEST(SignEmulator, BackStepsTheRingTheOtherWayAndWrapsAtZero) {
  Keypad keypad;
  keypad.press(0, milliseconds{1000});  // exactly the long-press threshold
  ASSERT_TRUE(keypad.sign.entering());
  keypad.press(4, milliseconds{50});
  EXPECT_EQ(keypad.sign.selected(), 95);
  keypad.press(0, milliseconds{50});
  EXPECT_EQ(keypad.sign.entered(), "@");
}

TEST(SignEmulator, IgnoresKeysOutsideEntryBouncesAndOtherLines) {
  Keypad keypad;
  keypad.press(2, milliseconds{50});    // forward with no entry open
  keypad.press(0, milliseconds{999});   // too short to open entry
  keypad.press(6, milliseconds{50});
  EXPECT_FALSE(keypad.sign.entering());
  EXPECT_EQ(keypad.sign.shown(), "");
  keypad.press(0, milliseconds{4000});
  keypad.press(2, milliseconds{5});     // a glitch, not a press
  keypad.press(1, milliseconds{50});    // an unwired line
  keypad.press(0, milliseconds{50});
  EXPECT_EQ(keypad.sign.entered(), "A");
}

TEST(SignEmulator, TakesOnlyPinReportsWithIdZero) {
  sim::SignEmulator sign;
  const std::uint8_t special[] = {0x01, 0xFF, 0xFE};
  sign.on_report(iow::TimePoint{}, special);
  const std::uint8_t released[] = {0x00, 0xFF, 0xFF};
  sign.on_report(iow::TimePoint{} + milliseconds{5000}, released);
  EXPECT_FALSE(sign.entering());
}

TEST(SignEmulator, SurvivesAnyReportSequence) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> gap(0, 5000);
  std::uniform_int_distribution<int> size(0, 4);
  sim::SignEmulator sign;
  iow::TimePoint now{};
  for (int i = 0; i < 100000; ++i) {
    std::vector<std::uint8_t> report(static_cast<std::size_t>(size(random)));
    for (auto& b : report) b = static_cast<std::uint8_t>(byte(random) < 128 ? 0 : byte(random));
    now += milliseconds{gap(random)};
    sign.on_report(now, report);
    ASSERT_GE(sign.selected(), 0);
    ASSERT_LT(sign.selected(), 96);
  }
  EXPECT_GT(sign.presses(), 0);
}

}  // namespace
