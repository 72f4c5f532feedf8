// track.cpp - tangents, Hermite evaluation and quaternion spline interpolation of key tracks.
#include "scene/track.h"

#include <cmath>

namespace {

// Finds the segment that holds `time`: the key b that starts it and the parameter u in [0, 1].
template <class Key> float findSegment(Track<Key>& track, float time) {
    const float tau = time < 0.0f ? 0.0f : time;
    const Key* k = track.keys;
    if (k[track.lastIndex].time < tau) {
        track.segment = track.lastIndex - 1;
        return 1.0f;
    }
    int b = 0;
    while (k[b + 1].time < tau) {
        ++b;
    }
    track.segment = b;
    const float span = k[b + 1].time - k[b].time;
    if (span <= 0.0f) {
        return 1.0f; // keys that share a time: the later key holds
    }
    const float u = (tau - k[b].time) / span;
    return u < 0.0f ? 0.0f : u; // before the first key: hold its value
}

// Scale factor (a / b) of a tangent term, 0 where the keys share their times.
float ratio(float a, float b) {
    return b != 0.0f ? a / b : 0.0f;
}

// Tangents of one component (or the only one) of a scalar or vector track.
template <class Key, class Get> void tangents(Key* k, int n, Get get) {
    // get(key) returns references to {value, inTangent, outTangent} of the component.
    if (n < 2) {
        return;
    }
    if (n == 2) {
        auto [p0, in0, out0] = get(k[0]);
        auto [p1, in1, out1] = get(k[1]);
        out0 = (p1 - p0) * (1.0f - k[0].tension);
        in1 = (p1 - p0) * (1.0f - k[1].tension);
        return;
    }
    for (int i = 1; i <= n - 2; ++i) {
        const float T = k[i].tension, C = k[i].continuity, B = k[i].bias;
        auto [pp, inp, outp] = get(k[i - 1]);
        auto [pc, inc, outc] = get(k[i]);
        auto [pn, inn, outn] = get(k[i + 1]);
        const float back = pc - pp, ahead = pn - pc;
        const float whole = k[i + 1].time - k[i - 1].time;
        inc = ((1 - T) * (1 + B) * (1 - C) * back + (1 - T) * (1 - B) * (1 + C) * ahead) *
              ratio(k[i].time - k[i - 1].time, whole);
        outc = ((1 - T) * (1 + B) * (1 + C) * back + (1 - T) * (1 - B) * (1 - C) * ahead) *
               ratio(k[i + 1].time - k[i].time, whole);
    }
    {
        auto [p0, in0, out0] = get(k[0]);
        auto [p1, in1, out1] = get(k[1]);
        auto [p2, in2, out2] = get(k[2]);
        const float d = p2 - p0;
        out0 = (d / 2 + d * (0.25f - ratio(k[1].time - k[0].time, 2 * (k[2].time - k[0].time))) +
                1.5f * (p1 - p0 - d / 2)) *
               (1.0f - k[0].tension);
    }
    {
        const int l = n - 1;
        auto [pl, inl, outl] = get(k[l]);
        auto [pm, inm, outm] = get(k[l - 1]);
        auto [pmm, inmm, outmm] = get(k[l - 2]);
        const float d = pl - pmm;
        inl = (d / 2 +
               d * (0.25f - ratio(k[l].time - k[l - 1].time, 2 * (k[l].time - k[l - 2].time))) +
               1.5f * (pl - pm - d / 2)) *
              (1.0f - k[l].tension);
    }
}

struct Refs {
    float& value;
    float& in;
    float& out;
};

// Hermite basis at u.
struct Hermite {
    float h1, h2, h3, h4;
    explicit Hermite(float u) {
        const float u2 = u * u, u3 = u2 * u;
        h1 = 2 * u3 - 3 * u2 + 1;
        h2 = 3 * u2 - 2 * u3;
        h3 = u3 - 2 * u2 + u;
        h4 = u3 - u2;
    }
};

// ---- quaternion operations

float norm(const Quaternion& q) {
    const float n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return n == 0.0f ? 1.0f : n;
}

float dot(const Quaternion& a, const Quaternion& b) {
    return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
}

Quaternion reflect(const Quaternion& q) {
    const float n = norm(q);
    return {q.w / n, -q.x / n, -q.y / n, -q.z / n};
}

Quaternion inverse(const Quaternion& q) {
    const float sum = q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z;
    const float m = sum != 0.0f ? 1.0f / sum : 1.0f;
    return {q.w * m, -q.x * m, -q.y * m, -q.z * m};
}

struct Vec3 {
    float x, y, z;
};

Quaternion expVector(const Vec3& v) {
    const float theta = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    const float k = theta > 0.0f ? std::sin(theta) / theta : 1.0f;
    return {std::cos(theta), k * v.x, k * v.y, k * v.z};
}

Vec3 lnDiff(const Quaternion& p, const Quaternion& q) {
    const Quaternion r = quaternionProduct(inverse(p), q);
    const float s = std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
    const float c = dot(p, q);
    float angle = c != 0.0f ? std::atan(s / c) : 1.5707964f;
    if (s != 0.0f) {
        angle /= s;
    }
    return {angle * r.x, angle * r.y, angle * r.z};
}

void inner(const RotationKey* prev, RotationKey& cur, const RotationKey* next) {
    const Quaternion q = cur.rotation;
    const float T = cur.tension, C = cur.continuity, B = cur.bias;
    Vec3 lp{}, ln{};
    if (prev) {
        Quaternion p = prev->rotation;
        if (dot(p, q) / (norm(p) * norm(q)) < 0.0f) {
            p = reflect(p);
        }
        lp = lnDiff(p, q);
    }
    if (next) {
        Quaternion r = next->rotation;
        if (dot(r, q) / (norm(r) * norm(q)) < 0.0f) {
            r = reflect(r);
        }
        ln = lnDiff(q, r);
    }
    if (!prev) {
        lp = ln;
    }
    if (!next) {
        ln = lp;
    }
    float adjIn = 1.0f, adjOut = 1.0f;
    if (prev && next) {
        const float h = (next->time - prev->time) / 2;
        const float c = std::fabs(C);
        adjIn = c + (1 - c) * ratio(cur.time - prev->time, h);
        adjOut = c + (1 - c) * ratio(next->time - cur.time, h);
    }
    const float k1 = adjOut * (1 - T) * (1 - C) * (1 - B) / 2 - 1;
    const float k2 = adjOut * (1 - T) * (1 + C) * (1 + B) / 2;
    const float k3 = -adjIn * (1 - T) * (1 + C) * (1 - B) / 2;
    const float k4 = 1 - adjIn * (1 - T) * (1 - C) * (1 + B) / 2;
    const Vec3 ta{(k1 * ln.x + k2 * lp.x) / 2, (k1 * ln.y + k2 * lp.y) / 2,
                  (k1 * ln.z + k2 * lp.z) / 2};
    const Vec3 tb{(k3 * ln.x + k4 * lp.x) / 2, (k3 * ln.y + k4 * lp.y) / 2,
                  (k3 * ln.z + k4 * lp.z) / 2};
    cur.a = quaternionProduct(q, expVector(ta));
    cur.b = quaternionProduct(q, expVector(tb));
}

float clampUnit(float v) {
    return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
}

} // namespace

Quaternion quaternionProduct(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quaternion slerpShort(const Quaternion& q0, const Quaternion& q1, float u, float spins) {
    const float c = dot(q0, q1);
    const float sign = c >= 0.0f ? 1.0f : -1.0f;
    const float ac = std::fabs(c);
    float s0, s1;
    if (1.0f - ac >= 0.00001f) {
        const float theta = std::acos(ac);
        const float phi = u * (theta + spins * 3.14159265f);
        s0 = std::sin(theta - phi) / std::sin(theta);
        s1 = std::sin(phi) / std::sin(theta);
    } else {
        s0 = 1.0f - u;
        s1 = u;
    }
    s1 *= sign;
    return {s0 * q0.w + s1 * q1.w, s0 * q0.x + s1 * q1.x, s0 * q0.y + s1 * q1.y,
            s0 * q0.z + s1 * q1.z};
}

Quaternion slerpPlain(const Quaternion& q0, const Quaternion& q1, float u, float spins) {
    const float c = dot(q0, q1);
    float s0, s1;
    if (1.0f - std::fabs(c) >= 0.00001f) {
        const float theta = std::acos(c);
        const float phi = u * (theta + spins * 3.14159265f);
        s0 = std::sin(theta - phi) / std::sin(theta);
        s1 = std::sin(phi) / std::sin(theta);
    } else {
        s0 = 1.0f - u;
        s1 = u;
    }
    return {s0 * q0.w + s1 * q1.w, s0 * q0.x + s1 * q1.x, s0 * q0.y + s1 * q1.y,
            s0 * q0.z + s1 * q1.z};
}

void computeTangents(ScalarTrack& track) {
    tangents(track.keys, track.keyCount, [](ScalarKey& k) {
        return Refs{k.value, k.inTangent, k.outTangent};
    });
}

void computeTangents(VectorTrack& track) {
    for (int c = 0; c < 3; ++c) {
        tangents(track.keys, track.keyCount, [c](VectorKey& k) {
            return Refs{k.value[c], k.inTangent[c], k.outTangent[c]};
        });
    }
}

float evaluate(ScalarTrack& track, float time) {
    if (track.keyCount <= 0) {
        track.value = 0.0f;
    } else if (track.keyCount == 1) {
        track.value = track.keys[0].value;
    } else {
        const float u = findSegment(track, time);
        const ScalarKey& a = track.keys[track.segment];
        const ScalarKey& b = track.keys[track.segment + 1];
        const Hermite h(u);
        track.value = h.h1 * a.value + h.h2 * b.value + h.h3 * a.outTangent + h.h4 * b.inTangent;
    }
    return track.value;
}

void evaluate(VectorTrack& track, float time) {
    if (track.keyCount <= 0) {
        track.value[0] = track.value[1] = track.value[2] = 0.0f;
        return;
    }
    if (track.keyCount == 1) {
        for (int c = 0; c < 3; ++c) {
            track.value[c] = track.keys[0].value[c];
        }
        return;
    }
    const float u = findSegment(track, time);
    const VectorKey& a = track.keys[track.segment];
    const VectorKey& b = track.keys[track.segment + 1];
    const Hermite h(u);
    for (int c = 0; c < 3; ++c) {
        track.value[c] =
            h.h1 * a.value[c] + h.h2 * b.value[c] + h.h3 * a.outTangent[c] + h.h4 * b.inTangent[c];
    }
}

void prepareRotations(RotationTrack& track) {
    const int n = track.keyCount;
    RotationKey* k = track.keys;
    // Each stored rotation is relative to the previous key's; make them absolute.
    for (int i = 0; i + 1 < n; ++i) {
        k[i + 1].rotation = quaternionProduct(k[i].rotation, k[i + 1].rotation);
    }
    for (int i = 1; i <= n - 2; ++i) {
        inner(&k[i - 1], k[i], &k[i + 1]);
    }
    if (n >= 2) {
        inner(nullptr, k[0], &k[1]);
        inner(&k[n - 2], k[n - 1], nullptr);
    }
}

void evaluate(RotationTrack& track, float time) {
    if (track.keyCount <= 0) {
        track.value = Quaternion{};
        return;
    }
    if (track.keyCount == 1) {
        track.value = track.keys[0].rotation;
        return;
    }
    const float u = findSegment(track, time);
    const RotationKey& k0 = track.keys[track.segment];
    const RotationKey& k1 = track.keys[track.segment + 1];
    // Whole turns between the keys: the angle difference over 2 pi, truncated toward zero.
    const float d =
        2.0f * std::acos(clampUnit(k1.rotation.w)) - 2.0f * std::acos(clampUnit(k0.rotation.w));
    const float spins =
        d > 0.0f ? std::floor(d * 0.15915494309189535f) : std::ceil(d * 0.15915494309189535f);
    const bool plain = std::fabs(d - 6.2831853f * spins) > 3.14159265f;
    auto slerp = plain ? &slerpPlain : &slerpShort;
    const Quaternion A = slerp(k0.rotation, k1.rotation, u, spins);
    const Quaternion B = slerp(k0.b, k1.a, u, spins);
    track.value = slerp(A, B, 2.0f * u * (1.0f - u), 0.0f);
}
