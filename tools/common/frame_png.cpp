// frame_png.cpp - Up-filtered rows in Huffman-coded deflate blocks, with a PNG around them.
//
// The stream is plain zlib (RFC 1950) holding deflate blocks (RFC 1951) of the dynamic Huffman
// type, one block for each run of rows of about blockBytes filtered bytes, so each block's codes
// follow the part of the picture it holds. The only matches are runs: a byte repeated at least
// minRun times after itself is a length with distance 1. No window is searched, which is what
// makes the encoder two and a half times as fast as zlib's fastest level on rendered frames,
// while the files stay about as small.
#include "tools/common/frame_png.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr int literalLengthSymbols = 286; // 0-255 bytes, 256 ends a block, 257-285 lengths
constexpr int endOfBlock = 256;
constexpr int maxCodeLength = 15;
constexpr int maxCodeLengthCodeLength = 7;
constexpr int maxRun = 258;
// The shortest run written as a length and distance, and the filtered bytes in a block (about:
// whole rows), which carries its own codes. Over nineteen frames of the demo at 640 x 480 and
// 1920 x 1080, runs of 3 to 8 and blocks of 32 KiB to 1 MiB all came within 2 % of each other
// in size; 4 and 64 KiB were the smallest at both sizes, to 0.1 %.
constexpr size_t minRun = 4;
constexpr size_t blockBytes = 64 * 1024;

// The length symbols 257-285: each one's smallest length and extra bits.
constexpr std::array<uint16_t, 29> lengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                 15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> lengthExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The order in which a block header lists the code-length code's lengths.
constexpr std::array<uint8_t, 19> codeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};

struct LengthCode {
    uint16_t symbol = 0;
    uint8_t extraBits = 0;
    uint16_t extra = 0;
};

// The symbol and extra bits of every run length 3 to 258. 258 has a symbol of its own (285);
// 284 with all extra bits set would say the same, but decoders are only required to know 285.
const std::array<LengthCode, maxRun + 1>& lengthCodes() {
    static const std::array<LengthCode, maxRun + 1> table = [] {
        std::array<LengthCode, maxRun + 1> t{};
        for (int length = 3; length <= maxRun; ++length) {
            int i = static_cast<int>(lengthBase.size()) - 1;
            while (lengthBase[static_cast<size_t>(i)] > length) {
                --i;
            }
            const auto k = static_cast<size_t>(i);
            t[static_cast<size_t>(length)] = {static_cast<uint16_t>(257 + i), lengthExtraBits[k],
                                              static_cast<uint16_t>(length - lengthBase[k])};
        }
        return t;
    }();
    return table;
}

// Code lengths for `count` symbols from their frequencies, none longer than `limit`: an
// optimal code (Moffat and Katajainen's in-place method over the used symbols sorted by
// frequency), then, where it runs longer than the limit, the longest codes folded back to the
// limit and shorter codes lengthened one at a time until the code is complete again. Unused
// symbols get 0. With two or more used symbols the code is complete (the Kraft sum is 1),
// which the decoders require of every code but a lone distance code.
void codeLengths(const uint32_t* freq, int count, int limit, uint8_t* lengths) {
    std::array<uint32_t, literalLengthSymbols> order{}, a{};
    int n = 0;
    for (int s = 0; s < count; ++s) {
        lengths[s] = 0;
        if (freq[s]) {
            order[static_cast<size_t>(n++)] = static_cast<uint32_t>(s);
        }
    }
    if (n == 0) {
        return;
    }
    std::stable_sort(order.begin(), order.begin() + n,
                     [&](uint32_t x, uint32_t y) { return freq[x] < freq[y]; });
    if (n == 1) {
        lengths[order[0]] = 1;
        return;
    }
    for (int i = 0; i < n; ++i) {
        a[static_cast<size_t>(i)] = freq[order[static_cast<size_t>(i)]];
    }
    // In place: the first pass turns the sorted weights into parent pointers of the internal
    // nodes, the second into the depth of each internal node, the third into leaf depths.
    int root = 0, leaf = 2, next;
    a[0] += a[1];
    for (next = 1; next < n - 1; ++next) {
        const auto nx = static_cast<size_t>(next);
        if (leaf >= n || a[static_cast<size_t>(root)] < a[static_cast<size_t>(leaf)]) {
            a[nx] = a[static_cast<size_t>(root)];
            a[static_cast<size_t>(root++)] = static_cast<uint32_t>(next);
        } else {
            a[nx] = a[static_cast<size_t>(leaf++)];
        }
        if (leaf >= n ||
            (root < next && a[static_cast<size_t>(root)] < a[static_cast<size_t>(leaf)])) {
            a[nx] += a[static_cast<size_t>(root)];
            a[static_cast<size_t>(root++)] = static_cast<uint32_t>(next);
        } else {
            a[nx] += a[static_cast<size_t>(leaf++)];
        }
    }
    a[static_cast<size_t>(n - 2)] = 0;
    for (next = n - 3; next >= 0; --next) {
        a[static_cast<size_t>(next)] = a[a[static_cast<size_t>(next)]] + 1;
    }
    int available = 1, used = 0, depth = 0;
    root = n - 2;
    next = n - 1;
    while (available > 0) {
        while (root >= 0 && static_cast<int>(a[static_cast<size_t>(root)]) == depth) {
            ++used;
            --root;
        }
        while (available > used) {
            a[static_cast<size_t>(next--)] = static_cast<uint32_t>(depth);
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
    // a[i] is now the length of the i-th least frequent symbol; count the codes of each length.
    std::array<int, 32> ofLength{};
    for (int i = 0; i < n; ++i) {
        ofLength[std::min<size_t>(a[static_cast<size_t>(i)], static_cast<size_t>(limit))]++;
    }
    uint32_t kraft = 0; // the sum of 2^(limit - length), 2^limit for a complete code
    for (int l = 1; l <= limit; ++l) {
        kraft += static_cast<uint32_t>(ofLength[static_cast<size_t>(l)]) << (limit - l);
    }
    while (kraft > (1u << limit)) {
        // One code at the limit goes; a shorter code becomes two a bit longer: one fewer unit.
        ofLength[static_cast<size_t>(limit)]--;
        for (int l = limit - 1; l > 0; --l) {
            if (ofLength[static_cast<size_t>(l)]) {
                ofLength[static_cast<size_t>(l)]--;
                ofLength[static_cast<size_t>(l + 1)] += 2;
                break;
            }
        }
        --kraft;
    }
    // The least frequent symbols take the longest codes.
    int i = 0;
    for (int l = limit; l > 0; --l) {
        for (int k = ofLength[static_cast<size_t>(l)]; k > 0; --k) {
            lengths[order[static_cast<size_t>(i++)]] = static_cast<uint8_t>(l);
        }
    }
}

// Canonical codes for the lengths, bit-reversed: deflate sends a Huffman code from its first
// bit on, and the bit writer fills bytes from their lowest bit.
void canonicalCodes(const uint8_t* lengths, int count, uint16_t* codes) {
    std::array<uint16_t, maxCodeLength + 2> ofLength{}, next{};
    for (int s = 0; s < count; ++s) {
        ofLength[lengths[s]]++;
    }
    ofLength[0] = 0;
    uint16_t code = 0;
    for (int l = 1; l <= maxCodeLength; ++l) {
        code = static_cast<uint16_t>((code + ofLength[static_cast<size_t>(l - 1)]) << 1);
        next[static_cast<size_t>(l)] = code;
    }
    for (int s = 0; s < count; ++s) {
        const int l = lengths[s];
        if (l == 0) {
            codes[s] = 0;
            continue;
        }
        const uint16_t c = next[static_cast<size_t>(l)]++;
        uint16_t reversed = 0;
        for (int b = 0; b < l; ++b) {
            reversed = static_cast<uint16_t>(reversed | (((c >> b) & 1) << (l - 1 - b)));
        }
        codes[s] = reversed;
    }
}

constexpr uint64_t ones = 0x0101010101010101u;
constexpr uint64_t highBits = 0x8080808080808080u;

// Eight bytes as a number whose lowest byte is the first in memory, and back.
uint64_t load8(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}
void store8(unsigned char* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, 8);
}

// A bit set in the high bit of the lowest zero byte of x (and maybe of higher ones): 0 when no
// byte of x is zero.
uint64_t zeroBytes(uint64_t x) {
    return (x - ones) & ~x & highBits;
}

// out = a - b bytewise, eight bytes at a time without borrows across bytes: each byte's high
// bit is set in a and cleared in b so the subtraction stays inside the byte, then put right.
void subtractRows(const unsigned char* a, const unsigned char* b, size_t n, unsigned char* out) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t x = load8(a + i), y = load8(b + i);
        const uint64_t v = ((x | highBits) - (y & ~highBits)) ^ ((x ^ ~y) & highBits);
        std::memcpy(out + i, &v, 8);
    }
    for (; i < n; ++i) {
        out[i] = static_cast<unsigned char>(a[i] - b[i]);
    }
}

// Bits into bytes, lowest bit first. Each put stores all eight bytes of the accumulator and
// moves on by the whole bytes it holds, which costs no branch; the caller makes room for a
// block, with eight bytes to spare, before writing it.
struct BitWriter {
    std::vector<unsigned char>& out;
    size_t at;
    uint64_t bits = 0;
    int count = 0; // bits in the accumulator not yet moved past, 0 to 7 between puts

    void put(uint32_t value, int n) { // n <= 32
        bits |= static_cast<uint64_t>(value) << count;
        count += n;
        store8(out.data() + at, bits);
        at += static_cast<size_t>(count >> 3);
        bits >>= count & ~7;
        count &= 7;
    }
    void toByte() { // pads with zero bits to the next byte
        if (count > 0) {
            out[at++] = static_cast<unsigned char>(bits);
        }
        bits = 0;
        count = 0;
    }
};

// Code lengths as the code-length alphabet writes them: 0-15 as themselves, 16 repeats the
// last length 3-6 times, 17 and 18 write 3-10 and 11-138 zeros. Each entry is the symbol and
// its extra bits' value.
struct LengthRun {
    uint8_t symbol, extra;
};
size_t runLengthCodeLengths(const uint8_t* lengths, int count, LengthRun* out) {
    size_t n = 0;
    for (int i = 0; i < count;) {
        const uint8_t v = lengths[i];
        int run = 1;
        while (i + run < count && lengths[i + run] == v) {
            ++run;
        }
        i += run;
        if (v == 0) {
            while (run >= 11) {
                const int k = std::min(run, 138);
                out[n++] = {18, static_cast<uint8_t>(k - 11)};
                run -= k;
            }
            if (run >= 3) {
                out[n++] = {17, static_cast<uint8_t>(run - 3)};
                run = 0;
            }
        } else {
            out[n++] = {v, 0};
            --run;
            while (run >= 3) {
                const int k = std::min(run, 6);
                out[n++] = {16, static_cast<uint8_t>(k - 3)};
                run -= k;
            }
        }
        while (run-- > 0) {
            out[n++] = {v, 0};
        }
    }
    return n;
}

using Run = FramePngScratch::Run;

// One dynamic-Huffman block of the bytes d[0..n), the runs among them as lengths at distance 1.
// freq counts each symbol the block writes.
void writeBlock(BitWriter& w, const unsigned char* d, size_t n, const std::vector<Run>& runs,
                size_t runCount, const uint32_t* freq, bool final) {
    const auto& lengthOf = lengthCodes();
    std::array<uint8_t, literalLengthSymbols> litLengths{};
    std::array<uint16_t, literalLengthSymbols> litCodes{};
    codeLengths(freq, literalLengthSymbols, maxCodeLength, litLengths.data());
    canonicalCodes(litLengths.data(), literalLengthSymbols, litCodes.data());
    int literalCount = literalLengthSymbols;
    while (literalCount > 257 && litLengths[static_cast<size_t>(literalCount - 1)] == 0) {
        --literalCount;
    }
    // Two distance codes of one bit each, a complete code: only the first (distance 1) is
    // used, but a lone one-bit code is a case some decoders refuse.
    constexpr int distanceCount = 2;
    std::array<uint8_t, literalLengthSymbols + distanceCount> all{};
    std::copy_n(litLengths.begin(), literalCount, all.begin());
    all[static_cast<size_t>(literalCount)] = 1;
    all[static_cast<size_t>(literalCount + 1)] = 1;
    std::array<LengthRun, literalLengthSymbols + distanceCount> header{};
    const size_t headerCount =
        runLengthCodeLengths(all.data(), literalCount + distanceCount, header.data());
    std::array<uint32_t, 19> clFreq{};
    for (size_t i = 0; i < headerCount; ++i) {
        clFreq[header[i].symbol]++;
    }
    // The code-length code must be complete, so it needs two symbols; an unused one costs
    // three bits of header.
    if (std::count_if(clFreq.begin(), clFreq.end(), [](uint32_t f) { return f != 0; }) < 2) {
        clFreq[clFreq[0] ? 1 : 0] = 1;
    }
    std::array<uint8_t, 19> clLengths{};
    std::array<uint16_t, 19> clCodes{};
    codeLengths(clFreq.data(), 19, maxCodeLengthCodeLength, clLengths.data());
    canonicalCodes(clLengths.data(), 19, clCodes.data());
    int clCount = 19;
    while (clCount > 4 && clLengths[codeLengthOrder[static_cast<size_t>(clCount - 1)]] == 0) {
        --clCount;
    }

    w.put(final ? 1 : 0, 1);
    w.put(2, 2); // dynamic Huffman codes
    w.put(static_cast<uint32_t>(literalCount - 257), 5);
    w.put(distanceCount - 1, 5);
    w.put(static_cast<uint32_t>(clCount - 4), 4);
    for (int i = 0; i < clCount; ++i) {
        w.put(clLengths[codeLengthOrder[static_cast<size_t>(i)]], 3);
    }
    static constexpr std::array<int, 19> extraBitsOf = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                        0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (size_t i = 0; i < headerCount; ++i) {
        const LengthRun r = header[i];
        w.put(clCodes[r.symbol], clLengths[r.symbol]);
        if (extraBitsOf[r.symbol]) {
            w.put(r.extra, extraBitsOf[r.symbol]);
        }
    }

    // A byte's code and length in one word: the code in the low 16 bits.
    std::array<uint32_t, 256> literal{};
    for (size_t v = 0; v < 256; ++v) {
        literal[v] = litCodes[v] | static_cast<uint32_t>(litLengths[v]) << 16;
    }
    auto bytes = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const uint32_t c = literal[d[i]];
            w.put(c & 0xFFFF, static_cast<int>(c >> 16));
        }
    };
    size_t i = 0;
    for (size_t r = 0; r < runCount; ++r) {
        bytes(i, runs[r].at);
        const LengthCode& c = lengthOf[runs[r].length];
        // The length's code, its extra bits and the one-bit distance code 0, in one go.
        const int bits = litLengths[c.symbol];
        w.put(litCodes[c.symbol] | (static_cast<uint32_t>(c.extra) << bits),
              bits + c.extraBits + 1);
        i = runs[r].at + runs[r].length;
    }
    bytes(i, n);
    w.put(litCodes[endOfBlock], litLengths[endOfBlock]);
}

// Counts the bytes of d[0..n) in freq and finds its runs: at least minRun bytes that equal the
// byte before them, d[-1] being the byte before the first. A run's bytes are counted as its
// length symbol instead. Returns the number of runs. Eight bytes are looked at a time: where
// none equals the byte before it, which is most of a detailed picture, that is all the work.
size_t findRuns(const unsigned char* d, size_t n, std::vector<Run>& runs, uint32_t* freq) {
    // Four tables, summed at the end, so that a row of one value does not make every count
    // wait for the one before it.
    std::array<std::array<uint32_t, 256>, 4> counts{};
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        counts[0][d[i]]++;
        counts[1][d[i + 1]]++;
        counts[2][d[i + 2]]++;
        counts[3][d[i + 3]]++;
    }
    for (; i < n; ++i) {
        counts[0][d[i]]++;
    }
    for (size_t v = 0; v < 256; ++v) {
        freq[v] += counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
    }

    const auto& lengthOf = lengthCodes();
    const unsigned char* before = d - 1; // before[i] is the byte before d[i], also at i = 0
    size_t count = 0;
    i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            const uint64_t same = zeroBytes(load8(d + i) ^ load8(before + i));
            if (!same) {
                i += 8;
                continue;
            }
            i += static_cast<size_t>(__builtin_ctzll(same)) >> 3;
        } else if (d[i] != before[i]) {
            ++i;
            continue;
        }
        // d[i] equals d[i - 1]: how far does it go on?
        const unsigned char b = d[i];
        const size_t end = std::min(n, i + maxRun);
        const uint64_t repeated = b * ones;
        size_t j = i;
        while (j + 8 <= end) {
            const uint64_t differ = load8(d + j) ^ repeated;
            if (differ) {
                j += static_cast<size_t>(__builtin_ctzll(differ)) >> 3;
                break;
            }
            j += 8;
        }
        if (j + 8 > end) {
            while (j < end && d[j] == b) {
                ++j;
            }
        }
        const size_t length = j - i;
        if (length >= minRun) {
            runs[count++] = {static_cast<uint32_t>(i), static_cast<uint32_t>(length)};
            freq[b] -= static_cast<uint32_t>(length);
            freq[lengthOf[length].symbol]++;
            i = j;
        } else {
            ++i;
        }
    }
    return count;
}

// The PNG's bytes go into a buffer that keeps its size from picture to picture (`at` is the
// end of what is written), so a run of frames neither allocates nor clears memory for them.
struct ByteBuffer {
    std::vector<unsigned char>& bytes;
    size_t at = 0;

    void reserve(size_t more) {
        if (bytes.size() < at + more) {
            bytes.resize(std::max(at + more, bytes.size() + bytes.size() / 2));
        }
    }
    void put(const void* data, size_t n) {
        reserve(n);
        std::memcpy(bytes.data() + at, data, n);
        at += n;
    }
    void put32(uint32_t v) { // big-endian, as PNG writes numbers
        const unsigned char b[4] = {
            static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
        put(b, 4);
    }
    // Ends the chunk whose type is at `typeAt` and whose data runs from there to the end: its
    // length goes in the four bytes before the type, and its CRC (of the type and data) after.
    void endChunk(size_t typeAt) {
        const size_t size = at - typeAt - 4;
        for (int i = 0; i < 4; ++i) {
            bytes[typeAt - 4 + static_cast<size_t>(i)] =
                static_cast<unsigned char>(static_cast<uint32_t>(size) >> (24 - 8 * i));
        }
        put32(static_cast<uint32_t>(crc32(0, bytes.data() + typeAt, static_cast<uInt>(size + 4))));
    }
    size_t beginChunk(const char* type) { // returns where the type is
        put32(0);
        const size_t typeAt = at;
        put(type, 4);
        return typeAt;
    }
};

} // namespace

void encodeFramePng(int width, int height, const unsigned char* rows, long stride,
                    FramePngScratch& scratch, std::vector<unsigned char>& out) {
    ByteBuffer png{scratch.stream};
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.put(signature, 8);
    size_t typeAt = png.beginChunk("IHDR");
    png.put32(static_cast<uint32_t>(width));
    png.put32(static_cast<uint32_t>(height));
    // 8 bits per sample, RGB; the compression, filter and interlace methods are all 0.
    const unsigned char format[5] = {8, 2, 0, 0, 0};
    png.put(format, 5);
    png.endChunk(typeAt);

    typeAt = png.beginChunk("IDAT");
    const unsigned char zlibHeader[2] = {0x78, 0x01}; // deflate, 32 KiB window, fastest level:
    png.put(zlibHeader, 2);                           // 0x7801 is a multiple of 31, as it must be

    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1; // the filter type, then RGB
    const int rowsPerBlock = static_cast<int>(std::max<size_t>(1, blockBytes / rowBytes));
    std::vector<unsigned char>& filtered = scratch.filtered;
    filtered.resize(1 + rowBytes * static_cast<size_t>(rowsPerBlock));
    std::vector<Run>& runs = scratch.runs;
    runs.resize(filtered.size() / minRun + 1);
    uLong adler = adler32(0, nullptr, 0);
    unsigned char last = 0; // the last byte of the block before
    BitWriter w{scratch.stream, png.at};
    for (int y0 = 0; y0 < height; y0 += rowsPerBlock) {
        const int y1 = std::min(height, y0 + rowsPerBlock);
        // The Up filter: each byte less the one above it (nothing above the top row). The
        // block's bytes follow the byte before them, which the run search compares with.
        unsigned char* f = filtered.data() + 1;
        for (int y = y0; y < y1; ++y) {
            const unsigned char* row = rows + static_cast<long>(y) * stride;
            *f++ = 2;
            if (y == 0) {
                std::memcpy(f, row, rowBytes - 1);
            } else {
                subtractRows(row, row - stride, rowBytes - 1, f);
            }
            f += rowBytes - 1;
        }
        const unsigned char* d = filtered.data() + 1;
        const auto n = static_cast<size_t>(f - d);
        adler = adler32(adler, d, static_cast<uInt>(n));
        // At the start nothing comes before: a byte unlike the first keeps a run from starting.
        filtered[0] = y0 == 0 ? static_cast<unsigned char>(d[0] + 1) : last;
        last = d[n - 1];

        std::array<uint32_t, literalLengthSymbols> freq{};
        freq[endOfBlock] = 1;
        const size_t runCount = findRuns(d, n, runs, freq.data());
        // Room for the block: a header of at most about 300 bytes, then at most 15 bits a byte
        // and 21 bits a run of at least four.
        png.at = w.at;
        png.reserve(2 * n + 1024);
        writeBlock(w, d, n, runs, runCount, freq.data(), y1 == height);
    }
    w.toByte();
    png.at = w.at;
    png.put32(static_cast<uint32_t>(adler));
    png.endChunk(typeAt);
    png.endChunk(png.beginChunk("IEND"));
    out.assign(scratch.stream.begin(), scratch.stream.begin() + static_cast<long>(png.at));
}
