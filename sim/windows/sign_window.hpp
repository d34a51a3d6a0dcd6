#pragma once
// The emulated LED sign of lumatext-sim on Windows: red LEDs in a dot matrix, redrawn
// from the sign's view 25 times a second while messages are dispatched.

#include <windows.h>

#include <functional>

#include "platform/iow.hpp"
#include "sim/sign_frame.hpp"
#include "sim/sign_view.hpp"

namespace sim::windows {

class SignWindow {
 public:
  // Creates the window hidden; `view` says what the sign shows, `clock` paces its
  // running text.
  SignWindow(iow::Clock& clock, std::function<SignView()> view);
  ~SignWindow();
  SignWindow(const SignWindow&) = delete;
  SignWindow& operator=(const SignWindow&) = delete;

  // Shows the window at `left`, `top` (screen pixels) and starts redrawing it.
  void show(int left, int top);

  HWND hwnd() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void update();
  void paint();

  SignFrames frames_;
  HWND hwnd_ = nullptr;
};

}  // namespace sim::windows
