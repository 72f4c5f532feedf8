// synth.h - the module's instruments, synthesised: drums from noise and swept sines, bass, pad
// and lead from band-limited oscillators and one-pole filters, bells from FM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace forge {

struct SynthSample {
    std::string name;
    int rate = 44100;   // sampling rate the waveform was made at
    int pitchMidi = 60; // the note (MIDI number) it sounds at that rate
    std::vector<int16_t> values;
};

// The instruments in module order: kick, snare, clap, closed hat, open hat, crash, bass, pad,
// lead, bell, pluck, riser. Peaks stay at or below about 26000 so that compressed copies come
// back without clipping.
std::vector<SynthSample> synthesiseInstruments();

// XM tuning for a sample: relative note and finetune (1/128 semitone) so that the note
// `pitchMidi` plays the waveform at `rate`, with the linear frequency table.
void xmTuning(int rate, int pitchMidi, int8_t& relativeNote, int8_t& finetune);

} // namespace forge
