// frame_sink.h - where a capture's frames and sound go: numbered PNG files, a WAV file and an
// ffmpeg process that makes the MP4.
//
// Three worker threads take them in the order they were made: one writes the files, one feeds
// ffmpeg the frames and one feeds it the sound, so encoding overlaps the rendering of the next
// frames. The two pipes into ffmpeg are fed independently: ffmpeg reads its inputs in packets
// of its own sizes (a packet of sound can span several frames), and a single writer blocked
// on one pipe while ffmpeg waits on the other would stall both programs. The queues are bounded
// in bytes, so memory stays bounded whatever the length of the run.
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

namespace sys {
struct ChildProcess;
}

struct SinkSettings {
    std::string framesDir; // PNG frames as framesDir/frame-00000.png ...; empty: none
    std::string wavPath;   // empty: no WAV
    std::string videoPath; // empty: no ffmpeg
    int width = 0, height = 0, fps = 30, rate = 44100;
};

// The ffmpeg command line for the video: raw RGB frames on standard input, float stereo on
// descriptor 3, H.264 and AAC out.
std::vector<std::string> ffmpegArguments(const SinkSettings& settings);

// One worker thread that applies `write` to byte blocks in the order they were queued. The
// queue holds up to `limit` bytes (and always at least one block).
class OrderedWriter {
public:
    using Write = std::function<bool(const std::vector<unsigned char>&)>;
    OrderedWriter(size_t limit, Write write);
    ~OrderedWriter();
    // Queues a block, waiting while the queue is full. False once a write has failed.
    bool push(std::shared_ptr<const std::vector<unsigned char>> block);
    // Writes what is queued and ends the thread. False when a write failed.
    bool finish();

private:
    void work();
    size_t limit;
    Write write;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::shared_ptr<const std::vector<unsigned char>>> queue;
    size_t queued = 0;
    bool closing = false, failed = false;
    std::thread worker;
};

class FrameSink {
public:
    FrameSink() = default;
    ~FrameSink();
    FrameSink(const FrameSink&) = delete;
    FrameSink& operator=(const FrameSink&) = delete;

    // Creates the frames folder and the WAV file and starts ffmpeg, as asked. False with the
    // reason in `error` when any of them cannot be started.
    bool open(const SinkSettings& settings, std::string& error);
    // Queues one frame (width x height RGB rows, top to bottom) or one stretch of sound
    // (interleaved stereo frames). Waits while a queue is full. False once an output failed.
    bool frame(std::vector<unsigned char> rgb);
    bool sound(const std::vector<float>& stereo);
    // Writes everything queued, completes the WAV and waits for ffmpeg. False with the reason
    // in `error` when any output failed.
    bool close(std::string& error);

private:
    bool writeFile(const std::vector<unsigned char>& block);

    SinkSettings settings;
    WavFile wav;
    sys::ChildProcess* ffmpeg = nullptr;
    std::string ffmpegLog;
    std::unique_ptr<OrderedWriter> files, videoFrames, videoSound;
    int64_t pngCount = 0;
    std::string failure;
};
