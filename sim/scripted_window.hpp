#pragma once
// The window as the simulator sees it: user actions scripted at set moments of
// simulated time, merged with a real window's events where there is one, in the order
// they were made. Without a real window, message boxes are logged and taken as dismissed
// at once.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_system.hpp"

namespace sim {

class EventLog;

// A user action at `at` of simulated time since start.
struct ScheduledAction {
  iow::Duration at;
  platform::WindowEvent event;
};

struct MessageRecord {
  std::string title;
  std::string text;
};

class ScriptedWindow final : public platform::EventQueue, public platform::WindowSystem {
 public:
  // Maps a deadline on the program's clock to one on the real window's clock.
  using RealDeadline = std::function<iow::TimePoint(iow::TimePoint)>;

  // `actions` in any order; actions at the same moment keep their order. `events` and
  // `window`, when given, are a real window whose deadlines `real_deadline` gives (the
  // program's own when empty).
  ScriptedWindow(iow::Clock& clock, std::vector<ScheduledAction> actions, EventLog* log = nullptr,
                 platform::EventQueue* events = nullptr, platform::WindowSystem* window = nullptr,
                 RealDeadline real_deadline = {});

  // The earliest made of the due actions and the real window's events.
  std::optional<platform::WindowEvent> take_event() override;
  void wait_event(iow::TimePoint deadline) override;
  void show_form() override;
  void message_box(std::string_view text, std::string_view title) override;

  // Takes the real window's waiting events in, each stamped as made at the simulated
  // time now; called after every wait on the real window system.
  void collect_real_events();

  int times_shown() const { return shown_; }
  const std::vector<MessageRecord>& messages() const { return messages_; }

 private:
  iow::Clock& clock_;
  std::deque<ScheduledAction> actions_;
  std::deque<ScheduledAction> real_;  // real events, stamped when they were taken in
  EventLog* log_;
  platform::EventQueue* real_events_;
  platform::WindowSystem* real_window_;
  RealDeadline real_deadline_;
  std::vector<MessageRecord> messages_;
  int shown_ = 0;
};

}  // namespace sim
