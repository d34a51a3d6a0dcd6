#pragma once
// The simulator's event log: one event per line, "T EVENT ARGS", T in milliseconds
// of simulated time since start with three decimals.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "platform/hex_text.hpp"
#include "platform/iow.hpp"

namespace sim {

class EventLog {
 public:
  enum class Detail {
    kFull,   // every event
    kBrief,  // only what a person watching would see: sign texts, messages, the exit
  };

  EventLog(iow::Clock& clock, std::ostream& out, Detail detail = Detail::kFull)
      : clock_(clock), out_(out), detail_(detail) {}

  // Writes "T EVENT ARGS" (ARGS may be empty), buffered: a simulated day is over a
  // million lines.
  void record(std::string_view event, std::string_view args = {});
  // Hands what is buffered to the file or pipe, for whoever follows the log: before the
  // program waits in real time, and at the end.
  void flush() { out_.flush(); }

 private:
  iow::Clock& clock_;
  std::ostream& out_;
  Detail detail_;
};

using platform::Hex;
// Bytes as two upper-case hex digits each, separated by spaces: "00 FF FE".
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace sim
