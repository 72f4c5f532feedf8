// interrupts.h - the SDL backend's handling of SIGINT and SIGTERM (interrupts_posix.cpp): an
// interrupt ends the program with 128 + the signal's number, through the windows' close while
// the message loop pumps, at once while a modal box waits or nothing pumps.
#pragma once

namespace sys {

// Marks a modal box or dialog as open for its lifetime: an interrupt meanwhile ends the
// process at once, and a box shown from a child process of this thread goes with it.
struct ModalScope {
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// Called by every pump of the message queue. True once after an interrupt arrived: the caller
// closes the windows.
bool takeInterrupt();
// 128 + the signal's number once an interrupt arrived, else 0: the exit code a quit request
// carries from then on.
int interruptExitCode();

} // namespace sys
