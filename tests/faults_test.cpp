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
};

Outcome RunProgram(sim::Options options, double time_of_day = 43200) {
  options.speed = 0;
  std::ostringstream log;
  testing::internal::CaptureStderr();
  sim::Simulation simulation(options, time_of_day, nullptr, log, sim::EventLog::Detail::kFull);
  const int status = simulation.Run();
  Outcome outcome{status, simulation.iowarrior().writes(), simulation.iowarrior().close_calls(),
                  testing::internal::GetCapturedStderr(), {}, {}};
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

}  // namespace
