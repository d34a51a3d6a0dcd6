#include "app/form1.hpp"

#include "display/key_pulses.hpp"
#include "monitor/sensor_readings.hpp"

namespace app {

Form1::Form1(iow::OutsideLibraries& lib, platform::EventQueue& events, platform::WindowSystem& window)
    : lib_(lib), events_(events), window_(window) {}

int Form1::Run() {
  try {
    Load();
    window_.show_form();
    for (;;) {
      events_.wait_event(iow::TimePoint::max());
      HandleWaitingEvents();
    }
  } catch (const platform::ProgramEnd& end) {
    if (end.close_device) lib_.IowKitCloseDevice(state_.DeviceHandle);
    return end.status;
  }
}

void Form1::Load() {
  state_.DeviceHandle = lib_.IowKitOpenDevice();
  if (state_.DeviceHandle == 0) {
    window_.message_box(kCannotOpenDevice, kErrorTitle);
    throw platform::ProgramEnd{kExitStartFailed, false};
  }
  // Without the monitor's ports every reading would be garbage: stop before the first
  // write to the keypad.
  if (!lib_.PortAccess(monitor::kAddressPort, monitor::kPortCount)) {
    window_.message_box(kNoPortAccess, kErrorTitle);
    throw platform::ProgramEnd{kExitStartFailed, true};
  }
  display::ReleaseAllKeys(state_, lib_);
}

// Ending needs no release of the key lines: events are handled only between key pulses.
void Form1::EndeClick() { throw platform::ProgramEnd{0, true}; }

void Form1::Unload() { throw platform::ProgramEnd{0, true}; }

void Form1::HandleWaitingEvents() {
  while (const auto event = events_.take_event()) Dispatch(*event);
}

void Form1::Dispatch(platform::WindowEvent event) {
  switch (event) {
    case platform::WindowEvent::MessenClick:
      MessenClick();
      break;
    case platform::WindowEvent::EndeClick:
      EndeClick();
      break;
    case platform::WindowEvent::Unload:
      Unload();
      break;
  }
}

}  // namespace app
