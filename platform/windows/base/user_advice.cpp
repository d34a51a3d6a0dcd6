#include "platform/windows/base/user_advice.hpp"

#include <utility>

namespace platform::windows {
namespace {

// The program has one thread, the window's.
std::string& Pending() {
  static std::string advice;
  return advice;
}

}  // namespace

void AdviseUser(std::string advice) { Pending() = std::move(advice); }

std::string TakeUserAdvice() { return std::exchange(Pending(), std::string()); }

}  // namespace platform::windows
