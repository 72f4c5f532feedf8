// diagnostics.h - the platform layer's non-fatal reports (no sound device, a window or GL
// context that could not be made, a dialog that nobody can answer). The program goes on after
// each; the layers above decide where the text goes by installing a hook, so the report reaches
// the debug channel's sinks and not only standard error.
#pragma once

namespace sys {

// Receives each diagnostic, one complete line or more ending in a newline.
using DiagnosticHook = void (*)(const char* text);
// Installs `hook` (null: standard error alone, the state at start-up) and returns the one it
// replaces.
DiagnosticHook setDiagnosticHook(DiagnosticHook hook);
// Formats with printf semantics (cut at 4 KiB) and hands the text to the hook, or writes it to
// standard error when none is installed.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace sys
