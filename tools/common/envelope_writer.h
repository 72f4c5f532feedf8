// envelope_writer.h - writes ".env" envelope text: a name line, one key line per key and a
// closing line.
//
// A scalar key line reads "key TIME value VALUE" with an optional "TENSION CONTINUITY BIAS"
// after it; a vector key line "key TIME xyz X Y Z" with the same optional three. The reader
// stops at the closing line because its second word is not a number.
#pragma once

#include <string>
#include <vector>

namespace envfile {

struct Key {
    float time = 0;
    float value[3] = {0, 0, 0}; // a scalar envelope uses value[0]
    // Written only when `shaped` is set; a plain key line leaves all three at 0.
    bool shaped = false;
    float tension = 0, continuity = 0, bias = 0;
};

inline Key key(float time, float value) {
    Key k;
    k.time = time;
    k.value[0] = value;
    return k;
}
inline Key key(float time, float value, float tension, float continuity, float bias) {
    Key k = key(time, value);
    k.shaped = true;
    k.tension = tension;
    k.continuity = continuity;
    k.bias = bias;
    return k;
}
inline Key vectorKey(float time, float x, float y, float z) {
    Key k;
    k.time = time;
    k.value[0] = x;
    k.value[1] = y;
    k.value[2] = z;
    return k;
}
inline Key vectorKey(float time, float x, float y, float z, float tension, float continuity,
                     float bias) {
    Key k = vectorKey(time, x, y, z);
    k.shaped = true;
    k.tension = tension;
    k.continuity = continuity;
    k.bias = bias;
    return k;
}

// `name` must be one word. Numbers are written with enough digits to come back as the same
// single-precision values.
std::string scalarEnvelopeText(const std::string& name, const std::vector<Key>& keys);
std::string vectorEnvelopeText(const std::string& name, const std::vector<Key>& keys);

} // namespace envfile
