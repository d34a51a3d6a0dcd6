#pragma once
// The desktop on FLTK 1.3: the window Form1, its event queue, the message box, and on
// request the emulated LED sign's window.

#include <functional>
#include <memory>

#include "platform/desktop.hpp"

namespace platform::fltk {

// What the machine adds to the toolkit.
struct MachineHooks {
  // The machine's precise clock; the desktop's clock is this one, kept drawing the
  // sign window while it sleeps when there is one.
  iow::Clock* clock = nullptr;
  // Called after every wait on the toolkit; may end the program by throwing ProgramEnd.
  std::function<void()> end_check;
  // A descriptor that becomes readable when end_check has something to do; -1: none.
  int wake_fd = -1;
};

// Opens the display and builds the windows (not yet shown); null with a diagnostic when
// there is no display to open.
std::unique_ptr<Desktop> OpenFltkDesktop(const DesktopSettings& settings, const MachineHooks& hooks);

}  // namespace platform::fltk
