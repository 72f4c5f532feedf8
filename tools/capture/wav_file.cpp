// wav_file.cpp - RIFF/WAVE with an IEEE-float format chunk, a fact chunk (required for
// non-PCM data) and one data chunk; little-endian throughout.
#include "tools/capture/wav_file.h"

#include <bit>
#include <vector>

namespace {

constexpr int channels = 2;
constexpr int bytesPerSample = 4;
// Offsets of the fields that close() fills in.
constexpr long riffSizeAt = 4;
constexpr long factFramesAt = 46;
constexpr long dataSizeAt = 54;
constexpr long headerSize = 58;

void put16(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putTag(std::vector<unsigned char>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

bool patch32(std::FILE* f, long at, uint32_t v) {
    std::vector<unsigned char> bytes;
    put32(bytes, v);
    return std::fseek(f, at, SEEK_SET) == 0 && std::fwrite(bytes.data(), 1, 4, f) == 4;
}

} // namespace

WavFile::~WavFile() {
    close();
}

bool WavFile::open(const std::string& path, int rate) {
    close();
    file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    framesWritten = 0;
    failed = false;
    std::vector<unsigned char> h;
    putTag(h, "RIFF");
    put32(h, 0); // filled in by close()
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, 18);
    put16(h, 3); // IEEE float
    put16(h, channels);
    put32(h, static_cast<uint32_t>(rate));
    put32(h, static_cast<uint32_t>(rate * channels * bytesPerSample));
    put16(h, channels * bytesPerSample);
    put16(h, 8 * bytesPerSample);
    put16(h, 0); // no extension
    putTag(h, "fact");
    put32(h, 4);
    put32(h, 0); // frames, filled in by close()
    putTag(h, "data");
    put32(h, 0); // filled in by close()
    static_assert(headerSize == 58);
    if (std::fwrite(h.data(), 1, h.size(), file) != h.size()) {
        failed = true;
    }
    return !failed;
}

bool WavFile::write(const float* samples, int64_t count) {
    if (!file || failed) {
        return false;
    }
    // The samples go out in memory order, which must be the file's little-endian order.
    static_assert(sizeof(float) == 4 && std::endian::native == std::endian::little);
    const size_t values = static_cast<size_t>(count) * channels;
    if (std::fwrite(samples, sizeof(float), values, file) != values) {
        failed = true;
        return false;
    }
    framesWritten += count;
    return true;
}

bool WavFile::close() {
    if (!file) {
        return !failed;
    }
    const uint64_t dataBytes = static_cast<uint64_t>(framesWritten) * channels * bytesPerSample;
    bool ok = !failed && dataBytes + headerSize - 8 <= 0xFFFFFFFFull;
    ok = ok && patch32(file, riffSizeAt, static_cast<uint32_t>(headerSize - 8 + dataBytes));
    ok = ok && patch32(file, factFramesAt, static_cast<uint32_t>(framesWritten));
    ok = ok && patch32(file, dataSizeAt, static_cast<uint32_t>(dataBytes));
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    failed = !ok;
    return ok;
}
