// A build without a window system has no window for the sign.

#include "sim/sign_display.hpp"

namespace sim {

std::unique_ptr<SignDisplay> OpenSignDisplay(platform::Desktop&, std::function<SignView()>) { return nullptr; }

}  // namespace sim
