// track.h - key tracks with tension / continuity / bias (Kochanek-Bartels) interpolation.
//
// Scalar and vector tracks are cubic Hermite splines whose tangents are computed once after
// loading; rotation tracks hold quaternion keys with inner quaternions for spherical quadrangle
// interpolation. A scalar or vector track read from an ".env" text file is an envelope.
// Evaluation keeps no history apart from `segment` and `value`, so any time in any order gives
// the same result.
#pragma once

struct Quaternion {
    float w = 1.0f, x = 0.0f, y = 0.0f, z = 0.0f;
};

struct ScalarKey {
    float time, tension, continuity, bias, inTangent, outTangent, value;
};

struct VectorKey {
    float time, tension, continuity, bias;
    float inTangent[3], outTangent[3], value[3];
};

struct RotationKey {
    float time, tension, continuity, bias;
    Quaternion rotation; // absolute once the track is prepared
    Quaternion a, b;     // incoming and outgoing inner quaternions
};

// Common fields of every track. The track owns its key array.
template <class Key> struct Track {
    Key* keys = nullptr;
    int segment = 0; // key that starts the segment the last evaluation found
    int keyCount = 0;
    int lastIndex = -1; // keyCount - 1

    Track() = default;
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;
    ~Track() { delete[] keys; }

    // Replaces the keys with `count` zeroed keys.
    void allocate(int count) {
        delete[] keys;
        keys = count > 0 ? new Key[count]() : nullptr;
        keyCount = count > 0 ? count : 0;
        lastIndex = keyCount - 1;
        segment = 0;
    }
};

struct ScalarTrack : Track<ScalarKey> {
    char name[32] = {};
    float value = 0.0f;
};

struct VectorTrack : Track<VectorKey> {
    char name[32] = {};
    float value[3] = {0.0f, 0.0f, 0.0f};
};

struct RotationTrack : Track<RotationKey> {
    Quaternion value;
};

// Envelope files. A missing file is fatal through the search path. Malformed key lines are
// skipped; an envelope without key lines gives a track with keyCount 0, which callers must
// not rely on (evaluating it gives 0).
void loadEnvelope(ScalarTrack& track, const char* fileName);
void loadVectorEnvelope(VectorTrack& track, const char* fileName);
// The same readers over text already in memory (NUL-terminated); for tools and tests.
void parseEnvelope(ScalarTrack& track, const char* text);
void parseVectorEnvelope(VectorTrack& track, const char* text);

void computeTangents(ScalarTrack& track);
void computeTangents(VectorTrack& track);
// Turns relative rotations into absolute ones and computes the inner quaternions.
void prepareRotations(RotationTrack& track);

// The value at `time`, also stored in the track's `value`. Times below 0 count as 0, times
// after the last key give the last key's value, and times before the first key hold the first
// key's value. Keys that share a time give the later key's value.
float evaluate(ScalarTrack& track, float time);
void evaluate(VectorTrack& track, float time);
void evaluate(RotationTrack& track, float time);

// Quaternion helpers used by the rotation tracks (q = (w, x, y, z)).
Quaternion quaternionProduct(const Quaternion& a, const Quaternion& b);
Quaternion slerpShort(const Quaternion& q0, const Quaternion& q1, float u, float spins);
Quaternion slerpPlain(const Quaternion& q0, const Quaternion& q1, float u, float spins);
