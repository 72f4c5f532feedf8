// xm_writer.cpp - the FastTracker 2 XM layout from an XmSong.
#include "tools/common/xm_writer.h"

#include <algorithm>
#include <cstring>

namespace {

struct Out {
    std::vector<unsigned char> bytes;
    void u8(unsigned v) { bytes.push_back(static_cast<unsigned char>(v)); }
    void u16(unsigned v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void text(const std::string& s, size_t n, char pad = '\0') {
        for (size_t i = 0; i < n; ++i) {
            u8(static_cast<unsigned char>(i < s.size() ? s[i] : pad));
        }
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
};

// Packed cell: a flag byte (0x80 | which fields follow) unless all five fields are present.
void packCell(Out& o, const XmCell& c) {
    unsigned flags = 0x80;
    flags |= c.note ? 0x01 : 0;
    flags |= c.instrument ? 0x02 : 0;
    flags |= c.volume ? 0x04 : 0;
    flags |= c.effect ? 0x08 : 0;
    flags |= c.param ? 0x10 : 0;
    if (flags == 0x9F) {
        o.u8(c.note);
        o.u8(c.instrument);
        o.u8(c.volume);
        o.u8(c.effect);
        o.u8(c.param);
        return;
    }
    o.u8(flags);
    if (c.note) {
        o.u8(c.note);
    }
    if (c.instrument) {
        o.u8(c.instrument);
    }
    if (c.volume) {
        o.u8(c.volume);
    }
    if (c.effect) {
        o.u8(c.effect);
    }
    if (c.param) {
        o.u8(c.param);
    }
}

} // namespace

std::vector<unsigned char> writeXm(const XmSong& song) {
    Out o;
    o.text("Extended Module: ", 17);
    o.text(song.name, 20);
    o.u8(0x1A);
    o.text("tirval xm writer", 20, ' ');
    o.u16(0x0104);
    o.u32(276); // header size from this field on
    o.u16(static_cast<unsigned>(song.orders.size()));
    o.u16(static_cast<unsigned>(song.restart));
    o.u16(static_cast<unsigned>(song.channels));
    o.u16(static_cast<unsigned>(song.patterns.size()));
    o.u16(static_cast<unsigned>(song.instruments.size()));
    o.u16(song.linearFrequencies ? 1 : 0);
    o.u16(static_cast<unsigned>(song.tempo));
    o.u16(static_cast<unsigned>(song.bpm));
    for (size_t i = 0; i < 256; ++i) {
        o.u8(i < song.orders.size() ? song.orders[i] : 0);
    }

    for (const XmPattern& p : song.patterns) {
        Out packed;
        const size_t cellCount = static_cast<size_t>(p.rows) * song.channels;
        for (size_t i = 0; i < cellCount; ++i) {
            packCell(packed, i < p.cells.size() ? p.cells[i] : XmCell{});
        }
        o.u32(9);
        o.u8(0);
        o.u16(static_cast<unsigned>(p.rows));
        o.u16(static_cast<unsigned>(packed.bytes.size()));
        o.bytes.insert(o.bytes.end(), packed.bytes.begin(), packed.bytes.end());
    }

    for (const XmInstrumentSpec& ins : song.instruments) {
        const size_t start = o.bytes.size();
        o.u32(ins.samples.empty() ? 29 : 263);
        o.text(ins.name, 22);
        o.u8(0);
        o.u16(static_cast<unsigned>(ins.samples.size()));
        if (ins.samples.empty()) {
            continue;
        }
        o.u32(40);
        o.zeros(96); // every key plays sample 0
        // Volume envelope, panning envelope and their settings: none.
        o.zeros(48 + 48 + 14);
        o.u16(0); // fade-out
        o.zeros(263 - (o.bytes.size() - start));
        for (const XmSampleSpec& s : ins.samples) {
            const uint32_t width = s.sixteenBit ? 2 : 1;
            o.u32(static_cast<uint32_t>(s.values.size()) * width);
            o.u32(s.loopStart * width);
            o.u32(s.loopLength * width);
            o.u8(s.volume);
            o.u8(static_cast<uint8_t>(s.finetune));
            o.u8((s.loopType & 3) | (s.sixteenBit ? 0x10 : 0));
            o.u8(s.panning);
            o.u8(static_cast<uint8_t>(s.relativeNote));
            o.u8(0);
            o.text(s.name, 22);
        }
        for (const XmSampleSpec& s : ins.samples) {
            int previous = 0;
            for (int16_t v : s.values) {
                if (s.sixteenBit) {
                    o.u16(static_cast<uint16_t>(v - previous));
                } else {
                    o.u8(static_cast<uint8_t>(v - previous));
                }
                previous = v;
            }
        }
    }
    return o.bytes;
}
