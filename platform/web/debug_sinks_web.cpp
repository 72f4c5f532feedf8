// debug_sinks_web.cpp - the debug channel's monitor and device in a web page: a page has no
// shared memory between programs and no device drivers, so both report that they are absent
// and the channel writes to standard error (the browser's console) alone.
#include "platform/platform.h"

namespace sys {

bool sendToDebugMonitor(const char*) {
    return false; // no monitor can run beside a page
}

DebugMonitor* openDebugMonitor(std::string& reason) {
    reason = "a web page cannot share memory with a monitor program";
    return nullptr;
}

int receiveDebugMessage(DebugMonitor*, uint32_t&, std::string&, int) {
    return -1;
}

void closeDebugMonitor(DebugMonitor*) {}

DebugDevice* openDebugDevice(const char*) {
    return nullptr;
}

void writeDebugDevice(DebugDevice*, const void*, size_t) {}

} // namespace sys
