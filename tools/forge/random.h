// random.h - the generator's only source of randomness: a PCG32 stream from a fixed seed, so
// every run produces the same data. Each asset family takes its own stream (its own seed), so
// changing one family does not reshuffle the others.
#pragma once

#include <cstdint>

namespace forge {

class Random {
public:
    explicit Random(uint64_t seed, uint64_t stream = 0x5eed) {
        increment = (stream << 1u) | 1u;
        state = 0;
        next();
        state += seed;
        next();
    }

    uint32_t next() {
        const uint64_t old = state;
        state = old * 6364136223846793005ULL + increment;
        const uint32_t xorShifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        const uint32_t rot = static_cast<uint32_t>(old >> 59u);
        return (xorShifted >> rot) | (xorShifted << ((32u - rot) & 31u));
    }
    // Uniform in [0, 1).
    float uniform() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
    float uniform(float lo, float hi) { return lo + (hi - lo) * uniform(); }
    // Uniform integer in [0, n).
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint32_t>(n)); }
    bool chance(float p) { return uniform() < p; }

private:
    uint64_t state;
    uint64_t increment;
};

} // namespace forge
