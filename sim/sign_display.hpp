#pragma once
// The emulated LED sign's window on the desktop of lumatext-sim, below Form1. It is the
// simulator's own: the product's desktop knows nothing of it. Each window system has its
// implementation under sim/; CMake picks one.

#include <functional>
#include <memory>

#include "platform/desktop.hpp"
#include "sim/sign_view.hpp"

namespace sim {

class SignDisplay {
 public:
  virtual ~SignDisplay() = default;
  // Shows the window below Form1, which must be shown already, and starts drawing it.
  virtual void show() = 0;
  // The desktop's clock, kept drawing the sign while it sleeps: the clock the simulated
  // program is to sleep on. Window events arriving meanwhile only queue; `after_wait`, when
  // set, is called after each wait on the window system. Its sleeps may end the program
  // as the desktop's clock's do.
  virtual iow::Clock& clock() = 0;
  virtual void set_after_wait(std::function<void()> after_wait) = 0;
};

// The sign's window on `desktop`, drawn from what `view` returns; null where this build
// has no window system.
std::unique_ptr<SignDisplay> OpenSignDisplay(platform::Desktop& desktop, std::function<SignView()> view);

}  // namespace sim
