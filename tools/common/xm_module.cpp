// xm_module.cpp - XM header, pattern and instrument walking to locate every sample's data.
#include "tools/common/xm_module.h"

#include <cstring>

namespace {

constexpr char xmMagic[] = "Extended Module: ";
constexpr size_t sampleHeaderBytes = 40;

uint16_t u16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t u32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string text(const unsigned char* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    const size_t zero = s.find('\0');
    if (zero != std::string::npos) {
        s.resize(zero);
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// True when [at, at + n) lies inside an image of `size` bytes.
bool inside(size_t at, uint64_t n, size_t size) {
    return at <= size && n <= size - at;
}

} // namespace

bool parseXm(const unsigned char* data, size_t size, XmModuleInfo& module, std::string& error) {
    module = XmModuleInfo{};
    if (size < 80 + 256 || std::memcmp(data, xmMagic, 17) != 0) {
        error = "not an XM module (no \"Extended Module: \" header)";
        return false;
    }
    module.name = text(data + 17, 20);
    const uint32_t headerSize = u32(data + 60);
    module.orders = u16(data + 64);
    module.restart = u16(data + 66);
    module.channels = u16(data + 68);
    module.patterns = u16(data + 70);
    module.instruments = u16(data + 72);
    const int orderCount = module.orders < 256 ? module.orders : 256;
    module.orderTable.assign(data + 80, data + 80 + orderCount);

    size_t at = 60 + static_cast<size_t>(headerSize);
    if (headerSize < 20 || !inside(60, headerSize, size)) {
        error = "the module header runs past the end of the file";
        return false;
    }
    for (int p = 0; p < module.patterns; ++p) {
        if (!inside(at, 9, size)) {
            error = "pattern " + std::to_string(p) + " runs past the end of the file";
            return false;
        }
        const uint32_t patternHeader = u32(data + at);
        const uint16_t packed = u16(data + at + 7);
        const uint64_t total = static_cast<uint64_t>(patternHeader) + packed;
        if (patternHeader < 9 || !inside(at, total, size)) {
            error = "pattern " + std::to_string(p) + " runs past the end of the file";
            return false;
        }
        at += static_cast<size_t>(total);
    }
    int number = 0;
    for (int i = 0; i < module.instruments; ++i) {
        if (!inside(at, 29, size)) {
            error = "instrument " + std::to_string(i + 1) + " runs past the end of the file";
            return false;
        }
        const uint32_t instrumentSize = u32(data + at);
        const uint16_t sampleCount = u16(data + at + 27);
        if (instrumentSize < 4 || !inside(at, instrumentSize, size) ||
            (sampleCount > 0 && !inside(at, 33, size))) {
            error = "instrument " + std::to_string(i + 1) + " runs past the end of the file";
            return false;
        }
        if (sampleCount == 0) {
            at += instrumentSize;
            continue;
        }
        const uint32_t declared = u32(data + at + 29);
        const size_t step = declared >= sampleHeaderBytes ? declared : sampleHeaderBytes;
        size_t header = at + instrumentSize;
        if (!inside(header, static_cast<uint64_t>(step) * sampleCount, size)) {
            error = "the sample headers of instrument " + std::to_string(i + 1) +
                    " run past the end of the file";
            return false;
        }
        size_t dataAt = header + step * sampleCount;
        for (int s = 0; s < sampleCount; ++s, header += step) {
            XmSampleInfo info;
            info.number = ++number;
            info.instrument = i + 1;
            info.indexInInstrument = s;
            info.headerOffset = header;
            info.byteLength = u32(data + header);
            info.loopStart = u32(data + header + 4);
            info.loopLength = u32(data + header + 8);
            info.type = data[header + 14];
            info.sixteenBit = (info.type & 0x10) != 0;
            info.stereo = (info.type & 0x20) != 0;
            info.adpcm = data[header + 17] == 0xAD && !info.sixteenBit;
            info.name = text(data + header + 18, 22);
            // ADPCM: a 16-byte table and one nibble per sample.
            info.dataBytes = info.adpcm ? (info.byteLength + 1) / 2 + 16 : info.byteLength;
            info.dataOffset = dataAt;
            if (!inside(dataAt, info.dataBytes, size)) {
                info.truncated = true;
                dataAt = size;
            } else {
                dataAt += info.dataBytes;
            }
            module.samples.push_back(info);
        }
        at = dataAt;
    }
    module.end = at;
    return true;
}

std::vector<int16_t> decodeXmSample(const unsigned char* image, const XmSampleInfo& sample) {
    std::vector<int16_t> values;
    const unsigned char* p = image + sample.dataOffset;
    if (sample.sixteenBit) {
        values.resize(sample.byteLength / 2);
        uint16_t acc = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            acc = static_cast<uint16_t>(acc + u16(p + 2 * i));
            values[i] = static_cast<int16_t>(acc);
        }
    } else {
        values.resize(sample.byteLength);
        uint8_t acc = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            acc = static_cast<uint8_t>(acc + p[i]);
            values[i] = static_cast<int8_t>(acc);
        }
    }
    return values;
}

void encodeXmSample16(unsigned char* image, const XmSampleInfo& sample,
                      const std::vector<int16_t>& values) {
    unsigned char* p = image + sample.dataOffset;
    uint16_t previous = 0;
    for (size_t i = 0; i < values.size() && 2 * i + 1 < sample.byteLength; ++i) {
        const auto v = static_cast<uint16_t>(values[i]);
        const auto d = static_cast<uint16_t>(v - previous);
        p[2 * i] = static_cast<unsigned char>(d);
        p[2 * i + 1] = static_cast<unsigned char>(d >> 8);
        previous = v;
    }
}
