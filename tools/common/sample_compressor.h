// sample_compressor.h - makes a compressed-sample pair from an XM module: the chosen 16-bit
// samples are MP3-encoded (LAME) into a companion's stream table and zeroed in the module copy,
// so that the program's restore path brings them back.
//
// How the stream is arranged for the restore: the restore discards the first decoded frame
// (1,152 samples) and takes the sample from the second frame on. Encoder and decoder together
// delay the signal by lame_get_encoder_delay() + 529 samples, so the encoder is fed
// 1152 - that delay samples of silence before the sample, which puts the sample's first value
// at the second frame's first output. The restore turns decoded x into clip(0.4 x) * 32000, i.e.
// 12800 x, so the encoder is fed value / 12800; values beyond +-32000 come back clipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CompressOptions {
    std::vector<int> samples; // 1-based sample numbers; empty: every 16-bit mono sample
    int bitrate = 320;        // kbit/s, constant
    // The stream's nominal rate: XM samples have none of their own. LAME spends its bits best
    // at 44,100 Hz (at 32,000 Hz its noise is some 10 dB higher at the same bitrate).
    int samplingRate = 44100;
    bool verify = true; // restore the pair and measure each sample (see SampleReport)
};

struct SampleReport {
    int number = 0;
    std::string name;
    int length = 0; // 16-bit values
    bool compressed = false;
    std::string reason; // why a chosen sample was not compressed
    int clipped = 0;    // values beyond +-32000, which cannot come back exactly
    size_t streamBytes = 0;
    // Filled by verification: signal-to-noise ratio of the restored values against the
    // originals (every value but the first, which the restore sets to 0), and the lag of the
    // cross-correlation peak within +-16 values (0 when the two line up).
    double snrDb = 0;
    int lag = 0;
};

// Makes `outModule` and `outCompanion` from the XM image `module`. False with `error` when the
// module cannot be read, a chosen number names no sample, or more than 127 samples are chosen.
bool compressSamples(const std::vector<unsigned char>& module, const CompressOptions& options,
                     std::vector<unsigned char>& outModule,
                     std::vector<unsigned char>& outCompanion, std::vector<SampleReport>& report,
                     std::string& error);

// One sample's stream, arranged for the restore as described above (mono, constant bitrate,
// no Xing frame, no filters).
bool encodeSampleStream(const std::vector<int16_t>& values, const CompressOptions& options,
                        std::vector<unsigned char>& stream, std::string& error);

// Parses "1,3,5-7" into sample numbers. False on anything else.
bool parseSampleList(const std::string& text, std::vector<int>& numbers);

// Signal-to-noise ratio in dB of `restored` against `original` over values [from, n), and the
// lag in [-maxLag, maxLag] at which their cross-correlation peaks.
double snrDb(const std::vector<int16_t>& original, const std::vector<int16_t>& restored,
             size_t from);
int correlationLag(const std::vector<int16_t>& original, const std::vector<int16_t>& restored,
                   int maxLag);
