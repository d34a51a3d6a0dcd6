// A build without a window system or hardware access: only the headless simulator runs.

#include "platform/desktop.hpp"

namespace platform {

std::unique_ptr<Desktop> OpenDesktop(const DesktopSettings&) { return nullptr; }

std::unique_ptr<Hardware> OpenHardware() { return nullptr; }

}  // namespace platform
