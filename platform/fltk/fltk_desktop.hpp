#pragma once
// The desktop on FLTK 1.3: the window Form1, its event queue and the message box.

#include <functional>
#include <memory>

#include "platform/desktop.hpp"

namespace platform::fltk {

// What the machine the toolkit runs on gives it: its precise clock and its end signals.
struct Machine {
  // The desktop's clock.
  iow::Clock* clock = nullptr;
  // Called after every wait on the toolkit; may end the program (ProgramEnd).
  std::function<void()> end_check;
  // A descriptor that becomes readable when end_check has something to do; -1: none.
  int wake_fd = -1;
};

// Opens the display and builds Form1 (not yet shown); null with a diagnostic when there
// is no display to open.
std::unique_ptr<Desktop> OpenFltkDesktop(const FormLayout& form, const Machine& machine);

}  // namespace platform::fltk
