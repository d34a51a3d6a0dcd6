#pragma once
// Thin access to the window system: the window's events, the form and the message box.

#include <optional>
#include <string_view>

#include "iow.hpp"

namespace platform {

// The window events the program handles, in the order the user made them.
enum class WindowEvent {
  MessenClick,  // click on the button Messen
  EndeClick,    // click on the button Ende
  Unload,       // the user closes the window
};

// The window's event queue. Toolkits translate their own events into WindowEvents
// and keep them here until the program asks for them.
class EventQueue {
 public:
  virtual ~EventQueue() = default;
  // Takes the oldest waiting event without waiting for new ones; nullopt when none waits.
  // May end the program (ProgramEnd) on an end signal.
  virtual std::optional<WindowEvent> take_event() = 0;
  // Blocks until an event waits or the clock reaches `deadline`, whichever comes first,
  // without spinning. TimePoint::max() waits for an event only. May end the program
  // (ProgramEnd) on an end signal or at a simulated clock's limit.
  virtual void wait_event(iow::TimePoint deadline) = 0;
};

// The visible side of the window system. Texts are UTF-8.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // Shows the window Form1 with its two buttons; focus on Messen.
  virtual void show_form() = 0;
  // Modal message box with a single OK button and no icon; returns when it is dismissed.
  // May end the program (ProgramEnd) on an end signal.
  virtual void message_box(std::string_view text, std::string_view title) = 0;
};

}  // namespace platform
