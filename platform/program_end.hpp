#pragma once
// Ending the program from inside a call.

namespace platform {

// Thrown to end the program at once from wherever it runs: by a window event (Ende,
// closing the window), by a failed start, by the platform's end signals at a moment no
// key is held, or by the simulator's time limit. Only Form1::Run catches it: it then does
// the ending work (a held key released, open text entry finished, the IO-Warrior closed
// once) and returns `status`. Every interface whose calls may throw it says so.
struct ProgramEnd {
  int status;
};

// Thrown in the unattended modes when the IO-Warrior has gone away: a write failed
// because the device is gone (platform::EndOnDeviceLoss), or a pause saw it go
// (platform::HeadlessWindow with a DeviceWatch). Only
// Form1::Run catches it: it says so once, closes the device without writing to it and
// returns its own exit status, after which the supervisor starts the program again.
struct DeviceGone {};

}  // namespace platform
