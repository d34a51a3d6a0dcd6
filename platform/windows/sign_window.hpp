#pragma once
// The emulated LED sign of lumatext-sim on Windows: red LEDs in a dot matrix, redrawn
// from the sign's view 25 times a second while messages are dispatched.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/desktop.hpp"

namespace platform::windows {

class SignWindow {
 public:
  // Creates the window hidden; `view` says what the sign shows.
  explicit SignWindow(std::function<SignView()> view);
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

  std::function<SignView()> view_;
  HWND hwnd_ = nullptr;
  SignView last_;
  std::chrono::steady_clock::time_point scroll_start_ = std::chrono::steady_clock::now();
  std::vector<std::uint8_t> columns_;
};

}  // namespace platform::windows
