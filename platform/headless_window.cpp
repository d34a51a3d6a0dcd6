#include "platform/headless_window.hpp"

#include <chrono>
#include <string>

#include "platform/diagnostics.hpp"

namespace platform {
namespace {

// A real clock sleeps only to finite deadlines: waiting for nothing is sleeping in steps
// of this length until a signal ends the program.
constexpr std::chrono::hours kIdleStep{1};

}  // namespace

std::optional<WindowEvent> HeadlessWindow::take_event() {
  if (!messen_waits_) return std::nullopt;
  messen_waits_ = false;
  return WindowEvent::MessenClick;
}

void HeadlessWindow::wait_event(iow::TimePoint deadline) {
  if (messen_waits_) return;
  if (watch_ != nullptr) {
    if (watch_->wait_until_gone(deadline)) throw DeviceGone{};
    return;
  }
  if (deadline == iow::TimePoint::max()) {
    for (;;) clock_.sleep_until(clock_.now() + kIdleStep);
  }
  clock_.sleep_until(deadline);
}

void HeadlessWindow::message_box(std::string_view text, std::string_view title) {
  Diagnostic("lumatext: " + std::string(title) + ": " + std::string(text));
}

}  // namespace platform
