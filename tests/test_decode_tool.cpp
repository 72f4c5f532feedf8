// test_decode_tool.cpp - tirtool decode's WAV file: full scale at 32,768 like the reference
// decoders (the full-scale sine conformance stream reaches 96 dB against its reference), and a
// stream that switches between mono and stereo frames written as stereo throughout.
#include <gtest/gtest.h>

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "music/layer3.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Wav {
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> values; // interleaved
};

bool readWav(const std::string& path, Wav& wav) {
    const std::vector<unsigned char> bytes = readFile(path);
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0) {
        return false;
    }
    wav.channels = bytes[22] | bytes[23] << 8;
    wav.rate = bytes[24] | bytes[25] << 8 | bytes[26] << 16 | bytes[27] << 24;
    wav.values.resize((bytes.size() - 44) / 2);
    std::memcpy(wav.values.data(), bytes.data() + 44, wav.values.size() * 2);
    return true;
}

int decodeTool(const std::string& in, const std::string& out, const std::string& log) {
    const std::string cmd =
        std::string(TIR_BIN_DIR) + "/tirtool decode " + in + " " + out + " > " + log + " 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Peak signal-to-noise ratio of `ours` against `ref` at the best whole-frame offset (reference
// decoders may drop frames this decoder outputs).
double bestPsnr(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref, size_t frame) {
    double best = -1e9;
    for (long k = -4; k <= 4; ++k) {
        const long shift = k * static_cast<long>(frame);
        const long first = std::max(0L, shift);
        const long last =
            std::min(static_cast<long>(ours.size()), static_cast<long>(ref.size()) + shift);
        if (last - first < static_cast<long>(ref.size()) * 9 / 10) {
            continue;
        }
        double squares = 0;
        for (long i = first; i < last; ++i) {
            const double e = ours[static_cast<size_t>(i)] - ref[static_cast<size_t>(i - shift)];
            squares += e * e;
        }
        const double mse = squares / static_cast<double>(last - first);
        best = std::max(best, mse > 0 ? 10 * std::log10(32767.0 * 32767.0 / mse) : 200.0);
    }
    return best;
}

TEST(DecodeTool, FullScaleSineMatchesItsReference) {
    const std::string shared = sharedDir();
    if (shared.empty()) {
        GTEST_SKIP() << "no shared reference data";
    }
    ScratchDir dir("decode-sine");
    const std::string stream = shared + "/mp3-conformance/l3-sin1k0db.bit";
    ASSERT_EQ(decodeTool(stream, dir.file("sine.wav"), dir.file("log")), 0);
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("sine.wav"), wav));
    const std::vector<unsigned char> raw = readFile(shared + "/mp3-conformance/l3-sin1k0db.pcm");
    std::vector<int16_t> ref(raw.size() / 2);
    std::memcpy(ref.data(), raw.data(), ref.size() * 2);
    const double psnr = bestPsnr(wav.values, ref, 1152 * static_cast<size_t>(wav.channels));
    std::printf("l3-sin1k0db through tirtool decode: PSNR %.2f dB\n", psnr);
    EXPECT_GE(psnr, 96.0);
    // The sine reaches full scale: with the reference's scale the peaks are the reference's.
    int16_t peak = 0, refPeak = 0;
    for (const int16_t v : wav.values) {
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(v)));
    }
    for (const int16_t v : ref) {
        refPeak = std::max<int16_t>(refPeak, static_cast<int16_t>(std::abs(v)));
    }
    EXPECT_NEAR(peak, refPeak, 1);
}

// `frames` frames of lame output at 44.1 kHz, 128 kbit/s: mono, or stereo with a different
// tone on each side; sines of `amplitude`, or full-scale square waves.
std::vector<unsigned char> lameStream(int channels, int frames, double pitch,
                                      bool fullScaleSquare = false) {
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, 44100);
    lame_set_out_samplerate(lame, 44100);
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, channels == 1 ? MONO : STEREO);
    lame_set_brate(lame, 128);
    lame_set_bWriteVbrTag(lame, 0);
    lame_init_params(lame);
    const int n = frames * 1152;
    std::vector<short> left(static_cast<size_t>(n)), right(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double l = std::sin(pitch * i), r = std::sin(2.3 * pitch * i);
        left[static_cast<size_t>(i)] =
            static_cast<short>(fullScaleSquare ? (l < 0 ? -32768 : 32767) : 8000 * l);
        right[static_cast<size_t>(i)] =
            static_cast<short>(fullScaleSquare ? (r < 0 ? -32768 : 32767) : 8000 * r);
    }
    std::vector<unsigned char> out(static_cast<size_t>(n) + 16384);
    int bytes = lame_encode_buffer(lame, left.data(), channels == 2 ? right.data() : nullptr, n,
                                   out.data(), static_cast<int>(out.size()));
    bytes += lame_encode_flush(lame, out.data() + bytes, static_cast<int>(out.size()) - bytes);
    lame_close(lame);
    out.resize(static_cast<size_t>(bytes));
    return out;
}

int frameCount(const std::vector<unsigned char>& stream) {
    initDecoderTables();
    setOutputRoutine(nullptr);
    Decoder* d = openDecoderMemory(stream.data(), stream.size());
    int frames = 0;
    while (decodeFrame(d) > 0) {
        ++frames;
    }
    closeDecoder(d);
    return frames;
}

TEST(DecodeTool, StreamSwitchingBetweenMonoAndStereoIsStereoThroughout) {
    const std::vector<unsigned char> mono = lameStream(1, 20, 0.05);
    const std::vector<unsigned char> stereo = lameStream(2, 20, 0.07);
    std::vector<unsigned char> mixed = mono;
    mixed.insert(mixed.end(), stereo.begin(), stereo.end());
    mixed.insert(mixed.end(), mono.begin(), mono.end());
    const int monoFrames = frameCount(mono), stereoFrames = frameCount(stereo);
    ASSERT_GT(monoFrames, 10);
    ASSERT_GT(stereoFrames, 10);

    ScratchDir dir("decode-mixed");
    writeFile(dir.file("mixed.mp3"), mixed);
    ASSERT_EQ(decodeTool(dir.file("mixed.mp3"), dir.file("mixed.wav"), dir.file("log")), 0);
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("mixed.wav"), wav));
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100);
    // Every frame is there, at its true length.
    ASSERT_EQ(wav.values.size(), static_cast<size_t>(2 * monoFrames + stereoFrames) * 1152 * 2);
    // The mono frames are on both channels; the stereo frames carry two different tones.
    const size_t monoEnd = static_cast<size_t>(monoFrames) * 1152;
    const size_t stereoEnd = monoEnd + static_cast<size_t>(stereoFrames) * 1152;
    size_t unequalMono = 0, unequalStereo = 0;
    for (size_t i = 0; i < wav.values.size() / 2; ++i) {
        const bool same = wav.values[2 * i] == wav.values[2 * i + 1];
        if (i < monoEnd || i >= stereoEnd) {
            unequalMono += !same;
        } else {
            unequalStereo += !same;
        }
    }
    EXPECT_EQ(unequalMono, 0u);
    EXPECT_GT(unequalStereo, static_cast<size_t>(stereoFrames) * 1152 / 2);
}

// A stream of mono frames only stays mono.
TEST(DecodeTool, MonoStreamStaysMono) {
    ScratchDir dir("decode-mono");
    const std::vector<unsigned char> mono = lameStream(1, 12, 0.05);
    writeFile(dir.file("mono.mp3"), mono);
    ASSERT_EQ(decodeTool(dir.file("mono.mp3"), dir.file("mono.wav"), dir.file("log")), 0);
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("mono.wav"), wav));
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.values.size(), static_cast<size_t>(frameCount(mono)) * 1152);
}

// The decoder's floats, as the test's own decode sees them, interleaved (mono granules on
// both channels).
std::vector<float> inProcessFloats;
void keepFloats(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        inProcessFloats.push_back(left[i]);
        inProcessFloats.push_back(right ? right[i] : left[i]);
    }
}

// The WAV holds exactly the decoder's samples at full scale 32,768, rounded to nearest with
// ties to even and clipped: checked against nearbyint() on the decoder's own floats for a
// full-scale square wave, whose ringing goes past full scale, so the clipping is exercised
// too. A pipe as the output (which cannot seek back to the header) gets the same file.
TEST(DecodeTool, SamplesAreTheDecodersFloatsRoundedAndClipped) {
    const std::vector<unsigned char> stream = lameStream(2, 40, 0.03, true);
    ScratchDir dir("decode-rounding");
    writeFile(dir.file("square.mp3"), stream);
    ASSERT_EQ(decodeTool(dir.file("square.mp3"), dir.file("square.wav"), dir.file("log")), 0);
    Wav wav;
    ASSERT_TRUE(readWav(dir.file("square.wav"), wav));
    ASSERT_EQ(wav.channels, 2);

    initDecoderTables();
    resetSynthesisState();
    inProcessFloats.clear();
    setOutputRoutine(&keepFloats);
    Decoder* d = openDecoderMemory(stream.data(), stream.size());
    ASSERT_NE(d, nullptr);
    while (decodeFrame(d) > 0) {
    }
    closeDecoder(d);
    setOutputRoutine(nullptr);
    ASSERT_EQ(wav.values.size(), inProcessFloats.size());
    size_t clipped = 0, different = 0;
    for (size_t i = 0; i < inProcessFloats.size(); ++i) {
        const double scaled = std::nearbyint(static_cast<double>(inProcessFloats[i]) * 32768.0);
        clipped += scaled > 32767 || scaled < -32768;
        const double expected = std::min(32767.0, std::max(-32768.0, scaled));
        different += wav.values[i] != static_cast<int16_t>(expected);
    }
    EXPECT_EQ(different, 0u);
    EXPECT_GT(clipped, 100u);

    const std::string piped = dir.file("piped.wav");
    const std::string cmd = std::string(TIR_BIN_DIR) + "/tirtool decode " + dir.file("square.mp3") +
                            " /dev/stdout 2>/dev/null | head -c " +
                            std::to_string(readFile(dir.file("square.wav")).size()) + " > " + piped;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(piped), readFile(dir.file("square.wav")));
}

} // namespace
