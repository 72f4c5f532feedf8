// cmd_music.cpp - tirtool decode / restore-samples / compress-samples / list-samples: the
// Layer III decoder and the compressed-sample companion, from the command line.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "music/companion.h"
#include "music/layer3.h"
#include "tools/common/file_bytes.h"
#include "tools/common/sample_compressor.h"
#include "tools/common/xm_module.h"
#include "tools/tirtool/command.h"

namespace {

// Reads `path` whole, or reports why not (and the caller returns 1).
bool readWhole(const std::string& path, std::vector<unsigned char>& out) {
    std::string error;
    if (!readFileBytes(path, out, error)) {
        fail("cannot read %s", error.c_str());
        return false;
    }
    return true;
}

bool writeWhole(const std::string& path, const std::vector<unsigned char>& data) {
    std::string error;
    if (!writeFileBytes(path, data, error)) {
        fail("cannot write %s", error.c_str());
        return false;
    }
    return true;
}

// ---- decode

// The WAV file is written as the frames decode: a 44-byte header whose sizes are filled in at
// the end, then 16-bit samples, stereo interleaved, through a buffer of a fixed size, so memory
// stays small whatever the stream's length and no sample is copied twice. A stream whose
// granules all turn out mono is compacted to one channel at the end. An output that cannot
// seek (a pipe) gets the whole file at the end instead, from memory.
constexpr size_t wavHeaderBytes = 44;
constexpr size_t outputBufferBytes = 256 * 1024;

void put16(unsigned char* at, unsigned v) {
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
}

class StreamedWav {
public:
    explicit StreamedWav(std::string path) : path(std::move(path)), buffer(outputBufferBytes) {}
    ~StreamedWav() {
        if (file) {
            std::fclose(file);
        }
    }

    // Room for `bytes` more bytes of samples (a granule), `pairs` stereo pairs.
    unsigned char* append(size_t bytes, uint64_t morePairs) {
        if (used + bytes > buffer.size()) {
            flush(); // a held output keeps what it has
        }
        if (used + bytes > buffer.size()) {
            buffer.resize(std::max(buffer.size() * 2, used + bytes));
        }
        unsigned char* at = buffer.data() + used;
        used += bytes;
        pairs += morePairs;
        return at;
    }
    void sawStereo() { anyStereo = true; }
    uint64_t frames() const { return pairs; }
    int channels() const { return anyStereo ? 2 : 1; }

    // Completes the file at `rate` Hz. False with the reason in `error` ("PATH: why"); then no
    // file is left behind when it was an ordinary file.
    bool finish(int rate, std::string& error) {
        flush();
        if (!file && !failed) {
            open(); // frames without samples: a WAV file with no data
        }
        const uint64_t dataBytes = pairs * 2 * static_cast<uint64_t>(channels());
        if (!failed && dataBytes + wavHeaderBytes - 8 > 0xFFFFFFFFull) {
            failed = true;
            reason = path + ": would exceed the 4 GiB a WAV file can hold";
        }
        unsigned char header[wavHeaderBytes];
        writeHeader(header, rate, dataBytes);
        if (!failed && held) {
            if (channels() == 1) {
                keepFirstOfPairs(buffer.data(), pairs);
            }
            put(header, wavHeaderBytes);
            put(buffer.data(), static_cast<size_t>(dataBytes));
        } else if (!failed) {
            if (channels() == 1 && !compactFileToMono()) {
                fault("cannot be rewritten as mono");
            }
            if (!failed && std::fseek(file, 0, SEEK_SET) != 0) {
                fault("cannot be written to its end");
            }
            put(header, wavHeaderBytes);
        }
        if (file && std::fclose(file) != 0) {
            fault("cannot be written to its end");
        }
        file = nullptr;
        std::error_code ec;
        if (!failed && !held && channels() == 1) {
            std::filesystem::resize_file(path, wavHeaderBytes + dataBytes, ec);
            if (ec) {
                failed = true;
                reason = path + ": cannot be cut to its mono length (" + ec.message() + ")";
            }
        }
        if (failed && createdFile) {
            // A WAV file without its true sizes would play as something else.
            std::filesystem::remove(path, ec);
        }
        error = reason;
        return !failed;
    }

private:
    void fault(const char* what) {
        if (!failed) {
            reason = path + ": " + what + " (" + std::strerror(errno) + ")";
        }
        failed = true;
    }
    void put(const unsigned char* data, size_t size) {
        if (!failed && std::fwrite(data, 1, size, file) != size) {
            fault("cannot be written to its end");
        }
    }
    bool open() {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            reason = path + ": is a folder, not a file";
            failed = true;
            return false;
        }
        // Read access too: a mono stream is compacted in place at the end.
        file = std::fopen(path.c_str(), "w+b");
        if (!file) {
            fault("cannot be written");
            return false;
        }
        createdFile = std::filesystem::is_regular_file(path, ec);
        held = !createdFile || std::fseek(file, 0, SEEK_SET) != 0;
        if (!held) {
            const unsigned char placeholder[wavHeaderBytes] = {};
            put(placeholder, wavHeaderBytes);
        }
        return !failed;
    }
    // Writes the buffer out; after a failure the samples are dropped (decoding still runs to
    // the end, so the messages about the stream are the same).
    void flush() {
        if (!failed && !file) {
            open();
        }
        if (!failed && !held) {
            put(buffer.data(), used);
            used = 0;
        } else if (failed) {
            used = 0;
        }
    }
    static void keepFirstOfPairs(unsigned char* samples, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) {
            std::memmove(samples + 2 * i, samples + 4 * i, 2);
        }
    }
    // Keeps the first channel of every pair after the header, in place: reading is always
    // ahead of writing, so no pair is overwritten before it is read.
    bool compactFileToMono() {
        for (uint64_t done = 0; done < pairs;) {
            const uint64_t n = std::min<uint64_t>(pairs - done, buffer.size() / 4);
            const size_t bytes = static_cast<size_t>(n) * 4;
            if (std::fseek(file, static_cast<long>(wavHeaderBytes + done * 4), SEEK_SET) != 0 ||
                std::fread(buffer.data(), 1, bytes, file) != bytes) {
                return false;
            }
            keepFirstOfPairs(buffer.data(), n);
            if (std::fseek(file, static_cast<long>(wavHeaderBytes + done * 2), SEEK_SET) != 0 ||
                std::fwrite(buffer.data(), 1, bytes / 2, file) != bytes / 2) {
                return false;
            }
            done += n;
        }
        return true;
    }
    void writeHeader(unsigned char* h, int rate, uint64_t dataBytes) const {
        const unsigned ch = static_cast<unsigned>(channels());
        std::memcpy(h, "RIFF", 4);
        put32(h + 4, static_cast<uint32_t>(36 + dataBytes));
        std::memcpy(h + 8, "WAVEfmt ", 8);
        put32(h + 16, 16);
        put16(h + 20, 1); // PCM
        put16(h + 22, ch);
        put32(h + 24, static_cast<uint32_t>(rate));
        put32(h + 28, static_cast<uint32_t>(rate) * ch * 2);
        put16(h + 32, ch * 2);
        put16(h + 34, 16);
        std::memcpy(h + 36, "data", 4);
        put32(h + 40, static_cast<uint32_t>(dataBytes));
    }

    std::string path;
    std::FILE* file = nullptr; // opened when the first samples are flushed
    std::vector<unsigned char> buffer;
    size_t used = 0;
    uint64_t pairs = 0;       // stereo pairs so far
    bool anyStereo = false;   // one stereo granule makes the whole file stereo
    bool held = false;        // the output cannot seek: the buffer holds every sample
    bool createdFile = false; // an ordinary file, removed again after a failure
    bool failed = false;
    std::string reason;
};
StreamedWav* output = nullptr; // the decode command's output while the decoder runs

// Full scale is 32,768, as the reference decoders scale: +1.0 clips to 32,767. Rounding is to
// the nearest integer, ties to even, as nearbyint() rounds; NaN (never made by the decoder)
// becomes 0. Scalar form: adding and taking away 1.5 * 2^23 rounds a float in [-32768, 32767]
// to an integer with the FPU's own round-to-nearest-even, without a library call per sample.
inline int16_t toPcm(float x) {
    float s = x * 32768.0f;
    s = s > 32767.0f ? 32767.0f : s;
    s = s < -32768.0f ? -32768.0f : s;
    s = s == s ? s : 0.0f;
    constexpr float roundingBias = 12582912.0f;
    return static_cast<int16_t>(static_cast<int>((s + roundingBias) - roundingBias));
}

// One granule as interleaved 16-bit pairs into `out` (4 bytes a pair, little-endian). Where
// SSE2 is there (every x86-64), four pairs at a time: clamped in float, converted with the
// default round-to-nearest-even mode, then interleaved; the scalar form does the rest.
void toPcmPairs(int count, const float* left, const float* right, unsigned char* out) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0f), high = _mm_set1_ps(32767.0f),
                 low = _mm_set1_ps(-32768.0f);
    auto convert = [&](const float* from) {
        __m128 s = _mm_mul_ps(_mm_loadu_ps(from), scale);
        s = _mm_and_ps(s, _mm_cmpord_ps(s, s)); // NaN -> 0
        s = _mm_min_ps(_mm_max_ps(s, low), high);
        return _mm_cvtps_epi32(s);
    };
    for (; i + 8 <= count; i += 8) {
        const __m128i l = _mm_packs_epi32(convert(left + i), convert(left + i + 4));
        const __m128i r = _mm_packs_epi32(convert(right + i), convert(right + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_unpacklo_epi16(l, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i + 16), _mm_unpackhi_epi16(l, r));
    }
#endif
    for (; i < count; ++i) {
        // The samples go out in memory order, which is the file's little-endian order.
        const int16_t pair[2] = {toPcm(left[i]), toPcm(right[i])};
        std::memcpy(out + 4 * i, pair, 4);
    }
}

void collect(int count, const float* left, const float* right) {
    if (right) {
        output->sawStereo();
    }
    // A mono granule goes on both channels.
    toPcmPairs(count, left, right ? right : left,
               output->append(static_cast<size_t>(count) * 4, static_cast<uint64_t>(count)));
}

// A stream may switch between mono and stereo frames (the header's mode is per frame). One
// stereo frame makes the whole file stereo, with each mono frame on both channels, so no frame
// is cut to one channel and the file plays at its true length; a stream of mono frames only
// is written as mono.
int decode(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("decode");
    }
    static_assert(std::endian::native == std::endian::little);
    if (writesOverInput(args[1], {args[0]})) {
        return 1;
    }
    initDecoderTables();
    std::vector<unsigned char> stream;
    if (!readWhole(args[0], stream)) {
        return 1;
    }
    const std::string quoted = "\"" + args[0] + "\"";
    Decoder* d = openDecoderMemory(stream.data(), stream.size(), quoted.c_str());
    if (!d) {
        return fail("cannot decode %s: %s", args[0].c_str(), openDecoderFailure());
    }
    std::vector<unsigned char>().swap(stream); // the decoder holds its own copy
    const int rate = decoderSamplingRate(d);
    StreamedWav wav(args[1]);
    output = &wav;
    setOutputRoutine(&collect);
    int frames = 0;
    int otherRate = 0;
    while (decodeFrame(d) != -1) {
        ++frames;
        if (decoderFrameSamplingRate(d) != rate && !otherRate) {
            otherRate = decoderFrameSamplingRate(d);
        }
    }
    const char* problem = decoderProblem(d);
    const std::string problemText = problem ? problem : "";
    closeDecoder(d);
    setOutputRoutine(nullptr);
    output = nullptr;
    if (frames == 0) {
        return fail("%s holds no MPEG-1 Layer III frame%s%s; nothing written", args[0].c_str(),
                    problem ? ": " : "", problemText.c_str());
    }
    if (problem) {
        std::fprintf(stderr, "tirtool: %s: %s\n", args[0].c_str(), problemText.c_str());
    }
    if (otherRate) {
        std::fprintf(stderr,
                     "tirtool: %s: frames at %d Hz among frames at %d Hz are written at %d Hz\n",
                     args[0].c_str(), otherRate, rate, rate);
    }

    std::string error;
    if (!wav.finish(rate, error)) {
        return fail("cannot write %s", error.c_str());
    }
    std::printf("decoded %d frames (%llu samples per channel, %d Hz, %s) into %s\n", frames,
                static_cast<unsigned long long>(wav.frames()), rate,
                wav.channels() == 2 ? "stereo" : "mono", args[1].c_str());
    return 0;
}

// Refuses, before anything is written, a module that is not an XM and a companion that holds
// nothing to restore (empty, no records, its record table cut short); when not one record could
// be restored the output is not written either. Skipped records are said on the way.
int restore(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return usageError("restore-samples");
    }
    if (writesOverInput(args[2], {args[0], args[1]})) {
        return 1;
    }
    std::vector<unsigned char> module, companion;
    if (!readWhole(args[0], module) || !readWhole(args[1], companion)) {
        return 1;
    }
    XmModuleInfo info;
    std::string error;
    if (!parseXm(module.data(), module.size(), info, error)) {
        return fail("%s: %s; nothing written", args[0].c_str(), error.c_str());
    }
    if (companion.empty()) {
        return fail("%s is empty, so it restores nothing; nothing written", args[1].c_str());
    }
    const int records = static_cast<int8_t>(companion[0]);
    if (records <= 0) {
        return fail("%s holds no records (its first byte gives %d); nothing written",
                    args[1].c_str(), records);
    }
    const size_t recordsEnd = 1 + static_cast<size_t>(records) * companionRecordSize;
    if (recordsEnd > companion.size()) {
        return fail("%s is cut short: %d records need %zu bytes, it has %zu; nothing written",
                    args[1].c_str(), records, recordsEnd, companion.size());
    }
    const int restored = restoreSamplesInto(module.data(), module.size(), companion.data(),
                                            companion.size(), args[1].c_str());
    if (restored == 0) {
        return fail("no record of %s could be restored; nothing written", args[1].c_str());
    }
    if (!writeWhole(args[2], module)) {
        return 1;
    }
    std::printf("restored %d of %d records into %s\n", restored, records, args[2].c_str());
    return restored == records ? 0 : 1;
}

int compress(const std::vector<std::string>& args) {
    CompressOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--samples" && i + 1 < args.size()) {
            if (!parseSampleList(args[++i], options.samples)) {
                return fail("--samples wants numbers such as 1,3,5-7, not \"%s\"", args[i].c_str());
            }
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 3) {
        return usageError("compress-samples");
    }
    if (writesOverInput(files[1], {files[0]}) || writesOverInput(files[2], {files[0]})) {
        return 1;
    }
    if (files[1] == files[2] || sameFile(files[1], files[2])) {
        return fail("the module copy and the companion would both be %s; name two files",
                    files[1].c_str());
    }
    std::vector<unsigned char> module, outModule, companion;
    if (!readWhole(files[0], module)) {
        return 1;
    }
    std::vector<SampleReport> report;
    std::string error;
    if (!compressSamples(module, options, outModule, companion, report, error)) {
        return fail("%s: %s", files[0].c_str(), error.c_str());
    }
    if (!writeWhole(files[1], outModule) || !writeWhole(files[2], companion)) {
        return 1;
    }
    std::printf("%4s %-22s %8s %8s %8s %6s %4s\n", "no.", "name", "values", "stream", "SNR dB",
                "lag", "clip");
    int compressed = 0;
    for (const SampleReport& r : report) {
        if (!r.compressed) {
            std::printf("%4d %-22s not compressed: %s\n", r.number, r.name.c_str(),
                        r.reason.c_str());
            continue;
        }
        ++compressed;
        std::printf("%4d %-22s %8d %8zu %8.1f %6d %4d\n", r.number, r.name.c_str(), r.length,
                    r.streamBytes, r.snrDb, r.lag, r.clipped);
        if (r.clipped) {
            std::printf("     %d values of sample %d lie beyond +-32000 and come back clipped\n",
                        r.clipped, r.number);
        }
    }
    std::printf("%d samples into %s, module copy %s\n", compressed, files[2].c_str(),
                files[1].c_str());
    return 0;
}

int listSamples(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("list-samples");
    }
    std::vector<unsigned char> module;
    if (!readWhole(args[0], module)) {
        return 1;
    }
    XmModuleInfo info;
    std::string error;
    if (!parseXm(module.data(), module.size(), info, error)) {
        return fail("%s: %s", args[0].c_str(), error.c_str());
    }
    std::printf("\"%s\": %d orders, %d channels, %d patterns, %d instruments\n", info.name.c_str(),
                info.orders, info.channels, info.patterns, info.instruments);
    std::printf("%4s %4s %-22s %10s %10s  %s\n", "no.", "ins", "name", "offset", "bytes", "kind");
    for (const XmSampleInfo& s : info.samples) {
        std::printf("%4d %4d %-22s %10zu %10u  %s%s%s%s\n", s.number, s.instrument, s.name.c_str(),
                    s.dataOffset, s.byteLength, s.sixteenBit ? "16-bit" : "8-bit",
                    s.stereo ? " stereo" : "", s.adpcm ? " adpcm" : "",
                    s.truncated ? " truncated" : "");
    }
    return 0;
}

CommandRegistration decodeCommand(
    {"decode", "STREAM OUT.wav", "decode an MPEG-1 Layer III stream into a 16-bit WAV file",
     &decode,
     "    STREAM    an MPEG-1 Layer III stream (an .mp3 file); one without such frames is\n"
     "              refused\n"
     "    OUT.wav   the WAV file to write: stereo, or mono when every frame is mono\n"});
CommandRegistration restoreCommand(
    {"restore-samples", "IN.xm IN.m3d OUT.xm", "restore a module's samples from its companion",
     &restore,
     "    IN.xm     the module whose samples were compressed (an XM module)\n"
     "    IN.m3d    its companion; an empty one, or one without records, is refused\n"
     "    OUT.xm    the module with its samples restored (never IN.xm or IN.m3d); exit 1 when\n"
     "              a record was skipped\n"});
CommandRegistration compressCommand(
    {"compress-samples", "IN.xm OUT.xm OUT.m3d [--samples LIST]",
     "MP3-encode 16-bit samples (all by default) into a companion and zero them in the copy",
     &compress,
     "    IN.xm     the module to read (it is never written)\n"
     "    OUT.xm    the copy of the module with the compressed samples zeroed\n"
     "    OUT.m3d   the companion that restores them\n"
     "    --samples LIST  only these samples, by number as list-samples shows, such as 1,3,5-7\n"});
CommandRegistration listSamplesCommand({"list-samples", "IN.xm",
                                        "list a module's samples with their offsets and widths",
                                        &listSamples, "    IN.xm     an XM module\n"});

} // namespace