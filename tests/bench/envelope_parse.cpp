// envelope_parse.cpp - envelope reading time against the number of keys. The reader must be
// linear: a million keys load in under a second, and the time per key stays the same from ten
// thousand keys to a million. Prints the time of each size, the time per key, and the ratio of
// the largest size's time per key to the smallest's (goal: below 2).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <type_traits>

#include "scene/track.h"

namespace {

// A scalar envelope of `keys` keys, every third one with tension, continuity and bias, as the
// data tool writes them; the vector form when `vector` is set.
std::string makeEnvelope(int keys, bool vector) {
    std::string text = vector ? "path\n" : "fade\n";
    char line[160];
    for (int i = 0; i < keys; ++i) {
        const double t = i * 0.04;
        if (vector) {
            std::snprintf(line, sizeof line,
                          i % 3 ? "key %.6g xyz %g %g %g\n"
                                : "key %.6g xyz %g %g %g 0.25 -0.5 0.125\n",
                          t, i * 0.5, -i * 0.25, 1.0 + i % 7);
        } else {
            std::snprintf(line, sizeof line,
                          i % 3 ? "key %.6g value %g\n" : "key %.6g value %g 0.25 -0.5 0.125\n", t,
                          (i % 100) * 0.01);
        }
        text += line;
    }
    return text + "end envelope\n";
}

// Best of `runs` timings of one parse, in seconds.
template <class Track> double bestParse(const std::string& text, int runs, int& keyCount) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        Track track;
        const auto start = std::chrono::steady_clock::now();
        if constexpr (std::is_same_v<Track, ScalarTrack>) {
            parseEnvelope(track, text.c_str());
        } else {
            parseVectorEnvelope(track, text.c_str());
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        keyCount = track.keyCount;
    }
    return best;
}

template <class Track> void measure(const char* kind, bool vector) {
    const int sizes[] = {10000, 100000, 1000000};
    double perKey[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string text = makeEnvelope(sizes[i], vector);
        int keys = 0;
        const double seconds = bestParse<Track>(text, sizes[i] >= 1000000 ? 3 : 7, keys);
        perKey[i] = seconds / sizes[i];
        std::printf("%-6s %8d keys (%9zu bytes): %8.3f s, %6.0f ns per key%s\n", kind, keys,
                    text.size(), seconds, perKey[i] * 1e9, keys == sizes[i] ? "" : "  WRONG COUNT");
    }
    std::printf("%-6s time per key at 1,000,000 keys / at 10,000 keys: %.2f (goal < 2)\n", kind,
                perKey[2] / perKey[0]);
}

} // namespace

int main() {
    measure<ScalarTrack>("scalar", false);
    measure<VectorTrack>("vector", true);
    return 0;
}
