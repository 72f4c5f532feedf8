// debug_channel.cpp - formatting, lazy opening and the four sinks of debugPrint.
#include "gfx/debug_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/diagnostics.h"
#include "platform/platform.h"

uint8_t debugSinks = debugSinkFile | debugSinkMonitor | debugSinkDevice | debugSinkDebugger;
uint8_t debugOpenPending = 1;
char debugMessage[debugMessageSize];

namespace {

FILE* debugFile = nullptr;
sys::DebugDevice* debugDevice = nullptr;

void openSinks() {
    if (debugSinks & debugSinkDevice) {
        debugDevice = sys::openDebugDevice("\\\\.\\VMDAD.VXD");
        if (!debugDevice) {
            debugSinks &= static_cast<uint8_t>(~debugSinkDevice);
        }
    }
    if (debugSinks & debugSinkFile) {
        // Truncated once per run; readable by others while it grows.
        debugFile = std::fopen("debug.out", "w+b");
        if (!debugFile) {
            debugSinks &= static_cast<uint8_t>(~debugSinkFile);
        }
    }
    debugOpenPending = 0;
}

} // namespace

void debugPrint(const char* format, ...) {
    if (debugOpenPending) {
        openSinks();
    }
    va_list args;
    va_start(args, format);
    // vsnprintf stops at the buffer's end and always writes the terminating zero.
    std::vsnprintf(debugMessage, sizeof debugMessage, format, args);
    va_end(args);
    const size_t length = std::strlen(debugMessage);

    if (debugSinks & debugSinkDebugger) {
        sys::debugOutput(debugMessage);
    }
    if (debugSinks & debugSinkMonitor) {
        sys::sendToDebugMonitor(debugMessage); // skipped for this message when none runs
    }
    if ((debugSinks & debugSinkFile) && debugFile) {
        std::fwrite(debugMessage, 1, length, debugFile);
        std::fflush(debugFile);
    }
    if ((debugSinks & debugSinkDevice) && debugDevice) {
        sys::writeDebugDevice(debugDevice, debugMessage, length + 1);
    }
}

void routeSystemDiagnostics() {
    sys::setDiagnosticHook([](const char* text) { debugPrint("%s", text); });
}

void resetDebugChannel() {
    if (debugFile) {
        std::fclose(debugFile);
        debugFile = nullptr;
    }
    debugDevice = nullptr;
    debugSinks = debugSinkFile | debugSinkMonitor | debugSinkDevice | debugSinkDebugger;
    debugOpenPending = 1;
}
