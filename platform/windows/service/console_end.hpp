#pragma once
// The console's ways of ending a program, for `lumatext --headless`: Ctrl+C, Ctrl+Break,
// closing the console window, logging off and shutting down all request the end through
// EndRequest, which the program carries out at its next moment with no key held.

namespace platform::windows {

class EndRequest;

// Exit statuses of the ends requested this way, after the shell's convention for the
// signals they stand for: SIGINT, SIGHUP (the terminal went away), SIGTERM.
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitConsoleClosed = 129;
inline constexpr int kExitSessionEnds = 143;

// Attaches to the console of the process that started this one when it has none of its
// own (a GUI program started from a console), then installs the console control handler
// and a hidden window that learns of the session's end. Call once, before the program
// runs.
void EndOnConsoleEvents(EndRequest& end);

// Ends the hidden window's thread once the program has run, so that no thread is left
// inside the window system when the process exits (Wine then reports a broken server
// connection and changes the exit status to 1). Waits at most a second.
void StopConsoleEvents();

}  // namespace platform::windows
