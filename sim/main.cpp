// lumatext-sim: the program on simulated hardware, for development and demonstration
// without an ITE 8705, an IO-Warrior or an LED sign.

#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "platform/system_clock.hpp"
#include "sim/options.hpp"
#include "sim/simulation.hpp"

namespace {

constexpr int kExitUsage = 2;

int RunHeadless(const sim::Options& options) {
  platform::SystemClock real;
  std::ofstream file;
  std::ostream* out = &std::cout;
  if (options.log_path && *options.log_path != "-") {
    file.open(*options.log_path);
    if (!file) {
      std::cerr << "lumatext-sim: --log: \u201e" << *options.log_path << "\u201c kann nicht geschrieben werden\n";
      return kExitUsage;
    }
    out = &file;
  }
  const auto detail = options.log_path ? sim::EventLog::Detail::kFull : sim::EventLog::Detail::kBrief;
  sim::Simulation simulation(options, real.time_of_day(), &real, *out, detail);
  const int status = simulation.Run();
  if (status == sim::kExitTimeLimit) {
    std::cerr << "lumatext-sim: die simulierte Zeit hat --max-time (" << options.max_time
              << " s) erreicht; Abbruch\n";
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  sim::Options options;
  try {
    options = sim::ParseOptions(args);
  } catch (const sim::UsageError& error) {
    std::cerr << "lumatext-sim: " << error.what() << '\n' << sim::Usage();
    return kExitUsage;
  }
  if (options.help) {
    std::cout << sim::Usage();
    return 0;
  }
  if (!options.headless) {
    std::cerr << "lumatext-sim: dieser Build hat kein Fenster; mit --headless starten\n" << sim::Usage();
    return kExitUsage;
  }
  return RunHeadless(options);
}
