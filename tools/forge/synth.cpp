// synth.cpp - instrument synthesis. Noise comes from the generator's fixed-seed stream, so the
// waveforms are the same on every run.
#include "tools/forge/synth.h"

#include <algorithm>
#include <cmath>

#include "tools/forge/random.h"

namespace forge {

namespace {

constexpr double twoPi = 6.283185307179586;

double midiHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// Band-limited sawtooth: harmonics up to `limit` Hz.
double saw(double phase, double hz, double limit) {
    const int harmonics = std::max(1, static_cast<int>(limit / hz));
    double s = 0;
    for (int k = 1; k <= harmonics; ++k) {
        s += std::sin(phase * k) / k;
    }
    return s * (2.0 / 3.14159265358979);
}

struct OnePole {
    double y = 0;
    double run(double x, double cutoffHz, double rate) {
        const double a = 1.0 - std::exp(-twoPi * cutoffHz / rate);
        y += a * (x - y);
        return y;
    }
};

// Scales to a peak of `peak` and turns into 16-bit values; the last 64 values fade to zero.
std::vector<int16_t> finish(std::vector<double> v, double peak) {
    double m = 1e-9;
    for (double x : v) {
        m = std::max(m, std::fabs(x));
    }
    const size_t fade = std::min<size_t>(64, v.size());
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        double g = peak / m;
        if (i + fade >= v.size()) {
            g *= static_cast<double>(v.size() - i) / static_cast<double>(fade);
        }
        out[i] = static_cast<int16_t>(std::lround(v[i] * g));
    }
    return out;
}

std::vector<double> kick(int rate) {
    Random rng(1001);
    std::vector<double> v(static_cast<size_t>(rate * 0.45));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += twoPi * (44 + 120 * std::exp(-t / 0.035)) / rate;
        const double body = std::sin(phase) * std::exp(-t / 0.2) * std::min(1.0, t / 0.001);
        const double click = (rng.uniform() * 2 - 1) * std::exp(-t / 0.003) * 0.35;
        v[i] = std::tanh(1.6 * (body + click));
    }
    return v;
}

std::vector<double> snare(int rate) {
    Random rng(1002);
    std::vector<double> v(static_cast<size_t>(rate * 0.32));
    double prev = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = rng.uniform() * 2 - 1;
        const double bright = n - 0.7 * prev;
        prev = n;
        const double tone =
            (std::sin(twoPi * 185 * t) + 0.5 * std::sin(twoPi * 330 * t)) * std::exp(-t / 0.06);
        v[i] = 0.7 * tone + bright * std::exp(-t / 0.11) * 0.8;
    }
    return v;
}

std::vector<double> clap(int rate) {
    Random rng(1003);
    std::vector<double> v(static_cast<size_t>(rate * 0.35));
    OnePole low;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = rng.uniform() * 2 - 1;
        const double band = n - low.run(n, 900, rate);
        double env = std::exp(-t / 0.12) * 0.6;
        for (double burst : {0.0, 0.011, 0.022}) {
            if (t >= burst) {
                env += std::exp(-(t - burst) / 0.007);
            }
        }
        v[i] = band * env;
    }
    return v;
}

std::vector<double> hat(int rate, double seconds, double decay, uint64_t seed) {
    Random rng(seed);
    std::vector<double> v(static_cast<size_t>(rate * seconds));
    OnePole low1, low2;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = rng.uniform() * 2 - 1;
        const double high = n - low1.run(n, 6000, rate);
        const double metal = (std::sin(twoPi * 5340 * t) > 0 ? 1 : -1) * 0.15 +
                             (std::sin(twoPi * 7890 * t) > 0 ? 1 : -1) * 0.1;
        v[i] = (high + metal - low2.run(metal, 3000, rate)) * std::exp(-t / decay);
    }
    return v;
}

std::vector<double> crash(int rate) {
    Random rng(1006);
    std::vector<double> v(static_cast<size_t>(rate * 2.2));
    OnePole low;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = rng.uniform() * 2 - 1;
        double ring = 0;
        for (double f : {3120.0, 4467.0, 5873.0, 7001.0}) {
            ring += std::sin(twoPi * f * t + std::sin(twoPi * f * 0.37 * t) * 2) * 0.12;
        }
        const double high = n - low.run(n, 2500, rate);
        v[i] = (high * 0.8 + ring) * std::exp(-t / 0.7) * std::min(1.0, t / 0.002);
    }
    return v;
}

std::vector<double> riser(int rate) {
    Random rng(1012);
    const double length = 3.0;
    std::vector<double> v(static_cast<size_t>(rate * length));
    OnePole low;
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double k = t / length;
        const double n = rng.uniform() * 2 - 1;
        phase += twoPi * (200 + 1800 * k * k) / rate;
        v[i] = (low.run(n, 300 + 7000 * k * k, rate) * 1.5 + 0.25 * std::sin(phase)) * k * k;
    }
    return v;
}

// The bass at C2: a saw and a sub sine under a closing filter.
std::vector<double> bass(int rate) {
    const double hz = midiHz(36);
    std::vector<double> v(static_cast<size_t>(rate * 0.9));
    OnePole f1, f2;
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += twoPi * hz / rate;
        const double x = saw(phase, hz, 6000) * 0.6 + std::sin(phase) * 0.8;
        const double cutoff = 250 + 2200 * std::exp(-t / 0.09);
        const double env = std::min(1.0, t / 0.003) * (0.55 + 0.45 * std::exp(-t / 0.25));
        v[i] = f2.run(f1.run(x, cutoff, rate), cutoff * 1.5, rate) * env;
    }
    return v;
}

// The pad at C4: three detuned saws and a sub octave, softened, with a slow attack and a
// release at the end of the waveform.
std::vector<double> pad(int rate) {
    const double hz = midiHz(60);
    const double length = 4.6;
    std::vector<double> v(static_cast<size_t>(rate * length));
    OnePole f1, f2;
    double p[4] = {0, 1.3, 2.1, 0.4};
    const double detune[3] = {std::pow(2.0, -9 / 1200.0), 1.0, std::pow(2.0, 8 / 1200.0)};
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double x = 0;
        for (int k = 0; k < 3; ++k) {
            p[k] += twoPi * hz * detune[k] / rate;
            x += saw(p[k], hz * detune[k], 5000) * 0.33;
        }
        p[3] += twoPi * hz * 0.5 / rate;
        x += std::sin(p[3]) * 0.3;
        const double cutoff = 900 + 500 * std::sin(twoPi * 0.35 * t);
        const double env = std::min(1.0, t / 0.35) * std::min(1.0, (length - t) / 0.9);
        v[i] = f2.run(f1.run(x, cutoff, rate), cutoff * 2, rate) * env;
    }
    return v;
}

// The lead at C5: a pulse with a slowly moving width and a saw, vibrato after the attack.
std::vector<double> lead(int rate) {
    const double hz = midiHz(72);
    const double length = 2.4;
    std::vector<double> v(static_cast<size_t>(rate * length));
    OnePole f1;
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double vibrato = 1.0 + 0.005 * std::min(1.0, std::max(0.0, (t - 0.25) / 0.3)) *
                                         std::sin(twoPi * 5.5 * t);
        phase += twoPi * hz * vibrato / rate;
        const double width = 0.5 + 0.3 * std::sin(twoPi * 0.7 * t);
        const double pulse = saw(phase, hz, 9000) - saw(phase + twoPi * width, hz, 9000);
        const double x = pulse * 0.5 + saw(phase * 1.003, hz, 9000) * 0.35;
        const double env = std::min(1.0, t / 0.008) * (0.8 + 0.2 * std::exp(-t / 0.2)) *
                           std::min(1.0, (length - t) / 0.3);
        v[i] = f1.run(x, 3800, rate) * env;
    }
    return v;
}

// A bell at C5: frequency modulation with an index that falls as the note dies away.
std::vector<double> bell(int rate) {
    const double hz = midiHz(72);
    std::vector<double> v(static_cast<size_t>(rate * 2.0));
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double index = 0.6 + 2.4 * std::exp(-t / 0.25);
        const double m = std::sin(twoPi * hz * 3.5 * t) * index;
        v[i] = std::sin(twoPi * hz * t + m) * std::exp(-t / 0.55) * std::min(1.0, t / 0.002);
    }
    return v;
}

// A short plucked saw at C5.
std::vector<double> pluck(int rate) {
    const double hz = midiHz(72);
    std::vector<double> v(static_cast<size_t>(rate * 0.5));
    OnePole f1;
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += twoPi * hz / rate;
        v[i] = f1.run(saw(phase, hz, 10000), 600 + 5000 * std::exp(-t / 0.05), rate) *
               std::exp(-t / 0.14) * std::min(1.0, t / 0.002);
    }
    return v;
}

} // namespace

void xmTuning(int rate, int pitchMidi, int8_t& relativeNote, int8_t& finetune) {
    const double semis = 12.0 * std::log2(rate / 8363.0) + (60 - pitchMidi);
    int whole = static_cast<int>(std::floor(semis));
    int fine = static_cast<int>(std::lround((semis - whole) * 128));
    if (fine >= 128) {
        ++whole;
        fine -= 128;
    }
    relativeNote = static_cast<int8_t>(whole);
    finetune = static_cast<int8_t>(fine > 127 ? 127 : fine);
}

std::vector<SynthSample> synthesiseInstruments() {
    const int r = 44100;
    std::vector<SynthSample> s;
    s.push_back({"kick", r, 60, finish(kick(r), 24000)});
    s.push_back({"snare", r, 60, finish(snare(r), 22000)});
    s.push_back({"clap", r, 60, finish(clap(r), 20000)});
    s.push_back({"closed hat", r, 60, finish(hat(r, 0.12, 0.03, 1004), 14000)});
    s.push_back({"open hat", r, 60, finish(hat(r, 0.5, 0.2, 1005), 13000)});
    s.push_back({"crash", r, 60, finish(crash(r), 20000)});
    s.push_back({"bass", r, 36, finish(bass(r), 24000)});
    s.push_back({"pad", 22050, 60, finish(pad(22050), 18000)});
    s.push_back({"lead", r, 72, finish(lead(r), 20000)});
    s.push_back({"bell", r, 72, finish(bell(r), 18000)});
    s.push_back({"pluck", r, 72, finish(pluck(r), 18000)});
    s.push_back({"riser", r, 60, finish(riser(r), 16000)});
    return s;
}

} // namespace forge
