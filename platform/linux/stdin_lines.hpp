#pragma once
// Standard input read line by line, the wait for a line ended by the end signals.

#include <string>

#include "platform/line_input.hpp"

namespace platform::lnx {

class EndSignals;

class StdinLines final : public LineInput {
 public:
  // `signals` may be null: then only input ends a wait.
  StdinLines(int fd, EndSignals* signals) : fd_(fd), signals_(signals) {}

  // Waits in poll(2) on the input and on the signals' wake-up pipe, so that SIGINT,
  // SIGTERM and SIGHUP end the program (ProgramEnd) while it waits for the user. A last
  // line without its newline counts as a line.
  bool read_line() override;

 private:
  int fd_;
  EndSignals* signals_;
  std::string buffer_;
  bool eof_ = false;
};

}  // namespace platform::lnx
