// debug_channel.h - the program's diagnostic writer: debugPrint formats a message and sends it
// to every selected sink at once: the debugger output (standard error here), a running debug
// monitor (tirtool monitor), the log file "debug.out" and a debug device driver. The sinks are
// opened on the first message; one that cannot be opened is switched off for the rest of the
// run.
#pragma once

#include <cstddef>
#include <cstdint>

enum DebugSink : uint8_t {
    debugSinkFile = 1,     // "debug.out", created anew by the first message of a run
    debugSinkMonitor = 2,  // the debug monitor's shared buffer
    debugSinkDevice = 4,   // the debug device driver (none on this platform)
    debugSinkDebugger = 8, // the debugger output: standard error
};

// The selected sinks [all four].
extern uint8_t debugSinks;
// The sinks still have to be opened [1].
extern uint8_t debugOpenPending;
// The formatted message. A longer one is cut at the buffer's end and still ends in a zero.
constexpr size_t debugMessageSize = 4096;
extern char debugMessage[debugMessageSize];

// Formats with printf semantics into debugMessage and writes it to every selected sink. The
// monitor sink waits while a running monitor is busy, and never waits when none runs.
void debugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// From now on the platform layer's non-fatal diagnostics (sys::diagnostic: no sound device, a
// window that could not be made, the dialog's defaults taken) go through debugPrint, so they
// reach debug.out and a running monitor as well as standard error.
void routeSystemDiagnostics();

// Closes the log file and returns to a fresh process's state (all sinks, open pending).
void resetDebugChannel();
