// frame_sink.cpp - the frame pool, the encoder threads and the outputs they feed.
#include "tools/capture/frame_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/child_process.h"

namespace {

// Bytes each sound queue may hold: minutes of sound, a bound rather than a working size.
constexpr size_t soundQueueBytes = 16u << 20;
// Frames the video queue holds before the frame loop waits for ffmpeg.
constexpr size_t videoQueueFrames = 3;
// The encoders run in the background (sys::runThreadInBackground), in the gaps the drawing
// leaves, so frames must be able to wait for them while the drawing runs ahead: at 640 x 480
// over 10 s of the demo, two waiting frames made PNG frames + WAV cost 32 % over drawing alone
// and eight 19 % (24 no better). Eight, or fewer as long as they hold 48 MiB, and at least one
// for each encoder.
constexpr size_t pngQueueFrames = 8;
constexpr size_t pngQueueBytes = 48u << 20;

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int encoderThreads(const SinkSettings& s) {
    if (s.encoders > 0) {
        return s.encoders;
    }
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(processors, 2, 8);
}

size_t frameBytes(const SinkSettings& s) {
    return static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3;
}

size_t pngWaitingFrames(const SinkSettings& s) {
    const size_t fit = pngQueueBytes / std::max<size_t>(1, frameBytes(s));
    return std::max(static_cast<size_t>(encoderThreads(s)), std::min(pngQueueFrames, fit));
}

} // namespace

std::vector<std::string> ffmpegArguments(const SinkSettings& s) {
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    // Both inputs are fully described, so nothing needs probing: ffmpeg opens its inputs one
    // after the other, and reading seconds of one to probe it while the other's pipe is full
    // would stall both programs. Once open, each input is read on its own, and long queues let
    // either run ahead of the other.
    // clang-format off
    return {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
            "-probesize", "32", "-analyzeduration", "1", "-thread_queue_size", "1024",
            "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size", size,
            "-framerate", std::to_string(s.fps), "-i", "pipe:0",
            "-probesize", "32", "-analyzeduration", "1", "-thread_queue_size", "1024",
            "-f", "f32le", "-ar", std::to_string(s.rate), "-ac", "2", "-i", "pipe:3",
            "-map", "0:v", "-map", "1:a",
            "-c:v", "libx264", "-preset", s.preset, "-crf", std::to_string(s.crf),
            "-pix_fmt", "yuv420p",
            "-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", s.videoPath};
    // clang-format on
}

// ---- OrderedWriter

OrderedWriter::OrderedWriter(size_t limit, Write write)
    : limit(limit), write(std::move(write)), worker([this] { work(); }) {}

OrderedWriter::~OrderedWriter() {
    finish();
}

bool OrderedWriter::push(SharedFrame block) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return queue.empty() || queued + block->size() <= limit || failed; });
    if (failed) {
        return false;
    }
    queued += block->size();
    queue.push_back(std::move(block));
    changed.notify_all();
    return true;
}

void OrderedWriter::work() {
    for (;;) {
        SharedFrame block;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [this] { return !queue.empty() || closing; });
            if (queue.empty()) {
                return;
            }
            block = queue.front();
        }
        const bool ok = write(*block);
        std::lock_guard<std::mutex> guard(lock);
        queue.pop_front();
        queued -= block->size();
        if (!ok) {
            failed = true;
            queue.clear();
            changed.notify_all();
            return;
        }
        changed.notify_all();
    }
}

bool OrderedWriter::finish() {
    if (worker.joinable()) {
        {
            std::lock_guard<std::mutex> guard(lock);
            closing = true;
            changed.notify_all();
        }
        worker.join();
    }
    return !failed;
}

// ---- PngFrameWriter

PngFrameWriter::PngFrameWriter(std::string dir, int width, int height, int count, size_t waiting)
    : dir(std::move(dir)), width(width), height(height), threads(static_cast<size_t>(count)),
      waiting(std::max<size_t>(1, waiting)) {
    for (size_t i = 0; i < threads; ++i) {
        workers.emplace_back([this] { work(); });
    }
}

PngFrameWriter::~PngFrameWriter() {
    std::string ignored;
    finish(ignored);
}

bool PngFrameWriter::push(SharedFrame rgb) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [&] { return queue.size() < waiting || failed; });
    if (failed) {
        return false;
    }
    queue.emplace_back(queuedCount++, std::move(rgb));
    changed.notify_all();
    return true;
}

void PngFrameWriter::work() {
    sys::runThreadInBackground(); // where the system has no lower priority, it runs as it is
    FramePngScratch scratch;
    std::vector<unsigned char> png;
    for (;;) {
        std::pair<int64_t, SharedFrame> job;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [this] { return !queue.empty() || closing || failed; });
            if (queue.empty() || failed) {
                return;
            }
            job = std::move(queue.front());
            queue.pop_front();
            changed.notify_all();
        }
        encodeFramePng(width, height, job.second->data(), width * 3L, scratch, png);
        job.second.reset(); // the frame goes back to the pool as soon as it is compressed
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(job.first));
        const std::string path = dir + "/" + name;
        std::unique_lock<std::mutex> guard(lock);
        // Files are written in frame order.
        changed.wait(guard, [&] { return written == job.first || failed; });
        if (failed) {
            return;
        }
        std::string why;
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            const bool put = std::fwrite(png.data(), 1, png.size(), f) == png.size();
            if (std::fclose(f) != 0 || !put) {
                why = "cannot write " + path + " to its end (" + std::strerror(errno) + ")";
            }
        } else {
            why = "cannot write " + path + " (" + std::strerror(errno) + ")";
        }
        if (!why.empty()) {
            failed = true;
            failure = why;
            queue.clear();
        }
        ++written;
        changed.notify_all();
    }
}

bool PngFrameWriter::finish(std::string& error) {
    {
        std::lock_guard<std::mutex> guard(lock);
        closing = true;
        changed.notify_all();
    }
    for (std::thread& t : workers) {
        if (t.joinable()) {
            t.join();
        }
    }
    error = failure;
    return !failed;
}

// ---- FrameSink

// The frame buffers: a buffer handed out returns here when the last output lets go of it.
struct FrameSink::Pool {
    std::mutex lock;
    std::condition_variable returned;
    std::vector<std::unique_ptr<FrameBuffer>> free;
};

int FrameSink::framesInFlight(const SinkSettings& s) {
    // Every encoder's frame and those waiting for them, the video queue, the frame being
    // filled and the one before it (whose outputs may still be taking it).
    const int png =
        s.framesDir.empty() ? 0 : encoderThreads(s) + static_cast<int>(pngWaitingFrames(s));
    const int video = s.videoPath.empty() ? 0 : static_cast<int>(videoQueueFrames) + 1;
    return std::max(png, video) + 2;
}

FrameSink::~FrameSink() {
    std::string ignored;
    close(ignored);
}

bool FrameSink::open(const SinkSettings& s, std::string& error) {
    settings = s;
    if (!s.wavPath.empty()) {
        if (!wav.open(s.wavPath, s.rate)) {
            error = "cannot write " + s.wavPath + " (" + std::strerror(errno) + ")";
            return false;
        }
        wavWriter = std::make_unique<OrderedWriter>(soundQueueBytes, [this](const auto& block) {
            if (!wav.write(reinterpret_cast<const float*>(block.data()),
                           static_cast<int64_t>(block.size() / (2 * sizeof(float))))) {
                failure = "cannot write " + settings.wavPath;
                return false;
            }
            return true;
        });
    }
    if (!s.videoPath.empty()) {
        ffmpegLog = s.videoPath + ".ffmpeg.log";
        // At normal priority, unlike the PNG encoders: in the background its input thread
        // kept reading frames into its own queue while its encoder waited for the processors,
        // and it grew to 1 GiB at 640 x 480 (2 GiB at 1920 x 1080) with no gain in speed.
        ffmpeg = sys::startChild(ffmpegArguments(s), 2, ffmpegLog, error);
        if (!ffmpeg) {
            return false;
        }
        sys::ChildProcess* child = ffmpeg;
        videoFrames = std::make_unique<OrderedWriter>(
            videoQueueFrames * frameBytes(s), [child](const auto& block) {
                return sys::writeToChild(child, 0, block.data(), block.size());
            });
        videoSound = std::make_unique<OrderedWriter>(soundQueueBytes, [child](const auto& block) {
            return sys::writeToChild(child, 1, block.data(), block.size());
        });
    }
    if (!s.framesDir.empty()) {
        pngs = std::make_unique<PngFrameWriter>(s.framesDir, s.width, s.height, encoderThreads(s),
                                                pngWaitingFrames(s));
    }
    pool = std::make_shared<Pool>();
    for (int i = 0; takesFrames() && i < framesInFlight(s); ++i) {
        pool->free.push_back(std::make_unique<FrameBuffer>(frameBytes(s)));
    }
    return true;
}

std::shared_ptr<FrameBuffer> FrameSink::newFrame() {
    std::unique_lock<std::mutex> guard(pool->lock);
    pool->returned.wait(guard, [&] { return !pool->free.empty(); });
    FrameBuffer* buffer = pool->free.back().release();
    pool->free.pop_back();
    // The deleter holds the pool, so a buffer still held after close() is freed safely.
    return std::shared_ptr<FrameBuffer>(buffer, [p = pool](FrameBuffer* b) {
        std::lock_guard<std::mutex> back(p->lock);
        p->free.emplace_back(b);
        p->returned.notify_one();
    });
}

bool FrameSink::frame(SharedFrame rgb) {
    bool ok = true;
    if (videoFrames) {
        ok = videoFrames->push(rgb) && ok;
    }
    if (pngs) {
        ok = pngs->push(std::move(rgb)) && ok;
    }
    return ok;
}

bool FrameSink::sound(const std::vector<float>& stereo) {
    if (!wavWriter && !videoSound) {
        return true;
    }
    auto bytes = std::make_shared<FrameBuffer>(stereo.size() * sizeof(float));
    std::memcpy(bytes->data(), stereo.data(), bytes->size());
    bool ok = true;
    if (videoSound) {
        ok = videoSound->push(bytes) && ok;
    }
    if (wavWriter) {
        ok = wavWriter->push(bytes) && ok;
    }
    return ok;
}

bool FrameSink::close(std::string& error) {
    bool ok = true;
    if (pngs) {
        std::string why;
        if (!pngs->finish(why)) {
            ok = false;
            failure = failure.empty() ? why : failure;
        }
        pngs.reset();
    }
    if (wavWriter) {
        ok = wavWriter->finish() && ok;
        wavWriter.reset();
    }
    if (!wav.close() && ok) {
        ok = false;
        failure = "cannot complete " + settings.wavPath;
    }
    if (ffmpeg) {
        // Both streams are finished whatever the first reports, so ffmpeg meets the end of each.
        const bool framesFed = videoFrames->finish();
        const bool soundFed = videoSound->finish();
        const bool fed = framesFed && soundFed;
        videoFrames.reset();
        videoSound.reset();
        const int code = sys::finishChild(ffmpeg);
        ffmpeg = nullptr;
        if (code != 0 || !fed) {
            const std::string log = readText(ffmpegLog);
            if (ok) {
                failure = "ffmpeg failed (exit code " + std::to_string(code) + ")" +
                          (log.empty() ? "" : ":\n" + log);
            }
            ok = false;
        } else {
            std::filesystem::remove(ffmpegLog);
        }
    }
    error = failure;
    return ok;
}
