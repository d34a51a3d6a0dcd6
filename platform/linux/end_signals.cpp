#include "platform/linux/end_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "platform/diagnostics.hpp"
#include "platform/program_end.hpp"

namespace platform::lnx {
namespace {

// Exit statuses follow the shell's convention for a program ended by a signal.
constexpr int kSignalExitBase = 128;

volatile std::sig_atomic_t g_signal = 0;
int g_wake_write_fd = -1;

extern "C" void OnEndSignal(int sig) {
  const int saved = errno;
  if (g_signal == 0) g_signal = sig;
  const char byte = 1;
  // The pipe is non-blocking: once it holds a byte, further ones may be dropped.
  [[maybe_unused]] const auto written = ::write(g_wake_write_fd, &byte, 1);
  errno = saved;
}

}  // namespace

EndSignals& EndSignals::Process() {
  static EndSignals instance;
  return instance;
}

EndSignals::EndSignals() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    Diagnostic(std::string("pipe2: ") + std::strerror(errno) + "; Signale beenden das Programm erst beim n\u00e4chsten Warten");
    pipe_[0] = pipe_[1] = -1;
  }
  g_wake_write_fd = pipe_[1];
}

void EndSignals::install() {
  if (installed_) return;
  installed_ = true;
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted writes to the device restart; sleeps and polls return EINTR regardless.
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    if (::sigaction(sig, &action, nullptr) != 0) {
      Diagnostic(std::string("sigaction: ") + std::strerror(errno));
    }
  }
}

int EndSignals::requested() const { return g_signal; }

void EndSignals::end_if_requested() {
  const int sig = g_signal;
  if (sig == 0 || key_held_ || ending_) return;
  ending_ = true;
  throw ProgramEnd{kSignalExitBase + sig};
}

void EndSignals::clear() {
  g_signal = 0;
  ending_ = false;
  char buffer[16];
  while (pipe_[0] >= 0 && ::read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace platform::lnx
