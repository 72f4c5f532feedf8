// frame_sink.h - where a capture's frames and sound go: numbered PNG files, a WAV file and an
// ffmpeg process that makes the video.
//
// Frames live in a fixed pool of buffers handed out by newFrame(); a buffer comes back to the
// pool once every output is done with it, and newFrame() waits while all are in flight, so the
// memory a capture holds is bounded by the pool (framesInFlight() frames) whatever the run's
// length or size. The same buffer goes to every output: nothing copies a frame after it has
// been read back.
//
// PNG frames are compressed by several encoder threads side by side and written to their files
// in frame order. One thread feeds ffmpeg the frames and one feeds it the sound, so encoding
// overlaps the drawing of the next frames. The PNG encoders run at the system's lowest
// priority: they take the processors where the drawing leaves them idle, and the drawing, on a
// software rasteriser, does not wait behind them. The two pipes into ffmpeg are fed independently:
// ffmpeg reads its inputs in packets of its own sizes (a packet of sound can span several
// frames), and a single writer blocked on one pipe while ffmpeg waits on the other would stall
// both programs. One more thread writes the WAV file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/capture/wav_file.h"
#include "tools/common/frame_png.h"

namespace sys {
struct ChildProcess;
}

struct SinkSettings {
    std::string framesDir;            // PNG frames as framesDir/frame-00000.png ...; empty: none
    std::string wavPath;              // empty: no WAV
    std::string videoPath;            // empty: no ffmpeg
    std::string preset = "superfast"; // x264's preset for the video
    int crf = 18;                     // x264's constant rate factor
    int width = 0, height = 0, fps = 30, rate = 44100;
    int encoders = 0; // PNG encoder threads; 0: one per processor, at least 2, at most 8
};

// The ffmpeg command line for the video: raw RGB frames on standard input, float stereo on
// descriptor 3, H.264 and AAC out.
std::vector<std::string> ffmpegArguments(const SinkSettings& settings);

using FrameBuffer = std::vector<unsigned char>;
using SharedFrame = std::shared_ptr<const FrameBuffer>;

// One worker thread that applies `write` to blocks in the order they were queued. The queue
// holds up to `limit` bytes (and always at least one block).
class OrderedWriter {
public:
    using Write = std::function<bool(const FrameBuffer&)>;
    OrderedWriter(size_t limit, Write write);
    ~OrderedWriter();
    // Queues a block, waiting while the queue is full. False once a write has failed.
    bool push(SharedFrame block);
    // Writes what is queued and ends the thread. False when a write failed.
    bool finish();

private:
    void work();
    size_t limit;
    Write write;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<SharedFrame> queue;
    size_t queued = 0;
    bool closing = false, failed = false;
    std::thread worker;
};

// Encoder threads that compress frames to PNG side by side and write each to its own file in
// frame order: frame k's file is complete before frame k + 1's is begun, so an interrupted run
// leaves whole frames from the first one on.
class PngFrameWriter {
public:
    // Writes dir/frame-00000.png ... with `threads` encoders, which run in the background
    // (sys::runThreadInBackground), while up to `waiting` frames wait for them.
    PngFrameWriter(std::string dir, int width, int height, int threads, size_t waiting);
    ~PngFrameWriter();
    // Queues the next frame (width x height RGB rows, top to bottom), waiting while every
    // encoder is busy and `waiting` frames wait. False once a frame could not be written.
    bool push(SharedFrame rgb);
    // Writes what is queued and ends the threads. False with the reason in `error` when a frame
    // could not be written.
    bool finish(std::string& error);

private:
    void work();
    std::string dir;
    int width, height;
    size_t threads, waiting;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<int64_t, SharedFrame>> queue;
    int64_t queuedCount = 0, written = 0;
    bool closing = false, failed = false;
    std::string failure;
    std::vector<std::thread> workers;
};

class FrameSink {
public:
    FrameSink() = default;
    ~FrameSink();
    FrameSink(const FrameSink&) = delete;
    FrameSink& operator=(const FrameSink&) = delete;

    // Starts the outputs asked for: the WAV file, ffmpeg, the encoder threads. The frames
    // folder must exist. False with the reason in `error` when any of them cannot be started.
    bool open(const SinkSettings& settings, std::string& error);
    // A frame buffer of width x height RGB pixels from the pool, its contents left from its
    // last use; waits while every buffer is in flight. Only where takesFrames().
    std::shared_ptr<FrameBuffer> newFrame();
    // Hands one frame (rows top to bottom) to every output that takes frames. Waits while a
    // queue is full. False once an output failed.
    bool frame(SharedFrame rgb);
    // One stretch of sound (interleaved stereo frames).
    bool sound(const std::vector<float>& stereo);
    // Writes everything queued, completes the WAV and waits for ffmpeg. False with the reason
    // in `error` when any output failed.
    bool close(std::string& error);

    bool takesFrames() const { return pngs || videoFrames; }
    // The pool's size for these settings: the frames the sink may hold at once.
    static int framesInFlight(const SinkSettings& settings);

private:
    struct Pool;
    SinkSettings settings;
    WavFile wav;
    sys::ChildProcess* ffmpeg = nullptr;
    std::string ffmpegLog;
    std::shared_ptr<Pool> pool;
    std::unique_ptr<PngFrameWriter> pngs;
    std::unique_ptr<OrderedWriter> wavWriter, videoFrames, videoSound;
    std::string failure;
};
