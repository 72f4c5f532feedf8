// interrupts_web.cpp - interrupts in a web page: there are none. A page gets no SIGINT or
// SIGTERM (closing the tab ends it whole), and a report over the canvas blocks nothing, so a
// modal scope marks nothing and no quit request ever comes from a signal.
#include "platform/sdl/interrupts.h"

namespace sys {

ModalScope::ModalScope() = default;
ModalScope::~ModalScope() = default;

bool takeInterrupt() {
    return false;
}

int interruptExitCode() {
    return 0;
}

} // namespace sys
