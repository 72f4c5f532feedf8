// capture_run.cpp - the offline frame loop.
//
// The clock: a virtual counter at fps * 1000 ticks per second advances exactly 1000 ticks per
// frame, and the frame loop reads it through the player's own Application::advanceClock(), so
// demo time comes from the same code and the same arithmetic as in a live run.
//
// The sound: the sound library runs without a device. Before frame k, the music is rendered up
// to output frame k * rate / fps (the moment frame k is shown), so the order that the frame
// loop reads is the order being heard then, and an order change re-bases demo time at the
// frame where a listener would hear it, exactly as the live player does on a sound card with
// no latency. The sound between two frames belongs to the first of them.
//
// The stretch: its first frame shows demo time --from exactly. The frames before it only run
// the clock and the music, one frame apart, until the next would pass --from; the step to the
// first frame is then shortened to land on it (to the counter's tick, and the clock is set to
// --from itself for the last fraction of a tick), as if the live player's frames had fallen
// there. From that frame on the steps are whole frames again, and fps * (to - from) frames are
// written, rounded up, at least one, fewer only where the demo ends first.
#include "tools/capture/capture_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/application.h"
#include "platform/child_process.h"
#include "platform/fsound.h"
#include "platform/platform.h"
#include "tools/capture/contact_sheet.h"
#include "tools/capture/frame_reader.h"
#include "tools/capture/frame_sink.h"
#include "tools/capture/output_paths.h"
#include "tools/capture/progress.h"
#include "tools/common/headless_player.h"
#include "tools/common/offscreen_gl.h"
#include "gfx/gl_api.h"
#include "resources/png_writer.h"
#include "app/row_list.h"
#include "tools/common/timeline_rows.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t ticksPerFrame = 1000;
// A run gives up when demo time has not reached its end after this much music (a song that
// keeps jumping back would otherwise run for ever, as it would live).
constexpr int maxRunSeconds = 3600;

std::string absolute(const std::string& path) {
    return path.empty() ? path : fs::absolute(path).string();
}

// Enters the data folder: the player finds tir.val in its working directory.
bool enterDataFolder(const std::string& data) {
    std::error_code ec;
    fs::current_path(data, ec);
    if (ec) {
        std::fprintf(stderr, "capture: cannot enter the data folder %s: %s\n", data.c_str(),
                     ec.message().c_str());
        return false;
    }
    if (!fs::exists("tir.val")) {
        std::fprintf(stderr,
                     "capture: the data folder %s has no tir.val (forge --out %s makes one)\n",
                     data.c_str(), data.c_str());
        return false;
    }
    return true;
}

// The release player at the picture's size, drawing the rows --rows chose; a message on stderr
// when it cannot start.
Application* startPlayer(const PictureArea& picture, bool withSound, const CaptureOptions& o) {
    std::string error;
    Application* app = startHeadlessPlayer(picture.width, picture.height, withSound, error);
    if (!app) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return nullptr;
    }
    app->timeline.selection = o.rows;
    if (!o.rows.everything()) {
        std::printf("%s\n", describeRowSelection(app->timeline, o.rows).c_str());
    }
    return app;
}

std::string timeLabel(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

} // namespace

PictureArea fitPicture(int width, int height) {
    PictureArea a;
    if (static_cast<int64_t>(width) * 3 >= static_cast<int64_t>(height) * 4) {
        a.height = height;
        a.width = std::min(width, static_cast<int>((static_cast<int64_t>(height) * 4 + 1) / 3));
    } else {
        a.width = width;
        a.height = std::min(height, static_cast<int>((static_cast<int64_t>(width) * 3 + 2) / 4));
    }
    a.x = (width - a.width) / 2;
    a.y = (height - a.height) / 2;
    return a;
}

std::vector<unsigned char> placePicture(const std::vector<unsigned char>& picture,
                                        const PictureArea& area, int width, int height) {
    if (area.x == 0 && area.y == 0 && area.width == width && area.height == height) {
        return picture;
    }
    std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3, 0);
    const size_t row = static_cast<size_t>(area.width) * 3;
    for (int y = 0; y < area.height; ++y) {
        std::copy_n(&picture[static_cast<size_t>(y) * row], row,
                    &frame[(static_cast<size_t>(area.y + y) * width + area.x) * 3]);
    }
    return frame;
}

namespace {

// Every output path checked, and the frames folder made, before the player starts.
bool checkRunOutputs(const CaptureOptions& o, const SinkSettings& s, const std::string& sheet,
                     const std::string& log) {
    std::string error;
    bool ok = s.framesDir.empty() || prepareFrameFolder(s.framesDir, "frame-", o.force, error);
    for (const std::string* file : {&s.wavPath, &s.videoPath, &sheet, &log}) {
        ok = ok && (file->empty() || checkOutputFile(*file, error));
    }
    if (ok && !s.videoPath.empty()) {
        ok = checkOutputFile(s.videoPath + ".ffmpeg.log", error);
    }
    if (!ok) {
        std::fprintf(stderr, "capture: cannot write %s\n", error.c_str());
    }
    return ok;
}

// Copies a bottom-up picture (GL's rows) into a top-down frame with its black bars.
void placeRows(const unsigned char* rows, const PictureArea& area, int width, int height,
               unsigned char* frame) {
    const size_t frameRow = static_cast<size_t>(width) * 3,
                 pictureRow = static_cast<size_t>(area.width) * 3;
    for (int y = 0; y < height; ++y) {
        unsigned char* out = frame + static_cast<size_t>(y) * frameRow;
        const int py = y - area.y;
        if (py < 0 || py >= area.height) {
            std::memset(out, 0, frameRow);
            continue;
        }
        const unsigned char* in = rows + static_cast<size_t>(area.height - 1 - py) * pictureRow;
        std::memset(out, 0, static_cast<size_t>(area.x) * 3);
        std::memcpy(out + static_cast<size_t>(area.x) * 3, in, pictureRow);
        std::memset(out + static_cast<size_t>(area.x) * 3 + pictureRow, 0,
                    frameRow - pictureRow - static_cast<size_t>(area.x) * 3);
    }
}

} // namespace

int runCapture(const CaptureOptions& o) {
    if (!o.video.empty() && !sys::programAvailable("ffmpeg")) {
        std::fprintf(stderr, "capture: --video needs the ffmpeg command, which is not installed.\n"
                             "  On Debian: apt-get install ffmpeg\n"
                             "  (or capture the frames and sound with --out and --wav)\n");
        return 1;
    }
    SinkSettings sinkSettings;
    sinkSettings.framesDir = absolute(o.out);
    sinkSettings.wavPath = absolute(o.wav);
    sinkSettings.videoPath = absolute(o.video);
    sinkSettings.preset = o.preset;
    sinkSettings.crf = o.crf;
    sinkSettings.width = o.width;
    sinkSettings.height = o.height;
    sinkSettings.fps = o.fps;
    const std::string sheetPath = absolute(o.sheet), logPath = absolute(o.log);
    if (!checkRunOutputs(o, sinkSettings, sheetPath, logPath) || !enterDataFolder(o.data)) {
        return 1;
    }

    static sys::VirtualCounter counter;
    counter.frequency = static_cast<int64_t>(o.fps) * ticksPerFrame;
    counter.now = 0;
    sys::useVirtualCounter(&counter);

    const PictureArea picture = fitPicture(o.width, o.height);
    Application* app = startPlayer(picture, true, o);
    if (!app) {
        return 1;
    }
    if (!app->music.song) {
        std::fprintf(stderr, "capture: the music did not load; the capture runs silent, on the "
                             "clock alone\n");
    }
    const int rate = app->music.initialised ? fsoundStatus().mixRate : 44100;
    sinkSettings.rate = rate;

    FrameSink sink;
    std::string error;
    if (!sink.open(sinkSettings, error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return 1;
    }
    std::FILE* log = nullptr;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "w");
        if (!log) {
            std::fprintf(stderr, "capture: cannot write %s\n", logPath.c_str());
            return 1;
        }
        std::fprintf(log, "# capture at %d fps, %dx%d; the timeline holds %d parts\n", o.fps,
                     o.width, o.height, app->timeline.count);
        std::fprintf(log, "# frame\tseconds\torder\tdemo time\trows\n");
    }
    std::unique_ptr<ContactSheet> sheet;
    if (!sheetPath.empty()) {
        sheet = std::make_unique<ContactSheet>(6, std::min(240, picture.width));
    }

    // Each frame is read back once, for every output that takes pictures; the pixel-buffer
    // path hands it over a few frames later. A frame chosen for the sheet keeps its label
    // until its pixels arrive.
    const bool readPictures = sink.takesFrames() || sheet;
    FrameReader reader;
    if (readPictures) {
        reader.open(picture.width, picture.height, true);
    }
    std::map<int64_t, std::vector<std::string>> sheetLabels;
    bool outputFailed = false;
    std::vector<unsigned char> sheetPicture;
    const FrameReader::Deliver deliver = [&](int64_t index, const unsigned char* rows) {
        if (sink.takesFrames() && !outputFailed) {
            std::shared_ptr<FrameBuffer> frame = sink.newFrame();
            placeRows(rows, picture, o.width, o.height, frame->data());
            outputFailed = !sink.frame(std::move(frame));
        }
        const auto label = sheetLabels.find(index);
        if (label != sheetLabels.end()) {
            sheetPicture.resize(static_cast<size_t>(picture.width) * picture.height * 3);
            placeRows(rows, PictureArea{0, 0, picture.width, picture.height}, picture.width,
                      picture.height, sheetPicture.data());
            sheet->add(sheetPicture, picture.width, picture.height, label->second);
            sheetLabels.erase(label);
        }
    };
    int64_t written = 0;
    bool drawing = false;
    // Nothing reads a frame back here, and a swap of the headless surface is no point where
    // the GL must finish: unpaced, the software rasteriser keeps queueing frames unrendered,
    // its memory growing by a frame's worth with every frame, and a render-only run would time
    // the queueing instead of the drawing.
    FramePacer pacer;
    pacer.open();
    app->beforePresent = [&] {
        if (drawing && readPictures) {
            reader.read(written, deliver);
        } else {
            pacer.frameIssued();
        }
    };

    const int64_t frames = runFrameCount(o.from, o.to, o.fps);
    const double frameSeconds = 1.0 / o.fps;
    // The clock is set to --from when the first frame falls this close to it: a landing step
    // ends within a tick of it, well inside a frame at any rate.
    const double landingTolerance = std::min(1e-3, frameSeconds / 4);
    ProgressBar progress(frames, sys::standardErrorIsTerminal());
    int64_t now = 0, mixed = 0;
    bool writing = false, previousWritten = false, failedEarly = false;
    const float fromTime = static_cast<float>(o.from);
    double nextSheetTime = o.from;
    std::vector<float> sound;
    for (int64_t k = 0;; ++k) {
        counter.now = now;
        // The sound up to this frame's moment; it belongs to the previous frame. The loop ends
        // at the top of an iteration, so the last frame written always gets its sound.
        const int64_t target = now * rate / counter.frequency;
        sound.assign(static_cast<size_t>(target - mixed) * 2, 0.0f);
        if (app->music.initialised) {
            fsoundMix(sound.data(), static_cast<int>(target - mixed));
        }
        mixed = target;
        if (previousWritten && !sink.sound(sound)) {
            outputFailed = true;
        }
        previousWritten = false;
        if (written == frames || outputFailed || !reader.ok()) {
            break;
        }

        float t = app->advanceClock();
        if (t > demoLength) {
            break; // the live player ends here without showing this frame
        }
        if (k > static_cast<int64_t>(o.fps) * maxRunSeconds) {
            std::fprintf(stderr, "capture: demo time did not reach %.1f s within %d s of music\n",
                         o.to, maxRunSeconds);
            failedEarly = true;
            break;
        }
        // A frame a hair from --from (a landing step, or a frame whose demo time only rounds
        // to either side of it) is the first frame, with the clock set to --from itself.
        if (!writing && t != fromTime && std::fabs(o.from - t) < landingTolerance) {
            demoClock.seek(fromTime, demoClock.lastOrder, now);
            t = demoClock.demoTime;
        }
        // Demo time passes --from without a frame on it only where an order change jumps
        // over it; the stretch then starts at the first frame after the jump.
        writing = writing || t >= fromTime;
        if (!writing) {
            // The next frame, or a shorter step to just short of --from.
            const double ticksToFrom =
                std::floor((o.from - t) * static_cast<double>(counter.frequency));
            now += ticksToFrom < ticksPerFrame
                       ? std::max<int64_t>(1, static_cast<int64_t>(ticksToFrom))
                       : ticksPerFrame;
            // The frame just before the stretch is drawn too, since a frame starts from the GL
            // state the last one left.
            if (t >= o.from - frameSeconds * 1.5) {
                drawing = false;
                app->renderFrame(t);
            }
            continue;
        }
        const std::vector<TimelineRow> rows = activeRows(app->timeline, t);
        if (log) {
            std::fprintf(log, "%lld\t%.6f\t%d\t%.9g\t%s\n", static_cast<long long>(written),
                         static_cast<double>(now) / static_cast<double>(counter.frequency),
                         demoClock.lastOrder, static_cast<double>(t), describeRows(rows).c_str());
        }
        if (sheet && t >= nextSheetTime) {
            sheetLabels[written] = {timeLabel(t), describeRows(rows)};
            while (nextSheetTime <= t) {
                nextSheetTime += o.every;
            }
        }
        drawing = true;
        app->renderFrame(t);
        previousWritten = true;
        ++written;
        now += ticksPerFrame;
        progress.update(written, t);
    }
    if (readPictures) {
        reader.finish(deliver);
    }
    pacer.finish();
    const int inFlight = sink.takesFrames() ? FrameSink::framesInFlight(sinkSettings) : 0;
    bool ok = sink.close(error);
    if (!ok) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
    }
    if (!reader.ok()) {
        std::fprintf(stderr, "capture: the GL could not map a read-back buffer\n");
        ok = false;
    }
    ok = ok && !failedEarly && !outputFailed;
    if (log) {
        ok = std::fclose(log) == 0 && ok;
    }
    if (sheet && !sheet->write(sheetPath)) {
        ok = false;
    }
    app->music.freeSong();
    app->music.close();
    sys::useVirtualCounter(nullptr);
    // Every output is complete now, the video encoded to its end.
    progress.finish(written);
    const double wall = progress.elapsedSeconds();
    const double seconds = static_cast<double>(written) / o.fps;
    std::printf("captured %lld frames (%.3f s at %d fps, %dx%d) in %.1f s: %.1f frames per "
                "second, %.2f x real time\n",
                static_cast<long long>(written), seconds, o.fps, o.width, o.height, wall,
                wall > 0 ? static_cast<double>(written) / wall : 0.0,
                wall > 0 ? seconds / wall : 0.0);
    std::printf("read back %s; peak memory %ld MiB, %d frames in flight at most",
                !readPictures               ? (pacer.usesFences() ? "nothing (paced by fences)"
                                                                  : "nothing (paced by glFinish)")
                : reader.usesPixelBuffers() ? "through pixel-buffer objects"
                                            : "with glReadPixels",
                sys::peakMemoryKb() / 1024, inFlight);
    if (!sinkSettings.videoPath.empty()) {
        std::printf("; ffmpeg's %ld MiB", sys::childrenPeakMemoryKb() / 1024);
    }
    std::printf("\n");
    if (written == 0) {
        std::fprintf(stderr, "capture: no frame fell between --from and --to\n");
        return 1;
    }
    return ok ? 0 : 1;
}

int captureStills(const CaptureOptions& o) {
    const bool folder = o.at.size() > 1;
    const std::string outPath = absolute(o.out);
    std::string error;
    if (folder ? !prepareFrameFolder(outPath, "at-", o.force, error)
               : !checkOutputFile(outPath, error)) {
        std::fprintf(stderr, "capture: cannot write %s\n", error.c_str());
        return 1;
    }
    if (!enterDataFolder(o.data)) {
        return 1;
    }
    static sys::VirtualCounter counter;
    counter.frequency = 1000000;
    counter.now = 0;
    sys::useVirtualCounter(&counter);

    const PictureArea picture = fitPicture(o.width, o.height);
    Application* app = startPlayer(picture, false, o);
    if (!app) {
        return 1;
    }
    std::printf("timeline: %d parts\n", app->timeline.count);
    std::vector<unsigned char> pictureRgb;
    bool grab = false;
    app->beforePresent = [&] {
        if (grab) {
            pictureRgb = readBackBuffer(picture.width, picture.height);
        }
    };

    // A still has no music: the clock is restarted at 0 and read at T, so demo time is T
    // itself. Each still follows a frame 1/60 s earlier, since every frame starts from the GL
    // state the last one left, so a still does not depend on the stills before it.
    for (double at : o.at) {
        demoClock.restart(0, 0.0f);
        const double warmUp = at >= 1.0 / 60 ? at - 1.0 / 60 : 0.0;
        counter.now = static_cast<int64_t>(warmUp * counter.frequency + 0.5);
        grab = false;
        app->renderFrame(demoClock.update(counter.now, counter.frequency));
        counter.now = static_cast<int64_t>(at * counter.frequency + 0.5);
        grab = true;
        pictureRgb.clear();
        const float t = demoClock.update(counter.now, counter.frequency);
        app->renderFrame(t);

        char name[40];
        std::snprintf(name, sizeof name, "at-%07.3f.png", at);
        const std::string path = folder ? outPath + "/" + name : outPath;
        if (pictureRgb.empty() || !writePng(path, o.width, o.height, 3,
                                            placePicture(pictureRgb, picture, o.width, o.height))) {
            std::fprintf(stderr, "capture: no frame was written for %.3f s\n", at);
            return 1;
        }
        std::printf("captured demo time %.3f s at %dx%d into %s: rows %s\n", static_cast<double>(t),
                    o.width, o.height, path.c_str(),
                    describeRows(activeRows(app->timeline, t)).c_str());
    }
    sys::useVirtualCounter(nullptr);
    return 0;
}
