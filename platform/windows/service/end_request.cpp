#include "platform/windows/service/end_request.hpp"

#include "platform/program_end.hpp"

namespace platform::windows {

EndRequest& EndRequest::Process() {
  static EndRequest instance;
  return instance;
}

// Manual reset: every later sleep sees the request until the program has ended.
EndRequest::EndRequest() : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

EndRequest::~EndRequest() {
  if (wake_ != nullptr) CloseHandle(wake_);
}

void EndRequest::request(int status) {
  int none = -1;
  status_.compare_exchange_strong(none, status);
  if (wake_ != nullptr) SetEvent(wake_);
}

void EndRequest::end_if_requested() {
  const int status = status_.load();
  if (status < 0 || key_held_ || ending_) return;
  ending_ = true;
  throw ProgramEnd{status};
}

void EndRequest::clear() {
  status_.store(-1);
  ending_ = false;
  key_held_ = false;
  if (wake_ != nullptr) ResetEvent(wake_);
}

}  // namespace platform::windows
