// diagnostics.cpp - the hook behind sys::diagnostic; standard error until one is installed.
#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace sys {

namespace {
DiagnosticHook diagnosticHook = nullptr;
}

DiagnosticHook setDiagnosticHook(DiagnosticHook hook) {
    const DiagnosticHook previous = diagnosticHook;
    diagnosticHook = hook;
    return previous;
}

void diagnostic(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args); // always ends in a zero
    va_end(args);
    if (diagnosticHook) {
        diagnosticHook(text);
        return;
    }
    std::fputs(text, stderr);
    std::fflush(stderr);
}

} // namespace sys
