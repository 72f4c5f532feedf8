// frame_sink.cpp - the worker threads and the outputs they feed.
#include "tools/capture/frame_sink.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/child_process.h"
#include "tools/common/png_writer.h"

namespace {

// Bytes each queue may hold: a few dozen 640 x 480 frames, a few at the largest size.
constexpr size_t queueBytes = 96u << 20;

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Blocks for the file writer carry a tag byte at the end: frame or sound.
constexpr unsigned char frameTag = 'F', soundTag = 'S';

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
            "-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p",
            "-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", s.videoPath};
    // clang-format on
}

// ---- OrderedWriter

OrderedWriter::OrderedWriter(size_t limit, Write write)
    : limit(limit), write(std::move(write)), worker([this] { work(); }) {}

OrderedWriter::~OrderedWriter() {
    finish();
}

bool OrderedWriter::push(std::shared_ptr<const std::vector<unsigned char>> block) {
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
        std::shared_ptr<const std::vector<unsigned char>> block;
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

// ---- FrameSink

FrameSink::~FrameSink() {
    std::string ignored;
    close(ignored);
}

bool FrameSink::open(const SinkSettings& s, std::string& error) {
    settings = s;
    if (!s.framesDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(s.framesDir, ec);
        if (ec) {
            error = "cannot make the frames folder " + s.framesDir + ": " + ec.message();
            return false;
        }
    }
    if (!s.wavPath.empty() && !wav.open(s.wavPath, s.rate)) {
        error = "cannot write " + s.wavPath;
        return false;
    }
    if (!s.videoPath.empty()) {
        ffmpegLog = s.videoPath + ".ffmpeg.log";
        ffmpeg = sys::startChild(ffmpegArguments(s), 2, ffmpegLog, error);
        if (!ffmpeg) {
            return false;
        }
        sys::ChildProcess* child = ffmpeg;
        videoFrames = std::make_unique<OrderedWriter>(queueBytes, [child](const auto& block) {
            return sys::writeToChild(child, 0, block.data(), block.size());
        });
        videoSound = std::make_unique<OrderedWriter>(queueBytes, [child](const auto& block) {
            return sys::writeToChild(child, 1, block.data(), block.size());
        });
    }
    if (!s.framesDir.empty() || !s.wavPath.empty()) {
        files = std::make_unique<OrderedWriter>(
            queueBytes, [this](const auto& block) { return writeFile(block); });
    }
    return true;
}

bool FrameSink::writeFile(const std::vector<unsigned char>& block) {
    const bool isFrame = block.back() == frameTag;
    const size_t size = block.size() - 1;
    if (isFrame) {
        if (settings.framesDir.empty()) {
            return true;
        }
        char name[32];
        std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(pngCount++));
        const std::string path = settings.framesDir + "/" + name;
        // The PNG writer takes a whole vector; the frame is the block without its tag.
        const std::vector<unsigned char> rgb(block.begin(),
                                             block.begin() + static_cast<long>(size));
        if (!writePng(path, settings.width, settings.height, 3, rgb, true)) {
            failure = "cannot write " + path;
            return false;
        }
        return true;
    }
    if (settings.wavPath.empty()) {
        return true;
    }
    std::vector<float> stereo(size / sizeof(float));
    std::memcpy(stereo.data(), block.data(), stereo.size() * sizeof(float));
    if (!wav.write(stereo.data(), static_cast<int64_t>(stereo.size() / 2))) {
        failure = "cannot write " + settings.wavPath;
        return false;
    }
    return true;
}

bool FrameSink::frame(std::vector<unsigned char> rgb) {
    bool ok = true;
    if (videoFrames) {
        auto block = std::make_shared<const std::vector<unsigned char>>(rgb);
        ok = videoFrames->push(block) && ok;
    }
    if (files && !settings.framesDir.empty()) {
        rgb.push_back(frameTag);
        ok = files->push(std::make_shared<const std::vector<unsigned char>>(std::move(rgb))) && ok;
    }
    return ok;
}

bool FrameSink::sound(const std::vector<float>& stereo) {
    std::vector<unsigned char> bytes(stereo.size() * sizeof(float));
    std::memcpy(bytes.data(), stereo.data(), bytes.size());
    bool ok = true;
    if (videoSound) {
        ok = videoSound->push(std::make_shared<const std::vector<unsigned char>>(bytes)) && ok;
    }
    if (files && !settings.wavPath.empty()) {
        bytes.push_back(soundTag);
        ok =
            files->push(std::make_shared<const std::vector<unsigned char>>(std::move(bytes))) && ok;
    }
    return ok;
}

bool FrameSink::close(std::string& error) {
    bool ok = true;
    if (files) {
        ok = files->finish() && ok;
        files.reset();
    }
    if (!wav.close() && ok) {
        ok = false;
        failure = "cannot complete " + settings.wavPath;
    }
    if (ffmpeg) {
        const bool fed = videoFrames->finish() & videoSound->finish();
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
