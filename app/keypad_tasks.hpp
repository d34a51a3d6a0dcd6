#pragma once
// Beside the measurement cycle, the sign's keypad driven for its owner: any text typed
// once (lumatext --type TEXT), and each key pressed alone to try the wiring
// (lumatext --test-keys). Both hold the IO-Warrior as Form1 does and end as it does.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/iow.hpp"
#include "platform/line_input.hpp"
#include "platform/window_state.hpp"
#include "platform/window_system.hpp"

namespace app {

// The longest text --type takes: at up to 95 forward presses a character, 100 characters
// take at most about 8 minutes.
inline constexpr std::size_t kMaxTypedText = 100;
// Exit status when a text cannot be typed (as for any refused argument).
inline constexpr int kExitRefused = 2;
// Exit status when the IO-Warrior is lost while a key task runs.
inline constexpr std::string_view kDeviceLostByHand = "IO-Warrior getrennt: lumatext wird beendet";

// Why `text` cannot be typed into the sign, in German, naming the first character the
// sign's character ring lacks (an umlaut, "[", a control character, anything beyond 7-bit
// ASCII) and its position counted from 1 in characters; also an empty or too long text.
// Nothing when every character is one of A-Z, a-z and space to "@".
std::optional<std::string> RefuseTypedText(std::string_view text);

// The holds and waits of typing `text` after the start-up release (100 ms, then the text
// entry), computed by running the text entry on a clock that only counts; the writes'
// own time is not included.
std::chrono::milliseconds TypingTime(std::string_view text);

// The line said before typing: the text, its length and TypingTime in seconds.
std::string TypingAnnouncement(std::string_view text);

// The IO-Warrior held for one task: opened (none: the start-up message, status 1), every
// key released as at start-up (00 FF FF, 100 ms), the task run, and then the ending work
// of every way of ending (a held key released, open text entry finished, the device
// closed once), also when the task is ended by a signal, an end request or a lost device
// (its message, status 4). Returns the exit status: 0 when the task ran to its end.
class KeypadSession {
 public:
  using Task = std::function<void(WindowState&, iow::OutsideLibraries&)>;
  KeypadSession(iow::OutsideLibraries& lib, platform::WindowSystem& window) : lib_(lib), window_(window) {}
  int Run(const Task& task);

 private:
  WindowState state_;
  iow::OutsideLibraries& lib_;
  platform::WindowSystem& window_;
};

// Types `text` once with the text entry of the measurement cycle (EnterText).
KeypadSession::Task TypeTextTask(std::string text);

// Presses each of the four key lines alone, line 0 briefly and then for 4 s: before each
// press it says through `say` which key it is and what the sign should show then, and
// waits for a line from `input`. The end of the input ends the test; all keys are
// released, and text entry the long press opened is finished.
using Say = std::function<void(std::string_view)>;
KeypadSession::Task TestKeysTask(platform::LineInput& input, Say say);

}  // namespace app
