#pragma once
// A window without a screen: user actions arrive at set moments of simulated time,
// message boxes are logged and taken as dismissed at once.

#include <deque>
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
  // `actions` in any order; actions at the same moment keep their order.
  ScriptedWindow(iow::Clock& clock, std::vector<ScheduledAction> actions, EventLog* log = nullptr);

  std::optional<platform::WindowEvent> take_event() override;
  void wait_event(iow::TimePoint deadline) override;
  void show_form() override { ++shown_; }
  void message_box(std::string_view text, std::string_view title) override;

  int times_shown() const { return shown_; }
  const std::vector<MessageRecord>& messages() const { return messages_; }
  // Actions not yet taken by the program.
  std::size_t pending() const { return actions_.size(); }

 private:
  iow::Clock& clock_;
  std::deque<ScheduledAction> actions_;
  EventLog* log_;
  std::vector<MessageRecord> messages_;
  int shown_ = 0;
};

}  // namespace sim
