// layer3.cpp - the Layer III decoder's stream, frame and granule decoding: the memory stream
// with its process-wide bit reader, header and side information, the bit reservoir, scale
// factors, Huffman decoding, requantisation and joint stereo. The filter banks live in
// layer3_synth.cpp, the tables in layer3_tables.cpp.
#include "music/layer3.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "music/layer3_internal.h"
#include "platform/platform.h"

namespace layer3 {

void buildDecoderTables();

namespace {

// Look-ahead never leaves the stream allocation: the data is followed by this much zeroed
// slack, and the bit position never passes the end of the data.
constexpr size_t streamSlack = 2048;
// main_data_begin has 9 bits, so no frame reaches back more than 511 bytes.
constexpr int maxMainDataBegin = 511;
constexpr int reservoirSize = 2560;
// Zeroed bytes after the reservoir's data, for the main-data reader's 8-byte look-ahead and
// for a damaged granule's overrun before the next check catches it.
constexpr int reservoirSlack = 64;

// Largest stream file read: the module image that the streams restore is itself at most this.
constexpr int64_t maxStreamFileBytes = 0x7FFFFFFF;

inline uint64_t loadBigEndian64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
}

// ---------------------------------------------------------------------------------------------
// The memory stream and the process-wide reader of the selected stream.

struct ByteStream {
    unsigned char* data = nullptr; // size bytes followed by streamSlack zero bytes
    size_t size = 0;
    size_t bitPosition = 0; // saved position while another stream is selected
};

struct StreamReader {
    const unsigned char* data = nullptr;
    size_t sizeBits = 0;
    size_t position = 0; // in bits, never past sizeBits
};

StreamReader reader;
ByteStream* currentStream = nullptr;
OutputRoutine outputRoutine = nullptr;

void select(ByteStream* stream) {
    currentStream = stream;
    reader.data = stream->data;
    reader.sizeBits = stream->size * 8;
    reader.position = stream->bitPosition;
}

void savePosition() {
    if (currentStream) {
        currentStream->bitPosition = reader.position;
    }
}

// Up to 32 bits at the position without consuming them; past the data they read as zeros.
uint32_t peekBits(int count) {
    const uint64_t v = loadBigEndian64(reader.data + (reader.position >> 3));
    return static_cast<uint32_t>((v << (reader.position & 7)) >> (64 - count));
}

void skipBits(size_t count) {
    reader.position = std::min(reader.position + count, reader.sizeBits);
}

uint32_t getBits(int count) {
    const uint32_t v = peekBits(count);
    skipBits(static_cast<size_t>(count));
    return v;
}

// Copies `count` bytes from the (byte-aligned) position; bytes past the data read as zeros.
void readBytes(unsigned char* to, size_t count) {
    const size_t at = reader.position >> 3;
    const size_t size = reader.sizeBits >> 3;
    const size_t available = at < size ? std::min(count, size - at) : 0;
    std::memcpy(to, reader.data + at, available);
    std::memset(to + available, 0, count - available);
    skipBits(count * 8);
}

// ---------------------------------------------------------------------------------------------
// Frame state.

struct Header {
    int id = 0;    // 1: MPEG-1
    int layer = 0; // 1: Layer III, 2: Layer II, 3: Layer I
    int protection = 0;
    int bitrateIndex = 0;
    int samplingIndex = 0;
    int padding = 0;
    int privateBit = 0;
    int mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int modeExtension = 0;
    int copyright = 0;
    int original = 0;
    int emphasis = 0;
};

struct GranuleChannel {
    int part23Length = 0;
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int windowSwitching = 0;
    int blockType = 0;
    int mixedBlock = 0;
    int tableSelect[3] = {};
    int subblockGain[3] = {};
    int region0Count = 0;
    int region1Count = 0;
    int preflag = 0;
    int scalefacScale = 0;
    int count1Table = 0;
    int blockKind = 0; // 0 long, 1 start/stop, 2 short, 3 mixed
    bool valid = true; // false when the side information cannot be decoded
};

struct SideInfo {
    int mainDataBegin = 0;
    int privateBits = 0;
    int scfsi[2][4] = {};
    GranuleChannel gr[2][2];
};

} // namespace

struct Decoder {
    int frameCount = 0;
    int channels = 0; // of the current frame
    // The format as the first header announced it.
    int streamChannels = 0;
    int streamSamplingRate = 0;
    int bitrate = 0;
    int samplingRate = 0;
    int frameBytes = 0;
    int headerBytes = 0;
    Header header;
    ByteStream stream;
    SideInfo side;
    int reservoirFill = 0;
    unsigned char reservoir[reservoirSize + reservoirSlack] = {};

    // What the fatal messages and the problem report call this stream.
    char name[300] = {};
    // Headers met where a frame was due (the data's start, or right after the previous frame)
    // whose fields this decoder cannot read: the first one's offset and fault, and the count.
    int rejectedHeaders = 0;
    size_t rejectedAt = 0;
    const char* rejectedFault = nullptr;
    int rejectedId = 0, rejectedLayer = 0;
    // Set by such a header until the next frame decodes.
    bool rejectionPending = false;
    char problem[400] = {};

    // Work areas of one granule.
    int scalefacLong[2][22] = {};
    int scalefacShort[2][13][3] = {};
    int values[576] = {};
    alignas(16) float lines[2][576] = {};
    int extent[2] = {}; // lines from here up are zero
    alignas(16) float slots[slotsPerGranule + 2][subbands] = {};
    alignas(16) float pcm[2][576] = {};
};

namespace {

[[noreturn]] void fatal(const Decoder* d, const char* message) {
    std::fprintf(stderr, "Error: %s\n", message);
    if (d && d->name[0]) {
        std::fprintf(stderr, "in %s\n", d->name);
    }
    std::fflush(stderr);
    sys::exitProcess(1);
}

// ---------------------------------------------------------------------------------------------
// Header and side information.

// Why a header's fields cannot be decoded, or null when they can be.
const char* headerFault(const Header& h) {
    if (h.layer == 0) {
        return "a reserved layer (0)";
    }
    if (h.bitrateIndex == 0) {
        return "free format (bitrate index 0)";
    }
    if (h.bitrateIndex == 15) {
        return "the forbidden bitrate index 15";
    }
    if (h.samplingIndex == 3) {
        return "the reserved sampling-frequency index 3";
    }
    return nullptr;
}

void noteRejectedHeader(Decoder* d, const Header& h, size_t byte, const char* fault) {
    ++d->rejectedHeaders;
    d->rejectionPending = true;
    if (!d->rejectedFault) {
        d->rejectedAt = byte;
        d->rejectedFault = fault;
        d->rejectedId = h.id;
        d->rejectedLayer = h.layer;
    }
}

// Finds the next header at a byte boundary and reads it into d. Sync is 12 set bits, or 11
// set bits and a clear one (the MPEG-2.5 form, which the ID check then rejects). Headers with
// a reserved layer, a free-format or forbidden bitrate, or a reserved sampling frequency are
// taken for chance bit patterns and the search goes on. Returns false at the end of the data.
//
// Such a header exactly where a frame is due (where the search starts) is the stream's own,
// though: it is counted for the problem report, and until the next frame decodes, the search
// takes other versions and layers that it finds in the frame's data for chance patterns too,
// instead of ending the program with a report about a format the stream does not have.
bool parseHeader(Decoder* d) {
    reader.position = (reader.position + 7) & ~static_cast<size_t>(7);
    const size_t due = reader.position;
    while (reader.position + 32 <= reader.sizeBits) {
        const uint32_t sync = peekBits(12);
        if (sync == 0xFFF || sync == 0xFFE) {
            const uint32_t word = peekBits(32);
            Header h;
            h.id = (word >> 19) & 1;
            h.layer = (word >> 17) & 3;
            h.protection = (word >> 16) & 1;
            h.bitrateIndex = (word >> 12) & 15;
            h.samplingIndex = (word >> 10) & 3;
            h.padding = (word >> 9) & 1;
            h.privateBit = (word >> 8) & 1;
            h.mode = (word >> 6) & 3;
            h.modeExtension = (word >> 4) & 3;
            h.copyright = (word >> 3) & 1;
            h.original = (word >> 2) & 1;
            h.emphasis = word & 3;
            const char* fault = headerFault(h);
            const bool otherFormat = h.id != 1 || h.layer != 1;
            if (fault && reader.position == due) {
                noteRejectedHeader(d, h, due / 8, fault);
            } else if (!fault && !(otherFormat && d->rejectionPending)) {
                skipBits(32);
                if (h.id != 1) {
                    fatal(d, "MPEG2.0 unsupported");
                }
                if (h.mode == 0) {
                    h.modeExtension = 0;
                }
                d->header = h;
                d->channels = h.mode == 3 ? 1 : 2;
                d->bitrate = bitrateKbps[h.bitrateIndex];
                d->samplingRate = samplingRates[h.samplingIndex];
                d->frameBytes = 144000 * d->bitrate / d->samplingRate;
                d->headerBytes = 4 + (d->channels == 1 ? 17 : 32) + (h.protection == 0 ? 2 : 0);
                if (h.protection == 0) {
                    skipBits(16); // the CRC word is not checked
                }
                return true;
            }
        }
        skipBits(8);
    }
    reader.position = reader.sizeBits;
    return false;
}

void parseSideInfo(Decoder* d) {
    SideInfo& s = d->side;
    const int channels = d->channels;
    s.mainDataBegin = static_cast<int>(getBits(9));
    s.privateBits = static_cast<int>(getBits(channels == 1 ? 5 : 3));
    for (int ch = 0; ch < channels; ++ch) {
        for (int band = 0; band < 4; ++band) {
            s.scfsi[ch][band] = static_cast<int>(getBits(1));
        }
    }
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel& g = s.gr[gr][ch];
            g = GranuleChannel{};
            g.part23Length = static_cast<int>(getBits(12));
            g.bigValues = static_cast<int>(getBits(9));
            g.globalGain = static_cast<int>(getBits(8));
            g.scalefacCompress = static_cast<int>(getBits(4));
            g.windowSwitching = static_cast<int>(getBits(1));
            if (g.windowSwitching) {
                g.blockType = static_cast<int>(getBits(2));
                g.mixedBlock = static_cast<int>(getBits(1));
                g.tableSelect[0] = static_cast<int>(getBits(5));
                g.tableSelect[1] = static_cast<int>(getBits(5));
                for (int w = 0; w < 3; ++w) {
                    g.subblockGain[w] = static_cast<int>(getBits(3));
                }
                if (g.blockType == 2) {
                    g.blockKind = g.mixedBlock ? 3 : 2;
                } else {
                    g.blockKind = 1;
                }
                // Block type 0 is forbidden with window switching.
                if (g.blockType == 0) {
                    g.valid = false;
                }
            } else {
                for (int r = 0; r < 3; ++r) {
                    g.tableSelect[r] = static_cast<int>(getBits(5));
                }
                g.region0Count = static_cast<int>(getBits(4));
                g.region1Count = static_cast<int>(getBits(3));
            }
            g.preflag = static_cast<int>(getBits(1));
            g.scalefacScale = static_cast<int>(getBits(1));
            g.count1Table = static_cast<int>(getBits(1));
            if (g.bigValues > 288) {
                g.valid = false;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The main-data reader: a bit cursor over the reservoir.

struct BitCursor {
    const unsigned char* data;
    size_t position;

    uint32_t peek32() const {
        const uint64_t v = loadBigEndian64(data + (position >> 3));
        return static_cast<uint32_t>((v << (position & 7)) >> 32);
    }
    // 1 <= count <= 25
    uint32_t get(int count) {
        const uint32_t v = peek32() >> (32 - count);
        position += static_cast<size_t>(count);
        return v;
    }
};

// Reads the scale factors of one granule and channel. Returns false when they run past the
// granule's end.
bool readScaleFactors(Decoder* d, BitCursor& bits, int gr, int ch, size_t end) {
    const GranuleChannel& g = d->side.gr[gr][ch];
    const int slen1 = slenTable[0][g.scalefacCompress];
    const int slen2 = slenTable[1][g.scalefacCompress];
    auto read = [&](int slen) { return slen ? static_cast<int>(bits.get(slen)) : 0; };
    int* longSf = d->scalefacLong[ch];
    int(*shortSf)[3] = d->scalefacShort[ch];
    if (g.blockKind >= 2) {
        int firstShort = 0;
        if (g.blockKind == 3) {
            for (int sfb = 0; sfb < 8; ++sfb) {
                longSf[sfb] = read(slen1);
            }
            firstShort = 3;
        }
        for (int sfb = firstShort; sfb < 12; ++sfb) {
            const int slen = sfb < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) {
                shortSf[sfb][w] = read(slen);
            }
        }
        shortSf[12][0] = shortSf[12][1] = shortSf[12][2] = 0;
    } else {
        // Four groups of bands; in granule 1 a set scfsi bit reuses granule 0's values.
        static const int groupStart[5] = {0, 6, 11, 16, 21};
        for (int group = 0; group < 4; ++group) {
            if (gr == 1 && d->side.scfsi[ch][group]) {
                continue;
            }
            const int slen = group < 2 ? slen1 : slen2;
            for (int sfb = groupStart[group]; sfb < groupStart[group + 1]; ++sfb) {
                longSf[sfb] = read(slen);
            }
        }
        longSf[21] = 0;
    }
    return bits.position <= end;
}

// Where decoded values go: straight into requantised lines for long blocks (one gain per
// scale-factor band, known before the Huffman data), or into d->values for short and mixed
// blocks, which requantiseShort then scatters into reordered positions.
struct LongBlockSink {
    float* out;
    const short* bandStart;
    const float* bandGain;
    int band = 0;
    int bandEnd = 0;
    float gain = 0.0f;

    void put(int i, int value) {
        while (i >= bandEnd) {
            ++band;
            bandEnd = bandStart[band + 1];
            gain = bandGain[band];
        }
        out[i] = powTable[value + powLimit] * gain;
    }
};

struct ValueSink {
    int* values;
    void put(int i, int value) { values[i] = value; }
};

// Decodes the big-value pairs and count1 quadruples of one granule and channel. Returns the
// number of lines decoded (all later lines are zero), or -1 when the data cannot be decoded.
template <class Sink>
int readHuffman(const Decoder* d, const GranuleChannel& g, BitCursor& bits, size_t end,
                size_t hardLimit, Sink& sink) {
    const short* longStart = bandBoundaries[d->header.samplingIndex].longStart;
    const int bigEnd = g.bigValues * 2;
    int regionEnd[3];
    if (g.windowSwitching) {
        // Implicit boundaries: region 1 starts at line 36 at every MPEG-1 sampling frequency
        // (8 long or 3 short bands), and there is no region 2.
        regionEnd[0] = 36;
        regionEnd[1] = 576;
    } else {
        // region0_count and region1_count can name bands past the last one.
        regionEnd[0] = longStart[std::min(g.region0Count + 1, 22)];
        regionEnd[1] = longStart[std::min(g.region0Count + g.region1Count + 2, 22)];
    }
    regionEnd[2] = 576;

    const unsigned char* data = bits.data;
    size_t position = bits.position;
    int i = 0;
    for (int region = 0; region < 3; ++region) {
        const int stop = std::min(regionEnd[region], bigEnd);
        if (i >= stop) {
            continue;
        }
        const HuffmanTable& table = huffmanTables[g.tableSelect[region]];
        if (!table.present) {
            return -1;
        }
        if (table.entryCount == 0) {
            // Table 0: every value is zero and no bits are spent.
            for (; i < stop; ++i) {
                sink.put(i, 0);
            }
            continue;
        }
        const int linbits = table.linbits;
        for (; i < stop; i += 2) {
            if (position > hardLimit) {
                return -1;
            }
            // One load covers a whole pair: at least 57 bits, and a pair takes at most 47
            // (19-bit code, two 13-bit linbits fields, two signs).
            uint64_t window = loadBigEndian64(data + (position >> 3)) << (position & 7);
            const uint32_t entry = lookupHuffman(table, static_cast<uint32_t>(window >> 32));
            int used = static_cast<int>((entry >> 8) & 31);
            if (used == 0) {
                return -1;
            }
            window <<= used;
            int x = static_cast<int>((entry >> 4) & 15);
            int y = static_cast<int>(entry & 15);
            if (x == 15 && linbits) {
                x += static_cast<int>(window >> (64 - linbits));
                window <<= linbits;
                used += linbits;
            }
            // A non-zero value is followed by its sign bit. Whether a value is zero follows no
            // pattern a branch predictor could learn, so the sign is applied arithmetically.
            int present = x != 0;
            x *= 1 - 2 * (static_cast<int>(window >> 63) & present);
            window <<= present;
            used += present;
            if (y == 15 && linbits) {
                y += static_cast<int>(window >> (64 - linbits));
                window <<= linbits;
                used += linbits;
            }
            present = y != 0;
            y *= 1 - 2 * (static_cast<int>(window >> 63) & present);
            used += present;
            position += static_cast<size_t>(used);
            sink.put(i, x);
            sink.put(i + 1, y);
        }
    }

    // Count1 region: quadruples of -1, 0 and 1 until the granule's bits are used up. A
    // quadruple that ends past the granule's end was never meant and is dropped.
    const HuffmanTable& quad = huffmanTables[g.count1Table ? 33 : 32];
    while (i + 4 <= 576 && position < end) {
        uint64_t window = loadBigEndian64(data + (position >> 3)) << (position & 7);
        const uint32_t entry = lookupHuffman(quad, static_cast<uint32_t>(window >> 32));
        int used = static_cast<int>((entry >> 8) & 31);
        window <<= used;
        int v[4];
        for (int k = 0; k < 4; ++k) {
            const int present = (entry >> (3 - k)) & 1;
            v[k] = present - 2 * (static_cast<int>(window >> 63) & present);
            window <<= present;
            used += present;
        }
        position += static_cast<size_t>(used);
        if (position > end) {
            break;
        }
        for (int k = 0; k < 4; ++k) {
            sink.put(i + k, v[k]);
        }
        i += 4;
    }
    bits.position = position;
    return i;
}

// ---------------------------------------------------------------------------------------------
// Requantisation: value = |is|^(4/3) * sign * 2^(e / 4), e from the global gain, the subblock
// gain and the scale factors. Short-block lines go straight to their reordered position
// 3 * frequency + window.

// Gains of the long bands from `first` to `last`.
void longBandGains(const GranuleChannel& g, const int* scalefac, int first, int last,
                   float* gains) {
    const int multiplier = g.scalefacScale ? 4 : 2;
    for (int sfb = first; sfb < last; ++sfb) {
        gains[sfb] =
            gainFactor(g.globalGain - 210 - multiplier * (scalefac[sfb] + g.preflag * pretab[sfb]));
    }
}

void requantiseShort(const int* values, int count, float* out, int firstBand, const short* bands,
                     const GranuleChannel& g, const int (*scalefac)[3]) {
    const int multiplier = g.scalefacScale ? 4 : 2;
    for (int sfb = firstBand; sfb < 13; ++sfb) {
        const int start = bands[sfb];
        const int width = bands[sfb + 1] - start;
        for (int w = 0; w < 3; ++w) {
            const int natural = 3 * start + w * width;
            if (natural >= count) {
                return;
            }
            const float gain = gainFactor(g.globalGain - 210 - 8 * g.subblockGain[w] -
                                          multiplier * scalefac[sfb][w]);
            const int stop = std::min(width, count - natural);
            for (int j = 0; j < stop; ++j) {
                out[3 * (start + j) + w] = powTable[values[natural + j] + powLimit] * gain;
            }
        }
    }
}

// Huffman decoding and requantisation of one granule and channel into d->lines[ch]. Returns
// the extent (lines from there up are zero), or -1 when the data cannot be decoded.
int decodeLines(Decoder* d, const GranuleChannel& g, int ch, BitCursor& bits, size_t end,
                size_t hardLimit) {
    float* out = d->lines[ch];
    const BandBoundaries& bands = bandBoundaries[d->header.samplingIndex];
    float gains[22];
    if (g.blockKind < 2) {
        longBandGains(g, d->scalefacLong[ch], 0, 22, gains);
        LongBlockSink sink{out, bands.longStart, gains, -1, 0, 0.0f};
        const int count = readHuffman(d, g, bits, end, hardLimit, sink);
        if (count >= 0) {
            std::fill(out + count, out + 576, 0.0f);
        }
        return count;
    }
    ValueSink sink{d->values};
    const int count = readHuffman(d, g, bits, end, hardLimit, sink);
    if (count < 0) {
        return -1;
    }
    std::fill(out, out + 576, 0.0f);
    int firstShort = 0;
    if (g.blockKind == 3) {
        // Mixed: bands 0..7 long (lines 0..35), then short bands from 3 (line 36) up.
        longBandGains(g, d->scalefacLong[ch], 0, 8, gains);
        for (int i = 0; i < std::min(count, 36); ++i) {
            int sfb = 0;
            while (bands.longStart[sfb + 1] <= i) {
                ++sfb;
            }
            out[i] = powTable[d->values[i] + powLimit] * gains[sfb];
        }
        firstShort = 3;
    }
    requantiseShort(d->values, count, out, firstShort, bands.shortStart, g, d->scalefacShort[ch]);
    int extent = 576;
    while (extent > 0 && out[extent - 1] == 0.0f) {
        --extent;
    }
    return extent;
}

// ---------------------------------------------------------------------------------------------
// Joint stereo.

constexpr float msScale = 0.70710678118f;

// Marks the right channel's intensity-stereo lines in `position` with their is_pos (lines
// with the illegal position 7 stay -1 and fall back to mid/side or plain stereo). The region
// starts above the highest non-zero band of the right channel, per window for short blocks.
void markIntensityLines(Decoder* d, const GranuleChannel& g, signed char* position) {
    const float* right = d->lines[1];
    const BandBoundaries& bands = bandBoundaries[d->header.samplingIndex];
    const short* ls = bands.longStart;
    const short* ss = bands.shortStart;
    const int* longSf = d->scalefacLong[1];
    const int(*shortSf)[3] = d->scalefacShort[1];
    // Position 7 is the illegal one: those lines are not intensity-coded. Scale factors read
    // with 4 bits reach 15; positions above 7 have no ratio either and count as illegal too.
    auto mark = [&](int from, int to, int step, int isPos) {
        if (isPos >= 7) {
            return;
        }
        for (int i = from; i < to; i += step) {
            position[i] = static_cast<signed char>(isPos);
        }
    };
    if (g.blockKind < 2) {
        int last = d->extent[1] - 1;
        while (last >= 0 && right[last] == 0.0f) {
            --last;
        }
        int sfb = 0;
        while (sfb < 22 && ls[sfb] <= last) {
            ++sfb;
        }
        for (; sfb < 22; ++sfb) {
            // The last band has no scale factor of its own and uses band 20's.
            mark(ls[sfb], ls[sfb + 1], 1, longSf[sfb < 21 ? sfb : 20]);
        }
        return;
    }
    const int firstShort = g.blockKind == 3 ? 3 : 0;
    bool longPartToo = g.blockKind == 3;
    for (int w = 0; w < 3; ++w) {
        int top = firstShort; // first band above the window's non-zero lines
        for (int sfb = 12; sfb >= firstShort; --sfb) {
            bool nonzero = false;
            for (int f = ss[sfb]; f < ss[sfb + 1] && !nonzero; ++f) {
                nonzero = right[3 * f + w] != 0.0f;
            }
            if (nonzero) {
                top = sfb + 1;
                break;
            }
        }
        if (top > firstShort) {
            longPartToo = false;
        }
        for (int sfb = top; sfb < 13; ++sfb) {
            mark(3 * ss[sfb] + w, 3 * ss[sfb + 1], 3, shortSf[sfb < 12 ? sfb : 11][w]);
        }
    }
    if (longPartToo) {
        // Mixed block whose short part is empty in every window: the long part joins in.
        int last = 35;
        while (last >= 0 && right[last] == 0.0f) {
            --last;
        }
        int sfb = 0;
        while (sfb < 8 && ls[sfb] <= last) {
            ++sfb;
        }
        for (; sfb < 8; ++sfb) {
            mark(ls[sfb], ls[sfb + 1], 1, longSf[sfb]);
        }
    }
}

void jointStereo(Decoder* d, int gr) {
    const bool midSide = d->header.modeExtension & 2;
    const bool intensity = d->header.modeExtension & 1;
    float* left = d->lines[0];
    float* right = d->lines[1];
    signed char position[576];
    int limit = std::max(d->extent[0], d->extent[1]);
    if (intensity) {
        std::memset(position, -1, sizeof position);
        markIntensityLines(d, d->side.gr[gr][1], position);
        for (int i = 0; i < limit; ++i) {
            const int p = position[i];
            if (p >= 0) {
                const float v = left[i];
                left[i] = v * intensityLeft[p];
                right[i] = v * intensityRight[p];
            } else if (midSide) {
                const float m = left[i];
                const float s = right[i];
                left[i] = (m + s) * msScale;
                right[i] = (m - s) * msScale;
            }
        }
    } else if (midSide) {
        for (int i = 0; i < limit; ++i) {
            const float m = left[i];
            const float s = right[i];
            left[i] = (m + s) * msScale;
            right[i] = (m - s) * msScale;
        }
    }
    d->extent[0] = d->extent[1] = limit;
}

// ---------------------------------------------------------------------------------------------
// Alias reduction and the hand-over to the filter banks.

// Returns the number of subbands that carry lines after the butterflies.
int reduceAliasing(float* lines, int blockKind, int extent) {
    int active = (extent + 17) / 18;
    if (active == 0 || blockKind == 2) {
        return active;
    }
    // Mixed blocks have one long boundary, between subbands 0 and 1.
    const int lastBoundary = blockKind == 3 ? 1 : std::min(active, subbands - 1);
    for (int sb = 1; sb <= lastBoundary; ++sb) {
        float* upper = lines + 18 * sb - 1; // walks down from the end of subband sb - 1
        float* lower = lines + 18 * sb;     // walks up from the start of subband sb
        for (int i = 0; i < 8; ++i) {
            const float bu = upper[-i];
            const float bd = lower[i];
            upper[-i] = bu * aliasCs[i] - bd * aliasCa[i];
            lower[i] = bd * aliasCs[i] + bu * aliasCa[i];
        }
    }
    return std::max(active, std::min(lastBoundary + 1, subbands));
}

// ---------------------------------------------------------------------------------------------
// One frame's main data.

void decodeGranule(Decoder* d, int gr, BitCursor& bits, size_t& granuleStart, size_t dataEnd,
                   bool frameValid) {
    const int channels = d->channels;
    for (int ch = 0; ch < channels; ++ch) {
        const GranuleChannel& g = d->side.gr[gr][ch];
        const size_t start = granuleStart;
        const size_t end = start + static_cast<size_t>(g.part23Length);
        granuleStart = end;
        int extent = -1;
        if (frameValid && g.valid && end <= dataEnd) {
            bits.position = start;
            if (readScaleFactors(d, bits, gr, ch, end)) {
                extent = decodeLines(d, g, ch, bits, end, dataEnd);
            }
        }
        if (extent < 0) {
            // Undecodable: this granule of this channel is silent.
            std::fill(d->lines[ch], d->lines[ch] + 576, 0.0f);
            extent = 0;
        }
        d->extent[ch] = extent;
    }
    if (channels == 2 && d->header.mode == 1 && d->header.modeExtension != 0) {
        jointStereo(d, gr);
    }
    for (int ch = 0; ch < channels; ++ch) {
        const GranuleChannel& g = d->side.gr[gr][ch];
        const int active = reduceAliasing(d->lines[ch], g.blockKind, d->extent[ch]);
        hybridSynthesis(ch, d->lines[ch], g.blockKind, g.blockType, g.mixedBlock != 0, active,
                        d->slots);
        polyphaseSynthesis(ch, d->slots, d->pcm[ch]);
    }
    if (outputRoutine) {
        outputRoutine(576, d->pcm[0], channels == 2 ? d->pcm[1] : nullptr);
    }
}

void decodeMainData(Decoder* d) {
    const int mainBytes = d->header.padding + d->frameBytes - d->headerBytes;
    const int available = d->reservoirFill;
    // The frame's own main data joins what the previous frames left.
    readBytes(d->reservoir + available, static_cast<size_t>(mainBytes));
    const int fill = available + mainBytes;
    std::memset(d->reservoir + fill, 0, reservoirSlack);

    // A frame that reaches back further than the reservoir holds (the start of a cut
    // stream, or damage) decodes as silence.
    const bool frameValid = d->side.mainDataBegin <= available;
    BitCursor bits{d->reservoir, 0};
    size_t granuleStart =
        frameValid ? static_cast<size_t>(available - d->side.mainDataBegin) * 8 : 0;
    const size_t dataEnd = static_cast<size_t>(fill) * 8;
    for (int gr = 0; gr < 2; ++gr) {
        decodeGranule(d, gr, bits, granuleStart, dataEnd, frameValid);
    }

    // Keep the bytes a later frame can still reach back to.
    const int keep = std::min(fill, maxMainDataBegin);
    std::memmove(d->reservoir, d->reservoir + fill - keep, static_cast<size_t>(keep));
    d->reservoirFill = keep;
}

void releaseDecoder(Decoder* d) {
    if (currentStream == &d->stream) {
        currentStream = nullptr;
    }
    std::free(d->stream.data);
    delete d;
}

const char* lastOpenFailure = "";

Decoder* openStream(unsigned char* data, size_t size, const char* name) {
    Decoder* d = new (std::nothrow) Decoder;
    if (!d) {
        std::free(data);
        lastOpenFailure = "there is not enough memory";
        return nullptr;
    }
    if (name) {
        std::snprintf(d->name, sizeof d->name, "%s", name);
    }
    d->stream.data = data;
    d->stream.size = size;
    // The first header can be fatal (another MPEG version); where the exit is intercepted
    // and unwinds instead, the half-opened decoder is released on the way.
    struct ReleaseOnUnwind {
        Decoder* d;
        ~ReleaseOnUnwind() {
            if (d) {
                releaseDecoder(d);
            }
        }
    } guard{d};
    select(&d->stream);
    // Learn the format from the first frame, then rewind.
    if (parseHeader(d)) {
        parseSideInfo(d);
        d->streamChannels = d->channels;
        d->streamSamplingRate = d->samplingRate;
    }
    reader.position = 0;
    d->frameCount = 0;
    // decodeFrame meets the first header again and counts it then.
    d->rejectedHeaders = 0;
    d->rejectedFault = nullptr;
    d->rejectionPending = false;
    savePosition();
    guard.d = nullptr;
    return d;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Interface.

void initDecoderTables() {
    buildDecoderTables();
}

Decoder* openDecoder(const char* fileName) {
    // The length comes from the file system, not from ftell: a folder opens as a stream too,
    // and its "length" can be 2^63.
    std::error_code error;
    const std::filesystem::path path(fileName);
    if (!std::filesystem::exists(path, error)) {
        lastOpenFailure = "there is no such file";
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(path, error)) {
        lastOpenFailure = std::filesystem::is_directory(path, error) ? "it is a folder, not a file"
                                                                     : "it is not a plain file";
        return nullptr;
    }
    const uintmax_t length = std::filesystem::file_size(path, error);
    if (error || length > static_cast<uintmax_t>(maxStreamFileBytes)) {
        lastOpenFailure = error ? "its size cannot be read" : "it is larger than 2 GiB";
        return nullptr;
    }
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        lastOpenFailure = "it cannot be opened for reading";
        return nullptr;
    }
    const size_t size = static_cast<size_t>(length);
    unsigned char* data = static_cast<unsigned char*>(std::calloc(size + streamSlack, 1));
    if (!data) {
        std::fclose(file);
        lastOpenFailure = "there is not enough memory";
        return nullptr;
    }
    const size_t got = std::fread(data, 1, size, file);
    std::fclose(file);
    const std::string name = "\"" + std::string(fileName) + "\"";
    return openStream(data, got, name.c_str());
}

Decoder* openDecoderMemory(const unsigned char* bytes, size_t size, const char* name) {
    unsigned char* data = static_cast<unsigned char*>(std::calloc(size + streamSlack, 1));
    if (!data) {
        lastOpenFailure = "there is not enough memory";
        return nullptr;
    }
    if (size) {
        std::memcpy(data, bytes, size);
    }
    return openStream(data, size, name);
}

const char* openDecoderFailure() {
    return lastOpenFailure;
}

int decodeFrame(Decoder* d) {
    if (d->stream.bitPosition >= d->stream.size * 8) {
        return -1;
    }
    select(&d->stream);
    if (!parseHeader(d)) {
        savePosition();
        return -1;
    }
    if (d->header.layer != 1) {
        savePosition();
        fatal(d, "layer2 unsupported");
    }
    parseSideInfo(d);
    ++d->frameCount;
    decodeMainData(d);
    d->rejectionPending = false;
    savePosition();
    return 1152;
}

void closeDecoder(Decoder* d) {
    if (d) {
        releaseDecoder(d);
    }
}

void setOutputRoutine(OutputRoutine routine) {
    outputRoutine = routine;
}

int decoderChannels(const Decoder* d) {
    return d->streamChannels;
}

int decoderSamplingRate(const Decoder* d) {
    return d->streamSamplingRate;
}

int decoderFrameChannels(const Decoder* d) {
    return d->channels;
}

int decoderFrameSamplingRate(const Decoder* d) {
    return d->samplingRate;
}

const char* decoderProblem(Decoder* d) {
    if (!d->rejectedFault) {
        return nullptr;
    }
    const char* version = d->rejectedId == 1 ? "MPEG-1" : "MPEG-2";
    static const char* const layers[4] = {"reserved layer", "Layer III", "Layer II", "Layer I"};
    std::snprintf(d->problem, sizeof d->problem,
                  "the frame header at byte %zu (%s %s) has %s, which this decoder does not "
                  "read (%d such header%s skipped)",
                  d->rejectedAt, version, layers[d->rejectedLayer & 3], d->rejectedFault,
                  d->rejectedHeaders, d->rejectedHeaders == 1 ? " was" : "s were");
    return d->problem;
}

void resetSynthesisState() {
    clearSynthesisState();
}

} // namespace layer3
