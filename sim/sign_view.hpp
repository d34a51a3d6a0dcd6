#pragma once
// What the emulated LED sign shows, as its window draws it.

#include <string>

namespace sim {

struct SignView {
  std::string text;      // the finished text, or during entry the characters accepted so far
  bool entering = false;
  char selected = ' ';   // during entry: the ring character being selected
};

}  // namespace sim
