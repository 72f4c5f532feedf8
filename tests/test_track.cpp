// test_track.cpp - envelope files, tangents, Hermite evaluation and rotation tracks.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene/track.h"

namespace {

std::string keysText(const std::vector<std::pair<float, float>>& keys) {
    std::string s = "test envelope name\n";
    for (auto [t, v] : keys) {
        s += "key " + std::to_string(t) + " value " + std::to_string(v) + "\n";
    }
    return s + "end envelope\n";
}

Quaternion axisAngle(float angle, float x, float y, float z) {
    const float s = std::sin(angle / 2);
    return {std::cos(angle / 2), s * x, s * y, s * z};
}

void expectQuaternionNear(const Quaternion& a, const Quaternion& b, float eps = 1e-5f) {
    // q and -q are the same rotation.
    const float sign = (a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z) < 0 ? -1.0f : 1.0f;
    EXPECT_NEAR(a.w, sign * b.w, eps);
    EXPECT_NEAR(a.x, sign * b.x, eps);
    EXPECT_NEAR(a.y, sign * b.y, eps);
    EXPECT_NEAR(a.z, sign * b.z, eps);
}

} // namespace

TEST(Envelope, TwoKeysGiveLinearTangentsAndClampAtTheEnds) {
    ScalarTrack t;
    parseEnvelope(t, keysText({{0, 0}, {10, 1}}).c_str());
    EXPECT_STREQ(t.name, "test");
    ASSERT_EQ(t.keyCount, 2);
    EXPECT_EQ(t.lastIndex, 1);
    EXPECT_FLOAT_EQ(t.keys[0].outTangent, 1.0f);
    EXPECT_FLOAT_EQ(t.keys[1].inTangent, 1.0f);
    EXPECT_FLOAT_EQ(evaluate(t, 5.0f), 0.5f);
    EXPECT_FLOAT_EQ(t.value, 0.5f);
    EXPECT_FLOAT_EQ(evaluate(t, 20.0f), 1.0f);
    EXPECT_FLOAT_EQ(evaluate(t, -3.0f), 0.0f);
    EXPECT_FLOAT_EQ(evaluate(t, 10.0f), 1.0f); // exactly on a key
    EXPECT_FLOAT_EQ(evaluate(t, 0.0f), 0.0f);
}

TEST(Envelope, ThreeKeysUseTheEndFormulas) {
    ScalarTrack t;
    parseEnvelope(t, keysText({{0, 0}, {1, 1}, {2, 0}}).c_str());
    ASSERT_EQ(t.keyCount, 3);
    EXPECT_NEAR(t.keys[1].inTangent, 0.0f, 1e-6);
    EXPECT_NEAR(t.keys[1].outTangent, 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(t.keys[0].outTangent, 1.5f);
    EXPECT_FLOAT_EQ(t.keys[2].inTangent, -1.5f);
    EXPECT_FLOAT_EQ(evaluate(t, 1.0f), 1.0f);
}

TEST(Envelope, KeyLineFormsAndMalformedLines) {
    // A 5-number line sets tension, continuity and bias; a 3-number line is skipped; a line
    // whose second token is not a number ends the list.
    const char* text = "fade whatever else\n"
                       "key 0 value 1 0.5 0.25 -0.5\n"
                       "key 1 value 2 7\n"
                       "key 2 value 3\n"
                       "end of keys\n"
                       "key 3 value 4\n";
    ScalarTrack t;
    parseEnvelope(t, text);
    EXPECT_STREQ(t.name, "fade");
    ASSERT_EQ(t.keyCount, 2);
    EXPECT_FLOAT_EQ(t.keys[0].tension, 0.5f);
    EXPECT_FLOAT_EQ(t.keys[0].continuity, 0.25f);
    EXPECT_FLOAT_EQ(t.keys[0].bias, -0.5f);
    EXPECT_FLOAT_EQ(t.keys[1].time, 2.0f);
    EXPECT_FLOAT_EQ(t.keys[1].value, 3.0f);
    EXPECT_FLOAT_EQ(t.keys[1].tension, 0.0f);
}

TEST(Envelope, VectorLinesWithAndWithoutTcb) {
    const char* text = "path\n"
                       "k 0 v 1 2 3\n"
                       "k 1 v 4 5 6 0.1 0.2 0.3\n"
                       "k 2 v 7 8\n" // 3 numbers: skipped
                       "k 3 v 9 9 9\n";
    VectorTrack t;
    parseVectorEnvelope(t, text);
    ASSERT_EQ(t.keyCount, 3);
    EXPECT_FLOAT_EQ(t.keys[1].value[2], 6.0f);
    EXPECT_FLOAT_EQ(t.keys[1].bias, 0.3f);
    EXPECT_FLOAT_EQ(t.keys[2].time, 3.0f);
    evaluate(t, 0.0f);
    EXPECT_FLOAT_EQ(t.value[0], 1.0f);
    EXPECT_FLOAT_EQ(t.value[1], 2.0f);
    evaluate(t, 100.0f);
    EXPECT_FLOAT_EQ(t.value[2], 9.0f);
}

TEST(Envelope, SixtyFiveKeysAndEmptyAndSingleKeyTracks) {
    std::vector<std::pair<float, float>> keys;
    for (int i = 0; i < 65; ++i) {
        keys.push_back({static_cast<float>(i), static_cast<float>(i * i)});
    }
    ScalarTrack many;
    parseEnvelope(many, keysText(keys).c_str());
    EXPECT_EQ(many.keyCount, 65);
    EXPECT_FLOAT_EQ(evaluate(many, 64.0f), 4096.0f);

    ScalarTrack none;
    parseEnvelope(none, "empty\nthe end\n");
    EXPECT_EQ(none.keyCount, 0);
    EXPECT_EQ(evaluate(none, 3.0f), 0.0f); // nothing read, no crash

    ScalarTrack one;
    parseEnvelope(one, keysText({{4, 7}}).c_str());
    for (float time : {-1.0f, 0.0f, 4.0f, 99.0f}) {
        EXPECT_FLOAT_EQ(evaluate(one, time), 7.0f);
    }
}

TEST(Envelope, DegenerateKeysGiveNumbersNotNaN) {
    // Keys that share a time evaluate to the later key; times before a first key above 0 hold it.
    ScalarTrack t;
    parseEnvelope(t, keysText({{1, 5}, {3, 2}, {3, 9}, {3, 4}, {6, 1}}).c_str());
    for (float time : {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 4.0f, 6.0f, 7.0f}) {
        EXPECT_FALSE(std::isnan(evaluate(t, time))) << time;
    }
    EXPECT_FLOAT_EQ(evaluate(t, 0.5f), 5.0f);
    ScalarTrack pair;
    parseEnvelope(pair, keysText({{2, 1}, {2, 8}}).c_str());
    EXPECT_FLOAT_EQ(evaluate(pair, 2.0f), 8.0f);
}

TEST(RotationTrack, RelativeKeysBecomeAbsolute) {
    RotationTrack t;
    t.allocate(3);
    const Quaternion q = axisAngle(0.7f, 0, 0, 1);
    const Quaternion r = axisAngle(0.4f, 1, 0, 0);
    t.keys[0].rotation = Quaternion{1, 0, 0, 0};
    t.keys[1].rotation = q;
    t.keys[2].rotation = r;
    for (int i = 0; i < 3; ++i) {
        t.keys[i].time = static_cast<float>(i * 10);
    }
    prepareRotations(t);
    expectQuaternionNear(t.keys[1].rotation, q);
    expectQuaternionNear(t.keys[2].rotation, quaternionProduct(q, r));
    evaluate(t, 10.0f);
    expectQuaternionNear(t.value, q);
    evaluate(t, 25.0f);
    EXPECT_FALSE(std::isnan(t.value.w));
}

TEST(RotationTrack, IdentityStepHoldsTheFirstRotationAndInterpolatesSmoothly) {
    RotationTrack t;
    t.allocate(2);
    const Quaternion q = axisAngle(1.1f, 0, 1, 0);
    t.keys[0] = RotationKey{0, 0, 0, 0, q, {}, {}};
    t.keys[1] = RotationKey{10, 0, 0, 0, Quaternion{1, 0, 0, 0}, {}, {}};
    prepareRotations(t);
    for (float time : {0.0f, 2.5f, 5.0f, 10.0f, 30.0f}) {
        evaluate(t, time);
        expectQuaternionNear(t.value, q);
    }

    RotationTrack turn;
    turn.allocate(2);
    turn.keys[0] = RotationKey{0, 0, 0, 0, Quaternion{1, 0, 0, 0}, {}, {}};
    turn.keys[1] = RotationKey{10, 0, 0, 0, axisAngle(1.0f, 0, 0, 1), {}, {}};
    prepareRotations(turn);
    evaluate(turn, 5.0f);
    // Halfway through a quarter-ish turn about z: close to half the angle.
    const float angle = 2 * std::acos(std::min(1.0f, std::fabs(turn.value.w)));
    EXPECT_NEAR(angle, 0.5f, 0.02f);
}

// The interpolated rotation against geometry, not against the formula: about one axis the
// angle moves linearly (the short way, the long way round for the plain form of a negated end,
// one extra turn per spin); between two axes the arc's midpoint is the normalised sum of its ends
// and its quarter point the normalised sum of the start and the midpoint.
TEST(RotationTrack, SlerpFollowsTheGreatCircle) {
    const float pi = 3.14159265f;
    const Quaternion a = axisAngle(0.3f, 0, 0, 1), b = axisAngle(1.2f, 0, 0, 1);
    const Quaternion minusB{-b.w, -b.x, -b.y, -b.z}; // the same rotation as b
    for (float u : {0.0f, 0.25f, 0.5f, 0.8f, 1.0f}) {
        SCOPED_TRACE(u);
        expectQuaternionNear(slerpShort(a, b, u, 0), axisAngle(0.3f + 0.9f * u, 0, 0, 1));
        expectQuaternionNear(slerpPlain(a, b, u, 0), axisAngle(0.3f + 0.9f * u, 0, 0, 1));
        // The short form turns the negated end round to the near side; the plain form takes the
        // arc to it as given, which turns the other way, through 2 pi - 0.9.
        expectQuaternionNear(slerpShort(a, minusB, u, 0), axisAngle(0.3f + 0.9f * u, 0, 0, 1));
        expectQuaternionNear(slerpPlain(a, minusB, u, 0),
                             axisAngle(0.3f - (2 * pi - 0.9f) * u, 0, 0, 1), 2e-5f);
        // One spin adds one whole turn on the way.
        expectQuaternionNear(slerpShort(a, b, u, 1), axisAngle(0.3f + (0.9f + 2 * pi) * u, 0, 0, 1),
                             2e-5f);
    }

    const Quaternion p = axisAngle(0.7f, 0, 0, 1), q = axisAngle(1.1f, 1, 0, 0);
    auto normalisedSum = [](const Quaternion& x, const Quaternion& y) {
        const float w = x.w + y.w, i = x.x + y.x, j = x.y + y.y, k = x.z + y.z;
        const float n = std::sqrt(w * w + i * i + j * j + k * k);
        return Quaternion{w / n, i / n, j / n, k / n};
    };
    const Quaternion mid = normalisedSum(p, q);
    expectQuaternionNear(slerpShort(p, q, 0.5f, 0), mid);
    expectQuaternionNear(slerpShort(p, q, 0.25f, 0), normalisedSum(p, mid));
    expectQuaternionNear(slerpPlain(p, q, 0.75f, 0), normalisedSum(mid, q));

    // Nearly equal quaternions take the linear path, which stays on the rotation.
    expectQuaternionNear(slerpShort(a, a, 0.5f, 0), a);
}
