// envelopes.cpp - the ".env" files. Each is keyed for the part that reads it, at the times that
// part evaluates it; the pulses of the two "napierdalanie" envelopes fall on the music's beats.
#include <cmath>

#include "tools/common/envelope_writer.h"
#include "tools/forge/forge.h"

namespace forge {

const MusicTiming::Section& MusicTiming::sectionAt(double time) const {
    size_t i = 0;
    while (i + 1 < sections.size() && sections[i + 1].start <= time) {
        ++i;
    }
    return sections[i];
}

namespace {

using envfile::key;
using envfile::Key;
using envfile::vectorKey;

// Order start times, one plain key per order: "key TIME value ORDER".
std::string orderTimes(const MusicTiming& timing) {
    std::vector<Key> keys;
    for (size_t i = 0; i < timing.orderStarts.size(); ++i) {
        keys.push_back(key(static_cast<float>(timing.orderStarts[i]), static_cast<float>(i)));
    }
    return envfile::scalarEnvelopeText("mystified", keys);
}

// The opening's brightness: it swells in steps and reaches 1 as the title settles. The
// opening also reads it as camera speed and as the cross-fade between its two pictures, and
// the title sprites as the dark circle's opacity and size.
std::string alphaCircle() {
    return envfile::scalarEnvelopeText(
        "alpha_circle",
        {key(0, 0), key(2.5f, 0.3f, 0.3f, 0, 0), key(4.5f, 0.12f, 0.3f, 0, 0),
         key(7.5f, 0.6f, 0, 0, -0.3f), key(9.33f, 0.42f, 0.5f, 0, 0), key(12, 1.0f, 0, 0, 0),
         key(15, 0.8f, 0.4f, 0, 0), key(18, 1.0f), key(20, 0.9f), key(23, 1.0f)});
}

// The end of the introduction: 0 until 15 s, then up to 100 by 21.5 s (the opening dims by
// 1% per unit, the title sprites rise by one unit per unit).
std::string introEnd() {
    return envfile::scalarEnvelopeText(
        "koniec_intra", {key(0, 0), key(8, 0, 1, 0, 0), key(15, 0, 1, 0, 0), key(18, 18),
                         key(20, 65, 0, 0, 0.3f), key(21.5f, 100, 1, 0, 0), key(24, 100)});
}

// The title sprites' path: the title flies in from the distance while the face swoops in from
// behind the viewer, then the two drift apart (title nearer and lower, face further up).
std::string titlePath() {
    return envfile::vectorEnvelopeText(
        "tirvaltext_pos", {vectorKey(0, 0, -40, -2600), vectorKey(2.5f, 15, -50, -900, 0, 0, 0.4f),
                           vectorKey(5, 0, -60, 0, 0.3f, 0, 0), vectorKey(9.33f, -15, -55, 80),
                           vectorKey(12, 10, -45, 150, 0.2f, 0.3f, 0), vectorKey(16, -5, -40, 60),
                           vectorKey(20, 0, -50, 0, 0.5f, 0, 0)});
}

// The bubble tube's sideways sway (x) and tilt in degrees (y), over its 22 seconds.
std::string bubbleSway() {
    return envfile::vectorEnvelopeText(
        "bubble", {vectorKey(0, -70, 0, 0), vectorKey(4, 60, 25, 0, 0, 0, 0.2f),
                   vectorKey(8.5f, -40, -20, 0), vectorKey(13, 80, 35, 0, 0.3f, 0, 0),
                   vectorKey(17.5f, -20, -10, 0), vectorKey(22.5f, 0, 0, 0)});
}

// A pumping envelope: 0 on every beat, rising to `peak` just before the next one, from key
// time `from` to `to`. The beat grid is that of the music at demo time (key + shift).
void pump(std::vector<Key>& keys, const MusicTiming& timing, double from, double to, double shift,
          float peak) {
    const MusicTiming::Section& s = timing.sectionAt(from + shift + 0.01);
    const double first = s.start - shift;
    double beat = first;
    while (beat + s.beat < from) {
        beat += s.beat;
    }
    for (; beat <= to; beat += s.beat) {
        if (keys.empty() || beat > keys.back().time) {
            keys.push_back(key(static_cast<float>(beat), 0, 0.5f, 0, 0));
        }
        keys.push_back(key(static_cast<float>(beat + 0.72 * s.beat), peak));
    }
}

// The layered scene's echo dimmer: read at demo time from 69.753 s to 104 s.
std::string pounding(const MusicTiming& timing) {
    std::vector<Key> keys = {key(0, 0)};
    pump(keys, timing, 69.753, 104.5, 0.0, 0.85f);
    return envfile::scalarEnvelopeText("napierdalanie", keys);
}

// Read at key time 69.753 + local time by the faceted part (demo 138.302 on) and the tunnel
// (demo 155.44 on); the pulses follow the faceted section's beat.
std::string pounding2(const MusicTiming& timing) {
    std::vector<Key> keys = {key(0, 0)};
    pump(keys, timing, 69.753, 92.0, 138.302 - 69.753, 0.6f);
    return envfile::scalarEnvelopeText("napierdalanie2", keys);
}

} // namespace

bool makeEnvelopes(const MusicTiming& timing, Assets& out, std::string& error) {
    if (timing.orderStarts.empty() || timing.sections.empty()) {
        error = "the music has no orders";
        return false;
    }
    addText(out, "mystified.env", orderTimes(timing));
    addText(out, "alpha_circle.env", alphaCircle());
    addText(out, "koniec_intra.env", introEnd());
    addText(out, "tirvaltext_pos.env", titlePath());
    addText(out, "bubble.env", bubbleSway());
    addText(out, "napierdalanie.env", pounding(timing));
    // The tunnel asks for "Napierdalanie2.env": the archive ignores case, so this one serves.
    addText(out, "napierdalanie2.env", pounding2(timing));
    return true;
}

} // namespace forge
