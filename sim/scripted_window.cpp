#include "sim/scripted_window.hpp"

#include <algorithm>

#include "sim/event_log.hpp"

namespace sim {

ScriptedWindow::ScriptedWindow(iow::Clock& clock, std::vector<ScheduledAction> actions, EventLog* log,
                               platform::EventQueue* events, platform::WindowSystem* window)
    : clock_(clock), log_(log), real_events_(events), real_window_(window) {
  std::stable_sort(actions.begin(), actions.end(),
                   [](const ScheduledAction& a, const ScheduledAction& b) { return a.at < b.at; });
  actions_.assign(actions.begin(), actions.end());
}

std::optional<platform::WindowEvent> ScriptedWindow::take_event() {
  if (!actions_.empty() && iow::TimePoint{} + actions_.front().at <= clock_.now()) {
    const platform::WindowEvent event = actions_.front().event;
    actions_.pop_front();
    return event;
  }
  return real_events_ != nullptr ? real_events_->take_event() : std::nullopt;
}

void ScriptedWindow::wait_event(iow::TimePoint deadline) {
  if (!actions_.empty()) deadline = std::min(deadline, iow::TimePoint{} + actions_.front().at);
  if (real_events_ != nullptr) {
    real_events_->wait_event(deadline);
  } else if (deadline > clock_.now()) {
    clock_.sleep_until(deadline);
  }
}

void ScriptedWindow::show_form() {
  ++shown_;
  if (real_window_ != nullptr) real_window_->show_form();
}

void ScriptedWindow::message_box(std::string_view text, std::string_view title) {
  messages_.push_back({std::string(title), std::string(text)});
  if (log_ != nullptr) log_->record("message", std::string(title) + " | " + std::string(text));
  if (real_window_ != nullptr) real_window_->message_box(text, title);
}

}  // namespace sim
