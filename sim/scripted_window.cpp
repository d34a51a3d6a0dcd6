#include "sim/scripted_window.hpp"

#include <algorithm>

#include "sim/event_log.hpp"

namespace sim {

ScriptedWindow::ScriptedWindow(iow::Clock& clock, std::vector<ScheduledAction> actions, EventLog* log,
                               platform::EventQueue* events, platform::WindowSystem* window,
                               RealDeadline real_deadline)
    : clock_(clock), log_(log), real_events_(events), real_window_(window), real_deadline_(std::move(real_deadline)) {
  std::stable_sort(actions.begin(), actions.end(),
                   [](const ScheduledAction& a, const ScheduledAction& b) { return a.at < b.at; });
  actions_.assign(actions.begin(), actions.end());
}

void ScriptedWindow::collect_real_events() {
  if (real_events_ == nullptr) return;
  while (const auto event = real_events_->take_event()) real_.push_back({clock_.now() - iow::TimePoint{}, *event});
}

std::optional<platform::WindowEvent> ScriptedWindow::take_event() {
  collect_real_events();
  const bool action_due = !actions_.empty() && iow::TimePoint{} + actions_.front().at <= clock_.now();
  // A real event made no later than the due action goes first.
  std::deque<ScheduledAction>* from = nullptr;
  if (!real_.empty() && (!action_due || real_.front().at <= actions_.front().at)) {
    from = &real_;
  } else if (action_due) {
    from = &actions_;
  }
  if (from == nullptr) return std::nullopt;
  const platform::WindowEvent event = from->front().event;
  from->pop_front();
  return event;
}

void ScriptedWindow::wait_event(iow::TimePoint deadline) {
  if (!actions_.empty()) deadline = std::min(deadline, iow::TimePoint{} + actions_.front().at);
  if (real_events_ == nullptr) {
    if (deadline > clock_.now()) clock_.sleep_until(deadline);
    return;
  }
  if (!real_.empty()) return;
  // Whoever follows the log sees everything up to this wait.
  if (log_ != nullptr) log_->flush();
  real_events_->wait_event(real_deadline_ ? real_deadline_(deadline) : deadline);
  collect_real_events();
}

void ScriptedWindow::show_form() {
  ++shown_;
  if (real_window_ != nullptr) real_window_->show_form();
}

void ScriptedWindow::message_box(std::string_view text, std::string_view title) {
  messages_.push_back({std::string(title), std::string(text)});
  if (log_ != nullptr) {
    log_->record("message", std::string(title) + " | " + std::string(text));
    log_->flush();
  }
  if (real_window_ != nullptr) real_window_->message_box(text, title);
}

}  // namespace sim
