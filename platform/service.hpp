#pragma once
// The unattended program under the system's supervisors: how `lumatext --headless` is
// asked to end on this platform, and the service of the system's service manager where
// the program registers one itself (Windows; on Linux the packaged systemd unit runs
// `lumatext --headless`).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Runs the unattended program `run` (Form1 without a window) with this platform's ways
// of asking it to end installed: Linux's end signals (installed by OpenHardware already),
// or on Windows the console's Ctrl+C, Ctrl+Break, closing the console, logoff and
// shutdown. The program ends through platform::ProgramEnd at its next moment with no key
// held. Returns `run`'s status.
int RunHeadless(const std::function<int()>& run);

// Runs `run` as the service the system's service manager started; STOP and shutdown
// end it as above with status 0. Returns `run`'s status, or 1 after a diagnostic when this
// process is no such service, 2 where the platform has none.
int RunService(const std::function<int()>& run);

// Registers this program as the service, started with `--service` followed by
// `arguments` (each with a leading space), and its event source; removes both. Return 0,
// or 1 after a diagnostic, 2 where the platform has no such service.
int InstallService(std::string_view arguments);
int RemoveService();

// `arguments` as InstallService takes them: each after a space, quoted where it holds one.
inline std::string ServiceArguments(const std::vector<std::string_view>& arguments) {
  std::string line;
  for (const std::string_view argument : arguments) {
    const bool quote = argument.find(' ') != std::string_view::npos;
    line += ' ';
    if (quote) line += '"';
    line.append(argument);
    if (quote) line += '"';
  }
  return line;
}

}  // namespace platform
