// lumatext --type and --test-keys on simulated hardware in virtual time: which texts are
// refused, what is typed and how the key test presses each key alone.

#include "app/keypad_tasks.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "display/key_pulses.hpp"
#include "display/text_entry.hpp"
#include "sim/simulation.hpp"
#include "tests/rig.hpp"

namespace {

using testing_rig::Ms;

// One key task on the simulated hardware, in virtual time.
struct TaskRun {
  std::ostringstream log;
  sim::Simulation simulation;
  explicit TaskRun(const sim::Options& options = {})
      : simulation(options, 12 * 3600.0, nullptr, log, sim::EventLog::Detail::kFull) {}
  const std::vector<sim::WriteRecord>& writes() { return simulation.iowarrior().writes(); }
};

sim::Options Virtual() {
  sim::Options options;
  options.speed = 0;
  return options;
}

TEST(TypedText, RefusesWhatTheSignCannotShowNamingCharacterAndPosition) {
  struct Row {
    std::string text;
    std::string named;  // empty: accepted
  };
  const std::vector<Row> rows = {
      {"Hallo Welt", ""},
      {" !\"#$%&'()*+,-./0123456789:;<=>?@", ""},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", ""},
      {std::string(app::kMaxTypedText, 'x'), ""},
      {"", "der Text ist leer"},
      {std::string(app::kMaxTypedText + 1, 'x'), "der Text hat 101 Zeichen"},
      {"Gr\u00f6\u00dfe", "Zeichen \u201e\u00f6\u201c (U+00F6) an Stelle 3 "},
      {"\u00e4b", "Zeichen \u201e\u00e4\u201c (U+00E4) an Stelle 1 "},
      {"A[", "Zeichen \u201e[\u201c an Stelle 2 "},
      {"ab_", "Zeichen \u201e_\u201c an Stelle 3 "},
      {"x{", "Zeichen \u201e{\u201c an Stelle 2 "},
      {"~", "Zeichen \u201e~\u201c an Stelle 1 "},
      {"`", "Zeichen \u201e`\u201c an Stelle 1 "},
      {"a\tb", "Zeichen Steuerzeichen 0x09 an Stelle 2 "},
      {"a\x7f", "Zeichen Steuerzeichen 0x7F an Stelle 2 "},
      {"\u00e4\u00e4\u20ac", "Zeichen \u201e\u00e4\u201c (U+00E4) an Stelle 1 "},
      {"ok\x85", "Zeichen Byte 0x85 (kein UTF-8) an Stelle 3 "},
      // Windows-1252's "ä" as a console's ANSI code page hands it over.
      {"x\xe4y", "Zeichen Byte 0xE4 (\u201e\u00e4\u201c in Windows-1252) an Stelle 2 "},
  };
  for (const Row& row : rows) {
    const auto refusal = app::RefuseTypedText(row.text);
    if (row.named.empty()) {
      EXPECT_FALSE(refusal) << row.text << ": " << refusal.value_or("");
    } else {
      ASSERT_TRUE(refusal) << row.text;
      EXPECT_EQ(refusal->rfind(row.named, 0), 0u) << *refusal;
    }
  }
  // A character a long text holds beyond the limit is named before the length.
  EXPECT_EQ(app::RefuseTypedText(std::string(200, 'x') + "[")->rfind("Zeichen", 0), 0u);
}

TEST(TypedText, EveryAcceptedCharacterHasARingPositionAndEveryOtherAsciiCodeIsRefused) {
  for (int code = 0; code < 128; ++code) {
    const std::string text(1, static_cast<char>(code));
    EXPECT_EQ(!app::RefuseTypedText(text), display::RingIndexOf(code) >= 0) << "code " << code;
  }
}

TEST(TypeTask, TypesTheReleaseThenExactlyTheTextEntryOfTheCycleAndCloses) {
  TaskRun run(Virtual());
  ASSERT_EQ(run.simulation.RunTask(app::TypeTextTask("Hallo Welt")), 0);

  // The same text typed by EnterText after the start-up release, on a rig of its own.
  testing_rig::Rig rig;
  display::ReleaseAllKeys(rig.w, rig.lib);
  rig.w.DisplayText = "Hallo Welt";
  display::EnterText(rig.w, rig.lib);

  const auto& got = run.writes();
  const auto& want = rig.iowarrior.writes();
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].bytes, want[i].bytes) << "write " << i;
    EXPECT_EQ(got[i].time, want[i].time) << "write " << i;
  }
  EXPECT_EQ(got.front().bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  EXPECT_EQ(Ms(got[1].time), 100);
  EXPECT_EQ(run.simulation.sign().shown(), "Hallo Welt");
  EXPECT_EQ(run.simulation.iowarrior().open_calls(), 1);
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
  // The time announced is the time the holds and waits took.
  EXPECT_EQ(Ms(run.simulation.clock().now()), static_cast<double>(app::TypingTime("Hallo Welt").count()));
  EXPECT_NE(app::TypingAnnouncement("Hallo Welt").find("13,25 s"), std::string::npos);
}

TEST(TypeTask, WithoutIoWarriorShowsTheStartUpMessageAndWritesNothing) {
  sim::Options options = Virtual();
  options.no_device = true;
  TaskRun run(options);
  EXPECT_EQ(run.simulation.RunTask(app::TypeTextTask("A")), 1);
  EXPECT_TRUE(run.writes().empty());
  EXPECT_NE(run.log.str().find("message Error | IO-Warrior kann nicht ge\u00f6ffnet werden!"), std::string::npos);
}

TEST(TypeTask, ALostIoWarriorEndsItWithStatus4AndNothingMoreWritten) {
  sim::Options options = Virtual();
  options.unplug_at = 6.0;
  TaskRun run(options);
  EXPECT_EQ(run.simulation.RunTask(app::TypeTextTask("Hallo Welt")), app::kExitDeviceLost);
  const auto& writes = run.writes();
  ASSERT_FALSE(writes.empty());
  EXPECT_FALSE(writes.back().accepted);
  EXPECT_LT(Ms(writes.back().time), 6100);
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
  EXPECT_NE(run.log.str().find(std::string("message Error | ") + std::string(app::kDeviceLostByHand)),
            std::string::npos);
}

TEST(TypeTask, EndedDuringTheLongPressReleasesFinishesTheEntryAndClosesOnce) {
  sim::Options options = Virtual();
  options.max_time = 2.0;
  TaskRun run(options);
  EXPECT_EQ(run.simulation.RunTask(app::TypeTextTask("Hallo")), sim::kExitTimeLimit);
  const auto presses = testing_rig::Presses(run.writes());
  ASSERT_EQ(presses.size(), 2u);
  EXPECT_EQ(presses[0].line_byte, 0xFE);
  EXPECT_EQ(presses[1].line_byte, 0xBF);
  EXPECT_EQ(run.writes().back().bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
}

// The key test with `lines` as standard input; what it said is kept.
struct KeyTest {
  TaskRun run{Virtual()};
  std::istringstream in;
  platform::StreamLineInput input{in};
  std::string said;
  int status;
  explicit KeyTest(const std::string& lines) : in(lines) {
    status = run.simulation.RunTask(app::TestKeysTask(input, [this](std::string_view text) { said += text; }));
  }
};

TEST(TestKeys, PressesEachLineAloneWithItsHoldAfterEachLineOfInput) {
  KeyTest test("\n\n\n\n\n");
  EXPECT_EQ(test.status, 0);
  const auto presses = testing_rig::Presses(test.run.writes());
  ASSERT_EQ(presses.size(), 5u);
  const std::uint8_t lines[] = {0xFE, 0xFE, 0xFB, 0xEF, 0xBF};
  const double holds[] = {50, 4000, 50, 50, 50};
  for (std::size_t i = 0; i < presses.size(); ++i) {
    EXPECT_EQ(presses[i].line_byte, lines[i]) << "press " << i;
    EXPECT_EQ(presses[i].held_ms, holds[i]) << "press " << i;
  }
  EXPECT_EQ(test.run.writes().front().bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  EXPECT_EQ(test.run.writes().back().bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  EXPECT_EQ(test.run.simulation.iowarrior().close_calls(), 1);
  // Each press announced before it, naming its line.
  for (const char* line : {"Leitung 0 (P1.0)", "Leitung 2 (P1.2)", "Leitung 4 (P1.4)", "Leitung 6 (P1.6)"}) {
    EXPECT_NE(test.said.find(line), std::string::npos) << line;
  }
  EXPECT_FALSE(test.run.simulation.sign().entering());
}

TEST(TestKeys, TheEndOfTheInputAfterTheLongPressFinishesTheEntryAndEndsCleanly) {
  KeyTest test("\n\n");
  EXPECT_EQ(test.status, 0);
  const auto presses = testing_rig::Presses(test.run.writes());
  ASSERT_EQ(presses.size(), 3u);
  EXPECT_EQ(presses[1].held_ms, 4000);
  EXPECT_EQ(presses[2].line_byte, 0xBF);
  EXPECT_FALSE(test.run.simulation.sign().entering());
  EXPECT_EQ(test.run.simulation.iowarrior().close_calls(), 1);
  EXPECT_NE(test.said.find("abgebrochen"), std::string::npos);
}

TEST(TestKeys, NoInputPressesNoKey) {
  KeyTest test("");
  EXPECT_EQ(test.status, 0);
  ASSERT_EQ(test.run.writes().size(), 1u);
  EXPECT_EQ(test.run.simulation.iowarrior().close_calls(), 1);
}

}  // namespace
