// xm_writer.h - writes small XM modules from a plain description: order list, patterns of
// notes, instruments with one or more 8- or 16-bit samples. Tests use it for modules whose every
// order and sample they know; the data generator may use it for a stand-in "mystified.xm".
//
// What it writes is the FastTracker 2 layout (version 0x0104): a 276-byte header with the
// order table, packed patterns, then per instrument its 263-byte header, 40-byte sample headers
// and the delta-coded sample data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0;       // 1..96 (C-0 .. B-7), 97 key off, 0 none
    uint8_t instrument = 0; // 1-based, 0 none
    uint8_t volume = 0;     // volume column byte (0x10..0x50 set volume 0..64), 0 none
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;
    std::vector<XmCell> cells; // rows x channels, row-major; missing cells are empty
};

struct XmSampleSpec {
    std::string name;
    bool sixteenBit = true;
    std::vector<int16_t> values;            // plain values; 8-bit samples use -128..127
    uint32_t loopStart = 0, loopLength = 0; // in sample frames
    uint8_t loopType = 0;                   // 0 none, 1 forward, 2 ping-pong
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
};

struct XmInstrumentSpec {
    std::string name;
    std::vector<XmSampleSpec> samples; // every key plays the first sample
};

struct XmSong {
    std::string name = "untitled";
    int channels = 4;
    int tempo = 6; // ticks per row
    int bpm = 125; // a tick lasts 2.5 / bpm seconds
    int restart = 0;
    bool linearFrequencies = true;
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrumentSpec> instruments;
};

std::vector<unsigned char> writeXm(const XmSong& song);
