// cmd_music.cpp - tirtool decode / restore-samples / compress-samples / list-samples: the
// Layer III decoder and the compressed-sample companion, from the command line.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "music/companion.h"
#include "music/layer3.h"
#include "tools/common/sample_compressor.h"
#include "tools/common/xm_module.h"
#include "tools/tirtool/command.h"

namespace {

bool readWhole(const std::string& path, std::vector<unsigned char>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

bool writeWhole(const std::string& path, const std::vector<unsigned char>& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

void put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The decoded stream, interleaved, as 16-bit values.
std::vector<int16_t> decoded;
int decodedChannels = 1;

int16_t toPcm(float x) {
    const float scaled = std::nearbyint(x * 32767.0f);
    return static_cast<int16_t>(scaled > 32767.0f ? 32767 : (scaled < -32768.0f ? -32768 : scaled));
}

void collect(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        decoded.push_back(toPcm(left[i]));
        if (decodedChannels == 2) {
            decoded.push_back(toPcm(right ? right[i] : left[i]));
        }
    }
}

int decode(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("decode");
    }
    initDecoderTables();
    Decoder* d = openDecoder(args[0].c_str());
    if (!d) {
        return fail("cannot open %s", args[0].c_str());
    }
    decodedChannels = decoderChannels(d) == 2 ? 2 : 1;
    const int rate = decoderSamplingRate(d);
    decoded.clear();
    setOutputRoutine(&collect);
    int frames = 0;
    while (decodeFrame(d) != -1) {
        ++frames;
    }
    closeDecoder(d);
    setOutputRoutine(nullptr);

    std::vector<unsigned char> wav;
    const auto dataBytes = static_cast<uint32_t>(decoded.size() * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put32(wav, 36 + dataBytes);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(wav, 16);
    put16(wav, 1); // PCM
    put16(wav, static_cast<unsigned>(decodedChannels));
    put32(wav, static_cast<uint32_t>(rate));
    put32(wav, static_cast<uint32_t>(rate * decodedChannels * 2));
    put16(wav, static_cast<unsigned>(decodedChannels * 2));
    put16(wav, 16);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put32(wav, dataBytes);
    for (int16_t v : decoded) {
        put16(wav, static_cast<uint16_t>(v));
    }
    if (!writeWhole(args[1], wav)) {
        return fail("cannot write %s", args[1].c_str());
    }
    std::printf("decoded %d frames (%zu samples per channel, %d Hz, %s) into %s\n", frames,
                decoded.size() / decodedChannels, rate, decodedChannels == 2 ? "stereo" : "mono",
                args[1].c_str());
    return 0;
}

int restore(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return usageError("restore-samples");
    }
    std::vector<unsigned char> module, companion;
    if (!readWhole(args[0], module)) {
        return fail("cannot read %s", args[0].c_str());
    }
    if (!readWhole(args[1], companion)) {
        return fail("cannot read %s", args[1].c_str());
    }
    const int restored =
        restoreSamplesInto(module.data(), module.size(), companion.data(), companion.size());
    if (!writeWhole(args[2], module)) {
        return fail("cannot write %s", args[2].c_str());
    }
    const int records = companion.empty() ? 0 : static_cast<int8_t>(companion[0]);
    std::printf("restored %d of %d records into %s\n", restored, records > 0 ? records : 0,
                args[2].c_str());
    return restored == (records > 0 ? records : 0) ? 0 : 1;
}

int compress(const std::vector<std::string>& args) {
    CompressOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--samples" && i + 1 < args.size()) {
            if (!parseSampleList(args[++i], options.samples)) {
                return fail("--samples wants numbers such as 1,3,5-7, not \"%s\"", args[i].c_str());
            }
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 3) {
        return usageError("compress-samples");
    }
    std::vector<unsigned char> module, outModule, companion;
    if (!readWhole(files[0], module)) {
        return fail("cannot read %s", files[0].c_str());
    }
    std::vector<SampleReport> report;
    std::string error;
    if (!compressSamples(module, options, outModule, companion, report, error)) {
        return fail("%s: %s", files[0].c_str(), error.c_str());
    }
    if (!writeWhole(files[1], outModule) || !writeWhole(files[2], companion)) {
        return fail("cannot write %s or %s", files[1].c_str(), files[2].c_str());
    }
    std::printf("%4s %-22s %8s %8s %8s %6s %4s\n", "no.", "name", "values", "stream", "SNR dB",
                "lag", "clip");
    int compressed = 0;
    for (const SampleReport& r : report) {
        if (!r.compressed) {
            std::printf("%4d %-22s not compressed: %s\n", r.number, r.name.c_str(),
                        r.reason.c_str());
            continue;
        }
        ++compressed;
        std::printf("%4d %-22s %8d %8zu %8.1f %6d %4d\n", r.number, r.name.c_str(), r.length,
                    r.streamBytes, r.snrDb, r.lag, r.clipped);
        if (r.clipped) {
            std::printf("     %d values of sample %d lie beyond +-32000 and come back clipped\n",
                        r.clipped, r.number);
        }
    }
    std::printf("%d samples into %s, module copy %s\n", compressed, files[2].c_str(),
                files[1].c_str());
    return 0;
}

int listSamples(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("list-samples");
    }
    std::vector<unsigned char> module;
    if (!readWhole(args[0], module)) {
        return fail("cannot read %s", args[0].c_str());
    }
    XmModuleInfo info;
    std::string error;
    if (!parseXm(module.data(), module.size(), info, error)) {
        return fail("%s: %s", args[0].c_str(), error.c_str());
    }
    std::printf("\"%s\": %d orders, %d channels, %d patterns, %d instruments\n", info.name.c_str(),
                info.orders, info.channels, info.patterns, info.instruments);
    std::printf("%4s %4s %-22s %10s %10s  %s\n", "no.", "ins", "name", "offset", "bytes", "kind");
    for (const XmSampleInfo& s : info.samples) {
        std::printf("%4d %4d %-22s %10zu %10u  %s%s%s%s\n", s.number, s.instrument, s.name.c_str(),
                    s.dataOffset, s.byteLength, s.sixteenBit ? "16-bit" : "8-bit",
                    s.stereo ? " stereo" : "", s.adpcm ? " adpcm" : "",
                    s.truncated ? " truncated" : "");
    }
    return 0;
}

CommandRegistration decodeCommand({"decode", "STREAM OUT.wav",
                                   "decode an MPEG-1 Layer III stream into a 16-bit WAV file",
                                   &decode});
CommandRegistration restoreCommand({"restore-samples", "IN.xm IN.m3d OUT.xm",
                                    "restore a module's samples from its companion", &restore});
CommandRegistration compressCommand(
    {"compress-samples", "IN.xm OUT.xm OUT.m3d [--samples LIST]",
     "MP3-encode 16-bit samples (all by default) into a companion and zero them in the copy",
     &compress});
CommandRegistration listSamplesCommand({"list-samples", "IN.xm",
                                        "list a module's samples with their offsets and widths",
                                        &listSamples});

} // namespace
