#pragma once
// Lines the user types on standard input, for the programs that ask before each step
// (lumatext --test-keys): an Enter typed on the console, or a line of a script piped in.

#include <istream>
#include <memory>

namespace platform {

class LineInput {
 public:
  virtual ~LineInput() = default;
  // Blocks until a whole line has been read (its text is not needed) and returns true;
  // false at the end of the input. May end the program (platform::ProgramEnd) while it
  // waits, where the platform's end signals or end requests take effect.
  virtual bool read_line() = 0;
};

// Lines from `in`, for a program that has no end signals to wait for as well.
class StreamLineInput final : public LineInput {
 public:
  explicit StreamLineInput(std::istream& in) : in_(in) {}
  bool read_line() override;

 private:
  std::istream& in_;
};

// This process's standard input, its waits ended by this platform's end signals or end
// requests as the real clock's sleeps are.
std::unique_ptr<LineInput> OpenStandardInput();

}  // namespace platform
