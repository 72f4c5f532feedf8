// output_paths.h - every path a capture writes, checked before the first frame is drawn: a
// folder that is missing or cannot be written, or a file name that is a folder, is reported
// with the path and the reason at once, not minutes later as a failed output.
#pragma once

#include <string>

// Makes the folder `dir` for a run's frames or a set of stills (with its parents) and checks
// that files can be made in it. Files matching `prefix`*.png are what an earlier run left
// there: with `force` they are removed, else the folder is refused. False with the reason in
// `error` ("PATH: why").
bool prepareFrameFolder(const std::string& dir, const std::string& prefix, bool force,
                        std::string& error);
// Checks that the file `path` can be written: its folder exists and takes files, and it is not
// a folder itself. A file that was not there before is not left behind by the check.
bool checkOutputFile(const std::string& path, std::string& error);
