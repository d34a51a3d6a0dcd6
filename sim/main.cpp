// lumatext-sim: the program on simulated hardware, for development and demonstration
// without an ITE 8705, an IO-Warrior or an LED sign.

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.hpp"
#include "app/keypad_tasks.hpp"
#include "platform/desktop.hpp"
#include "platform/line_input.hpp"
#include "platform/service.hpp"
#include "sim/options.hpp"
#include "sim/sign_display.hpp"
#include "sim/simulation.hpp"

namespace {

constexpr int kExitUsage = 2;

// The machine's desktop with the emulated sign's window below Form1: shown with Form1,
// and drawn while the program sleeps on its clock.
class DesktopWithSign final : public platform::Desktop, public platform::WindowSystem {
 public:
  DesktopWithSign(platform::Desktop& desktop, sim::SignDisplay& sign) : desktop_(desktop), sign_(sign) {}

  platform::EventQueue& events() override { return desktop_.events(); }
  platform::WindowSystem& window() override { return *this; }
  iow::Clock& clock() override { return sign_.clock(); }

  void show_form() override {
    desktop_.window().show_form();
    sign_.show();
  }
  void message_box(std::string_view text, std::string_view title) override {
    desktop_.window().message_box(text, title);
  }

 private:
  platform::Desktop& desktop_;
  sim::SignDisplay& sign_;
};

// A refused command line: what was wrong, and where the options are listed.
int Refuse(std::string_view error) {
  std::cerr << "lumatext-sim: " << error << "\nAlle Optionen: lumatext-sim --help\n";
  return kExitUsage;
}

int Finish(const sim::Options& options, int status) {
  if (status == sim::kExitTimeLimit) {
    std::cerr << "lumatext-sim: die simulierte Zeit hat --max-time (" << options.max_time
              << " s) erreicht; Abbruch\n";
  }
  return status;
}

// The arguments for the service's command line: all but --install-service.
std::string ServiceArguments(std::vector<std::string_view> args) {
  std::erase(args, std::string_view("--install-service"));
  return platform::ServiceArguments(args);
}

// What the simulation runs: the program's window, or one of lumatext's key tasks, whose
// announcements go to standard error (standard output may carry the log).
int RunProgram(const sim::Options& options, sim::Simulation& simulation) {
  if (!simulation.source_error().empty()) return Refuse(simulation.source_error());
  const auto say = [](std::string_view text) { std::cerr << text << std::flush; };
  if (options.type_text) {
    say(app::TypingAnnouncement(*options.type_text));
    return simulation.RunTask(app::TypeTextTask(*options.type_text));
  }
  if (options.test_keys) {
    const auto input = platform::OpenStandardInput();
    return simulation.RunTask(app::TestKeysTask(*input, say));
  }
  return simulation.Run();
}

int Run(const sim::Options& options, std::ostream& out) {
  const auto detail = options.log_path ? sim::EventLog::Detail::kFull : sim::EventLog::Detail::kBrief;
  if (options.headless) {
    const auto real = platform::OpenRealClock();
    sim::Simulation simulation(options, real->time_of_day(), real.get(), out, detail, nullptr, platform::EndOnSignals);
    // The log carries every write; a trace in memory would grow for as long as the run.
    simulation.iowarrior().set_keep_trace(false);
    return Finish(options, RunProgram(options, simulation));
  }
  // With a window the simulated time follows the desktop's clock.
  std::unique_ptr<sim::Simulation> simulation;
  const auto desktop = platform::OpenDesktop(app::kForm1Layout);
  const auto sign =
      desktop ? sim::OpenSignDisplay(*desktop, [&simulation] { return simulation->sign_view(); }) : nullptr;
  if (!sign) {
    std::cerr << "lumatext-sim: kein Fenster m\u00f6glich; mit --headless starten\n";
    return kExitUsage;
  }
  DesktopWithSign with_sign(*desktop, *sign);
  simulation = std::make_unique<sim::Simulation>(options, with_sign.clock().time_of_day(), &with_sign.clock(), out,
                                                 detail, &with_sign, platform::EndOnSignals);
  simulation->iowarrior().set_keep_trace(false);
  // Clicks made while the program sleeps are taken in with the time they were made.
  sign->set_after_wait([&simulation] { simulation->window().collect_real_events(); });
  return Finish(options, RunProgram(options, *simulation));
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  sim::Options options;
  try {
    options = sim::ParseOptions(args);
  } catch (const sim::UsageError& error) {
    return Refuse(error.what());
  }
  if (options.help) {
    std::cout << sim::Usage();
    return 0;
  }
  if (options.service == sim::Options::Service::kInstall) return platform::InstallService(ServiceArguments(args));
  if (options.service == sim::Options::Service::kRemove) return platform::RemoveService();
  if (!options.headless && options.speed == 0) return Refuse("--speed: 0 (virtuelle Zeit) nur mit --headless");
  std::ofstream file;
  if (options.log_path && *options.log_path != "-") {
    file.open(*options.log_path);
    if (!file) return Refuse("--log: \u201e" + *options.log_path + "\u201c kann nicht geschrieben werden");
  }
  std::ostream& out = file.is_open() ? static_cast<std::ostream&>(file) : std::cout;
  const auto run = [&] { return Run(options, out); };
  if (options.service == sim::Options::Service::kRun) return platform::RunService(run);
  return options.headless ? platform::RunHeadless(run) : run();
}
