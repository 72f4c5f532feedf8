// progress.h - the capture's progress bar on standard error: frames done, demo time, speed and
// the time left. On a terminal it redraws one line in place a few times a second; otherwise it
// writes a line at every tenth of the work, so logs stay readable.
#pragma once

#include <chrono>
#include <cstdint>

class ProgressBar {
public:
    ProgressBar(int64_t totalFrames, bool terminal);
    // Reports `done` frames, the last at demo time `demoTime`.
    void update(int64_t done, double demoTime);
    // The closing line: frames, wall time and speed.
    void finish(int64_t done);
    double elapsedSeconds() const;

private:
    int64_t total;
    bool terminal;
    std::chrono::steady_clock::time_point started, lastDraw;
    int lastTenth = -1;
};
