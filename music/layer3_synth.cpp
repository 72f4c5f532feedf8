// layer3_synth.cpp - the Layer III hybrid filter bank (IMDCT with overlap-add and frequency
// inversion) and the polyphase synthesis filter bank, with their process-wide state: one
// overlap buffer, one ring of matrixed vectors and one ring position per channel.
//
// Both banks work on four lanes at once: the IMDCT on four neighbouring subbands, the
// polyphase matrixing on four successive time slots.
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

inline Vec4 splat(float x) {
    return Vec4{x, x, x, x};
}

// Rows a..d become columns.
inline void transpose4(Vec4& a, Vec4& b, Vec4& c, Vec4& d) {
    const Vec4 t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const Vec4 t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const Vec4 t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const Vec4 t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// ---------------------------------------------------------------------------------------------
// Process-wide synthesis state.

// overlap[ch][t][sb]: the second half of the last IMDCT output, time-major so that four
// subbands sit side by side.
alignas(16) float overlap[2][18][subbands];
// The polyphase ring keeps the DCT output of the last 32 time slots (16 are used; the spare
// ones let four slots be transformed before their outputs are windowed); ringPos is the newest.
constexpr int ringSlots = 32;
alignas(16) float ring[2][ringSlots][32];
int ringPos[2];

// ---------------------------------------------------------------------------------------------
// Transform constants.

// DCT-IV of N points through an N/2-point complex DFT:
//   u[m] = (x[2m] + i x[N-1-2m]) e^{-i pi m / N},  U = DFT(u),
//   C[p] = U[p] e^{-i pi (4p + 1) / 4N},  z[2p] = Re C[p],  z[N-1-2p] = -Im C[p].
float preCos18[9], preSin18[9], postCos18[9], postSin18[9];
float preCos6[3], preSin6[3], postCos6[3], postSin6[3];
float twiddle9Cos[3][3], twiddle9Sin[3][3]; // e^{-2 pi i n k / 9} for the 3 x 3 split
constexpr float sqrt3Half = 0.866025403784438647f;

// Windows as four-lane vectors: uniform per block type, and for the lowest group of a
// start or stop block with the mixed-block flag (normal window in subbands 0 and 1).
Vec4 longWindows[4][36];
Vec4 mixedLongWindows[4][36];
Vec4 shortWindow[12];

// Lee's DCT-II recursion divides the difference half by 2 cos((2n + 1) pi / 2N).
float leeFactors32[16];
float leeFactors16[8];
float leeFactors8[4];
float leeFactors4[2];
float leeFactor2;

// The synthesis window regrouped for windowing straight from the DCT output A of each slot
// (see windowSlot): per age a, forward and reversed weights for 16 entries of A.
alignas(16) float windowForward[16][16];
alignas(16) float windowReversed[16][16];
float windowMiddle[16];

// ---------------------------------------------------------------------------------------------
// IMDCT.

struct Complex4 {
    Vec4 re, im;
};

// a0 + a1 W + a2 W^2 for the three powers of W = e^{-2 pi i / 3}.
inline void dft3(Complex4& a0, Complex4& a1, Complex4& a2) {
    const Vec4 sr = a1.re + a2.re, si = a1.im + a2.im;
    const Vec4 dr = (a1.re - a2.re) * sqrt3Half, di = (a1.im - a2.im) * sqrt3Half;
    const Vec4 mr = a0.re - sr * 0.5f, mi = a0.im - si * 0.5f;
    a0.re += sr;
    a0.im += si;
    a1 = {mr + di, mi - dr};
    a2 = {mr - di, mi + dr};
}

// 18-point DCT-IV of x into z; the 9-point DFT is split 3 x 3 (n = 3 n1 + n2, k = k1 + 3 k2).
void dct4x18(const Vec4* x, Vec4* z) {
    Complex4 u[9];
    for (int m = 0; m < 9; ++m) {
        const Vec4 a = x[2 * m], b = x[17 - 2 * m];
        u[m] = {a * preCos18[m] + b * preSin18[m], b * preCos18[m] - a * preSin18[m]};
    }
    Complex4 y[3][3]; // y[n2][k1]
    for (int n2 = 0; n2 < 3; ++n2) {
        Complex4 a0 = u[n2], a1 = u[3 + n2], a2 = u[6 + n2];
        dft3(a0, a1, a2);
        y[n2][0] = a0;
        y[n2][1] = a1;
        y[n2][2] = a2;
        for (int k1 = 1; k1 < 3; ++k1) {
            if (n2 == 0) {
                continue;
            }
            const float c = twiddle9Cos[n2][k1], s = twiddle9Sin[n2][k1];
            const Complex4 v = y[n2][k1];
            y[n2][k1] = {v.re * c - v.im * s, v.im * c + v.re * s};
        }
    }
    for (int k1 = 0; k1 < 3; ++k1) {
        Complex4 a0 = y[0][k1], a1 = y[1][k1], a2 = y[2][k1];
        dft3(a0, a1, a2);
        const Complex4 out[3] = {a0, a1, a2};
        for (int k2 = 0; k2 < 3; ++k2) {
            const int p = k1 + 3 * k2;
            const Complex4 v = out[k2];
            z[2 * p] = v.re * postCos18[p] + v.im * postSin18[p];
            z[17 - 2 * p] = v.re * postSin18[p] - v.im * postCos18[p];
        }
    }
}

void dct4x6(const Vec4* x, Vec4* z) {
    Complex4 u[3];
    for (int m = 0; m < 3; ++m) {
        const Vec4 a = x[2 * m], b = x[5 - 2 * m];
        u[m] = {a * preCos6[m] + b * preSin6[m], b * preCos6[m] - a * preSin6[m]};
    }
    dft3(u[0], u[1], u[2]);
    for (int p = 0; p < 3; ++p) {
        z[2 * p] = u[p].re * postCos6[p] + u[p].im * postSin6[p];
        z[5 - 2 * p] = u[p].re * postSin6[p] - u[p].im * postCos6[p];
    }
}

// Lines 18 sb + first + step k of the four subbands from sb, one vector per k.
inline void gatherLines(const float* lines, int sb, int first, int step, int count, Vec4* x) {
    const float* p = lines + 18 * sb + first;
    for (int k = 0; k < count; ++k) {
        x[k] = Vec4{p[step * k], p[18 + step * k], p[36 + step * k], p[54 + step * k]};
    }
}

// Long blocks: the 36-point IMDCT is the 18-point DCT-IV z unfolded,
// y[i] = z[i + 9] (i < 9), -z[26 - i] (9 <= i < 27), -z[i - 27] (i >= 27); the windowed first
// half plus the overlap is the output, the windowed second half the next overlap.
void imdctLong(const float* lines, int sb, const Vec4* window, Vec4* out) {
    Vec4 x[18], z[18];
    gatherLines(lines, sb, 0, 1, 18, x);
    dct4x18(x, z);
    for (int i = 0; i < 9; ++i) {
        out[i] = z[i + 9] * window[i];
        out[i + 9] = -z[17 - i] * window[i + 9];
        out[i + 18] = -z[8 - i] * window[i + 18];
        out[i + 27] = -z[i] * window[i + 27];
    }
}

// Short blocks: three 12-point IMDCTs of the interleaved lines (window w uses lines
// w, w + 3, ..., w + 15), each the 6-point DCT-IV unfolded as above, windowed and laid at
// offsets 6, 12 and 18 of the 36 samples.
void imdctShort(const float* lines, int sb, Vec4* out) {
    for (int i = 0; i < 36; ++i) {
        out[i] = Vec4{};
    }
    for (int w = 0; w < 3; ++w) {
        Vec4 x[6], z[6];
        gatherLines(lines, sb, w, 3, 6, x);
        dct4x6(x, z);
        Vec4* dst = out + 6 + 6 * w;
        for (int i = 0; i < 3; ++i) {
            dst[i] += z[i + 3] * shortWindow[i];
            dst[i + 9] -= z[i] * shortWindow[i + 9];
        }
        for (int i = 3; i < 9; ++i) {
            dst[i] -= z[8 - i] * shortWindow[i];
        }
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

template <int N> inline __attribute__((always_inline)) void dct(const Vec4* in, Vec4* out) {
    if constexpr (N == 2) {
        out[0] = in[0] + in[1];
        out[1] = (in[0] - in[1]) * leeFactor2;
    } else {
        constexpr int H = N / 2;
        const float* factors = leeFactors<N>();
        Vec4 sum[H], diff[H], even[H], odd[H];
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
}

// ---------------------------------------------------------------------------------------------
// Windowing.
//
// The standard shifts a 1024-entry vector V by 64 per slot and sets
// V[i] = sum S[k] cos((16 + i)(2k + 1) pi / 64), i < 64; with A the DCT-II of the slot's
// subband samples S, V = [A[16..31], 0, -A[31..17], -A[16..0], -A[1..15]]. The output is
// out[j] = sum over the ages a = 0..15 of V_a[32 (a & 1) + j] D[32 a + j]. Regrouped by the
// entries of A: an even age feeds A[16 + m] to out[m] and (m >= 1) to out[32 - m]; an odd age
// feeds A[m] to out[16 - m] and (m >= 1) to out[16 + m], and A[16] to out[0].
void windowSlot(int ch, int pos, float* pcm) {
    Vec4 lowForward[4] = {}, highForward[4] = {}, lowReversed[4] = {}, highReversed[4] = {};
    float middle = 0.0f;
    for (int a = 0; a < 16; a += 2) {
        const float* even = ring[ch][(pos + a) & (ringSlots - 1)] + 16;
        for (int q = 0; q < 4; ++q) {
            const Vec4 v = load4(even + 4 * q);
            lowForward[q] += v * load4(&windowForward[a][4 * q]);
            highReversed[q] += v * load4(&windowReversed[a][4 * q]);
        }
        const float* odd = ring[ch][(pos + a + 1) & (ringSlots - 1)];
        for (int q = 0; q < 4; ++q) {
            const Vec4 v = load4(odd + 4 * q);
            lowReversed[q] += v * load4(&windowReversed[a + 1][4 * q]);
            highForward[q] += v * load4(&windowForward[a + 1][4 * q]);
        }
        middle += odd[16] * windowMiddle[a + 1];
    }
    float lf[16], hf[16], lr[16], hr[16];
    for (int q = 0; q < 4; ++q) {
        store4(lf + 4 * q, lowForward[q]);
        store4(hf + 4 * q, highForward[q]);
        store4(lr + 4 * q, lowReversed[q]);
        store4(hr + 4 * q, highReversed[q]);
    }
    pcm[0] = lf[0] + middle;
    for (int j = 1; j < 16; ++j) {
        pcm[j] = lf[j] + lr[16 - j];
    }
    pcm[16] = lr[0];
    for (int j = 17; j < 32; ++j) {
        pcm[j] = hf[j - 16] + hr[32 - j];
    }
}

} // namespace

void buildSynthesisTables() {
    const double pi = 3.14159265358979323846;
    for (int m = 0; m < 9; ++m) {
        preCos18[m] = static_cast<float>(std::cos(pi * m / 18));
        preSin18[m] = static_cast<float>(std::sin(pi * m / 18));
        postCos18[m] = static_cast<float>(std::cos(pi * (4 * m + 1) / 72));
        postSin18[m] = static_cast<float>(std::sin(pi * (4 * m + 1) / 72));
    }
    for (int m = 0; m < 3; ++m) {
        preCos6[m] = static_cast<float>(std::cos(pi * m / 6));
        preSin6[m] = static_cast<float>(std::sin(pi * m / 6));
        postCos6[m] = static_cast<float>(std::cos(pi * (4 * m + 1) / 24));
        postSin6[m] = static_cast<float>(std::sin(pi * (4 * m + 1) / 24));
    }
    for (int n = 0; n < 3; ++n) {
        for (int k = 0; k < 3; ++k) {
            twiddle9Cos[n][k] = static_cast<float>(std::cos(2 * pi * n * k / 9));
            twiddle9Sin[n][k] = static_cast<float>(-std::sin(2 * pi * n * k / 9));
        }
    }
    for (int type = 0; type < 4; ++type) {
        for (int i = 0; i < 36; ++i) {
            const float w = imdctWindows[type][i];
            const float normal = imdctWindows[0][i];
            longWindows[type][i] = splat(w);
            mixedLongWindows[type][i] = Vec4{normal, normal, w, w};
        }
    }
    for (int i = 0; i < 12; ++i) {
        shortWindow[i] = splat(imdctWindows[2][i]);
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
    // See windowSlot for the regrouping.
    for (int a = 0; a < 16; ++a) {
        const float* d = synthesisWindow + 32 * a;
        for (int m = 0; m < 16; ++m) {
            if (a % 2 == 0) {
                windowForward[a][m] = d[m];
                windowReversed[a][m] = m == 0 ? 0.0f : -d[32 - m];
            } else {
                windowForward[a][m] = m == 0 ? 0.0f : -d[16 + m];
                windowReversed[a][m] = -d[16 - m];
            }
        }
        windowMiddle[a] = a % 2 == 1 ? -d[0] : 0.0f;
    }
}

void hybridSynthesis(int ch, float* lines, int blockKind, int blockType, bool mixedBlock,
                     int activeSubbands, float slots[slotsPerGranule + 2][subbands]) {
    const Vec4 oddSubbands = {1.0f, -1.0f, 1.0f, -1.0f};
    for (int sb = 0; sb < subbands; sb += 4) {
        Vec4 y[36];
        if (sb >= activeSubbands) {
            // No lines: the output is what the previous granule left to overlap.
            for (Vec4& v : y) {
                v = Vec4{};
            }
        } else if (blockKind == 2 || (blockKind == 3 && sb > 0)) {
            imdctShort(lines, sb, y);
        } else if (blockKind == 3) {
            // Mixed: subbands 0 and 1 long with the normal window, 2 and 3 short.
            Vec4 shortPart[36];
            imdctShort(lines, sb, shortPart);
            imdctLong(lines, sb, longWindows[0], y);
            const Vec4 keepLong = {1.0f, 1.0f, 0.0f, 0.0f};
            for (int i = 0; i < 36; ++i) {
                y[i] = y[i] * keepLong + shortPart[i] * (1.0f - keepLong);
            }
        } else {
            // With the mixed-block flag set the two lowest subbands use the normal window,
            // whatever the block type.
            const int type = blockKind == 1 ? blockType : 0;
            imdctLong(lines, sb, sb == 0 && mixedBlock ? mixedLongWindows[type] : longWindows[type],
                      y);
        }
        for (int t = 0; t < 18; ++t) {
            float* stored = &overlap[ch][t][sb];
            Vec4 out = y[t] + load4(stored);
            store4(stored, y[t + 18]);
            // Frequency inversion: odd subbands come out of the filter bank mirrored in
            // frequency; negating their odd time samples undoes it.
            if (t & 1) {
                out *= oddSubbands;
            }
            store4(&slots[t][sb], out);
        }
    }
}

void polyphaseSynthesis(int ch, const float slots[slotsPerGranule + 2][subbands], float* pcm) {
    // Four slots at a time: transpose 4 x 4 blocks so that each vector holds one subband of
    // four slots, run the DCT on the four together, transpose back into the ring.
    for (int t0 = 0; t0 < slotsPerGranule; t0 += 4) {
        Vec4 x[32], a[32];
        for (int sb = 0; sb < 32; sb += 4) {
            x[sb] = load4(&slots[t0][sb]);
            x[sb + 1] = load4(&slots[t0 + 1][sb]);
            x[sb + 2] = load4(&slots[t0 + 2][sb]);
            x[sb + 3] = load4(&slots[t0 + 3][sb]);
            transpose4(x[sb], x[sb + 1], x[sb + 2], x[sb + 3]);
        }
        dct<32>(x, a);
        const int count = t0 + 4 <= slotsPerGranule ? 4 : slotsPerGranule - t0;
        int pos[4];
        for (int j = 0; j < 4; ++j) {
            pos[j] = (ringPos[ch] - 1 - j) & (ringSlots - 1);
        }
        for (int k = 0; k < 32; k += 4) {
            Vec4 r0 = a[k], r1 = a[k + 1], r2 = a[k + 2], r3 = a[k + 3];
            transpose4(r0, r1, r2, r3);
            const Vec4 rows[4] = {r0, r1, r2, r3};
            for (int j = 0; j < count; ++j) {
                store4(&ring[ch][pos[j]][k], rows[j]);
            }
        }
        for (int j = 0; j < count; ++j) {
            ringPos[ch] = pos[j];
            windowSlot(ch, pos[j], pcm + 32 * (t0 + j));
        }
    }
}

void clearSynthesisState() {
    std::memset(overlap, 0, sizeof overlap);
    std::memset(ring, 0, sizeof ring);
    ringPos[0] = ringPos[1] = 0;
}

} // namespace layer3
