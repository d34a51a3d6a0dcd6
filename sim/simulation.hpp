#pragma once
// The program on simulated hardware: an ITE 8705, an IO-Warrior whose key lines
// drive an emulated LED sign, a scripted window and a simulated clock.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <ostream>

#include "app/form1.hpp"
#include "app/keypad_tasks.hpp"
#include "platform/desktop.hpp"
#include "platform/device_loss.hpp"
#include "platform/headless_window.hpp"
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
  // instead (the platform's end signals). Unattended (options.unattended), the program
  // runs as lumatext --headless does: the headless window with its device watch, a lost
  // IO-Warrior ending the run; with options.restart_after the simulation then plays the
  // supervisor that starts it again.
  using KitGuard = std::function<std::unique_ptr<iow::IowKit>(iow::IowKit&)>;
  Simulation(const Options& options, double start_time_of_day, iow::Clock* real, std::ostream& log_out,
             EventLog::Detail detail, platform::Desktop* desktop = nullptr, const KitGuard& guard = {});

  // Runs the program until it ends; returns its exit status, kExitTimeLimit when
  // simulated time passed the limit. With a restart delay, a run that ends because the
  // IO-Warrior is gone is followed, that much simulated time later, by the device plugged
  // in again and a new run; the runs end at the time limit.
  int Run();

  // Runs one key task of lumatext --type or --test-keys instead of the program's window,
  // a lost IO-Warrior ending it (status 4); logs its exit status and returns it.
  int RunTask(const app::KeypadSession::Task& task);

  // What the emulated sign shows now.
  SignView sign_view() const;

  SimClock& clock() { return clock_; }
  SimIoWarrior& iowarrior() { return iowarrior_; }
  // Runs of the program so far: more than one where the supervisor restarted it.
  int runs() const { return runs_; }
  SimIte8705& chip() { return chip_; }
  // Why the owner's choice of a sensor (--temperature-sensor, --fan-sensor) names none
  // the simulated kernel offers; empty when it does or none was made.
  const std::string& source_error() const { return source_error_; }
  SignEmulator& sign() { return sign_; }
  ScriptedWindow& window() { return window_; }

 private:
  SimClock clock_;
  EventLog log_;
  SimIoWarrior iowarrior_;
  SimIte8705 chip_;
  SignEmulator sign_;
  ScriptedWindow window_;
  // The window of the unattended mode: lumatext's headless window for its waits and its
  // Messen at start; its messages go to the log, as the scripted window's do, and are
  // not kept (a month of restarts would pile them up).
  class UnattendedWindow final : public platform::WindowSystem {
   public:
    UnattendedWindow(platform::HeadlessWindow& headless, EventLog& log) : headless_(headless), log_(log) {}
    void show_form() override { headless_.show_form(); }
    void message_box(std::string_view text, std::string_view title) override {
      log_.record("message", std::string(title) + " | " + std::string(text));
      log_.flush();
    }

   private:
    platform::HeadlessWindow& headless_;
    EventLog& log_;
  };

  // One run of the program, as its supervisor starts it.
  int RunOnce();

  bool unattended_;
  std::optional<iow::Duration> restart_after_;
  std::string source_error_;
  std::unique_ptr<iow::IowKit> guard_;
  platform::EndOnDeviceLoss loss_guard_;
  SimIoWarriorWatch watch_;
  platform::HeadlessWindow headless_;
  UnattendedWindow unattended_window_;
  iow::OutsideLibraries lib_;
  // The key tasks' libraries: a lost IO-Warrior ends them.
  iow::OutsideLibraries task_lib_;
  int runs_ = 0;
};

}  // namespace sim
