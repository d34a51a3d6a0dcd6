#pragma once
// The program without a window, for a machine nobody is logged in to: Messen counts as
// clicked the moment the window would appear, message boxes go to standard error, and
// waiting for events is sleeping on the clock. The cycle then runs until a signal ends it,
// or, with a DeviceWatch, until the IO-Warrior is gone.

#include <optional>
#include <string_view>

#include "platform/device_loss.hpp"
#include "platform/iow.hpp"
#include "platform/window_system.hpp"

namespace platform {

class HeadlessWindow final : public EventQueue, public WindowSystem {
 public:
  // With `watch`, waits end the program (DeviceGone) as soon as the IO-Warrior is gone.
  explicit HeadlessWindow(iow::Clock& clock, DeviceWatch* watch = nullptr) : clock_(clock), watch_(watch) {}

  // Messen, once, after show_form; nothing else ever.
  std::optional<WindowEvent> take_event() override;
  // Sleeps on the clock to `deadline` unless Messen waits. May end the program
  // (ProgramEnd) as the clock's sleeps do, and with a watch (DeviceGone) when the
  // IO-Warrior is gone.
  void wait_event(iow::TimePoint deadline) override;
  // There is no window: counts as the click on Messen.
  void show_form() override { messen_waits_ = true; }
  // The text, as one diagnostic line; returns at once.
  void message_box(std::string_view text, std::string_view title) override;

 private:
  iow::Clock& clock_;
  DeviceWatch* watch_;
  bool messen_waits_ = false;
};

}  // namespace platform
