#pragma once
// SIGINT, SIGTERM and SIGHUP end the program, but only at a moment no key of the sign
// is held: a pulse in progress completes with its release write first, so that no key
// line is ever left low.

#include <atomic>

#include "platform/end_at_release_kit.hpp"

namespace platform::lnx {

class EndSignals final : public PendingEnd {
 public:
  // The process's one instance; its wake-up pipe exists from the first call on.
  static EndSignals& Process();

  // Installs the handlers for SIGINT, SIGTERM and SIGHUP; calling it again does nothing.
  void install();

  // The signal that asked the program to end; 0 while none did.
  int requested() const;
  // Readable from the moment a signal asked the program to end (never drained).
  int wake_fd() const { return pipe_[0]; }

  void set_key_held(bool held) override { key_held_ = held; }

  // Ends the program, throwing platform::ProgramEnd{128 + signal}, when a signal asked it
  // to end and no key is held; returns otherwise. Throws once: the ending work that
  // follows (finishing the sign's entry, closing the device) runs undisturbed.
  void end_if_requested() override;

  // Forgets a request, for tests that raise signals one after another.
  void clear();

 private:
  EndSignals();

  int pipe_[2] = {-1, -1};
  bool installed_ = false;
  bool key_held_ = false;
  bool ending_ = false;
};

}  // namespace platform::lnx
