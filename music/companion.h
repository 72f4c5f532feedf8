// companion.h - the compressed-sample companion: byte ranges of a module image that are filled
// from MPEG audio (decoded to 16-bit mono and delta-coded, as the module stores 16-bit samples)
// before the module is parsed.
//
// File layout, little-endian, no padding:
//
//   offset         size  field
//   0              1     recordCount: signed 8-bit; 0 or negative means no records
//   1 + 10*k       10    record k, k = 0 .. recordCount-1:
//                          +0  u8   streamIndex: the record's stream in the table below
//                          +1  i32  byteLength: bytes of 16-bit sample data to fill
//                          +5  u32  imageOffset: where that data starts in the module image
//                          +9  u8   unused
//   T = 1 + 10*n   4     table magic "M3DS"
//   T + 4          4     streamCount (u32)
//   T + 8 + 8*i    8     stream i: offset (u32, from the start of the file), length (u32)
//   ...                  the MPEG-1 Layer III streams themselves
//
// A companion without the table (the older form) names each stream instead: the 12 bytes
// from the record's first byte, up to a zero byte, are a file name opened relative to the
// working directory. That name overlaps byteLength and imageOffset; it is kept for old files.
//
// Decoding discards each stream's first frame; the next frames fill the range, 1,152 samples a
// frame, and decoded value x becomes clip(0.4 x) * 32000 (clip to +-1). The first restored
// sample is set to 0. A record whose range is not inside the image, or whose stream is missing,
// cannot be opened or holds no frame the decoder reads, is skipped with a message on standard
// error that names the companion and the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MusicPlayer;
class LoadedFile;

constexpr int companionRecordSize = 10;
constexpr int companionNameBytes = 12;
constexpr char companionTableMagic[5] = "M3DS";
constexpr int companionFrameBytes = 2304; // one decoded frame: 1,152 16-bit samples

struct CompanionRecord {
    uint8_t streamIndex = 0;
    int32_t byteLength = 0;
    uint32_t imageOffset = 0;
};

// Shared with the decoder's output routine.
extern float outputGain;
extern unsigned char frameBuffer[4608];
extern int16_t* outputCursor; // next sample written in frameBuffer

// The decoder's output routine: one granule of `count` samples per channel, mono when `right`
// is null, converted with clip() and written at outputCursor. Stereo is the average of the two
// clipped channels. Samples that would pass the end of frameBuffer are dropped.
void writeSamples(int count, const float* left, const float* right);
// clip(x): 32000 above gain x = 1, -32000 below -1, else gain x * 32000 truncated toward zero.
int16_t clipSample(float x);

// Restores every record of `companion` into `image` (the module file in memory). Returns the
// number of records restored; skipped records are reported on standard error, each message
// starting with `companionName` (the file's name).
int restoreSamplesInto(unsigned char* image, size_t imageSize, const unsigned char* companion,
                       size_t companionSize, const char* companionName = "the companion");
// The player's path: locks the companion, restores into player.moduleImage, unlocks.
void restoreSamples(MusicPlayer& player, LoadedFile& companion,
                    const char* companionName = "the companion");

// Builds a companion with a stream table. records[k].streamIndex indexes `streams`; the format
// holds at most 127 records and 256 streams (the caller keeps to that).
std::vector<unsigned char> buildCompanion(const std::vector<CompanionRecord>& records,
                                          const std::vector<std::vector<unsigned char>>& streams);
