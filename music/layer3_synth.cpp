// layer3_synth.cpp - the Layer III hybrid filter bank (IMDCT with overlap-add and frequency
// inversion) and the polyphase synthesis filter bank, with their process-wide state: one
// overlap buffer, one ring of 16 matrixed vectors and one ring position per channel.
#include "music/layer3_internal.h"

#include <cmath>
#include <cstring>

namespace layer3 {

namespace {

// Four floats processed together; the compiler maps this onto the machine's vector unit.
typedef float Vec4 __attribute__((vector_size(16)));

inline Vec4 load4(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, Vec4 v) {
    std::memcpy(p, &v, sizeof v);
}

// ---------------------------------------------------------------------------------------------
// Process-wide synthesis state.

float overlap[2][subbands][18];
// ring[ch][slot] holds the 64-entry vector V of one time slot; ringPos is the newest slot.
alignas(16) float ring[2][16][64];
int ringPos[2];

// ---------------------------------------------------------------------------------------------
// Transform constants.

// The 36-point IMDCT is an 18-point DCT-IV z[n] = sum X[k] cos(pi/18 (n + 1/2)(k + 1/2))
// unfolded by its symmetries; dct18[k] is row k of that matrix, padded to 20 columns.
alignas(16) float dct18[18][20];
// The same for the 12-point IMDCT of a short window from 6 lines.
float dct6[6][6];
// Lee's DCT-II recursion divides the difference half by 2 cos((2n + 1) pi / 2N).
float leeFactors32[16];
float leeFactors16[8];
float leeFactors8[4];
float leeFactors4[2];
float leeFactor2;

// ---------------------------------------------------------------------------------------------
// IMDCT.

// Long block: 18 lines -> 36 windowed samples; the first half plus the stored overlap is the
// output, the second half becomes the new overlap.
void imdctLong(const float* lines, const float* window, float* overlapRow, float* out) {
    Vec4 z[5] = {};
    for (int k = 0; k < 18; ++k) {
        const float x = lines[k];
        if (x == 0.0f) {
            continue;
        }
        const Vec4 xs = {x, x, x, x};
        for (int q = 0; q < 5; ++q) {
            z[q] += load4(&dct18[k][4 * q]) * xs;
        }
    }
    float zz[20];
    for (int q = 0; q < 5; ++q) {
        store4(&zz[4 * q], z[q]);
    }
    // y[i] = z[i + 9] for i < 9, -z[26 - i] for 9 <= i < 27, -z[i - 27] above.
    for (int i = 0; i < 9; ++i) {
        out[i] = zz[i + 9] * window[i] + overlapRow[i];
        out[i + 9] = -zz[17 - i] * window[i + 9] + overlapRow[i + 9];
    }
    for (int i = 0; i < 9; ++i) {
        overlapRow[i] = -zz[8 - i] * window[i + 18];
        overlapRow[i + 9] = -zz[i] * window[i + 27];
    }
}

// Short block: three 12-point transforms of the interleaved lines (window w uses lines
// w, w + 3, ..., w + 15), windowed and overlapped at offsets 6, 12 and 18 of the 36 samples.
void imdctShort(const float* lines, float* overlapRow, float* out) {
    float buffer[36] = {};
    const float* window = imdctWindows[2];
    for (int w = 0; w < 3; ++w) {
        float z[6] = {};
        for (int k = 0; k < 6; ++k) {
            const float x = lines[w + 3 * k];
            for (int n = 0; n < 6; ++n) {
                z[n] += dct6[k][n] * x;
            }
        }
        // y[i] = z[i + 3] for i < 3, -z[8 - i] for 3 <= i < 9, -z[i - 9] above.
        float* dst = buffer + 6 + 6 * w;
        for (int i = 0; i < 3; ++i) {
            dst[i] += z[i + 3] * window[i];
            dst[i + 9] += -z[i] * window[i + 9];
        }
        for (int i = 3; i < 9; ++i) {
            dst[i] += -z[8 - i] * window[i];
        }
    }
    for (int i = 0; i < 18; ++i) {
        out[i] = buffer[i] + overlapRow[i];
        overlapRow[i] = buffer[i + 18];
    }
}

// ---------------------------------------------------------------------------------------------
// DCT-II X[k] = sum x[n] cos(pi (2n + 1) k / 2N) by Lee's recursion: the even outputs are the
// half-size DCT of x[n] + x[N-1-n]; the odd outputs are sums of neighbouring outputs of the
// half-size DCT of (x[n] - x[N-1-n]) / (2 cos((2n + 1) pi / 2N)).

template <int N> const float* leeFactors();
template <> const float* leeFactors<32>() {
    return leeFactors32;
}
template <> const float* leeFactors<16>() {
    return leeFactors16;
}
template <> const float* leeFactors<8>() {
    return leeFactors8;
}
template <> const float* leeFactors<4>() {
    return leeFactors4;
}

template <int N> inline void dct(const float* in, float* out) {
    constexpr int H = N / 2;
    const float* factors = leeFactors<N>();
    float sum[H], diff[H], even[H], odd[H];
    for (int n = 0; n < H; ++n) {
        sum[n] = in[n] + in[N - 1 - n];
        diff[n] = (in[n] - in[N - 1 - n]) * factors[n];
    }
    dct<H>(sum, even);
    dct<H>(diff, odd);
    for (int k = 0; k < H - 1; ++k) {
        out[2 * k] = even[k];
        out[2 * k + 1] = odd[k] + odd[k + 1];
    }
    out[N - 2] = even[H - 1];
    out[N - 1] = odd[H - 1];
}

template <> inline void dct<2>(const float* in, float* out) {
    out[0] = in[0] + in[1];
    out[1] = (in[0] - in[1]) * leeFactor2;
}

// ---------------------------------------------------------------------------------------------
// Polyphase synthesis of one time slot.
//
// The standard shifts a 1024-entry vector V by 64 per slot and sets
// V[i] = sum S[k] cos((16 + i)(2k + 1) pi / 64), i < 64. With A the DCT-II of S this is
// V = [A[16..31], 0, -A[31..17], -A[16..0], -A[1..15]]. The ring keeps the last 16 vectors;
// the output is out[j] = sum over age a of V_a[32 (a & 1) + j] * D[32 a + j].
void synthesiseSlot(int ch, const float* samples, float* pcm) {
    float a[32];
    dct<32>(samples, a);
    int pos = (ringPos[ch] - 1) & 15;
    ringPos[ch] = pos;
    float* v = ring[ch][pos];
    for (int j = 0; j < 16; ++j) {
        v[j] = a[16 + j];
    }
    v[16] = 0.0f;
    for (int j = 17; j < 32; ++j) {
        v[j] = -a[48 - j];
    }
    for (int j = 0; j <= 16; ++j) {
        v[32 + j] = -a[16 - j];
    }
    for (int j = 17; j < 32; ++j) {
        v[32 + j] = -a[j - 16];
    }

    Vec4 acc[8] = {};
    for (int age = 0; age < 16; ++age) {
        const float* src = ring[ch][(pos + age) & 15] + 32 * (age & 1);
        const float* window = synthesisWindow + 32 * age;
        for (int q = 0; q < 8; ++q) {
            acc[q] += load4(src + 4 * q) * load4(window + 4 * q);
        }
    }
    for (int q = 0; q < 8; ++q) {
        store4(pcm + 4 * q, acc[q]);
    }
}

} // namespace

void buildSynthesisTables() {
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < 18; ++k) {
        for (int n = 0; n < 20; ++n) {
            dct18[k][n] =
                n < 18 ? static_cast<float>(std::cos(pi / 18 * (n + 0.5) * (k + 0.5))) : 0.0f;
        }
    }
    for (int k = 0; k < 6; ++k) {
        for (int n = 0; n < 6; ++n) {
            dct6[k][n] = static_cast<float>(std::cos(pi / 6 * (n + 0.5) * (k + 0.5)));
        }
    }
    auto fill = [&](float* factors, int n) {
        for (int i = 0; i < n / 2; ++i) {
            factors[i] = static_cast<float>(1.0 / (2.0 * std::cos((2 * i + 1) * pi / (2 * n))));
        }
    };
    fill(leeFactors32, 32);
    fill(leeFactors16, 16);
    fill(leeFactors8, 8);
    fill(leeFactors4, 4);
    leeFactor2 = static_cast<float>(1.0 / (2.0 * std::cos(pi / 4)));
}

void hybridSynthesis(int ch, float* lines, int blockKind, int blockType, bool mixedBlock,
                     int activeSubbands, float slots[slotsPerGranule][subbands]) {
    for (int sb = 0; sb < subbands; ++sb) {
        float out[18];
        float* overlapRow = overlap[ch][sb];
        if (sb >= activeSubbands) {
            // No lines: the output is what the previous granule left to overlap.
            std::memcpy(out, overlapRow, sizeof out);
            std::memset(overlapRow, 0, sizeof out);
        } else if (blockKind == 2 || (blockKind == 3 && sb >= 2)) {
            imdctShort(lines + 18 * sb, overlapRow, out);
        } else {
            // With the mixed-block flag set the two lowest subbands use the normal window,
            // whatever the block type.
            const int type = blockKind == 1 && !(mixedBlock && sb < 2) ? blockType : 0;
            imdctLong(lines + 18 * sb, imdctWindows[type], overlapRow, out);
        }
        // Frequency inversion: odd subbands come out of the filter bank mirrored in frequency;
        // negating their odd time samples undoes it.
        if (sb & 1) {
            for (int t = 1; t < 18; t += 2) {
                out[t] = -out[t];
            }
        }
        for (int t = 0; t < 18; ++t) {
            slots[t][sb] = out[t];
        }
    }
}

void polyphaseSynthesis(int ch, const float slots[slotsPerGranule][subbands], float* pcm) {
    for (int t = 0; t < slotsPerGranule; ++t) {
        synthesiseSlot(ch, slots[t], pcm + 32 * t);
    }
}

void clearSynthesisState() {
    std::memset(overlap, 0, sizeof overlap);
    std::memset(ring, 0, sizeof ring);
    ringPos[0] = ringPos[1] = 0;
}

} // namespace layer3
