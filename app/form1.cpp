#include "app/form1.hpp"

#include <exception>
#include <string>

#include "display/key_pulses.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/diagnostics.hpp"

namespace app {

Form1::Form1(iow::OutsideLibraries& lib, platform::EventQueue& events, platform::WindowSystem& window,
             std::string_view device_lost)
    : lib_(lib), events_(events), window_(window), device_lost_(device_lost) {}

int Form1::Run() {
  std::string unexpected;
  try {
    Load();
    window_.show_form();
    for (;;) {
      events_.wait_event(iow::TimePoint::max());
      HandleWaitingEvents();
    }
  } catch (const platform::ProgramEnd& end) {
    return End(end.status);
  } catch (const platform::DeviceGone&) {
    device_gone_ = true;
  } catch (const std::exception& error) {
    unexpected = error.what();
  } catch (...) {
    unexpected = "unbekannte Ausnahme";
  }
  if (device_gone_) {
    try {
      window_.message_box(device_lost_, kErrorTitle);
    } catch (...) {
      // An end signal meanwhile: the device is closed all the same.
    }
    return End(kExitDeviceLost);
  }
  // A fault of the program itself: the sign and the device are seen to first, then the
  // user is told.
  const int status = End(kExitInternalError);
  const std::string text = std::string(kInternalError) + unexpected;
  platform::Diagnostic("lumatext: " + text);
  try {
    window_.message_box(text, kErrorTitle);
  } catch (...) {
  }
  return status;
}

void CloseKeypad(WindowState& state, iow::OutsideLibraries& lib, bool device_gone) {
  if (state.DeviceHandle == 0) return;
  // A device that is gone takes no write: it is only closed.
  if (!device_gone) {
    try {
      display::LeaveKeypadAtRest(state, lib);
    } catch (const std::exception& error) {
      platform::Diagnostic(std::string("lumatext: beim Beenden: ") + error.what());
    } catch (...) {
      // Ended a second time meanwhile (an end signal, the simulator's time limit, the
      // device gone): the device is closed all the same.
    }
  }
  lib.IowKitCloseDevice(state.DeviceHandle);
  state.DeviceHandle = 0;
}

int Form1::End(int status) {
  CloseKeypad(state_, lib_, device_gone_);
  return status;
}

void Form1::Load() {
  state_.DeviceHandle = lib_.IowKitOpenDevice();
  if (state_.DeviceHandle == 0) {
    window_.message_box(kCannotOpenDevice, kErrorTitle);
    throw platform::ProgramEnd{kExitStartFailed};
  }
  // Without the monitor's ports every reading would be garbage: stop before the first
  // write to the keypad.
  if (!lib_.PortAccess(monitor::kAddressPort, monitor::kPortCount)) {
    window_.message_box(lib_.ports_foreign() ? kNoTemperatureSensor : kNoPortAccess, kErrorTitle);
    throw platform::ProgramEnd{kExitStartFailed};
  }
  display::ReleaseAllKeys(state_, lib_);
}

// Events are handled only between key pulses and texts, so the ending work finds the
// keypad at rest and only closes the device.
void Form1::EndeClick() { throw platform::ProgramEnd{0}; }

void Form1::Unload() { throw platform::ProgramEnd{0}; }

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
