// companion.cpp - restores a module's compressed samples from its companion: decode each
// record's stream, turn it into 16-bit mono, copy it into the module image and delta-code it.
#include "music/companion.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "gfx/debug_channel.h"
#include "music/layer3.h"
#include "music/music_player.h"
#include "resources/search_path.h"

static_assert(std::endian::native == std::endian::little,
              "decoded samples are copied into the little-endian module image as they are");

float outputGain = 0.4f;
alignas(4) unsigned char frameBuffer[4608];
int16_t* outputCursor = reinterpret_cast<int16_t*>(frameBuffer);

namespace {

constexpr int frameBufferSamples = static_cast<int>(sizeof(frameBuffer) / sizeof(int16_t));

int32_t readI32(const unsigned char* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

uint32_t readU32(const unsigned char* p) {
    return static_cast<uint32_t>(readI32(p));
}

void putU32(std::vector<unsigned char>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// Where a companion keeps its streams: the table after the records, or none (the older
// form, where records name files).
struct StreamTable {
    bool present = false;
    uint32_t count = 0;
    const unsigned char* entries = nullptr; // count x (offset, length)
};

StreamTable findTable(const unsigned char* companion, size_t size, size_t recordsEnd) {
    StreamTable t;
    if (recordsEnd + 8 > size || std::memcmp(companion + recordsEnd, companionTableMagic, 4) != 0) {
        return t;
    }
    t.present = true;
    t.count = readU32(companion + recordsEnd + 4);
    // Entries that would pass the end of the file are not there.
    const size_t room = (size - recordsEnd - 8) / 8;
    if (t.count > room) {
        t.count = static_cast<uint32_t>(room);
    }
    t.entries = companion + recordsEnd + 8;
    return t;
}

// Opens the decoder of record `k`, or reports why not and returns null.
Decoder* openRecordStream(int k, const unsigned char* record, const StreamTable& table,
                          const unsigned char* companion, size_t companionSize, const char* file) {
    if (table.present) {
        const uint8_t index = record[0];
        if (index >= table.count) {
            debugPrint("%s: record %d names stream %u, but the companion holds %u; "
                       "skipped\n",
                       file, k, index, table.count);
            return nullptr;
        }
        const uint32_t offset = readU32(table.entries + 8 * index);
        const uint32_t length = readU32(table.entries + 8 * index + 4);
        if (offset > companionSize || length > companionSize - offset) {
            debugPrint("%s: record %d: stream %u (%u bytes at offset %u) lies outside the "
                       "companion (%zu bytes); skipped\n",
                       file, k, index, length, offset, companionSize);
            return nullptr;
        }
        char name[400];
        std::snprintf(name, sizeof name, "stream %u of \"%s\" (record %d)", index, file, k);
        Decoder* d = openDecoderMemory(companion + offset, length, name);
        if (!d) {
            debugPrint("%s: record %d: stream %u cannot be opened: %s; skipped\n", file, k, index,
                       openDecoderFailure());
        }
        return d;
    }
    // The 12 bytes from the record's start, read as a zero-terminated name (and never past the
    // companion's end; the name always ends within the copy).
    char name[companionNameBytes + 1] = {};
    const size_t start = static_cast<size_t>(record - companion);
    const size_t avail = companionSize - start;
    std::memcpy(name, record, avail < companionNameBytes ? avail : companionNameBytes);
    Decoder* d = name[0] ? openDecoder(name) : nullptr;
    if (!d) {
        debugPrint("%s: record %d: stream file \"%s\" cannot be opened: %s; skipped\n", file, k,
                   name, name[0] ? openDecoderFailure() : "the name is empty");
    }
    return d;
}

// Delta-codes n 16-bit samples in place, downwards, with the first set to 0 (see header).
void deltaCode(unsigned char* at, int64_t n) {
    if (n < 1) {
        return;
    }
    const int16_t zero = 0;
    std::memcpy(at, &zero, 2);
    for (int64_t k = n - 1; k >= 1; --k) {
        int16_t cur, prev;
        std::memcpy(&cur, at + 2 * k, 2);
        std::memcpy(&prev, at + 2 * (k - 1), 2);
        const auto d =
            static_cast<int16_t>(static_cast<uint16_t>(cur) - static_cast<uint16_t>(prev));
        std::memcpy(at + 2 * k, &d, 2);
    }
}

} // namespace

int16_t clipSample(float x) {
    const float g = outputGain * x;
    if (g > 1.0f) {
        return 32000;
    }
    if (g < -1.0f) {
        return -32000;
    }
    return static_cast<int16_t>(g * 32000.0f); // truncates toward zero
}

void writeSamples(int count, const float* left, const float* right) {
    int16_t* const end = reinterpret_cast<int16_t*>(frameBuffer) + frameBufferSamples;
    const int room = static_cast<int>(end - outputCursor);
    const int n = count < room ? count : room;
    if (!right) {
        for (int i = 0; i < n; ++i) {
            outputCursor[i] = clipSample(left[i]);
        }
    } else {
        for (int i = 0; i < n; ++i) {
            outputCursor[i] =
                static_cast<int16_t>((clipSample(left[i]) + clipSample(right[i])) / 2);
        }
    }
    outputCursor += n;
}

int restoreSamplesInto(unsigned char* image, size_t imageSize, const unsigned char* companion,
                       size_t companionSize, const char* companionName) {
    const char* file = companionName ? companionName : "the companion";
    initDecoderTables();
    outputGain = 0.4f;
    if (!companion || companionSize < 1) {
        return 0;
    }
    const int recordCount = static_cast<int8_t>(companion[0]);
    if (recordCount <= 0) {
        return 0;
    }
    const size_t recordsEnd = 1 + static_cast<size_t>(recordCount) * companionRecordSize;
    const StreamTable table = findTable(companion, companionSize, recordsEnd);

    int restored = 0;
    for (int k = 0; k < recordCount; ++k) {
        const unsigned char* record = companion + 1 + static_cast<size_t>(k) * companionRecordSize;
        if (1 + static_cast<size_t>(k + 1) * companionRecordSize > companionSize) {
            debugPrint("%s: the companion (%zu bytes) ends inside record %d of %d; the rest is "
                       "ignored\n",
                       file, companionSize, k, recordCount);
            break;
        }
        const int32_t length = readI32(record + 1);
        const uint32_t offset = readU32(record + 5);
        if (length < 0 || offset > imageSize ||
            static_cast<uint64_t>(length) > imageSize - offset) {
            debugPrint("%s: record %d: %d bytes at offset %u lie outside the module image "
                       "(%zu bytes); skipped\n",
                       file, k, length, offset, imageSize);
            continue;
        }
        // Closed however the record ends: a fatal stream unwinds through here where tests and
        // the fuzz harnesses turn the exit into an exception.
        const std::unique_ptr<Decoder, void (*)(Decoder*)> stream(
            openRecordStream(k, record, table, companion, companionSize, file), &closeDecoder);
        Decoder* d = stream.get();
        if (!d) {
            continue;
        }
        setOutputRoutine(&writeSamples);
        // The first frame carries the synthesis state of the previous stream and the codec's
        // start-up: it is discarded.
        outputCursor = reinterpret_cast<int16_t*>(frameBuffer);
        if (decodeFrame(d) == -1) {
            // Not one frame: the range keeps the module's own bytes.
            const char* problem = decoderProblem(d);
            debugPrint("%s: record %d: its stream holds no frame this decoder reads%s%s; "
                       "skipped\n",
                       file, k, problem ? ": " : "", problem ? problem : "");
            continue;
        }
        int64_t pos = 0;
        int64_t remaining = length;
        for (;;) {
            outputCursor = reinterpret_cast<int16_t*>(frameBuffer);
            if (decodeFrame(d) == -1) {
                break;
            }
            if (remaining > 0) {
                const int64_t n = remaining < companionFrameBytes ? remaining : companionFrameBytes;
                std::memcpy(image + offset + pos, frameBuffer, static_cast<size_t>(n));
                remaining -= companionFrameBytes;
                pos += companionFrameBytes;
            }
        }
        deltaCode(image + offset, length / 2);
        std::fputs("done.\n", stdout);
        std::fflush(stdout);
        ++restored;
    }
    return restored;
}

void restoreSamples(MusicPlayer& player, LoadedFile& companion, const char* companionName) {
    auto* data = static_cast<unsigned char*>(companion.lock());
    const size_t imageSize = player.moduleSize > 0 ? static_cast<size_t>(player.moduleSize) : 0;
    restoreSamplesInto(player.moduleImage, imageSize, data,
                       companion.size > 0 ? static_cast<size_t>(companion.size) : 0, companionName);
    companion.unlock();
}

std::vector<unsigned char> buildCompanion(const std::vector<CompanionRecord>& records,
                                          const std::vector<std::vector<unsigned char>>& streams) {
    const size_t recordsEnd = 1 + records.size() * companionRecordSize;
    const size_t tableEnd = recordsEnd + 8 + streams.size() * 8;
    std::vector<unsigned char> out(tableEnd, 0);
    out[0] = static_cast<unsigned char>(static_cast<int8_t>(records.size()));
    for (size_t k = 0; k < records.size(); ++k) {
        const size_t at = 1 + k * companionRecordSize;
        out[at] = records[k].streamIndex;
        putU32(out, at + 1, static_cast<uint32_t>(records[k].byteLength));
        putU32(out, at + 5, records[k].imageOffset);
    }
    std::memcpy(&out[recordsEnd], companionTableMagic, 4);
    putU32(out, recordsEnd + 4, static_cast<uint32_t>(streams.size()));
    for (size_t i = 0; i < streams.size(); ++i) {
        putU32(out, recordsEnd + 8 + 8 * i, static_cast<uint32_t>(out.size()));
        putU32(out, recordsEnd + 12 + 8 * i, static_cast<uint32_t>(streams[i].size()));
        out.insert(out.end(), streams[i].begin(), streams[i].end());
    }
    return out;
}
