#pragma once
// Diagnostics for IO-Warrior writes. A failed write never stops the key sequence, so
// a device that fails keeps failing on every pulse: report each run of failures once,
// when it begins.

#include <string>
#include <string_view>

#include "platform/diagnostics.hpp"

namespace platform {

class WriteFailureLog {
 public:
  // Notes a write's outcome; the first failure after a success, or the very first
  // failure, is reported as "CALL: REASON".
  void note(bool succeeded, std::string_view call, std::string_view reason) {
    if (succeeded) {
      failing_ = false;
      return;
    }
    if (failing_) return;
    failing_ = true;
    Diagnostic(std::string(call) + ": " + std::string(reason));
  }

 private:
  bool failing_ = false;
};

}  // namespace platform
