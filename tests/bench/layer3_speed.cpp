// layer3_speed.cpp - decoding speed of the Layer III decoder next to libmpg123 (float output) on
// the same 30-second 44.1 kHz stereo stream, encoded here with libmp3lame at 160 kbit/s joint
// stereo. Prints both speeds as multiples of real time and their ratio; the decoder aims at no
// less than half of libmpg123's speed.
#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "music/layer3.h"

namespace {

constexpr int sampleRate = 44100;
constexpr int seconds = 30;

// A music-like test signal: two detuned harmonic voices with vibrato, a little noise, and a
// percussive burst every half second so that short blocks occur too.
std::vector<short> makeSignal() {
    const int frames = sampleRate * seconds;
    std::vector<short> pcm(static_cast<size_t>(frames) * 2);
    unsigned noise = 12345;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double vibrato = 1.0 + 0.004 * std::sin(2 * M_PI * 5.0 * t);
        double left = 0, right = 0;
        for (int h = 1; h <= 8; ++h) {
            left += std::sin(2 * M_PI * 220.0 * h * vibrato * t) / h;
            right += std::sin(2 * M_PI * 330.5 * h * t + h) / (h * h);
        }
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / (1u << 24) - 0.5) * 0.05;
        const double sinceBeat = std::fmod(t, 0.5);
        const double burst = sinceBeat < 0.03 ? std::exp(-sinceBeat * 150) * n * 12 : 0.0;
        pcm[2 * static_cast<size_t>(i)] = static_cast<short>(6000 * left + 20000 * (n + burst));
        pcm[2 * static_cast<size_t>(i) + 1] =
            static_cast<short>(7000 * right + 20000 * (n - burst));
    }
    return pcm;
}

std::vector<unsigned char> encode(std::vector<short>& pcm) {
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_out_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_brate(lame, 160);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 0);
    lame_init_params(lame);
    const int frames = static_cast<int>(pcm.size() / 2);
    std::vector<unsigned char> mp3(static_cast<size_t>(frames) + frames / 4 + 16384);
    int bytes = lame_encode_buffer_interleaved(lame, pcm.data(), frames, mp3.data(),
                                               static_cast<int>(mp3.size()));
    bytes += lame_encode_flush(lame, mp3.data() + bytes, static_cast<int>(mp3.size()) - bytes);
    lame_close(lame);
    mp3.resize(static_cast<size_t>(bytes));
    return mp3;
}

double checksum = 0; // keeps the output observable

void sink(int count, const float* left, const float* right) {
    checksum += left[count / 2] + (right ? right[count / 3] : 0.0f);
}

long decodeOwn(const std::vector<unsigned char>& mp3) {
    Decoder* d = openDecoderMemory(mp3.data(), mp3.size());
    long samples = 0;
    while (decodeFrame(d) > 0) {
        samples += 1152;
    }
    closeDecoder(d);
    return samples;
}

long decodeMpg123(const std::vector<unsigned char>& mp3) {
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);
    mpg123_open_feed(mh);
    mpg123_feed(mh, mp3.data(), mp3.size());
    long samples = 0;
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
        checksum += reinterpret_cast<const float*>(audio)[bytes / 8];
        samples += static_cast<long>(bytes / (2 * sizeof(float)));
    }
    mpg123_delete(mh);
    return samples;
}

// Seconds for one decode of the stream.
template <class F> double timeOnce(F decode, long& samples) {
    const auto start = std::chrono::steady_clock::now();
    samples = decode();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main() {
    std::vector<short> pcm = makeSignal();
    const std::vector<unsigned char> mp3 = encode(pcm);
    initDecoderTables();
    setOutputRoutine(sink);
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    // The two decoders take turns, so that load from elsewhere on the machine falls on both
    // alike; the best time of each counts.
    long ownSamples = 0, refSamples = 0;
    double ownBest = 1e30, refBest = 1e30;
    for (int run = 0; run < 15; ++run) {
        ownBest = std::min(ownBest, timeOnce([&] { return decodeOwn(mp3); }, ownSamples));
        refBest = std::min(refBest, timeOnce([&] { return decodeMpg123(mp3); }, refSamples));
    }
    const double own = (static_cast<double>(ownSamples) / sampleRate) / ownBest;
    const double ref = (static_cast<double>(refSamples) / sampleRate) / refBest;
    std::printf("stream: %d s, 44.1 kHz stereo, 160 kbit/s joint stereo, %zu bytes\n", seconds,
                mp3.size());
    std::printf("layer3 decoder : %8.1f x real time (%ld samples per channel)\n", own, ownSamples);
    std::printf("libmpg123 float: %8.1f x real time (%ld samples per channel)\n", ref, refSamples);
    std::printf("ratio          : %8.3f (goal >= 0.5)\n", own / ref);
    std::printf("(checksum %g)\n", checksum);
    return 0;
}
