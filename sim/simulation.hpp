#pragma once
// The program on simulated hardware: an ITE 8705, an IO-Warrior whose key lines
// drive an emulated LED sign, a scripted window and a simulated clock.

#include <functional>
#include <memory>
#include <ostream>

#include "app/form1.hpp"
#include "platform/desktop.hpp"
#include "sim/event_log.hpp"
#include "sim/options.hpp"
#include "sim/scripted_window.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/sign_view.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"
#include "sim/sim_iowarrior.hpp"

namespace sim {

class Simulation {
 public:
  // `start_time_of_day` is used when the options name none; `real` paces a speed
  // above 0 and may be null for speed 0. Events go to `log_out`. With a `desktop`, its
  // window's events join the scripted ones and its message boxes are shown.
  // `guard`, when given, may wrap the simulated IO-Warrior in a kit the program drives
  // instead (the platform's end signals).
  using KitGuard = std::function<std::unique_ptr<iow::IowKit>(iow::IowKit&)>;
  Simulation(const Options& options, double start_time_of_day, iow::Clock* real, std::ostream& log_out,
             EventLog::Detail detail, platform::Desktop* desktop = nullptr, const KitGuard& guard = {});

  // Runs the program until it ends; returns its exit status, kExitTimeLimit when
  // simulated time passed the limit.
  int Run();

  // What the emulated sign shows now.
  SignView sign_view() const;

  SimClock& clock() { return clock_; }
  SimIoWarrior& iowarrior() { return iowarrior_; }
  SimIte8705& chip() { return chip_; }
  SignEmulator& sign() { return sign_; }
  ScriptedWindow& window() { return window_; }

 private:
  SimClock clock_;
  EventLog log_;
  SimIoWarrior iowarrior_;
  SimIte8705 chip_;
  SignEmulator sign_;
  ScriptedWindow window_;
  std::unique_ptr<iow::IowKit> guard_;
  iow::OutsideLibraries lib_;
  app::Form1 form_;
};

}  // namespace sim
