// Faults the program meets in service: a device that fails, a long run across midnight.

#include <gtest/gtest.h>

#include <sstream>

#include "sim/simulation.hpp"

namespace {

using platform::WindowEvent;
using sim::Seconds;

struct Outcome {
  int status;
  std::vector<sim::WriteRecord> writes;
  int closes;
  std::string diagnostics;
  std::vector<double> reads_ms;  // when each register was selected
  std::vector<double> signs_ms;  // when each text was finished on the sign
  std::string log;
  int runs;
};

Outcome RunProgram(sim::Options options, double time_of_day = 43200) {
  options.speed = 0;
  std::ostringstream log;
  testing::internal::CaptureStderr();
  sim::Simulation simulation(options, time_of_day, nullptr, log, sim::EventLog::Detail::kFull);
  const int status = simulation.Run();
  Outcome outcome{status, simulation.iowarrior().writes(), simulation.iowarrior().close_calls(),
                  testing::internal::GetCapturedStderr(), {}, {}, log.str(), simulation.runs()};
  std::istringstream lines(log.str());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(" port-out 0x295 ") != std::string::npos) outcome.reads_ms.push_back(std::stod(line));
    if (line.find(" sign ") != std::string::npos) outcome.signs_ms.push_back(std::stod(line));
  }
  return outcome;
}

sim::Options Script(double ende_at) {
  sim::Options options;
  options.actions = {{Seconds(0), WindowEvent::MessenClick}, {Seconds(ende_at), WindowEvent::EndeClick}};
  options.max_time = ende_at + 3600;
  return options;
}

TEST(FailingDevice, KeepsSequenceAndTimingReportsOnceAndStillClosesOnce) {
  const Outcome healthy = RunProgram(Script(300));
  sim::Options rejecting = Script(300);
  rejecting.reject_writes = true;
  sim::Options unplugged = Script(300);
  unplugged.unplug_at = 20;  // in the middle of the temperature text
  for (const sim::Options& options : {rejecting, unplugged}) {
    const Outcome failing = RunProgram(options);
    EXPECT_EQ(failing.status, 0);
    EXPECT_EQ(failing.closes, 1);
    ASSERT_EQ(failing.writes.size(), healthy.writes.size());
    for (std::size_t i = 0; i < healthy.writes.size(); ++i) {
      ASSERT_EQ(failing.writes[i].bytes, healthy.writes[i].bytes) << "write " << i;
      ASSERT_EQ(failing.writes[i].time, healthy.writes[i].time) << "write " << i;
    }
    EXPECT_FALSE(failing.writes.back().accepted);
    EXPECT_EQ(std::count(failing.diagnostics.begin(), failing.diagnostics.end(), '\n'), 1) << failing.diagnostics;
    EXPECT_NE(failing.diagnostics.find("IowKitWrite: "), std::string::npos);
  }
  EXPECT_TRUE(healthy.diagnostics.empty()) << healthy.diagnostics;
}

TEST(LongRun, TwentyFourHoursFromElevenPmKeepEveryPauseAtOneMinute) {
  const Outcome day = RunProgram(Script(86400), 23 * 3600.0);
  EXPECT_EQ(day.status, 0);
  ASSERT_GT(day.reads_ms.size(), 2 * 370u);
  for (std::size_t i = 0; i + 1 < day.reads_ms.size(); ++i) {
    const double pause = day.reads_ms[i + 1] - day.signs_ms[i];
    ASSERT_GE(pause, 59500) << "pause " << i << " after " << day.signs_ms[i] << " ms";
    ASSERT_LE(pause, 60500) << "pause " << i << " after " << day.signs_ms[i] << " ms";
  }
  // Typing takes the same time for every temperature text and for every fan text, so
  // each full cycle takes the same time to within the pauses' rounding: no drift.
  std::vector<double> cycles;
  for (std::size_t i = 2; i < day.reads_ms.size(); i += 2) cycles.push_back(day.reads_ms[i] - day.reads_ms[i - 2]);
  const auto [shortest, longest] = std::minmax_element(cycles.begin(), cycles.end());
  EXPECT_LE(*longest - *shortest, 2000.0) << "two pauses, each within 59.5 to 60.5 s";
  const double typing = 41000 + 68450;
  EXPECT_GE(*shortest, typing + 2 * 59500);
  EXPECT_LE(*longest, typing + 2 * 60500);
}

// lumatext --headless as the simulator runs it: Messen at once, no clicks.
sim::Options Unattended(double max_time) {
  sim::Options options;
  options.headless = options.unattended = true;
  options.max_time = max_time;
  return options;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(DeviceLost, EndsTheUnattendedModeAtOnceWithoutWritingToTheGoneDevice) {
  // Mid-text, a key held and text entry open: the ending would release the key and
  // finish the entry, but the device takes no write any more.
  sim::Options mid_text = Unattended(3600);
  mid_text.unplug_at = 20.02;
  const Outcome typing = RunProgram(mid_text);
  EXPECT_EQ(typing.status, app::kExitDeviceLost);
  EXPECT_EQ(typing.closes, 1);
  ASSERT_FALSE(typing.writes.empty());
  EXPECT_FALSE(typing.writes.back().accepted);
  EXPECT_EQ(std::count_if(typing.writes.begin(), typing.writes.end(), [](const auto& w) { return !w.accepted; }), 1)
      << "nothing written after the failed write";
  EXPECT_EQ(Count(typing.log, " message Error | IO-Warrior getrennt"), 1u) << typing.log;
  EXPECT_NE(typing.log.find("close 1\n"), std::string::npos);

  // In the pause after the first text: noticed the moment it goes, not at the next write.
  sim::Options pausing = Unattended(3600);
  pausing.unplug_at = 70;
  const Outcome paused = RunProgram(pausing);
  EXPECT_EQ(paused.status, app::kExitDeviceLost);
  EXPECT_EQ(paused.closes, 1);
  ASSERT_FALSE(paused.writes.empty());
  EXPECT_TRUE(paused.writes.back().accepted);
  EXPECT_LT(paused.writes.back().time, iow::TimePoint{} + Seconds(70));
  EXPECT_NE(paused.log.find("70000.000 close 1\n70000.000 exit 4\n"), std::string::npos) << paused.log;

  // A device that refuses reports is still there: the unattended mode goes on as ever.
  sim::Options refusing = Unattended(300);
  refusing.reject_writes = true;
  const Outcome refused = RunProgram(refusing);
  EXPECT_EQ(refused.status, sim::kExitTimeLimit);
  EXPECT_EQ(Count(refused.log, "IO-Warrior getrennt"), 0u);
}

TEST(DeviceLost, EachRestartAfterALossFindsTheDeviceAgainAndClosesItOnce) {
  sim::Options month = Unattended(6 * 3600 - 100);
  month.unplug_every = 3600;
  month.restart_after = 10;
  const Outcome day = RunProgram(month);
  EXPECT_EQ(day.status, sim::kExitTimeLimit);
  EXPECT_EQ(day.runs, 6);
  EXPECT_EQ(day.closes, 6);
  EXPECT_EQ(Count(day.log, " exit 4\n"), 5u);
  EXPECT_EQ(Count(day.log, " open 1\n"), 6u);
  EXPECT_GE(Count(day.log, " sign CPU Temperatur : 45'C\n"), 6u * 15);
}

}  // namespace
