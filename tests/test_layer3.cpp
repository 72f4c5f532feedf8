// test_layer3.cpp - the Layer III decoder against the ISO conformance streams, against
// libmpg123 on streams encoded here with libmp3lame, on hand-made and damaged streams, and on
// the edges of its interface.
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "music/layer3.h"
#include "music/layer3_internal.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

// ---------------------------------------------------------------------------------------------
// Decoding into memory.

struct Decoded {
    std::vector<float> samples; // channels interleaved granule by granule
    int frames = 0;             // results of 1152
    int lastResult = 0;
    int channels = 0;
    int rate = 0;
};

Decoded* capture = nullptr;

void captureOutput(int count, const float* left, const float* right) {
    if (!capture) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        capture->samples.push_back(left[i]);
        if (right) {
            capture->samples.push_back(right[i]);
        }
    }
}

// Runs an open decoder to the end of its stream (or for `frames` frames) and collects the
// output. A fatal error propagates as testing_support::ProcessExit.
Decoded run(Decoder* d, int frames = 1 << 30) {
    Decoded out;
    capture = &out;
    struct StopCapture {
        ~StopCapture() { capture = nullptr; }
    } stop; // also when a fatal error unwinds
    setOutputRoutine(captureOutput);
    out.channels = decoderChannels(d);
    out.rate = decoderSamplingRate(d);
    while (out.frames < frames && (out.lastResult = decodeFrame(d)) == 1152) {
        ++out.frames;
    }
    return out;
}

// Decodes a whole stream from a fresh synthesis state.
Decoded decode(const Bytes& stream) {
    resetSynthesisState();
    Decoder* d = openDecoderMemory(stream.data(), stream.size());
    Decoded out = run(d);
    closeDecoder(d);
    return out;
}

// The same with exits trapped; returns the exit code (-1000 when it ended normally).
int decodeTrapped(const Bytes& stream, Decoded* result = nullptr) {
    Decoder* d = nullptr;
    const int code = testing_support::exitCodeOf([&] {
        resetSynthesisState();
        d = openDecoderMemory(stream.data(), stream.size());
        Decoded out = run(d);
        if (result) {
            *result = std::move(out);
        }
    });
    closeDecoder(d);
    return code;
}

int16_t toPcm16(float v) {
    return static_cast<int16_t>(std::clamp(std::lround(v * 32768.0), -32768L, 32767L));
}

Bytes readShared(const std::string& name) {
    return testing_support::readFile(testing_support::sharedDir() + "/mp3-conformance/" + name);
}

std::vector<int16_t> readPcm16(const std::string& name) {
    const Bytes raw = readShared(name);
    std::vector<int16_t> pcm(raw.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    }
    return pcm;
}

// Comparison with a 16-bit reference over the overlap, at the whole-frame offset that fits
// best: reference decoders drop frames that this decoder outputs as silence (a frame that
// reaches back before the start of the stream, damaged frames). The offset counts the frames
// this decoder is ahead.
struct Match {
    double psnr = 0;
    int maxError = 0;
    long offsetFrames = 0;
    size_t compared = 0;
};

Match compare16(const std::vector<float>& ours, size_t ourStart, size_t ourCount,
                const std::vector<int16_t>& ref, size_t frameSamples) {
    Match best;
    best.psnr = -1e9;
    for (long k = -6; k <= 6; ++k) {
        // Our sample i meets reference sample i - shift.
        const long shift = k * static_cast<long>(frameSamples);
        const long first = std::max(static_cast<long>(ourStart), shift);
        const long last =
            std::min(static_cast<long>(ourStart + ourCount), static_cast<long>(ref.size()) + shift);
        if (last - first < static_cast<long>(frameSamples)) {
            continue;
        }
        double squares = 0;
        int maxError = 0;
        for (long i = first; i < last; ++i) {
            const int e =
                toPcm16(ours[static_cast<size_t>(i)]) - ref[static_cast<size_t>(i - shift)];
            squares += static_cast<double>(e) * e;
            maxError = std::max(maxError, std::abs(e));
        }
        const double mse = squares / static_cast<double>(last - first);
        const double psnr = mse > 0 ? 10 * std::log10(32767.0 * 32767.0 / mse) : 200.0;
        if (psnr > best.psnr) {
            best = {psnr, maxError, k, static_cast<size_t>(last - first)};
        }
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// Stream construction: a bit writer, hand-made frames and a side-information scanner.

struct BitWriter {
    Bytes bytes;
    size_t bits = 0;
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bits % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<unsigned char>(((value >> i) & 1) << (7 - bits % 8));
            ++bits;
        }
    }
};

struct BitReader {
    const Bytes& bytes;
    size_t position = 0;
    uint32_t get(int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++position) {
            const size_t byte = position / 8;
            const int bit = byte < bytes.size() ? (bytes[byte] >> (7 - position % 8)) & 1 : 0;
            v = (v << 1) | static_cast<uint32_t>(bit);
        }
        return v;
    }
};

// One granule's side information of a mono frame.
struct Granule {
    int part23 = 0;
    int bigValues = 0;
    int globalGain = 150;
    bool windowSwitching = false;
    int blockType = 0;
    int tables[3] = {0, 0, 0};
    int region0 = 0;
    int region1 = 0;
    int count1B = 0;
};

// Appends the code of the pair (x, y) of big-value table `table`, with linbits and signs.
void putPair(BitWriter& w, int table, int x, int y) {
    const layer3::HuffmanCodeSource& source = layer3::huffmanSources[table];
    const int cx = std::min(std::abs(x), 15);
    const int cy = std::min(std::abs(y), 15);
    const int index = cx * source.dim + cy;
    w.put(source.codes[index], source.lengths[index]);
    for (const int v : {x, y}) {
        if (std::abs(v) >= 15 && source.linbits) {
            w.put(static_cast<uint32_t>(std::abs(v) - 15), source.linbits);
        }
        if (v) {
            w.put(v < 0, 1);
        }
    }
}

// A mono 128 kbit/s 44.1 kHz frame (417 bytes, 396 of them main data). `layer` is the header's
// layer field (1 = Layer III).
Bytes makeFrame(int mainDataBegin, const Granule (&gr)[2], const BitWriter& mainData,
                int layer = 1) {
    BitWriter w;
    w.put(0xFFF, 12);
    w.put(1, 1);     // MPEG-1
    w.put(layer, 2); //
    w.put(1, 1);     // no CRC
    w.put(9, 4);     // 128 kbit/s
    w.put(0, 2);     // 44.1 kHz
    w.put(0, 2);     // no padding, private bit
    w.put(3, 2);     // mono
    w.put(0, 6);     // mode extension, copyright, original, emphasis
    w.put(static_cast<uint32_t>(mainDataBegin), 9);
    w.put(0, 5 + 4); // private bits, scfsi
    for (const Granule& g : gr) {
        w.put(static_cast<uint32_t>(g.part23), 12);
        w.put(static_cast<uint32_t>(g.bigValues), 9);
        w.put(static_cast<uint32_t>(g.globalGain), 8);
        w.put(0, 4); // scalefac_compress 0: no scale-factor bits
        w.put(g.windowSwitching, 1);
        if (g.windowSwitching) {
            w.put(static_cast<uint32_t>(g.blockType), 2);
            w.put(0, 1);
            w.put(static_cast<uint32_t>(g.tables[0]), 5);
            w.put(static_cast<uint32_t>(g.tables[1]), 5);
            w.put(0, 9);
        } else {
            for (const int t : g.tables) {
                w.put(static_cast<uint32_t>(t), 5);
            }
            w.put(static_cast<uint32_t>(g.region0), 4);
            w.put(static_cast<uint32_t>(g.region1), 3);
        }
        w.put(0, 2); // preflag, scalefac_scale
        w.put(static_cast<uint32_t>(g.count1B), 1);
    }
    Bytes frame = w.bytes;
    Bytes main = mainData.bytes;
    main.resize(396, 0);
    frame.insert(frame.end(), main.begin(), main.end());
    return frame;
}

// A granule of one non-zero pair (table 1, value (1, 0) at line 0) and its main-data bits.
Granule onePairGranule(BitWriter& w, int globalGain) {
    const size_t before = w.bits;
    putPair(w, 1, 1, 0);
    Granule g;
    g.part23 = static_cast<int>(w.bits - before);
    g.bigValues = 1;
    g.globalGain = globalGain;
    g.tables[0] = 1;
    return g;
}

// 100 zero quadruples of count1 table B (code 1111 each): a silent granule of 400 bits.
Granule silentGranule400(BitWriter& w) {
    w.put(0xFFFFFFFF, 32);
    for (int i = 0; i < 46; ++i) {
        w.put(0xFF, 8);
    }
    Granule g;
    g.part23 = 400;
    g.count1B = 1;
    return g;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// Frame start offsets and block types of a stream whose frames follow one another.
struct StreamLayout {
    std::vector<size_t> frameStarts;
    int shortBlocks = 0;
    int granules = 0;
};

StreamLayout scanStream(const Bytes& s) {
    static const int kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int rates[4] = {44100, 48000, 32000, 0};
    StreamLayout layout;
    size_t at = 0;
    while (at + 4 <= s.size() && s[at] == 0xFF && (s[at + 1] & 0xF0) == 0xF0) {
        layout.frameStarts.push_back(at);
        BitReader r{s, at * 8 + 16};
        const int bitrate = kbps[r.get(4)];
        const int rate = rates[r.get(2)];
        const int padding = static_cast<int>(r.get(1));
        r.get(1);
        const int channels = r.get(2) == 3 ? 1 : 2;
        r.get(6);
        r.get(9 + (channels == 1 ? 5 : 3) + 4 * channels);
        for (int i = 0; i < 2 * channels; ++i) {
            r.get(12 + 9 + 8 + 4);
            ++layout.granules;
            if (r.get(1)) {
                layout.shortBlocks += r.get(2) == 2;
                r.get(1 + 10 + 9 + 3);
            } else {
                r.get(15 + 7 + 3);
            }
        }
        at += static_cast<size_t>(144000 * bitrate / rate + padding);
    }
    return layout;
}

// ---------------------------------------------------------------------------------------------
// Test signals, libmp3lame and libmpg123.

// Harmonic tones, some noise and, when `transients` is set, sharp bursts that make the
// encoder switch to short blocks.
std::vector<short> makeSignal(int rate, int channels, double seconds, bool transients) {
    const int frames = static_cast<int>(rate * seconds);
    std::vector<short> pcm(static_cast<size_t>(frames * channels));
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            for (int h = 1; h <= 6; ++h) {
                v += std::sin(2 * M_PI * (200.0 + 90 * c) * h * t + c) / h;
            }
            v = 0.2 * v + 0.02 * noise(random);
            const double beat = std::fmod(t, 0.37);
            if (transients && beat < 0.02) {
                v += 0.7 * std::exp(-beat * 200) * noise(random);
            }
            pcm[static_cast<size_t>(i * channels + c)] = static_cast<short>(v * 32767 * 0.8);
        }
    }
    return pcm;
}

Bytes encodeLame(std::vector<short> pcm, int rate, int channels, int kbps, MPEG_mode mode) {
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, rate);
    lame_set_out_samplerate(lame, rate);
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, mode);
    lame_set_brate(lame, kbps);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 0);
    EXPECT_EQ(lame_init_params(lame), 0);
    const int frames = static_cast<int>(pcm.size()) / channels;
    Bytes mp3(static_cast<size_t>(frames) * 2 + 16384);
    int bytes = channels == 2 ? lame_encode_buffer_interleaved(lame, pcm.data(), frames, mp3.data(),
                                                               static_cast<int>(mp3.size()))
                              : lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, mp3.data(),
                                                   static_cast<int>(mp3.size()));
    bytes += lame_encode_flush(lame, mp3.data() + bytes, static_cast<int>(mp3.size()) - bytes);
    lame_close(lame);
    mp3.resize(static_cast<size_t>(std::max(bytes, 0)));
    return mp3;
}

std::vector<float> decodeMpg123(const Bytes& mp3) {
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    // Plain flags: no gapless trimming, so both decoders output every frame.
    mpg123_param(mh, MPG123_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);
    mpg123_open_feed(mh);
    mpg123_feed(mh, mp3.data(), mp3.size());
    std::vector<float> out;
    for (;;) {
        off_t frame;
        unsigned char* audio;
        size_t bytes;
        const int err = mpg123_decode_frame(mh, &frame, &audio, &bytes);
        if (err == MPG123_NEW_FORMAT) {
            continue;
        }
        if (err != MPG123_OK) {
            break;
        }
        const float* f = reinterpret_cast<const float*>(audio);
        out.insert(out.end(), f, f + bytes / sizeof(float));
    }
    mpg123_delete(mh);
    return out;
}

class Layer3 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initDecoderTables(); }
};

// A short LAME stream shared by the edge-case tests: 1.5 s mono with transients.
const Bytes& sampleStream() {
    static const Bytes stream = encodeLame(makeSignal(44100, 1, 1.5, true), 44100, 1, 96, MONO);
    return stream;
}

// ---------------------------------------------------------------------------------------------
// Conformance.

class Layer3Conformance : public Layer3, public ::testing::WithParamInterface<const char*> {};

TEST_P(Layer3Conformance, MatchesReferenceOutput) {
    TIR_NEED_SHARED_DATA();
    const std::string name = GetParam();
    const Decoded out = decode(readShared(name + ".bit"));
    const std::vector<int16_t> ref = readPcm16(name + ".pcm");
    ASSERT_GT(out.frames, 0);
    const size_t frame = 1152 * static_cast<size_t>(out.channels);
    const Match m = compare16(out.samples, 0, out.samples.size(), ref, frame);
    std::printf("%-14s PSNR %.2f dB, max error %d LSB, frame offset %ld, %zu samples\n",
                name.c_str(), m.psnr, m.maxError, m.offsetFrames, m.compared);
    RecordProperty("psnr", std::to_string(m.psnr));
    EXPECT_GE(m.psnr, 96.0);
    EXPECT_GT(m.compared, ref.size() * 9 / 10);
    if (name == "l3-compl") {
        // Full accuracy: no sample more than 2^-14 of full scale (2 LSB) off.
        EXPECT_LE(m.maxError, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, Layer3Conformance,
                         ::testing::Values("l3-compl", "l3-he_32khz", "l3-he_44khz", "l3-he_48khz",
                                           "l3-he_mode", "l3-hecommon", "l3-si", "l3-si_block",
                                           "l3-si_huff", "l3-sin1k0db"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST_F(Layer3, RejectsMpeg2StreamWithExitStatus1) {
    TIR_NEED_SHARED_DATA();
    testing::internal::CaptureStderr();
    const int code = decodeTrapped(readShared("l3-test46.bit"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("Error: MPEG2.0 unsupported\n"), std::string::npos) << err;
}

TEST_F(Layer3, NonstandardStreamsDecodeOrStopCleanly) {
    TIR_NEED_SHARED_DATA();
    // Damaged side information in one frame each: decoding goes on, and once the damage is
    // past the output is back in step with the reference (which drops the damaged frames).
    for (const char* name :
         {"compl-sideinfo-bigvalues", "compl-sideinfo-blocktype", "compl-sideinfo-size"}) {
        SCOPED_TRACE(name);
        const std::string base = std::string("l3-nonstandard-") + name;
        Decoded out;
        ASSERT_EQ(decodeTrapped(readShared(base + ".bit"), &out), -1000);
        EXPECT_EQ(out.frames, 217);
        const std::vector<int16_t> ref = readPcm16(base + ".pcm");
        // The 20 frames before the last one (the reference lacks the last frame); the damage
        // lies in frame 26, 81 or 190.
        const size_t span = 20 * 1152;
        const Match m = compare16(out.samples, out.samples.size() - 1152 - span, span, ref, 1152);
        std::printf("%-40s frames 196-215: PSNR %.2f dB at frame offset %ld\n", base.c_str(),
                    m.psnr, m.offsetFrames);
        EXPECT_GE(m.psnr, 96.0);
    }
    // No frame at all.
    Decoded small;
    EXPECT_EQ(decodeTrapped(readShared("l3-nonstandard-small.bit"), &small), -1000);
    EXPECT_EQ(small.frames, 0);
    EXPECT_EQ(small.lastResult, -1);
    // An MPEG-2 stream and a Layer I header among garbage end with the fatal message.
    const std::pair<const char*, const char*> fatalOnes[] = {
        {"l3-nonstandard-big-iscf.bit", "Error: MPEG2.0 unsupported\n"},
        {"l3-nonstandard-sideinfo-size.bit", "Error: layer2 unsupported\n"}};
    for (const auto& [file, message] : fatalOnes) {
        testing::internal::CaptureStderr();
        const int code = decodeTrapped(readShared(file));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1) << file;
        EXPECT_NE(err.find(message), std::string::npos) << file << ": " << err;
    }
}

// ---------------------------------------------------------------------------------------------
// Against libmpg123.

struct ReferenceCase {
    const char* name;
    int rate;
    int channels;
    int kbps;
    MPEG_mode mode;
    bool transients;
};

class Layer3VersusMpg123 : public Layer3, public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(Layer3VersusMpg123, AgreesWithinLimitedAccuracy) {
    const ReferenceCase& c = GetParam();
    const Bytes mp3 = encodeLame(makeSignal(c.rate, c.channels, 3.0, c.transients), c.rate,
                                 c.channels, c.kbps, c.mode);
    const StreamLayout layout = scanStream(mp3);
    if (c.transients) {
        ASSERT_GT(layout.shortBlocks, 0) << "the signal should force short blocks";
    }
    const Decoded ours = decode(mp3);
    const std::vector<float> ref = decodeMpg123(mp3);
    EXPECT_EQ(ours.frames, static_cast<int>(layout.frameStarts.size()));
    EXPECT_EQ(ours.rate, c.rate);
    EXPECT_EQ(ours.channels, c.channels);
    const size_t n = std::min(ours.samples.size(), ref.size());
    ASSERT_GT(n, ours.samples.size() * 9 / 10);
    double squares = 0, signal = 0;
    for (size_t i = 0; i < n; ++i) {
        const double e = static_cast<double>(ours.samples[i]) - ref[i];
        squares += e * e;
        signal += static_cast<double>(ref[i]) * ref[i];
    }
    const double rms = std::sqrt(squares / static_cast<double>(n));
    std::printf("%-22s RMS error %.3g of full scale (signal RMS %.3g, %d short of %d granules)\n",
                c.name, rms, std::sqrt(signal / static_cast<double>(n)), layout.shortBlocks,
                layout.granules);
    RecordProperty("rms", std::to_string(rms));
    EXPECT_LT(rms, 1.41e-4); // limited accuracy: 2^-11 / sqrt(12)
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Layer3VersusMpg123,
    ::testing::Values(ReferenceCase{"joint_128k_44k", 44100, 2, 128, JOINT_STEREO, false},
                      ReferenceCase{"stereo_320k_44k", 44100, 2, 320, STEREO, false},
                      ReferenceCase{"joint_32k_48k", 48000, 2, 32, JOINT_STEREO, false},
                      ReferenceCase{"mono_32k_32k", 32000, 1, 32, MONO, false},
                      ReferenceCase{"mono_transients_64k", 44100, 1, 64, MONO, true},
                      ReferenceCase{"joint_transients_192k", 44100, 2, 192, JOINT_STEREO, true},
                      ReferenceCase{"stereo_transients_320k", 48000, 2, 320, STEREO, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Stream edges.

TEST_F(Layer3, EveryFrameGivesOneResultThenTheEnd) {
    const Bytes& s = sampleStream();
    const size_t k = scanStream(s).frameStarts.size();
    ASSERT_GT(k, 10u);
    Decoder* d = openDecoderMemory(s.data(), s.size());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(decoderChannels(d), 1);
    EXPECT_EQ(decoderSamplingRate(d), 44100);
    for (size_t i = 0; i < k; ++i) {
        ASSERT_EQ(decodeFrame(d), 1152) << "frame " << i;
    }
    EXPECT_EQ(decodeFrame(d), -1);
    EXPECT_EQ(decodeFrame(d), -1);
    closeDecoder(d);
}

TEST_F(Layer3, GarbageBeforeTheFirstFrameIsSkipped) {
    const Bytes& s = sampleStream();
    std::mt19937 random(99);
    Bytes garbage(1500);
    for (unsigned char& b : garbage) {
        b = static_cast<unsigned char>(random() % 255); // never 0xFF
    }
    // Sync patterns whose headers cannot be real: reserved layer, free-format and forbidden
    // bitrates, reserved sampling frequency.
    const Bytes decoys[] = {{0xFF, 0xF9, 0x90, 0xC0},
                            {0xFF, 0xFB, 0x00, 0xC0},
                            {0xFF, 0xFB, 0xF0, 0xC0},
                            {0xFF, 0xFB, 0x9C, 0xC0}};
    for (size_t i = 0; i < 4; ++i) {
        std::copy(decoys[i].begin(), decoys[i].end(), garbage.begin() + 100 + 300 * i);
    }
    const Decoded plain = decode(s);
    const Decoded prefixed = decode(concat({garbage, s}));
    EXPECT_EQ(prefixed.frames, plain.frames);
    EXPECT_EQ(prefixed.channels, 1);
    EXPECT_EQ(prefixed.samples, plain.samples);
}

TEST_F(Layer3, TruncatedStreamsEndCleanly) {
    const Bytes& s = sampleStream();
    const std::vector<size_t> starts = scanStream(s).frameStarts;
    ASSERT_GT(starts.size(), 8u);
    // Cut everywhere within the first frames and at random further on: a frame counts once
    // its 4 header bytes are there, and the missing data reads as zeros.
    std::vector<size_t> cuts;
    for (size_t cut = 0; cut < starts[3] + 8; ++cut) {
        cuts.push_back(cut);
    }
    std::mt19937 random(5);
    for (int i = 0; i < 40; ++i) {
        cuts.push_back(random() % s.size());
    }
    for (const size_t cut : cuts) {
        const Bytes part(s.begin(), s.begin() + static_cast<long>(cut));
        const Decoded out = decode(part);
        const long expected =
            std::count_if(starts.begin(), starts.end(), [&](size_t at) { return at + 4 <= cut; });
        ASSERT_EQ(out.frames, expected) << "cut at " << cut;
        ASSERT_EQ(out.lastResult, -1);
    }
}

TEST_F(Layer3, DamagedStreamsDecodeWithoutCrashing) {
    const Bytes& s = sampleStream();
    const StreamLayout layout = scanStream(s);
    std::vector<bool> isHeader(s.size(), false);
    for (const size_t at : layout.frameStarts) {
        std::fill(isHeader.begin() + static_cast<long>(at),
                  isHeader.begin() + static_cast<long>(at) + 4, true);
    }
    std::mt19937 random(1234);
    // Bit flips in side information and main data only: every frame is still found and
    // decoded, whatever the damage.
    for (int variant = 0; variant < 150; ++variant) {
        Bytes damaged = s;
        const int flips = 1 + static_cast<int>(random() % 40);
        for (int f = 0; f < flips; ++f) {
            size_t at;
            do {
                at = random() % damaged.size();
            } while (isHeader[at]);
            damaged[at] ^= static_cast<unsigned char>(1u << (random() % 8));
        }
        Decoded out;
        ASSERT_EQ(decodeTrapped(damaged, &out), -1000) << "variant " << variant;
        ASSERT_EQ(out.frames, static_cast<int>(layout.frameStarts.size()));
        for (const float v : out.samples) {
            ASSERT_TRUE(std::isfinite(v));
        }
    }
    // Anywhere, with a random cut: a damaged header may announce another MPEG version or
    // layer, which ends the process with status 1; nothing else may happen.
    for (int variant = 0; variant < 150; ++variant) {
        Bytes damaged(s.begin(), s.begin() + static_cast<long>(random() % s.size()));
        const int flips = damaged.empty() ? 0 : 1 + static_cast<int>(random() % 60);
        for (int f = 0; f < flips; ++f) {
            damaged[random() % damaged.size()] ^= static_cast<unsigned char>(1u << (random() % 8));
        }
        testing::internal::CaptureStderr();
        const int code = decodeTrapped(damaged);
        testing::internal::GetCapturedStderr();
        ASSERT_TRUE(code == -1000 || code == 1) << "variant " << variant << " exit " << code;
    }
}

TEST_F(Layer3, FileAndMemoryGiveTheSameOutput) {
    const Bytes& s = sampleStream();
    testing_support::ScratchDir dir("layer3");
    testing_support::writeFile(dir.file("sample.mp3"), s);
    testing_support::WorkingDir cwd(dir.path);
    EXPECT_EQ(openDecoder("missing.mp3"), nullptr);
    resetSynthesisState();
    Decoder* d = openDecoder("sample.mp3");
    ASSERT_NE(d, nullptr);
    const Decoded fromFile = run(d);
    closeDecoder(d);
    EXPECT_EQ(fromFile.samples, decode(s).samples);
}

TEST_F(Layer3, SynthesisStateCarriesOverUntilReset) {
    const Bytes& s = sampleStream();
    const Decoded fresh = decode(s);
    // Leave a stream in the middle, where the overlap buffers and rings hold signal: the next
    // stream's first frame starts from that state, so it differs from a fresh start.
    Decoder* d = openDecoderMemory(s.data(), s.size());
    run(d, 10);
    closeDecoder(d);
    d = openDecoderMemory(s.data(), s.size());
    const Decoded carried = run(d, 1);
    closeDecoder(d);
    EXPECT_NE(carried.samples,
              std::vector<float>(fresh.samples.begin(), fresh.samples.begin() + 1152));
    initDecoderTables();                         // rebuilding the tables changes nothing
    EXPECT_EQ(decode(s).samples, fresh.samples); // decode() clears the state first
}

// ---------------------------------------------------------------------------------------------
// Hand-made frames: damaged side information, gain and value limits, fatal headers.

// The frame under test followed by a frame of one pair, both from their own main data.
Decoded decodeWithFollower(const Bytes& frame) {
    BitWriter w;
    const Granule first = onePairGranule(w, 160);
    const Granule second = onePairGranule(w, 165);
    return decode(concat({frame, makeFrame(0, {first, second}, w)}));
}

TEST_F(Layer3, DamagedSideInformationDecodesAsSilence) {
    // Granule 0 is damaged; it must come out exactly like a silent granule of the same size,
    // and granule 1 and the following frame must decode as usual.
    BitWriter w;
    const Granule silent = silentGranule400(w);
    const Granule second = onePairGranule(w, 170);
    const Decoded expected = decodeWithFollower(makeFrame(0, {silent, second}, w));
    ASSERT_EQ(expected.frames, 2);

    const std::pair<const char*, std::function<void(Granule&)>> damage[] = {
        {"big_values 289", [](Granule& g) { g.bigValues = 289; }},
        {"big_values 511", [](Granule& g) { g.bigValues = 511; }},
        {"table 4", [](Granule& g) { g.bigValues = 10, g.tables[0] = 4; }},
        {"table 14", [](Granule& g) { g.bigValues = 200, g.tables[2] = 14; }},
        {"block type 0 with window switching", [](Granule& g) { g.windowSwitching = true; }},
    };
    for (const auto& [what, apply] : damage) {
        SCOPED_TRACE(what);
        Granule broken = silent;
        apply(broken);
        const Decoded out = decodeWithFollower(makeFrame(0, {broken, second}, w));
        EXPECT_EQ(out.frames, 2);
        EXPECT_EQ(out.samples, expected.samples);
    }

    // Region counts naming bands past the last one are clamped, not followed.
    Granule regions = silent;
    regions.bigValues = 2; // four zero lines of table 0, which spends no bits
    regions.region0 = 15;
    regions.region1 = 7;
    EXPECT_EQ(decodeWithFollower(makeFrame(0, {regions, second}, w)).samples, expected.samples);

    // part2_3_length past the end of the main data: both granules lie beyond it.
    BitWriter none;
    const Granule empty;
    const Decoded allSilent = decodeWithFollower(makeFrame(0, {empty, empty}, none));
    Granule tooLong = silent;
    tooLong.part23 = 4095;
    const Decoded out = decodeWithFollower(makeFrame(0, {tooLong, second}, w));
    EXPECT_EQ(out.frames, 2);
    EXPECT_EQ(out.samples, allSilent.samples);

    // A frame reaching back past the start of the stream is silent too.
    const Decoded reachingBack = decodeWithFollower(makeFrame(300, {silent, second}, w));
    EXPECT_EQ(reachingBack.samples, allSilent.samples);
}

// The output of a frame whose granule 0 holds one pair (x, 0) of `table`, granule 1 silent.
std::vector<float> decodeOnePair(int table, int x, int globalGain) {
    BitWriter w;
    putPair(w, table, x, 0);
    Granule g;
    g.part23 = static_cast<int>(w.bits);
    g.bigValues = 1;
    g.globalGain = globalGain;
    g.tables[0] = table;
    const Decoded out = decode(makeFrame(0, {g, Granule{}}, w));
    EXPECT_EQ(out.frames, 1);
    return out.samples;
}

// Every sample of `a` is `ratio` times the same sample of `b` (the filter banks are linear).
void expectScaled(const std::vector<float>& a, const std::vector<float>& b, double ratio) {
    ASSERT_EQ(a.size(), b.size());
    double peak = 0;
    for (const float v : b) {
        peak = std::max(peak, static_cast<double>(std::fabs(v)));
    }
    ASSERT_GT(peak, 0.0);
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::fabs(b[i]) > peak * 1e-2) {
            ASSERT_NEAR(a[i] / b[i], ratio, std::fabs(ratio) * 2e-5) << "sample " << i;
        }
    }
}

TEST_F(Layer3, GainsFollowTheQuarterPowerSteps) {
    // global_gain 255 with no scale factors reaches the top of the gain table (2^(45/4)).
    expectScaled(decodeOnePair(1, 1, 255), decodeOnePair(1, 1, 254), std::pow(2.0, 0.25));
    // Far below the table's range the factor is computed, not dropped to zero.
    expectScaled(decodeOnePair(1, 1, 11), decodeOnePair(1, 1, 10), std::pow(2.0, 0.25));
}

TEST_F(Layer3, LinbitsValuesBeyond8191AreNotClamped) {
    // Table 23 carries 13 linbits: 15 + 8191 = 8206 is the largest value a stream can hold.
    const std::vector<float> top = decodeOnePair(23, 8206, 120);
    const std::vector<float> lower = decodeOnePair(23, 8191, 120);
    expectScaled(top, lower, std::pow(8206.0 / 8191.0, 4.0 / 3.0));
    expectScaled(decodeOnePair(31, -8206, 120), top, -1.0);
}

TEST_F(Layer3, OtherLayersEndWithExitStatus1) {
    BitWriter w;
    const Granule g = onePairGranule(w, 150);
    testing::internal::CaptureStderr();
    const int code = decodeTrapped(makeFrame(0, {g, g}, w, 2)); // Layer II
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("Error: layer2 unsupported\n"), std::string::npos) << err;
}

// ---------------------------------------------------------------------------------------------
// Tables.

TEST_F(Layer3, EveryHuffmanCodeDecodesToItsSymbol) {
    std::mt19937 random(3);
    EXPECT_LE(layer3::huffmanPoolUsed(), static_cast<uint32_t>(layer3::huffmanPoolSize));
    for (int t = 0; t < 34; ++t) {
        SCOPED_TRACE(t);
        const layer3::HuffmanCodeSource& source = layer3::huffmanSources[t];
        const layer3::HuffmanTable& table = layer3::huffmanTables[t];
        EXPECT_EQ(table.present, !source.invalid);
        for (int i = 0; i < source.dim * source.dim; ++i) {
            const int length = source.lengths[i];
            const int symbol = t >= 32 ? i : (i / source.dim) * 16 + i % source.dim;
            // The code followed by arbitrary bits.
            const uint32_t tail = length < 32 ? static_cast<uint32_t>(random()) >> length : 0;
            const uint32_t window =
                (static_cast<uint32_t>(source.codes[i]) << (32 - length)) | tail;
            for (const uint32_t entry : {layer3::lookupHuffman(table, window),
                                         layer3::searchHuffmanEntries(table, window)}) {
                EXPECT_EQ(static_cast<int>((entry >> 8) & 31), length) << "code " << i;
                EXPECT_EQ(static_cast<int>(entry & 0xFF), symbol) << "code " << i;
            }
        }
    }
}

} // namespace
