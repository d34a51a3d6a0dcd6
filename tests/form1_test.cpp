// Start-up, the buttons, closing and the measurement cycle, end to end on simulated
// hardware in virtual time.

#include "app/form1.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>

#include "platform/headless_window.hpp"
#include "sim/simulation.hpp"
#include "tests/rig.hpp"

namespace {

using platform::WindowEvent;
using testing_rig::Ms;

constexpr double kTypingTemperature45 = 41000;  // ms of holds and waits
constexpr double kSettle = 100;                 // ms after releasing all keys at start-up

using sim::Seconds;

// One program run; the options say what the user does and what the hardware answers.
struct ProgramRun {
  std::ostringstream log;
  sim::Simulation simulation;
  int status;

  // In virtual time, at noon unless `time_of_day` says otherwise.
  explicit ProgramRun(const sim::Options& options, double time_of_day = 12 * 3600.0)
      : simulation(options, time_of_day, nullptr, log, sim::EventLog::Detail::kFull), status(simulation.Run()) {}

  const std::vector<sim::WriteRecord>& writes() { return simulation.iowarrior().writes(); }
  // Times (ms) of the lines of the log that start with `event`.
  std::vector<double> times_of(const std::string& event) const {
    std::vector<double> times;
    std::istringstream lines(log.str());
    std::string line;
    while (std::getline(lines, line)) {
      const auto space = line.find(' ');
      if (line.compare(space + 1, event.size(), event) == 0) times.push_back(std::stod(line.substr(0, space)));
    }
    return times;
  }
  std::vector<std::string> signs() const {
    std::vector<std::string> texts;
    std::istringstream lines(log.str());
    std::string line;
    while (std::getline(lines, line)) {
      if (const auto at = line.find(" sign "); at != std::string::npos) texts.push_back(line.substr(at + 6));
    }
    return texts;
  }
};

sim::Options Actions(std::vector<sim::ScheduledAction> actions) {
  sim::Options options;
  options.actions = std::move(actions);
  options.speed = 0;
  options.max_time = 3600;
  return options;
}

TEST(StartUp, WithoutIoWarriorShowsTheMessageAndEndsWithoutTouchingTheDevice) {
  sim::Options options = Actions({{Seconds(0), WindowEvent::MessenClick}});
  options.no_device = true;
  ProgramRun run(options);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.simulation.window().messages().size(), 1u);
  EXPECT_EQ(run.simulation.window().messages()[0].title, "Error");
  EXPECT_EQ(run.simulation.window().messages()[0].text, "IO-Warrior kann nicht ge\u00f6ffnet werden!");
  EXPECT_EQ(run.simulation.window().times_shown(), 0);
  EXPECT_TRUE(run.writes().empty());
  EXPECT_EQ(run.simulation.iowarrior().open_calls(), 1);
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 0);
  EXPECT_EQ(run.simulation.chip().temperature_reads(), 0);
}

TEST(StartUp, WithoutPortAccessClosesTheDeviceBeforeAnyWrite) {
  sim::Options options = Actions({{Seconds(0), WindowEvent::MessenClick}});
  options.no_port_access = true;
  ProgramRun run(options);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.simulation.window().messages().size(), 1u);
  EXPECT_EQ(run.simulation.window().messages()[0].text,
            "Kein Zugriff auf die Ports des Systemmonitors (0x295, 0x296)!");
  EXPECT_EQ(run.simulation.window().times_shown(), 0);
  EXPECT_TRUE(run.writes().empty());
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
}

struct EndRow {
  const char* name;
  WindowEvent event;
};

class EndingInReady : public testing::TestWithParam<EndRow> {};

TEST_P(EndingInReady, ReleasesOnceShowsTheWindowAndClosesOnce) {
  ProgramRun run(Actions({{Seconds(5), GetParam().event}}));
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.writes().size(), 1u) << "exactly one report before the window appears";
  EXPECT_EQ(run.writes()[0].bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  EXPECT_EQ(run.simulation.window().times_shown(), 1);
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
  EXPECT_EQ(run.times_of("close"), std::vector<double>{5000});
  EXPECT_EQ(run.simulation.chip().temperature_reads(), 0);
}

INSTANTIATE_TEST_SUITE_P(Form1, EndingInReady,
                         testing::Values(EndRow{"Ende", WindowEvent::EndeClick}, EndRow{"Close", WindowEvent::Unload}),
                         [](const testing::TestParamInfo<EndRow>& row) { return std::string(row.param.name); });

TEST(Cycle, FirstPulseAfterMessenIsTheStartOfEntryRightAfterTheTemperatureRead) {
  ProgramRun run(Actions({{Seconds(2), WindowEvent::MessenClick}, {Seconds(50), WindowEvent::EndeClick}}));
  const auto reads = run.times_of("port-in 0x296");
  ASSERT_FALSE(reads.empty());
  EXPECT_DOUBLE_EQ(reads[0], 2000);
  ASSERT_GE(run.writes().size(), 3u);
  EXPECT_EQ(run.writes()[1].bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFE}));
  EXPECT_DOUBLE_EQ(Ms(run.writes()[1].time), 2000);
  EXPECT_DOUBLE_EQ(Ms(run.writes()[2].time), 6000);
}

TEST(Cycle, AlternatesTheReadingsWithOneMinutePauses) {
  sim::Options options = Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(900), WindowEvent::EndeClick}});
  options.temperatures = {45, 46, 47};
  options.fan_counts = {60, 0, 1};
  ProgramRun run(options);
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> expected{
      "CPU Temperatur : 45'C", "CPU Luefterdrehzahl : 2812 rpm", "CPU Temperatur : 46'C",
      "CPU Luefterdrehzahl : --- rpm", "CPU Temperatur : 47'C", "CPU Luefterdrehzahl : 168750 rpm"};
  const auto signs = run.signs();
  ASSERT_GE(signs.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(signs.begin(), signs.begin() + 6), expected);
  // Each reading follows the pause after the text before it: 59.5 to 60.5 s.
  const auto reads = run.times_of("port-out 0x295");
  const auto finished = run.times_of("sign");
  for (std::size_t i = 0; i + 1 < reads.size() && i < finished.size(); ++i) {
    const double pause = reads[i + 1] - finished[i];
    EXPECT_GE(pause, 59500) << "pause " << i;
    EXPECT_LE(pause, 60500) << "pause " << i;
  }
}

TEST(Cycle, EndeDuringAPauseEndsWithinThePauseWithoutFurtherReading) {
  const double in_pause = (kSettle + kTypingTemperature45) / 1000 + 30;
  for (const WindowEvent event : {WindowEvent::EndeClick, WindowEvent::Unload}) {
    ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(in_pause), event}}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
    EXPECT_EQ(run.simulation.chip().fan_count_reads(), 0);
    ASSERT_EQ(run.times_of("close").size(), 1u);
    EXPECT_DOUBLE_EQ(run.times_of("close")[0], in_pause * 1000);
    EXPECT_LT(Ms(run.writes().back().time), in_pause * 1000) << "no write after the close";
    EXPECT_EQ(run.writes().back().bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFF}));
  }
}

TEST(Cycle, EndeDuringTypingWaitsForTheNextPause) {
  ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(10), WindowEvent::EndeClick}}));
  EXPECT_EQ(run.signs(), std::vector<std::string>{"CPU Temperatur : 45'C"});
  ASSERT_EQ(run.times_of("close").size(), 1u);
  EXPECT_DOUBLE_EQ(run.times_of("close")[0], kSettle + kTypingTemperature45);
}

TEST(Cycle, MessenDuringTheFanPauseRestartsWithATemperatureReading) {
  // Temperature text, pause, fan text, then Messen in the fan pause.
  ProgramRun first(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(600), WindowEvent::EndeClick}}));
  const double fan_done = first.times_of("sign")[1];
  ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick},
                   {Seconds(fan_done / 1000 + 10), WindowEvent::MessenClick},
                   {Seconds(fan_done / 1000 + 20), WindowEvent::EndeClick}}));
  const auto reads = run.times_of("port-out 0x295");
  ASSERT_EQ(reads.size(), 3u) << "temperature, fan, then temperature at once";
  EXPECT_DOUBLE_EQ(reads[2], fan_done + 10000);
  EXPECT_EQ(run.signs().back(), "CPU Temperatur : 45'C");
  // The Ende queued behind the restart waits for the restarted cycle's first pause.
  EXPECT_DOUBLE_EQ(run.times_of("close")[0], fan_done + 10000 + kTypingTemperature45);
}

TEST(Cycle, MessenThenEndeInOnePauseClosesAfterTheRestartedTemperatureText) {
  const double in_pause = (kSettle + kTypingTemperature45) / 1000 + 30;
  ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick},
                          {Seconds(in_pause), WindowEvent::MessenClick},
                          {Seconds(in_pause), WindowEvent::EndeClick}}));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.signs(), (std::vector<std::string>{"CPU Temperatur : 45'C", "CPU Temperatur : 45'C"}));
  EXPECT_EQ(run.simulation.chip().fan_count_reads(), 0);
  ASSERT_EQ(run.times_of("close").size(), 1u);
  EXPECT_DOUBLE_EQ(run.times_of("close")[0], in_pause * 1000 + kTypingTemperature45);
}

// An IO-Warrior whose driver fails the program itself: after its `fault_at`-th write
// (counted from 0) has gone out, the write throws.
class FaultyKit final : public iow::IowKit {
 public:
  FaultyKit(iow::IowKit& kit, int fault_at) : kit_(kit), fault_at_(fault_at) {}
  iow::IowKitHandle open_device() override { return kit_.open_device(); }
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override {
    const std::uint32_t written = kit_.write(handle, pipe, report, length);
    if (writes_++ == fault_at_) throw std::runtime_error("Treiber kaputt");
    return written;
  }
  void close_device(iow::IowKitHandle handle) override { kit_.close_device(handle); }

 private:
  iow::IowKit& kit_;
  int fault_at_;
  int writes_ = 0;
};

const std::vector<std::uint8_t> kReleased{0x00, 0xFF, 0xFF};
const std::vector<std::uint8_t> kFinishPressed{0x00, 0xFF, 0xBF};

TEST(Ending, AnUnexpectedFaultDuringAPressReleasesFinishesTheEntryClosesOnceAndSaysSo) {
  // Write 61 is a press in the middle of the temperature text.
  static constexpr int kFaultAt = 61;
  std::ostringstream log;
  sim::Simulation simulation(Actions({{Seconds(0), WindowEvent::MessenClick}}), 43200.0, nullptr, log,
                             sim::EventLog::Detail::kFull, nullptr,
                             [](iow::IowKit& kit) -> std::unique_ptr<iow::IowKit> { return std::make_unique<FaultyKit>(kit, kFaultAt); });
  testing::internal::CaptureStderr();
  const int status = simulation.Run();
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, app::kExitInternalError);
  EXPECT_NE(diagnostics.find("Treiber kaputt"), std::string::npos);
  ASSERT_EQ(simulation.window().messages().size(), 1u);
  EXPECT_EQ(simulation.window().messages()[0].text, std::string(app::kInternalError) + "Treiber kaputt");
  EXPECT_EQ(simulation.iowarrior().close_calls(), 1);

  const auto& writes = simulation.iowarrior().writes();
  ASSERT_EQ(writes.size(), static_cast<std::size_t>(kFaultAt) + 4);
  EXPECT_NE(writes[kFaultAt].bytes, kReleased) << "the fault came with a key down";
  // Released at once, 50 ms, then line 6 pressed and released: entry closed.
  EXPECT_EQ(writes[kFaultAt + 1].bytes, kReleased);
  EXPECT_EQ(writes[kFaultAt + 1].time, writes[kFaultAt].time);
  EXPECT_EQ(writes[kFaultAt + 2].bytes, kFinishPressed);
  EXPECT_DOUBLE_EQ(Ms(writes[kFaultAt + 2].time) - Ms(writes[kFaultAt + 1].time), 50);
  EXPECT_EQ(writes[kFaultAt + 3].bytes, kReleased);
  // The sign shows the part of the text typed before the fault.
  const std::string shown = simulation.sign().shown();
  EXPECT_FALSE(shown.empty());
  EXPECT_LT(shown.size(), std::string("CPU Temperatur : 45'C").size());
  EXPECT_EQ(std::string("CPU Temperatur : 45'C").rfind(shown, 0), 0u) << shown;
}

TEST(Ending, TheTimeLimitDuringTheLongPressReleasesAndFinishesTheEntry) {
  sim::Options options = Actions({{Seconds(0), WindowEvent::MessenClick}});
  options.max_time = 2;  // in the 4 s press that opens entry
  ProgramRun run(options);
  EXPECT_EQ(run.status, sim::kExitTimeLimit);
  EXPECT_EQ(run.simulation.iowarrior().close_calls(), 1);
  ASSERT_EQ(run.writes().size(), 5u);
  EXPECT_EQ(run.writes()[1].bytes, (std::vector<std::uint8_t>{0x00, 0xFF, 0xFE}));
  EXPECT_EQ(run.writes()[2].bytes, kReleased);
  EXPECT_DOUBLE_EQ(Ms(run.writes()[2].time), 2000);
  EXPECT_EQ(run.writes()[3].bytes, kFinishPressed);
  EXPECT_EQ(run.writes()[4].bytes, kReleased);
}

enum class Shell { kWindow, kHeadless };

// Form1 on simulated hardware until 400 s of virtual time; with the window, Messen is
// clicked at once.
std::vector<sim::WriteRecord> TraceUntilLimit(Shell shell) {
  sim::SimClock clock(43200.0);
  clock.set_limit(iow::TimePoint{} + Seconds(400));
  sim::SimIoWarrior iowarrior(clock);
  sim::SimIte8705 chip({45}, {60});
  sim::ScriptedWindow window(clock, {{Seconds(0), WindowEvent::MessenClick}});
  platform::HeadlessWindow headless(clock);
  iow::OutsideLibraries lib(iowarrior, chip, clock);
  const bool windowed = shell == Shell::kWindow;
  app::Form1 form(lib, windowed ? static_cast<platform::EventQueue&>(window) : headless,
                  windowed ? static_cast<platform::WindowSystem&>(window) : headless);
  EXPECT_EQ(form.Run(), sim::kExitTimeLimit);
  return iowarrior.writes();
}

TEST(Headless, TypesExactlyWhatTheWindowedProgramTypesAfterAClickOnMessen) {
  const auto windowed = TraceUntilLimit(Shell::kWindow);
  const auto headless = TraceUntilLimit(Shell::kHeadless);
  ASSERT_GT(windowed.size(), 2000u) << "two texts and more";
  ASSERT_EQ(headless.size(), windowed.size());
  for (std::size_t i = 0; i < windowed.size(); ++i) {
    ASSERT_EQ(headless[i].bytes, windowed[i].bytes) << "write " << i;
    ASSERT_EQ(headless[i].time, windowed[i].time) << "write " << i;
  }
}

// The virtual clock, noting how deep the stack reaches whenever the program waits.
class StackProbeClock final : public iow::Clock {
 public:
  explicit StackProbeClock(sim::SimClock& clock) : clock_(clock) {}
  iow::TimePoint now() override { return clock_.now(); }
  void sleep_until(iow::TimePoint deadline) override {
    const char marker = 0;
    const auto depth = reinterpret_cast<std::uintptr_t>(&marker);
    lowest_ = std::min(lowest_, depth);
    highest_ = std::max(highest_, depth);
    clock_.sleep_until(deadline);
  }
  double time_of_day() override { return clock_.time_of_day(); }
  std::uintptr_t spread() const { return highest_ - lowest_; }

 private:
  sim::SimClock& clock_;
  std::uintptr_t lowest_ = UINTPTR_MAX;
  std::uintptr_t highest_ = 0;
};

TEST(Cycle, QueuedRestartsNeverNest) {
  constexpr int kClicks = 10000;
  std::vector<sim::ScheduledAction> actions{{Seconds(0), WindowEvent::MessenClick}};
  for (int i = 0; i < kClicks; ++i) actions.push_back({Seconds(50), WindowEvent::MessenClick});
  actions.push_back({Seconds(50), WindowEvent::EndeClick});
  sim::SimClock clock(43200.0);
  clock.set_limit(iow::TimePoint{} + Seconds(86400.0 * 30));
  StackProbeClock probe(clock);
  sim::SimIoWarrior iowarrior(clock);
  iowarrior.set_keep_trace(false);
  sim::SimIte8705 chip({45}, {60});
  sim::ScriptedWindow window(clock, actions);
  iow::OutsideLibraries lib(iowarrior, chip, probe);
  app::Form1 form(lib, window, window);
  EXPECT_EQ(form.Run(), 0);
  // Every restart types a fresh temperature text; no fan reading is ever taken.
  EXPECT_EQ(chip.temperature_reads(), kClicks + 1);
  EXPECT_EQ(chip.fan_count_reads(), 0);
  EXPECT_EQ(iowarrior.close_calls(), 1);
  // Nested restarts would leave a frame per restart on the stack.
  EXPECT_LT(probe.spread(), 16u * 1024u);
}

TEST(Pause, EndsAcrossMidnightAndAnswersClicksMeanwhile) {
  // The first pause starts at 23:59:30 (half past, rounded to even: ...30).
  const double pause_start = 86370;
  const double start = pause_start - (kSettle + kTypingTemperature45) / 1000;
  {
    ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(300), WindowEvent::EndeClick}}), start);
    const auto reads = run.times_of("port-out 0x295");
    ASSERT_GE(reads.size(), 2u);
    EXPECT_DOUBLE_EQ(reads[1] - run.times_of("sign")[0], 60000);
  }
  {
    const double at_midnight = (kSettle + kTypingTemperature45) / 1000 + 30.25;
    ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(at_midnight), WindowEvent::EndeClick}}),
            start);
    EXPECT_DOUBLE_EQ(run.times_of("close")[0], at_midnight * 1000);
  }
}

TEST(Pause, StartSecondRoundsHalfToEven) {
  // Pauses starting at x.5: to the even neighbour, so 59.5 s after an odd second and
  // 60.5 s after an even one; 23:59:59.5 rounds to midnight (86400) and still ends.
  struct Row {
    double pause_start;
    double expected_ms;
  };
  for (const Row row : {Row{86399.5, 60500}, Row{86398.5, 59500}, Row{43200.25, 59750}, Row{43200.75, 60250}}) {
    const double start = row.pause_start - (kSettle + kTypingTemperature45) / 1000;
    ProgramRun run(Actions({{Seconds(0), WindowEvent::MessenClick}, {Seconds(200), WindowEvent::EndeClick}}), start);
    const auto reads = run.times_of("port-out 0x295");
    ASSERT_GE(reads.size(), 2u) << row.pause_start;
    EXPECT_NEAR(reads[1] - run.times_of("sign")[0], row.expected_ms, 1e-3) << row.pause_start;
  }
}

// Sets the time of day once, as a user would, when simulated time reaches `at`.
class ClockSetter final : public platform::EventQueue {
 public:
  ClockSetter(platform::EventQueue& inner, sim::SimClock& clock, iow::TimePoint at, double time_of_day)
      : inner_(inner), clock_(clock), at_(at), time_of_day_(time_of_day) {}
  std::optional<WindowEvent> take_event() override { return inner_.take_event(); }
  void wait_event(iow::TimePoint deadline) override {
    if (!done_ && deadline > at_) {
      inner_.wait_event(at_);
      if (clock_.now() < at_) return;
      clock_.set_time_of_day(time_of_day_);
      done_ = true;
      return;
    }
    inner_.wait_event(deadline);
  }

 private:
  platform::EventQueue& inner_;
  sim::SimClock& clock_;
  iow::TimePoint at_;
  double time_of_day_;
  bool done_ = false;
};

TEST(Pause, SettingTheClockNeitherStretchesNorCutsIt) {
  const double pause_start_ms = kSettle + kTypingTemperature45;
  for (const double new_time : {0.0, 3600.0, 86399.0}) {
    sim::SimClock clock(43200.0);
    clock.set_limit(iow::TimePoint{} + Seconds(3600));
    std::ostringstream trace;
    sim::EventLog log(clock, trace);
    sim::SimIoWarrior iowarrior(clock);
    sim::SimIte8705 chip({45}, {60}, &log);
    sim::ScriptedWindow window(clock, {{Seconds(0), WindowEvent::MessenClick}, {Seconds(200), WindowEvent::EndeClick}});
    ClockSetter setter(window, clock, iow::TimePoint{} + Seconds(pause_start_ms / 1000 + 20), new_time);
    iow::OutsideLibraries lib(iowarrior, chip, clock);
    app::Form1 form(lib, setter, window);
    ASSERT_EQ(form.Run(), 0);
    ASSERT_EQ(chip.fan_count_reads(), 1) << "set to " << new_time;
    const std::string out = trace.str();
    const auto fan_read = out.find("port-out 0x295 0x0D");
    const double at = std::stod(out.substr(out.rfind('\n', fan_read) + 1));
    EXPECT_NEAR(at - pause_start_ms, 60000, 500) << "set to " << new_time;
  }
}

}  // namespace
