#include "sim/simulation.hpp"

#include <string>

#include "monitor/sensor_choice.hpp"

namespace sim {

Simulation::Simulation(const Options& options, double start_time_of_day, iow::Clock* real, std::ostream& log_out,
                       EventLog::Detail detail, platform::Desktop* desktop, const KitGuard& guard)
    : clock_(options.time_of_day.value_or(start_time_of_day), options.speed, real),
      log_(clock_, log_out, detail),
      iowarrior_(clock_, &log_),
      chip_(options.temperatures, options.fan_counts, &log_),
      window_(clock_, options.actions, &log_, desktop != nullptr ? &desktop->events() : nullptr,
              desktop != nullptr ? &desktop->window() : nullptr,
              [this](iow::TimePoint deadline) { return clock_.real_deadline(deadline); }),
      unattended_(options.unattended),
      guard_(guard ? guard(iowarrior_) : nullptr),
      loss_guard_(guard_ ? *guard_ : iowarrior_),
      watch_(iowarrior_, clock_),
      headless_(clock_, &watch_),
      unattended_window_(headless_, log_),
      lib_(unattended_ ? static_cast<iow::IowKit&>(loss_guard_) : guard_ ? *guard_ : iowarrior_, chip_, clock_),
      task_lib_(loss_guard_, chip_, clock_) {
  if (options.restart_after) restart_after_ = Seconds(*options.restart_after);
  clock_.set_limit(iow::TimePoint{} + Seconds(options.max_time));
  if (const platform::IowarriorModel* model = platform::FindIowarriorModel(options.iowarrior)) {
    iowarrior_.set_model(*model);
  }
  iowarrior_.set_present(!options.no_device);
  iowarrior_.set_reject_writes(options.reject_writes);
  if (options.unplug_at) iowarrior_.set_unplug_at(iow::TimePoint{} + Seconds(*options.unplug_at));
  if (options.unplug_every) iowarrior_.set_unplug_every(Seconds(*options.unplug_every));
  chip_.set_accessible(!options.no_port_access);
  chip_.set_chip({options.chip_id, options.chip_revision});
  if (options.hwmon) chip_.set_hwmon(*options.hwmon);
  source_error_ = monitor::ChooseReadingSource(chip_, {options.temperature_sensor, options.fan_sensor});
  chip_.set_fan_registers(options.fan_divisors, options.fan_16bit);
  iowarrior_.on_pins([this](iow::TimePoint time, std::span<const std::uint8_t> report) { sign_.on_report(time, report); });
  sign_.on_finished([this](const std::string& text) { log_.record("sign", text); });
  clock_.set_before_real_wait([this] { log_.flush(); });
}

SignView Simulation::sign_view() const {
  if (!sign_.entering()) return {sign_.shown(), false, ' '};
  return {sign_.entered(), true, SignEmulator::RingChar(sign_.selected())};
}

int Simulation::Run() {
  int status = RunOnce();
  while (status == app::kExitDeviceLost && restart_after_) {
    log_.record("exit", std::to_string(status));
    try {
      clock_.sleep_until(clock_.now() + *restart_after_);
    } catch (const platform::ProgramEnd& end) {
      // The time limit (or an end signal) while the supervisor waits.
      status = end.status;
      break;
    }
    iowarrior_.plug_in();
    status = RunOnce();
  }
  log_.record("exit", std::to_string(status));
  log_.flush();
  return status;
}

int Simulation::RunTask(const app::KeypadSession::Task& task) {
  ++runs_;
  app::KeypadSession session(task_lib_, window_);
  const int status = session.Run(task);
  log_.record("exit", std::to_string(status));
  log_.flush();
  return status;
}

int Simulation::RunOnce() {
  ++runs_;
  // A fresh program, as a restarted process is.
  app::Form1 form = unattended_ ? app::Form1(lib_, headless_, unattended_window_) : app::Form1(lib_, window_, window_);
  return form.Run();
}

}  // namespace sim
