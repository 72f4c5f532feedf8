// cmd_music.cpp - tirtool decode / restore-samples / compress-samples / list-samples: the
// Layer III decoder and the compressed-sample companion, from the command line.
#include <cmath>
#include <cstdio>
#include <vector>

#include "music/companion.h"
#include "music/layer3.h"
#include "tools/common/file_bytes.h"
#include "tools/common/sample_compressor.h"
#include "tools/common/xm_module.h"
#include "tools/tirtool/command.h"

namespace {

// Reads `path` whole, or reports why not (and the caller returns 1).
bool readWhole(const std::string& path, std::vector<unsigned char>& out) {
    std::string error;
    if (!readFileBytes(path, out, error)) {
        fail("cannot read %s", error.c_str());
        return false;
    }
    return true;
}

bool writeWhole(const std::string& path, const std::vector<unsigned char>& data) {
    std::string error;
    if (!writeFileBytes(path, data, error)) {
        fail("cannot write %s", error.c_str());
        return false;
    }
    return true;
}

void put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The decoded stream as 16-bit values, one channel after the other per granule: left always,
// right only for stereo granules (`stereoGranule` says which).
std::vector<int16_t> decodedLeft, decodedRight;
std::vector<bool> stereoGranule;

// Full scale is 32,768, as the reference decoders scale: +1.0 clips to 32,767.
int16_t toPcm(float x) {
    const float scaled = std::nearbyint(x * 32768.0f);
    return static_cast<int16_t>(scaled > 32767.0f ? 32767 : (scaled < -32768.0f ? -32768 : scaled));
}

void collect(int count, const float* left, const float* right) {
    stereoGranule.push_back(right != nullptr);
    for (int i = 0; i < count; ++i) {
        decodedLeft.push_back(toPcm(left[i]));
        decodedRight.push_back(toPcm(right ? right[i] : left[i]));
    }
}

// A stream may switch between mono and stereo frames (the header's mode is per frame). One
// stereo frame makes the whole file stereo, with each mono frame on both channels, so no frame
// is cut to one channel and the file plays at its true length; a stream of mono frames only
// is written as mono.
int decode(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("decode");
    }
    initDecoderTables();
    std::vector<unsigned char> stream;
    if (!readWhole(args[0], stream)) {
        return 1;
    }
    const std::string quoted = "\"" + args[0] + "\"";
    Decoder* d = openDecoderMemory(stream.data(), stream.size(), quoted.c_str());
    if (!d) {
        return fail("cannot decode %s: %s", args[0].c_str(), openDecoderFailure());
    }
    const int rate = decoderSamplingRate(d);
    decodedLeft.clear();
    decodedRight.clear();
    stereoGranule.clear();
    setOutputRoutine(&collect);
    int frames = 0;
    int otherRate = 0;
    while (decodeFrame(d) != -1) {
        ++frames;
        if (decoderFrameSamplingRate(d) != rate && !otherRate) {
            otherRate = decoderFrameSamplingRate(d);
        }
    }
    const char* problem = decoderProblem(d);
    const std::string problemText = problem ? problem : "";
    closeDecoder(d);
    setOutputRoutine(nullptr);
    if (frames == 0) {
        return fail("%s holds no MPEG-1 Layer III frame%s%s; nothing written", args[0].c_str(),
                    problem ? ": " : "", problemText.c_str());
    }
    if (problem) {
        std::fprintf(stderr, "tirtool: %s: %s\n", args[0].c_str(), problemText.c_str());
    }
    if (otherRate) {
        std::fprintf(stderr,
                     "tirtool: %s: frames at %d Hz among frames at %d Hz are written at %d Hz\n",
                     args[0].c_str(), otherRate, rate, rate);
    }

    int decodedChannels = 1;
    for (const bool stereo : stereoGranule) {
        decodedChannels = stereo ? 2 : decodedChannels;
    }
    std::vector<int16_t> decoded;
    decoded.reserve(decodedLeft.size() * static_cast<size_t>(decodedChannels));
    for (size_t i = 0; i < decodedLeft.size(); ++i) {
        decoded.push_back(decodedLeft[i]);
        if (decodedChannels == 2) {
            decoded.push_back(decodedRight[i]);
        }
    }

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
        return 1;
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
    if (!readWhole(args[0], module) || !readWhole(args[1], companion)) {
        return 1;
    }
    const int restored = restoreSamplesInto(module.data(), module.size(), companion.data(),
                                            companion.size(), args[1].c_str());
    if (!writeWhole(args[2], module)) {
        return 1;
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
        return 1;
    }
    std::vector<SampleReport> report;
    std::string error;
    if (!compressSamples(module, options, outModule, companion, report, error)) {
        return fail("%s: %s", files[0].c_str(), error.c_str());
    }
    if (!writeWhole(files[1], outModule) || !writeWhole(files[2], companion)) {
        return 1;
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
        return 1;
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
