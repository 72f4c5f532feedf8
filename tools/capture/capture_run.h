// capture_run.h - the capture itself: the release player's start-up and frame loop, headless,
// on a virtual counter, with the music rendered offline in step with the frames.
#pragma once

#include <vector>

#include "tools/capture/options.h"

// Where the 4:3 picture sits in a frame of width x height: the largest 4:3 rectangle that
// fits, centred, with black bars at the sides (or above and below for a tall frame).
struct PictureArea {
    int x = 0, y = 0, width = 0, height = 0;
};
PictureArea fitPicture(int width, int height);
// The frame: black, with the picture's RGB rows (area.width x area.height) copied into it.
std::vector<unsigned char> placePicture(const std::vector<unsigned char>& picture,
                                        const PictureArea& area, int width, int height);

// A run: frames from --from to --to at --fps, with sound, video, contact sheet and log as
// asked. Returns the exit code (0 when every output was written).
int runCapture(const CaptureOptions& options);
// Stills at the --at times, without sound. Returns the exit code.
int captureStills(const CaptureOptions& options);
