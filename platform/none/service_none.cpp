// No service of this program's own: Linux's systemd unit runs `lumatext --headless`,
// whose end signals OpenHardware installed.

#include "platform/diagnostics.hpp"
#include "platform/service.hpp"

namespace platform {
namespace {

constexpr int kExitUsage = 2;

int NoService() {
  Diagnostic("lumatext: einen Dienst richtet lumatext nur unter Windows selbst ein; unter Linux: "
             "sudo systemctl enable --now lumatext");
  return kExitUsage;
}

}  // namespace

int RunHeadless(const std::function<int()>& run) { return run(); }

int RunService(const std::function<int()>&) { return NoService(); }

int InstallService(std::string_view) { return NoService(); }

int RemoveService() { return NoService(); }

}  // namespace platform
