// music_test_support.h - a small XM module whose every order the tests know, and libopenmpt's
// own render of a module with the order position of every block.
#pragma once

#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/common/xm_writer.h"

namespace testing_support {

// Sets an environment variable for the life of the object (SDL reads SDL_AUDIODRIVER and
// SDL_DISKAUDIOFILE when its audio subsystem starts).
struct EnvVar {
    std::string name, saved;
    bool had;
    EnvVar(const char* n, const std::string& value) : name(n) {
        const char* old = std::getenv(n);
        had = old != nullptr;
        saved = old ? old : "";
        setenv(n, value.c_str(), 1);
    }
    ~EnvVar() {
        if (had) {
            setenv(name.c_str(), saved.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
};

// Index of the first stereo frame that is not silent, or -1.
inline int64_t firstSoundingFrame(const std::vector<float>& stereo) {
    for (size_t i = 0; i < stereo.size(); ++i) {
        if (stereo[i] != 0) {
            return static_cast<int64_t>(i / 2);
        }
    }
    return -1;
}

// `orders` orders of one 6-row pattern each (tempo 3, 150 BPM: 50 ms a row, 300 ms an order).
// Every pattern starts a looped 16-bit tone at its own pitch on channel 0, and a 16-bit noise
// burst (an unlooped drum) on channel 1 at row 3. Sample 1 is the tone, sample 2 the drum.
inline XmSong makeOrderSong(int orders) {
    XmSong song;
    song.name = "order test";
    song.channels = 2;
    song.tempo = 3;
    song.bpm = 150;
    XmSampleSpec tone;
    tone.name = "tone";
    for (int i = 0; i < 4410; ++i) {
        tone.values.push_back(static_cast<int16_t>(20000 * std::sin(2 * M_PI * i / 44.1) +
                                                   5000 * std::sin(2 * M_PI * i / 14.7)));
    }
    tone.loopType = 1;
    tone.loopStart = 0;
    tone.loopLength = 4410;
    XmSampleSpec drum;
    drum.name = "drum";
    uint32_t seed = 12345;
    for (int i = 0; i < 6000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<int32_t>(seed) / 2147483648.0;
        drum.values.push_back(static_cast<int16_t>(24000 * std::exp(-i / 1500.0) *
                                                   (0.6 * noise + 0.4 * std::sin(i * 0.05))));
    }
    song.instruments = {{"tone", {tone}}, {"drum", {drum}}};
    for (int k = 0; k < orders; ++k) {
        XmPattern p;
        p.rows = 6;
        p.cells.resize(12);
        p.cells[0] = {static_cast<uint8_t>(49 + 3 * k), 1, 0, 0, 0};
        p.cells[3 * 2 + 1] = {49, 2, 0, 0, 0};
        song.patterns.push_back(p);
        song.orders.push_back(static_cast<uint8_t>(k));
    }
    return song;
}

struct Render {
    std::vector<float> stereo;    // interleaved
    std::vector<int64_t> orderAt; // first frame of each order change, in order
    std::vector<int> orders;      // the order that starts there
};

// libopenmpt's float render of `image` at 44,100 Hz in 64-frame blocks, as the sound library
// renders it.
inline Render renderModule(const std::vector<unsigned char>& image, int64_t frames) {
    Render r;
    openmpt_module* m = openmpt_module_create_from_memory2(
        image.data(), image.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m) {
        return r;
    }
    openmpt_module_set_repeat_count(m, -1);
    r.stereo.resize(static_cast<size_t>(frames) * 2);
    int last = -1;
    for (int64_t at = 0; at < frames; at += 64) {
        const auto n = static_cast<size_t>(std::min<int64_t>(64, frames - at));
        openmpt_module_read_interleaved_float_stereo(m, 44100, n,
                                                     &r.stereo[static_cast<size_t>(at) * 2]);
        const int order = openmpt_module_get_current_order(m);
        if (order != last) {
            r.orderAt.push_back(at);
            r.orders.push_back(order);
            last = order;
        }
    }
    openmpt_module_destroy(m);
    return r;
}

} // namespace testing_support
