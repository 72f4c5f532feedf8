// child_process.h - the few operating-system services that only the tools need: another
// program started with pipes into it (the capture feeds ffmpeg its frames and sound this way),
// a search of the program path, and whether standard error is a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sys {

struct ChildProcess;

// Whether `program` is an executable file on the program search path (PATH).
bool programAvailable(const char* program);

// Starts argv[0] (looked up on PATH) with `pipes` input pipes: pipe 0 is its standard input,
// pipe i > 0 arrives as its descriptor 2 + i (3, 4, ...). Its standard output and error go to
// the file `logPath`. Writing to a child that has exited fails instead of ending this process.
// Null with the reason in `error` when it cannot be started.
ChildProcess* startChild(const std::vector<std::string>& argv, int pipes,
                         const std::string& logPath, std::string& error);
// Writes all `size` bytes into pipe `index`, waiting while the child is busy. False when the
// child has closed the pipe or exited.
bool writeToChild(ChildProcess* child, int index, const void* data, size_t size);
// Closes every pipe, waits for the child to end and frees the record. Returns its exit code,
// or -1 when it was ended by a signal.
int finishChild(ChildProcess* child);

// The largest resident memory this process has had, and the largest of the children it has
// waited for (finishChild), in kB; -1 where the system does not say.
long peakMemoryKb();
long childrenPeakMemoryKb();

// Lowers the calling thread to the system's lowest priority (on Linux its idle class, else the
// weakest nice level), so that it takes the processors only where every other thread of normal
// priority leaves them idle: encoders fed by a bounded queue then fill the gaps in the drawing
// instead of taking turns with it. False where the system offers no lower priority.
bool runThreadInBackground();

// Whether standard error goes to a terminal (progress bars redraw in place there).
bool standardErrorIsTerminal();

// Leaves interrupt and terminate signals to end the process, as for any command-line tool.
// Call before the window system starts: the players' window layer would otherwise turn them
// into a quit message, which a tool that never reads its window's messages would not see.
void keepDefaultSignalHandling();

} // namespace sys
