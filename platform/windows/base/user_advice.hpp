#pragma once
// Advice for the user on a failure the program is about to report. A GUI program has
// no console for its diagnostics: the next message box shows the advice below its text.

#include <string>

namespace platform::windows {

// Leaves `advice` for the next message box, replacing advice left before.
void AdviseUser(std::string advice);

// The advice left since the last call, and forgets it; empty when there is none.
std::string TakeUserAdvice();

}  // namespace platform::windows
