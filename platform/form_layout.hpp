#pragma once
// How the window Form1 looks, as the program describes it to the window system.

#include <string_view>

namespace platform {

// A rectangle in twips (1/1440 inch; 15 twips are one pixel at 96 dpi).
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct ButtonLayout {
  std::string_view caption;  // UTF-8
  TwipsRect rect;            // within the client area
};

// The window with its two push buttons, in tab order: Messen, which has the focus when
// the window opens, then Ende.
struct FormLayout {
  std::string_view title;  // UTF-8
  int client_width = 0;    // twips
  int client_height = 0;   // twips
  ButtonLayout messen;
  ButtonLayout ende;
};

}  // namespace platform
