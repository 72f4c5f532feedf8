// fatal.h - the one path for unrecoverable errors: a report a person can read, then a non-zero
// exit through the platform's exit function (which tests intercept).
#pragma once

namespace sys {

// Exit status of every fatal error. A normal end, a closed window and a cancelled setup exit 0.
constexpr int fatalExitCode = 1;

// Shows `text` in a message box captioned `caption` (and on standard error), then ends the
// process with fatalExitCode.
[[noreturn]] void fatal(const char* caption, const char* text);
// printf-style variant: formats into a buffer large enough for any path and message.
[[noreturn]] void fatalf(const char* caption, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

} // namespace sys
