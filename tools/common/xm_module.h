// xm_module.h - reads an XM module image far enough to find its samples: for each one the
// byte range of its data in the image, its length, and whether it is 16-bit, stereo or
// ADPCM-packed. The tools use it to pick the samples a companion restores.
//
// XM stores sample data delta-coded: each value is the difference from the previous one (8- or
// 16-bit wrap-around). decodeXmSample / encodeXmSample convert between that and plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct XmSampleInfo {
    int number = 0;     // 1-based position among all samples of the module, in file order
    int instrument = 0; // 1-based instrument number
    int indexInInstrument = 0;
    std::string name;
    size_t headerOffset = 0; // the 40-byte sample header
    size_t dataOffset = 0;   // the sample's data in the image
    uint32_t byteLength = 0; // bytes of data as the header gives them
    uint32_t dataBytes = 0;  // bytes the data occupies in the file (ADPCM packs it)
    uint32_t loopStart = 0, loopLength = 0;
    uint8_t type = 0; // bits 0-1 loop type, bit 4 16-bit, bit 5 stereo
    bool sixteenBit = false;
    bool stereo = false;
    bool adpcm = false;
    bool truncated = false; // the data runs past the end of the image
};

struct XmModuleInfo {
    std::string name;
    int orders = 0, restart = 0, channels = 0, patterns = 0, instruments = 0;
    std::vector<uint8_t> orderTable;
    std::vector<XmSampleInfo> samples;
    size_t end = 0; // where the last sample's data ends
};

// False with a message in `error` when the image is not an XM module or its pattern or
// instrument headers run past the end. Sample data that runs past the end is only flagged.
bool parseXm(const unsigned char* data, size_t size, XmModuleInfo& module, std::string& error);

// The plain values of a sample (16-bit values, or 8-bit values widened) from its delta-coded
// data. The sample must be in the image (not truncated) and not ADPCM-packed.
std::vector<int16_t> decodeXmSample(const unsigned char* image, const XmSampleInfo& sample);
// Delta-codes `values` into the image at the sample's data (16-bit samples only).
void encodeXmSample16(unsigned char* image, const XmSampleInfo& sample,
                      const std::vector<int16_t>& values);
