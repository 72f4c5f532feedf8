// fatal.cpp - the shared fatal-error path.
#include "platform/fatal.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace sys {

void fatal(const char* caption, const char* text) {
    messageBox(text, caption, MB_OK | MB_ICONERROR);
    exitProcess(fatalExitCode);
}

void fatalf(const char* caption, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fatal(caption, text);
}

} // namespace sys
