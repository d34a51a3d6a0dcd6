#pragma once
// Standard input read line by line for a console program (lumatext --test-keys through
// lumatext.com), the wait for a line ended by the console's end requests.

#include <windows.h>

#include <atomic>
#include <string>

#include "platform/line_input.hpp"

namespace platform::windows {

class EndRequest;

class ConsoleLines final : public LineInput {
 public:
  // Reads `input` (a console, a pipe or a file) on a thread of its own, so that a wait
  // for a line also ends on `end`'s wake-up event.
  ConsoleLines(HANDLE input, EndRequest& end);
  ~ConsoleLines() override;
  ConsoleLines(const ConsoleLines&) = delete;
  ConsoleLines& operator=(const ConsoleLines&) = delete;

  // Ends the program (ProgramEnd) when an end is requested while it waits. A last line
  // without its line end counts as a line.
  bool read_line() override;

 private:
  static DWORD WINAPI ReaderThread(void* self);
  void read_all();

  HANDLE input_;
  EndRequest& end_;
  CRITICAL_SECTION lock_;
  HANDLE data_ = nullptr;  // set when the reader has added bytes or reached the end
  HANDLE thread_ = nullptr;
  std::string buffer_;     // under lock_
  bool eof_ = false;       // under lock_
  std::atomic<bool> stopping_{false};
};

}  // namespace platform::windows
