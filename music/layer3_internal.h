// layer3_internal.h - what the Layer III decoder's sources share: the constant values of the
// standard (bitrates, scale-factor bands, Huffman codes, synthesis window), the tables built
// from them by initDecoderTables (powers, gains, IMDCT windows, Huffman look-up structures),
// and the hybrid and polyphase synthesis with their process-wide state.
#pragma once

#include <cstdint>

namespace layer3 {

constexpr int subbands = 32;
constexpr int slotsPerGranule = 18;

// ---------------------------------------------------------------------------------------------
// Constant tables.
extern const int bitrateKbps[16];  // Layer III, MPEG-1; index 0 (free format) and 15 are 0
extern const int samplingRates[4]; // index 3 is reserved: 0
struct BandBoundaries {
    short longStart[23];  // 22 long scale-factor bands, ending at 576
    short shortStart[14]; // 13 short bands per window, ending at 192
};
extern const BandBoundaries bandBoundaries[3]; // by sampling-frequency index
extern const uint8_t pretab[22];
extern const uint8_t slenTable[2][16]; // scale-factor bit counts by scalefac_compress
extern const double aliasCoefficients[8];
// The synthesis window D[0..256] times 65536 (every value of the standard's table is a multiple
// of 2^-16); the other half follows from the prototype filter's symmetry.
extern const int32_t synthesisWindowHalf[257];

// The Huffman code data of one table as the standard lists it: pairs (x, y) in the order
// x * dim + y (quadruples v*8 + w*4 + x*2 + y for the count1 tables).
struct HuffmanCodeSource {
    int dim;      // 0: no codes (table 0, or the unused tables 4 and 14 when invalid is set)
    int linbits;  // escape extension bits for value 15
    bool invalid; // tables 4 and 14 do not exist
    const uint16_t* codes;
    const uint8_t* lengths;
};
// Tables 0..31 are the big-value tables; 32 and 33 are count1 tables A and B.
extern const HuffmanCodeSource huffmanSources[34];

// ---------------------------------------------------------------------------------------------
// Tables built by initDecoderTables.

// |x|^(4/3) with sign for x in -powLimit..powLimit. 15 + 2^13 - 1 is the largest magnitude
// that linbits can express, so no decoded value falls outside.
constexpr int powLimit = 8206;
extern float powTable[2 * powLimit + 1]; // index x + powLimit
// 2^(i/4) for i = -127..45 (index i + 127); smaller exponents are computed exactly.
extern float gainTable[173];
float exactGainFactor(int exponent);
inline float gainFactor(int exponent) {
    return exponent >= -127 ? gainTable[exponent + 127] : exactGainFactor(exponent);
}

// The 36-point windows by block type (0 normal, 1 start, 3 stop; 2 holds the short window in
// its first 12 entries).
extern float imdctWindows[4][36];
// Intensity-stereo ratios: left share tan(p*pi/12) / (1 + tan(p*pi/12)) for p = 0..6.
extern float intensityLeft[7];
extern float intensityRight[7];
extern float aliasCs[8];
extern float aliasCa[8];
// The synthesis window D[0..511] of the standard.
extern float synthesisWindow[512];

// Huffman look-up structure of one table.
//
// `entries` holds every code sorted by value, each packed as the code left-aligned in bits
// 31..13 (codes have at most 19 bits), its length in bits 8..12 and the symbol in bits 0..7
// (x * 16 + y for pairs, vwxy for quadruples). `bucketStart[b]` is the last entry whose code is
// not above b << 28, so the code that starts a bit string with first four bits b lies between
// bucketStart[b] and bucketStart[b + 1]: for a prefix code it is the largest code that is not
// above the bit string.
//
// The fast path resolves codes of up to 14 bits with at most two look-ups in `huffmanPool`:
// the entry at fastBase + (first 8 bits) is a leaf (bit 31 clear: length in bits 8..12,
// symbol in bits 0..7, length 0 when no code starts that way), a second-level table (bit 31
// set: start in bits 0..15, index width in bits 16..20, indexed by the next bits), or
// huffmanSlowPath for the rare longer codes, which are found by searching `entries`.
struct HuffmanTable {
    bool present = false; // false for the tables 4 and 14, which do not exist
    int linbits = 0;
    int entryCount = 0;
    uint32_t fastBase = 0;
    uint8_t bucketStart[17] = {};
    uint32_t entries[256] = {};
};
constexpr int huffmanFastBits = 8;
constexpr int huffmanSubtableMaxBits = 6;
constexpr uint32_t huffmanSubtableFlag = 0x80000000u;
constexpr uint32_t huffmanSlowPath = 0xFFFFFFFFu;
constexpr int huffmanPoolSize = 6144;
extern HuffmanTable huffmanTables[34];
extern uint32_t huffmanPool[huffmanPoolSize];

void buildHuffmanTables();
// How much of huffmanPool the built tables occupy.
uint32_t huffmanPoolUsed();
// The search through the sorted entries: `window` holds the next 32 bits of the stream.
// Returns the packed entry, or 0 when no code matches.
uint32_t searchHuffmanEntries(const HuffmanTable& table, uint32_t window);

// The code that starts `window`, through the fast tables: returns an entry whose bits 8..12
// hold the code length (0 when no code matches) and bits 0..7 the symbol.
inline uint32_t lookupHuffman(const HuffmanTable& table, uint32_t window) {
    uint32_t entry = huffmanPool[table.fastBase + (window >> (32 - huffmanFastBits))];
    if (entry & huffmanSubtableFlag) {
        if (entry == huffmanSlowPath) {
            return searchHuffmanEntries(table, window);
        }
        const int subBits = static_cast<int>((entry >> 16) & 31);
        entry = huffmanPool[(entry & 0xFFFF) + ((window << huffmanFastBits) >> (32 - subBits))];
    }
    return entry;
}

// ---------------------------------------------------------------------------------------------
// Hybrid and polyphase synthesis (layer3_synth.cpp). The overlap buffers, the rings and their
// positions are process-wide, one set per channel.

void buildSynthesisTables();

// Turns one granule's 576 spectral lines of channel `ch` (short-block lines interleaved as
// 3 * frequency + window) into 18 time slots of 32 subband samples, slot-major in `slots`
// (rows 18 and 19 are padding for the four-slot matrixing and stay untouched).
// `blockKind`: 0 long, 1 start/stop (by `blockType`), 2 short, 3 mixed; `mixedBlock` is the
// side information's flag, which also applies to start and stop blocks. Subbands from
// `activeSubbands` up carry no lines: they output their stored overlap only.
void hybridSynthesis(int ch, float* lines, int blockKind, int blockType, bool mixedBlock,
                     int activeSubbands, float slots[slotsPerGranule + 2][subbands]);

// Runs the polyphase filter bank over 18 slots of channel `ch`, writing 576 samples.
void polyphaseSynthesis(int ch, const float slots[slotsPerGranule + 2][subbands], float* pcm);

void clearSynthesisState();

} // namespace layer3
