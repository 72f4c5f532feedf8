// music.cpp - "mystified.xm", composed here: ten sections in A minor whose first orders start
// where the demo's schedule changes scene. Each section gets its own tempo and bar count so
// that it ends within a row of the next boundary; libopenmpt then measures every order's start
// for "mystified.env". "mystified.m3d" carries three drum samples as MP3 streams, zeroed in
// the stored module.
//
// The mix is stereo the way a tracker musician sets one up: every sample has a default
// panning (kick, bass and crash in the middle, snare a little left, hats and clap right), and
// set-panning effects (8xx) on note rows place the voices that share an instrument: the pad's
// three voices spread left, right and centre and swap sides at each chord change, the lead's
// echo answers from the other side, and the arpeggio bounces between left and right. Panning
// never touches the speed or tempo commands, so every order starts where it did in mono.
#include <algorithm>
#include <cmath>
#include <iterator>

#include <libopenmpt/libopenmpt.h>

#include "tools/common/sample_compressor.h"
#include "tools/common/xm_writer.h"
#include "tools/forge/forge.h"
#include "tools/forge/random.h"
#include "tools/forge/synth.h"

namespace forge {

namespace {

// Instruments, 1-based as the patterns name them.
enum Instrument : uint8_t {
    Kick = 1,
    Snare,
    Clap,
    ClosedHat,
    OpenHat,
    Crash,
    Bass,
    Pad,
    Lead,
    Bell,
    Pluck,
    Riser
};

// Channels.
enum : int {
    ChKick,
    ChSnare,
    ChHat,
    ChBass,
    ChPadA,
    ChPadB = ChPadA + 3,
    ChLead = ChPadB + 3,
    ChArp,
    ChFx,
    ChEcho,
    Channels
};

constexpr int rowsPerBar = 16;

// Panning positions, 0 far left .. 255 far right.
constexpr int centre = 0x80;
constexpr int arpLeft = 0x40, arpRight = 0xC0; // the arpeggio alternates note by note
constexpr int leadPan = 0x60, echoPan = 0xD0;  // the echo answers from the other side
// The pad's voices, lowest first; the other set of pad channels mirrors them, so the chord
// swaps sides at every change.
constexpr int padPans[3] = {0x28, 0xD8, 0x70};
// Each instrument's own panning, in instrument order: where a note sits without an 8xx.
constexpr uint8_t samplePans[] = {
    0x80, // kick
    0x68, // snare
    0xA0, // clap
    0xB0, // closed hat
    0xB8, // open hat
    0x78, // crash
    0x80, // bass
    0x80, // pad
    0x60, // lead
    0xA8, // bell
    0x58, // pluck
    0x80, // riser
};
static_assert(std::size(samplePans) == Riser, "one panning per instrument");

// Demo times (seconds) at which the schedule changes scene; each starts a section.
constexpr double boundaries[] = {22, 35.5, 44.4, 58.9, 69.753, 104, 138.302, 155.44, 172};

enum class Drums { None, Sparse, HalfTime, Four, Break, Climax };
enum class BassLine { None, Long, Quarter, Drive, Syncopated };
enum class ArpKind { None, BellEighths, PluckSixteenths, BellSparse };

struct Chord {
    int root; // pitch class, 0 = C
    bool minor;
};
constexpr Chord Am{9, true}, Dm{2, true}, Em{4, true}, F{5, false}, C{0, false}, G{7, false},
    E{4, false};

struct SectionPlan {
    const char* name;
    int preferredBpm;
    std::vector<Chord> chords;
    int barsPerChord;
    Drums drums;
    BassLine bass;
    ArpKind arp;
    bool lead;
    int leadOctave; // added to the melody's octave
    bool crashAtStart;
};

// The song: intro, poem, boxes, wobble, checks, pounding, credits, facets, tunnel, outro.
const SectionPlan plans[] = {
    {"intro",
     118,
     {Am, F, C, G},
     2,
     Drums::Sparse,
     BassLine::Long,
     ArpKind::BellEighths,
     false,
     0,
     false},
    {"poem",
     122,
     {Am, F, C, G},
     1,
     Drums::HalfTime,
     BassLine::Quarter,
     ArpKind::PluckSixteenths,
     false,
     0,
     true},
    {"boxes", 128, {Am, G, F, E}, 1, Drums::Four, BassLine::Drive, ArpKind::None, true, 0, true},
    {"wobble",
     126,
     {Dm, Am, F, E},
     1,
     Drums::Break,
     BassLine::Syncopated,
     ArpKind::BellSparse,
     true,
     0,
     true},
    {"checks",
     130,
     {Am, G, F, E},
     1,
     Drums::Four,
     BassLine::Drive,
     ArpKind::PluckSixteenths,
     true,
     0,
     true},
    {"pounding",
     128,
     {Am, F, C, G},
     1,
     Drums::Climax,
     BassLine::Drive,
     ArpKind::PluckSixteenths,
     true,
     0,
     true},
    {"credits",
     120,
     {F, G, Em, Am},
     2,
     Drums::HalfTime,
     BassLine::Long,
     ArpKind::BellEighths,
     true,
     -1,
     true},
    {"facets",
     126,
     {Dm, Am, F, E},
     1,
     Drums::Four,
     BassLine::Drive,
     ArpKind::PluckSixteenths,
     false,
     0,
     true},
    {"tunnel",
     128,
     {Am, F, C, G},
     1,
     Drums::Climax,
     BassLine::Drive,
     ArpKind::PluckSixteenths,
     true,
     1,
     true},
    {"outro",
     124,
     {Am, F, C, G},
     2,
     Drums::HalfTime,
     BassLine::Long,
     ArpKind::BellSparse,
     true,
     0,
     true},
};
constexpr int sectionCount = static_cast<int>(sizeof plans / sizeof plans[0]);

struct Timing {
    int rows;
    int bpm;
};

double rowSeconds(int bpm) {
    return 6 * 2.5 / bpm; // speed 6 ticks per row
}

// Picks each section's length (whole or half bars) and tempo so that it ends as near its
// boundary as a row allows, with tempos close to the section's own.
std::vector<Timing> planTiming() {
    std::vector<Timing> out;
    double start = 0;
    for (int s = 0; s < sectionCount; ++s) {
        Timing best{0, 0};
        double bestCost = 1e9;
        const bool last = s == sectionCount - 1;
        const double target = last ? 189.0 : boundaries[s];
        for (int bpm = 112; bpm <= 140; ++bpm) {
            for (int rows = 8; rows <= 48 * rowsPerBar; rows += 8) {
                const double end = start + rows * rowSeconds(bpm);
                const double miss = std::fabs(end - target) / rowSeconds(bpm);
                const double cost = miss * 10 + std::abs(bpm - plans[s].preferredBpm) * 0.4 +
                                    (rows % rowsPerBar ? 3.0 : 0.0);
                if ((last ? end >= target : miss <= 0.5) && cost < bestCost) {
                    bestCost = cost;
                    best = {rows, bpm};
                }
            }
        }
        out.push_back(best);
        start += best.rows * rowSeconds(best.bpm);
    }
    return out;
}

// The whole song as one long grid of rows x channels.
struct Grid {
    int rows = 0;
    std::vector<XmCell> cells;
    XmCell& at(int row, int channel) {
        return cells[static_cast<size_t>(row) * Channels + static_cast<size_t>(channel)];
    }
    // A note at `volume` (0..64). With `pan` (0 far left .. 255 far right) the row also sets
    // the channel's panning, which holds until the next note with an instrument brings back
    // the sample's own; the effect column's speed and tempo commands are never replaced.
    void note(int row, int channel, uint8_t instrument, int midi, int volume, int pan = -1) {
        if (row < 0 || row >= rows) {
            return;
        }
        XmCell& c = at(row, channel);
        c.note = static_cast<uint8_t>(std::clamp(midi - 11, 1, 96)); // C-4 (MIDI 60) is note 49
        c.instrument = instrument;
        c.volume = static_cast<uint8_t>(0x10 + std::clamp(volume, 0, 64));
        if (pan >= 0 && c.effect == 0) {
            c.effect = 0x08;
            c.param = static_cast<uint8_t>(std::clamp(pan, 0, 255));
        }
    }
    // Quick fade of whatever plays on the channel (volume slide down 15 per tick). It takes the
    // place of a panning on the same row: the fade matters more than where a fading note sits.
    void release(int row, int channel) {
        if (row >= 0 && row < rows &&
            (at(row, channel).effect == 0 || at(row, channel).effect == 0x08)) {
            at(row, channel).effect = 0x0A;
            at(row, channel).param = 0x0F;
        }
    }
};

int chordTone(const Chord& c, int degree) { // 0 root, 1 third, 2 fifth
    const int steps[3] = {0, c.minor ? 3 : 4, 7};
    return c.root + steps[degree];
}

// A triad near `around` (MIDI), so the pad moves as little as possible between chords.
std::vector<int> voicing(const Chord& c, int around) {
    std::vector<int> notes;
    for (int d = 0; d < 3; ++d) {
        int n = chordTone(c, d);
        while (n < around - 6) {
            n += 12;
        }
        while (n > around + 6) {
            n -= 12;
        }
        notes.push_back(n);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

const int minorScale[7] = {9, 11, 0, 2, 4, 5, 7}; // A natural minor, as pitch classes

bool inScale(int midi) {
    const int pc = ((midi % 12) + 12) % 12;
    return std::find(std::begin(minorScale), std::end(minorScale), pc) != std::end(minorScale);
}

int nearestChordTone(const Chord& c, int near) {
    int best = near, bestDistance = 99;
    for (int n = near - 7; n <= near + 7; ++n) {
        const int pc = ((n % 12) + 12) % 12;
        for (int d = 0; d < 3; ++d) {
            if (pc == ((chordTone(c, d) % 12) + 12) % 12 && std::abs(n - near) < bestDistance) {
                best = n;
                bestDistance = std::abs(n - near);
            }
        }
    }
    return best;
}

int scaleStep(int midi, int steps) {
    int n = midi;
    const int dir = steps > 0 ? 1 : -1;
    for (int k = 0; k != steps; k += dir) {
        do {
            n += dir;
        } while (!inScale(n));
    }
    return n;
}

// Rhythms of one bar: (start step, length in steps) in sixteenths.
const std::vector<std::vector<std::pair<int, int>>> rhythms = {
    {{0, 4}, {4, 2}, {6, 2}, {8, 6}, {14, 2}},
    {{0, 3}, {3, 3}, {6, 2}, {8, 4}, {12, 4}},
    {{0, 8}, {8, 2}, {10, 2}, {12, 4}},
    {{0, 2}, {2, 2}, {4, 4}, {10, 2}, {12, 4}},
    {{0, 6}, {6, 6}, {12, 4}},
    {{0, 12}, {12, 4}},
};

struct MelodyNote {
    int step, length, midi;
};

// A four-bar phrase over the given chords: chord tones on the strong steps, scale steps in
// between, ending on a chord tone.
std::vector<MelodyNote> phrase(Random& rng, const std::vector<Chord>& chords, int firstBar,
                               int barsPerChord, int base, bool calm) {
    std::vector<MelodyNote> notes;
    int pitch = base;
    const int pick[4] = {calm ? 2 : rng.below(2), calm ? 4 : 1 + rng.below(3),
                         calm ? 2 : rng.below(4), calm ? 5 : 4};
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& chord =
            chords[static_cast<size_t>((firstBar + bar) / barsPerChord) % chords.size()];
        for (const auto& [step, length] : rhythms[static_cast<size_t>(pick[bar])]) {
            if (step % 8 == 0) {
                pitch = nearestChordTone(chord, pitch + rng.below(5) - 2);
            } else {
                pitch = scaleStep(pitch, rng.chance(0.5f) ? 1 : -1);
                if (rng.chance(0.3f)) {
                    pitch = scaleStep(pitch, rng.chance(0.5f) ? 1 : -1);
                }
            }
            pitch = std::clamp(pitch, base - 5, base + 12);
            notes.push_back({bar * rowsPerBar + step, length, pitch});
        }
    }
    notes.back().midi =
        nearestChordTone(chords[static_cast<size_t>((firstBar + 3) / barsPerChord) % chords.size()],
                         notes.back().midi);
    return notes;
}

void drumBar(Grid& g, int row, Drums kind, int bar, int barsInSection, Random& rng) {
    const bool lastBar = bar == barsInSection - 1;
    switch (kind) {
        case Drums::None:
            return;
        case Drums::Sparse:
            if (bar >= barsInSection - 4) {
                for (int s = 2; s < 16; s += 4) {
                    g.note(row + s, ChHat, ClosedHat, 60, 20 + 4 * (bar - barsInSection + 4));
                }
            }
            if (bar >= barsInSection - 2) {
                g.note(row, ChKick, Kick, 60, 36);
            }
            return;
        case Drums::HalfTime:
            g.note(row, ChKick, Kick, 60, 56);
            g.note(row + 10, ChKick, Kick, 60, 44);
            g.note(row + 8, ChSnare, Snare, 60, 48);
            for (int s = 0; s < 16; s += 2) {
                g.note(row + s, ChHat, ClosedHat, 60, s % 4 == 2 ? 36 : 22);
            }
            break;
        case Drums::Four:
        case Drums::Climax:
            for (int s = 0; s < 16; s += 4) {
                g.note(row + s, ChKick, Kick, 60, 60);
            }
            g.note(row + 4, ChSnare, kind == Drums::Climax ? Snare : Clap, 60, 50);
            g.note(row + 12, ChSnare, Clap, 60, 50);
            for (int s = 2; s < 16; s += 4) {
                g.note(row + s, ChHat, s == 14 && kind == Drums::Climax ? OpenHat : ClosedHat, 60,
                       40);
            }
            if (kind == Drums::Climax) {
                for (int s = 1; s < 16; s += 2) {
                    if (g.at(row + s, ChHat).note == 0) {
                        g.note(row + s, ChHat, ClosedHat, 60, 18);
                    }
                }
            }
            break;
        case Drums::Break:
            g.note(row, ChKick, Kick, 60, 60);
            g.note(row + 6, ChKick, Kick, 60, 48);
            g.note(row + 10, ChKick, Kick, 60, 52);
            g.note(row + 4, ChSnare, Snare, 60, 52);
            g.note(row + 12, ChSnare, Snare, 60, 52);
            for (int s = 0; s < 16; ++s) {
                g.note(row + s, ChHat, ClosedHat, 60,
                       s % 4 == 0 ? 36 : (s % 2 ? 16 : 26) + rng.below(6));
            }
            break;
    }
    if (lastBar) { // a fill into the next section
        for (int s = 8; s < 16; ++s) {
            g.note(row + s, ChSnare, Snare, 60, 30 + 4 * (s - 8));
        }
    }
}

void bassBar(Grid& g, int row, BassLine kind, const Chord& chord) {
    const int root = 33 + ((chord.root - 9 + 12) % 12); // A1 .. G#2
    const int fifth = root + 7;
    switch (kind) {
        case BassLine::None:
            return;
        case BassLine::Long:
            g.note(row, ChBass, Bass, root, 44);
            g.note(row + 8, ChBass, Bass, root + 12, 30);
            return;
        case BassLine::Quarter:
            for (int s = 0; s < 16; s += 4) {
                g.note(row + s, ChBass, Bass, s == 8 ? fifth : root, 48);
            }
            return;
        case BassLine::Drive:
            for (int s = 0; s < 16; s += 2) {
                g.note(row + s, ChBass, Bass, s % 4 == 2 ? root + 12 : root, s % 4 == 2 ? 40 : 52);
            }
            return;
        case BassLine::Syncopated:
            for (int s : {0, 3, 6, 8, 11, 14}) {
                g.note(row + s, ChBass, Bass, s == 6 || s == 14 ? fifth : root, 50);
            }
            return;
    }
}

void arpBar(Grid& g, int row, ArpKind kind, const Chord& chord, int bar) {
    const std::vector<int> triad = voicing(chord, 76);
    switch (kind) {
        case ArpKind::None:
            return;
        case ArpKind::BellEighths:
            for (int s = 0; s < 16; s += 2) {
                const int i = (s / 2) % 4;
                g.note(row + s, ChArp, Bell,
                       triad[static_cast<size_t>(i == 3 ? 1 : i)] + (i == 3 ? 12 : 0), 22,
                       i % 2 ? arpRight : arpLeft);
            }
            return;
        case ArpKind::PluckSixteenths:
            for (int s = 0; s < 16; ++s) {
                const int pattern[8] = {0, 1, 2, 1, 0, 2, 1, 2};
                g.note(row + s, ChArp, Pluck,
                       triad[static_cast<size_t>(pattern[s % 8])] + (s % 8 == 5 ? 12 : 0),
                       s % 4 == 0 ? 34 : 24, s % 2 ? arpRight : arpLeft);
            }
            return;
        case ArpKind::BellSparse:
            g.note(row, ChArp, Bell, triad[2] + 12, 26, arpLeft);
            g.note(row + 6, ChArp, Bell, triad[1] + 12, 20, arpRight);
            if (bar % 2 == 1) {
                g.note(row + 12, ChArp, Bell, triad[0] + 12, 20, centre);
            }
            return;
    }
}

struct Composition {
    Grid grid;
    std::vector<int> sectionStartRow;
    std::vector<Timing> timing;
};

Composition compose() {
    Composition c;
    c.timing = planTiming();
    int total = 0;
    for (const Timing& t : c.timing) {
        c.sectionStartRow.push_back(total);
        total += t.rows;
    }
    const int codaRows = 2 * rowsPerBar;
    c.grid.rows = total + codaRows;
    c.grid.cells.assign(static_cast<size_t>(c.grid.rows) * Channels, XmCell{});
    Grid& g = c.grid;
    Random rng(4242);
    int padCentre = 64;
    bool padSetA = true;
    for (int s = 0; s < sectionCount; ++s) {
        const SectionPlan& p = plans[s];
        const int start = c.sectionStartRow[static_cast<size_t>(s)];
        const int rows = c.timing[static_cast<size_t>(s)].rows;
        const int bars = (rows + rowsPerBar - 1) / rowsPerBar;
        // Tempo for the section, on the effect channel.
        g.at(start, ChFx).effect = 0x0F;
        g.at(start, ChFx).param = static_cast<uint8_t>(c.timing[static_cast<size_t>(s)].bpm);
        if (p.crashAtStart) {
            g.note(start, ChFx, Crash, 60, 40);
        }
        if (s == 0 || s == 6 || s == 7) { // a riser into the next section
            const int riserRow = start + rows - 2 * rowsPerBar;
            g.note(riserRow, ChFx, Riser, 60, 38); // the next section's crash cuts it
        }
        // Melody: phrases of four bars, the second a variation of the first.
        std::vector<MelodyNote> melody;
        if (p.lead) {
            Random mr(500 + static_cast<uint64_t>(s));
            const bool calm = s == 6 || s == sectionCount - 1;
            const int base = 76 + 12 * p.leadOctave;
            const std::vector<MelodyNote> a = phrase(mr, p.chords, 0, p.barsPerChord, base, calm);
            std::vector<MelodyNote> b = phrase(mr, p.chords, 4, p.barsPerChord, base, calm);
            // The answer repeats the call's first two bars.
            b.erase(std::remove_if(b.begin(), b.end(),
                                   [](const MelodyNote& n) { return n.step < 2 * rowsPerBar; }),
                    b.end());
            for (const MelodyNote& n : a) {
                if (n.step < 2 * rowsPerBar) {
                    b.insert(b.begin(), n);
                }
            }
            std::sort(b.begin(), b.end(),
                      [](const MelodyNote& x, const MelodyNote& y) { return x.step < y.step; });
            for (int bar = 0; bar + 4 <= bars; bar += 4) {
                const bool quietBars = s == 5 && bar >= 8 && bar < 10; // the break in the middle
                const std::vector<MelodyNote>& use = (bar / 4) % 2 == 0 ? a : b;
                for (const MelodyNote& n : use) {
                    if (quietBars || (s == 6 && bar < 4)) {
                        continue;
                    }
                    melody.push_back({bar * rowsPerBar + n.step, n.length, n.midi});
                }
            }
        }
        for (const MelodyNote& n : melody) {
            const int row = start + n.step;
            if (n.step >= rows) {
                continue;
            }
            g.note(row, ChLead, Lead, n.midi, 44, leadPan);
            g.release(row + n.length - 1, ChLead);
            g.note(row + 3, ChEcho, Lead, n.midi, 16, echoPan);
            g.release(row + 3 + n.length - 1, ChEcho);
        }
        for (int bar = 0; bar < bars; ++bar) {
            const int row = start + bar * rowsPerBar;
            const Chord& chord =
                p.chords[static_cast<size_t>(bar / p.barsPerChord) % p.chords.size()];
            const bool outroEnd = s == sectionCount - 1 && bar >= bars - 2;
            const bool breakBars = s == 5 && (bar == 8 || bar == 9);
            Drums drums = p.drums;
            if (s == 6 && bar < 8) {
                drums = Drums::None; // the credits open without drums
            }
            if (breakBars || (s == sectionCount - 1 && bar >= 4)) {
                drums = Drums::None;
            }
            drumBar(g, row, drums, bar, bars, rng);
            if (s == 6 && bar >= 8 && bar < 10) {
                drumBar(g, row, Drums::Sparse, 0, 2, rng);
            }
            if (!breakBars) {
                bassBar(g, row,
                        outroEnd ? BassLine::Long : (s == 6 && bar < 4 ? BassLine::None : p.bass),
                        chord);
            }
            if (!outroEnd || bar == bars - 2) {
                arpBar(g, row, p.arp, chord, bar);
            }
            // Pad: a new voicing when the chord changes, the old chord faded on its channels.
            if (bar % p.barsPerChord == 0) {
                const int base = padSetA ? ChPadA : ChPadB, old = padSetA ? ChPadB : ChPadA;
                const std::vector<int> v = voicing(chord, padCentre);
                const int volume =
                    outroEnd ? 30 - 8 * (bar - bars + 2) : (s == 0 && bar < 2 ? 26 + 6 * bar : 34);
                for (int k = 0; k < 3; ++k) {
                    const int pan = padSetA ? padPans[k] : 255 - padPans[k];
                    g.note(row, base + k, Pad, v[static_cast<size_t>(k)], volume, pan);
                    g.release(row, old + k);
                }
                padSetA = !padSetA;
            }
        }
        padCentre = 64 + (s % 3) - 1;
    }
    // The coda: the last chord fades over two silent bars.
    for (int k = 0; k < 3; ++k) {
        g.release(total + rowsPerBar, ChPadA + k);
        g.release(total + rowsPerBar, ChPadB + k);
    }
    g.release(total, ChArp);
    return c;
}

// Cuts the grid into patterns: two bars each, a section's odd rest in its own pattern.
void toSong(const Composition& c, XmSong& song) {
    song.name = "mystified";
    song.channels = Channels;
    song.tempo = 6;
    song.bpm = c.timing[0].bpm;
    std::vector<int> cuts;
    for (size_t s = 0; s < c.timing.size(); ++s) {
        const int start = c.sectionStartRow[s];
        const int end = start + c.timing[s].rows;
        for (int r = start; r < end; r += 2 * rowsPerBar) {
            cuts.push_back(r);
        }
    }
    cuts.push_back(c.grid.rows - 2 * rowsPerBar); // the coda
    cuts.push_back(c.grid.rows);
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        int end = cuts[i + 1];
        for (size_t s = 0; s < c.timing.size(); ++s) { // never run across a section start
            const int sectionEnd = c.sectionStartRow[s] + c.timing[s].rows;
            if (cuts[i] < sectionEnd && end > sectionEnd) {
                end = sectionEnd;
            }
        }
        XmPattern p;
        p.rows = end - cuts[i];
        p.cells.assign(c.grid.cells.begin() + static_cast<long>(cuts[i]) * Channels,
                       c.grid.cells.begin() + static_cast<long>(end) * Channels);
        song.orders.push_back(static_cast<uint8_t>(song.patterns.size()));
        song.patterns.push_back(std::move(p));
        if (end != cuts[i + 1]) {
            cuts.insert(cuts.begin() + static_cast<long>(i) + 1, end);
        }
    }
    for (const SynthSample& s : synthesiseInstruments()) {
        XmSampleSpec sample;
        sample.name = s.name;
        sample.values = s.values;
        sample.volume = 64;
        sample.panning = samplePans[song.instruments.size() % std::size(samplePans)];
        xmTuning(s.rate, s.pitchMidi, sample.relativeNote, sample.finetune);
        XmInstrumentSpec instrument;
        instrument.name = s.name;
        instrument.samples.push_back(sample);
        song.instruments.push_back(instrument);
    }
}

// Order start times as libopenmpt computes them.
bool measure(const std::vector<unsigned char>& module, size_t orders, MusicTiming& timing,
             std::string& error) {
    openmpt_module* m =
        openmpt_module_create_from_memory2(module.data(), module.size(), nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr);
    if (!m) {
        error = "libopenmpt cannot read the module";
        return false;
    }
    timing.length = openmpt_module_get_duration_seconds(m);
    timing.orderStarts.clear();
    for (size_t i = 0; i < orders; ++i) {
        timing.orderStarts.push_back(
            openmpt_module_set_position_order_row(m, static_cast<int32_t>(i), 0));
    }
    openmpt_module_destroy(m);
    return true;
}

} // namespace

bool makeMusic(Assets& out, MusicTiming& timing, std::string& error) {
    const Composition c = compose();
    XmSong song;
    toSong(c, song);
    const std::vector<unsigned char> module = writeXm(song);
    if (!measure(module, song.orders.size(), timing, error)) {
        return false;
    }
    // Sections start where their first pattern starts.
    timing.sections.clear();
    double t = 0;
    for (const Timing& s : c.timing) {
        timing.sections.push_back({t, 4 * rowSeconds(s.bpm)});
        t += s.rows * rowSeconds(s.bpm);
    }

    CompressOptions options;
    options.samples = {Kick, Snare, Crash}; // one instrument per sample, so the numbers agree
    options.verify = false;
    std::vector<unsigned char> stored, companion;
    std::vector<SampleReport> report;
    if (!compressSamples(module, options, stored, companion, report, error)) {
        return false;
    }
    for (const SampleReport& r : report) {
        if (!r.compressed || r.clipped > 0) {
            error = "sample " + r.name + " was not compressed cleanly: " + r.reason;
            return false;
        }
    }
    addAsset(out, "mystified.xm", std::move(stored));
    addAsset(out, "mystified.m3d", std::move(companion));
    return true;
}

} // namespace forge
