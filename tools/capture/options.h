// options.h - the capture tool's command line, parsed strictly: every number must be a whole,
// finite number in range, every option is given at most once, and anything else is a usage
// error (exit code 2).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "timeline/timeline.h"

// The largest frame the tool makes, in either direction: 4096 keeps one frame, its 4:3
// picture and the GL buffers well inside memory and inside every GL driver's limits.
constexpr int captureMaxSize = 4096;
// The smallest: one line of the contact sheet's 8 x 16 font still fits a picture.
constexpr int captureMinSize = 16;
constexpr int captureMaxFps = 240;

struct CaptureOptions {
    std::string data = "."; // the folder that holds tir.val
    std::string out;        // frames folder (a run) or the PNG file (--at with one time)
    int fps = 30;           // frames per second of a run
    int width = 640, height = 480;
    double from = 0.0, to = -1.0;     // demo seconds; to < 0: the end of the demo
    std::vector<double> at;           // stills at these demo times instead of a run
    std::string video;                // MP4 (or MKV, MOV) through ffmpeg
    std::string preset = "superfast"; // --preset: x264's speed preset for the video
    int crf = 18;                     // --crf: x264's constant rate factor, 0 (lossless) .. 51
    bool renderOnly = false;          // --render-only: draw every frame, write nothing
    bool force = false;               // --force: clear frames an earlier run left in --out
    std::string wav;                  // the sound of the captured stretch
    std::string sheet;                // contact sheet, PNG or JPEG by its name
    double every = 5.0;               // seconds between the sheet's frames
    std::string log;                  // one line per frame: frame, seconds, order, demo time, rows
    RowSelection rows;                // --rows: the schedule rows drawn; every row by default
    bool help = false;                // --help: print the usage and stop
    bool version = false;             // --version: print the version and stop

    bool still() const { return !at.empty(); }
};

// Parses argv. Returns true with `options` filled, or false with the reason in `error`
// (the caller prints it with the usage text and exits with code 2).
bool parseCaptureArguments(int argc, const char* const* argv, CaptureOptions& options,
                           std::string& error);
// The usage text, ending in a newline.
const char* captureUsage();

// Strict number readers, exposed for the tests of the parser: the whole text must be one
// number, finite, in [low, high].
bool parseSeconds(const std::string& text, double low, double high, double& value);
bool parseWholeNumber(const std::string& text, int low, int high, int& value);
// "WIDTHxHEIGHT", each in [captureMinSize, captureMaxSize].
bool parseSize(const std::string& text, int& width, int& height);

// Whether `path` ends in one of `extensions` (".png", ...), in any case.
bool hasExtension(const std::string& path, std::initializer_list<const char*> extensions);
// The number of frames a run from `from` to `to` seconds at `fps` writes: fps * (to - from)
// rounded up, and at least one (a run from A to A is the single frame at A). A product within
// a millionth of a frame of a whole number counts as that number, so that decimal seconds
// such as 40.1 give the frames they name.
int64_t runFrameCount(double from, double to, int fps);
