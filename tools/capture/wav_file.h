// wav_file.h - a WAV file written as the sound arrives: 32-bit float stereo, the same samples
// the sound library hands to an audio device, so a capture can be compared with what a live
// run sent to SDL's disk driver bit for bit. The sizes in the header are filled in at close().
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class WavFile {
public:
    WavFile() = default;
    ~WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    // Creates `path` for stereo float samples at `rate` Hz. False when it cannot be created.
    bool open(const std::string& path, int rate);
    // Appends `frames` interleaved stereo frames. False on a write error.
    bool write(const float* samples, int64_t frames);
    // Writes the final sizes and closes. False when the file could not be completed.
    bool close();

    int64_t frames() const { return framesWritten; }

private:
    std::FILE* file = nullptr;
    int64_t framesWritten = 0;
    bool failed = false;
};
