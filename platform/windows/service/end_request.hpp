#pragma once
// A request to end the program, made from another thread (the console's control
// handler, the Service Control Manager's) and carried out by the program's own thread
// only at a moment no key of the sign is held: a press in progress completes with its
// release write first, so that no key line is ever left low.

#include <windows.h>

#include <atomic>

namespace platform::windows {

class EndRequest {
 public:
  // The process's one instance; its wake-up event exists from the first call on.
  static EndRequest& Process();

  EndRequest();
  ~EndRequest();
  EndRequest(const EndRequest&) = delete;
  EndRequest& operator=(const EndRequest&) = delete;

  // Asks the program to end with exit status `status`; callable from any thread. The
  // first request's status counts.
  void request(int status);
  bool requested() const { return status_.load() >= 0; }

  // The event a sleep waits on beside its timer: signalled from the first request on.
  // Null while a key is held or the ending has begun, when a request cannot end the
  // program now and waking for it would only spin.
  HANDLE wake_event() const { return key_held_ || ending_ ? nullptr : wake_; }

  // What the IO-Warrior last wrote: whether a key line is low. Program thread only.
  void set_key_held(bool held) { key_held_ = held; }

  // Ends the program, throwing platform::ProgramEnd with the requested status, when an
  // end was requested and no key is held; returns otherwise. Throws once: the ending
  // work that follows (finishing the sign's entry, closing the device) runs undisturbed.
  // Program thread only.
  void end_if_requested();

  // Forgets a request, for tests that make one after another.
  void clear();

 private:
  std::atomic<int> status_{-1};
  HANDLE wake_ = nullptr;
  bool key_held_ = false;
  bool ending_ = false;
};

}  // namespace platform::windows
