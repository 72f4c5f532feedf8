// schedule.h - the composition of the demo: every effect part with its interval, built once
// at start-up after the music and the synchronisation envelope are loaded.
#pragma once

#include <new>

struct Timeline;

// The rows of the schedule, numbered from 1 in drawing order.
constexpr int scheduleRowCount = 22;

// Constructs the 22 parts in drawing order, appends them to `timeline` and sets
// `scheduleReady` to 1 as its last step. Part constructors load their scenes, envelopes and
// textures here; a missing or damaged file ends the program with its message.
void buildSchedule(Timeline& timeline, int& scheduleReady);

// While it lives, running out of memory ends the program through the fatal path with a message
// saying so (exit code 1), instead of an exception nobody catches.
struct ScheduleMemoryGuard {
    ScheduleMemoryGuard();
    ~ScheduleMemoryGuard();
    ScheduleMemoryGuard(const ScheduleMemoryGuard&) = delete;
    ScheduleMemoryGuard& operator=(const ScheduleMemoryGuard&) = delete;
    std::new_handler previous;
};
