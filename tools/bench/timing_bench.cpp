// Timing benchmark: the real program logic in real time on a simulated device that
// timestamps each write on the monotonic clock. Types the temperature text for a
// reading of 45, then pauses, and reports how exactly every hold and wait was kept
// and how much CPU the program used meanwhile.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string_view>
#include <vector>

#include "app/form1.hpp"
#include "platform/desktop.hpp"
#include "sim/scripted_window.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"
#include "sim/sim_iowarrior.hpp"

namespace {

using Micros = std::chrono::duration<double, std::micro>;

// The machine's clock, noting for every wait how long it was asked to last and how
// far past its deadline it returned.
class MeasuringClock final : public iow::Clock {
 public:
  explicit MeasuringClock(iow::Clock& real) : real_(real) {}
  iow::TimePoint now() override { return real_.now(); }
  void sleep_until(iow::TimePoint deadline) override {
    const iow::TimePoint asked_at = real_.now();
    real_.sleep_until(deadline);
    const iow::TimePoint woke = real_.now();
    const auto nominal = std::chrono::round<std::chrono::milliseconds>(deadline - asked_at);
    overshoot_[nominal.count()].push_back(Micros(woke - deadline).count());
  }
  double time_of_day() override { return real_.time_of_day(); }

  const std::map<long long, std::vector<double>>& overshoot() const { return overshoot_; }

 private:
  iow::Clock& real_;
  std::map<long long, std::vector<double>> overshoot_;
};

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  const bool text_only = argc == 2 && std::string_view(argv[1]) == "--text-only";
  if (argc > 1 && !text_only) {
    std::fprintf(stderr, "usage: lumatext-timing-bench [--text-only]\n");
    return 2;
  }
  const auto real = platform::OpenRealClock();
  MeasuringClock clock(*real);
  sim::SimIoWarrior iowarrior(clock);
  sim::SignEmulator sign;
  iowarrior.on_pins([&](iow::TimePoint t, std::span<const std::uint8_t> r) { sign.on_report(t, r); });
  sim::SimIte8705 chip({45}, {60});

  // Messen at once; Ende late in the pause that follows the text (before its earliest end).
  constexpr double kTypingSeconds = 41.0;
  constexpr double kSettleSeconds = 0.1;
  const iow::TimePoint start = clock.now();
  const iow::Duration since_epoch = start.time_since_epoch();
  // Ende is handled at the pause's first look at the window events.
  const double ende_at = kSettleSeconds + kTypingSeconds + (text_only ? 0.5 : 59.4);
  sim::ScriptedWindow window(clock, {{since_epoch, platform::WindowEvent::MessenClick},
                                     {since_epoch + sim::Seconds(ende_at), platform::WindowEvent::EndeClick}});
  iow::OutsideLibraries lib(iowarrior, chip, clock);
  app::Form1 form(lib, window, window);

  std::printf("lumatext timing benchmark: temperature text for 45%s (about %.0f s)\n",
              text_only ? "" : ", then a pause", ende_at);
  double cpu_at_text_end = 0;
  iow::TimePoint text_end{};
  sign.on_finished([&](const std::string&) {
    cpu_at_text_end = CpuSeconds();
    text_end = clock.now();
  });
  const double cpu_start = CpuSeconds();
  const int status = form.Run();
  const double cpu_end = CpuSeconds();
  const iow::TimePoint end = clock.now();

  const auto& writes = iowarrior.writes();
  if (status != 0 || writes.size() < 3 || sign.shown() != "CPU Temperatur : 45'C") {
    std::fprintf(stderr, "benchmark run failed: status %d, sign \"%s\"\n", status, sign.shown().c_str());
    return 1;
  }
  // From the start-entry press (the write after the start-up release) to the finish release.
  const double text_seconds = std::chrono::duration<double>(writes.back().time - writes[1].time).count();
  std::printf("\ntext duration: %.6f s, ideal %.1f s of holds and waits, ratio %.6f (target <= 1.001)\n",
              text_seconds, kTypingSeconds, text_seconds / kTypingSeconds);

  std::printf("\novershoot of holds and waits, microseconds (target: 99th percentile <= 200, none early)\n");
  std::printf("%10s %8s %10s %10s %10s %10s %6s\n", "nominal", "count", "min", "median", "p99", "max", "early");
  for (const auto& [nominal, values] : clock.overshoot()) {
    if (nominal != 50 && nominal != 100 && nominal != 4000) continue;
    const auto early = std::count_if(values.begin(), values.end(), [](double v) { return v < 0; });
    std::printf("%8lld ms %8zu %10.1f %10.1f %10.1f %10.1f %6ld\n", nominal, values.size(),
                *std::min_element(values.begin(), values.end()), Percentile(values, 0.5), Percentile(values, 0.99),
                *std::max_element(values.begin(), values.end()), static_cast<long>(early));
  }

  const double typing_wall = std::chrono::duration<double>(text_end - start).count();
  const double pause_wall = std::chrono::duration<double>(end - text_end).count();
  std::printf("\nCPU (user + system) as a share of one core\n");
  std::printf("  typing:  %.4f s of %.1f s = %.3f%% (target <= 1%%)\n", cpu_at_text_end - cpu_start, typing_wall,
              100 * (cpu_at_text_end - cpu_start) / typing_wall);
  if (text_only) return 0;
  std::printf("  pausing: %.4f s of %.1f s = %.3f%% (target <= 0.1%%)\n", cpu_end - cpu_at_text_end, pause_wall,
              100 * (cpu_end - cpu_at_text_end) / pause_wall);
  return 0;
}
