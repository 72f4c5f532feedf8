// sample_compressor.cpp - LAME-encodes XM samples into a companion and checks the pair through
// the program's own restore path.
#include "tools/common/sample_compressor.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "music/companion.h"
#include "tools/common/xm_module.h"

namespace {

// Samples an MPEG-1 Layer III decoder's synthesis delays its output by (the hybrid filter
// bank's 528 plus one).
constexpr int decoderDelay = 529;
constexpr int frameSamples = 1152;
// Encoded value = sample / restoreScale: the restore's 0.4 gain times its 32000 full scale.
constexpr float restoreScale = 12800.0f;

} // namespace

bool encodeSampleStream(const std::vector<int16_t>& values, const CompressOptions& options,
                        std::vector<unsigned char>& stream, std::string& error) {
    lame_t lame = lame_init();
    if (!lame) {
        error = "LAME cannot start";
        return false;
    }
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_in_samplerate(lame, options.samplingRate);
    lame_set_out_samplerate(lame, options.samplingRate);
    lame_set_brate(lame, options.bitrate);
    lame_set_VBR(lame, vbr_off);
    // The restore is judged by its signal-to-noise ratio, and LAME's perceptual noise shaping
    // (qualities 0-2) trades that away: a noisy drum comes back at 25 dB with quality 0 and at
    // 36 dB with quality 7, a tone at about 75 dB either way.
    lame_set_quality(lame, 7);
    // No Xing/Info frame: the restore's discarded first frame must be the first audio frame.
    lame_set_bWriteVbrTag(lame, 0);
    // The sample's whole band is kept: its frequencies are relative to the rate it is played at.
    lame_set_lowpassfreq(lame, -1);
    lame_set_highpassfreq(lame, -1);
    lame_set_disable_reservoir(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        error = "LAME refuses " + std::to_string(options.bitrate) + " kbit/s at " +
                std::to_string(options.samplingRate) + " Hz";
        return false;
    }
    const int lead = frameSamples - (lame_get_encoder_delay(lame) + decoderDelay);
    std::vector<float> input(static_cast<size_t>(lead > 0 ? lead : 0), 0.0f);
    input.reserve(input.size() + values.size());
    for (int16_t v : values) {
        input.push_back(static_cast<float>(v) / restoreScale);
    }
    stream.assign(input.size() * 5 / 4 + 7200 + 2 * frameSamples, 0);
    const int n = lame_encode_buffer_ieee_float(lame, input.data(), input.data(),
                                                static_cast<int>(input.size()), stream.data(),
                                                static_cast<int>(stream.size()));
    if (n < 0) {
        lame_close(lame);
        error = "LAME failed to encode (" + std::to_string(n) + ")";
        return false;
    }
    const int tail =
        lame_encode_flush(lame, stream.data() + n, static_cast<int>(stream.size()) - n);
    lame_close(lame);
    if (tail < 0) {
        error = "LAME failed to flush (" + std::to_string(tail) + ")";
        return false;
    }
    stream.resize(static_cast<size_t>(n + tail));
    return true;
}

double snrDb(const std::vector<int16_t>& original, const std::vector<int16_t>& restored,
             size_t from) {
    double signal = 0, noise = 0;
    const size_t n = original.size() < restored.size() ? original.size() : restored.size();
    for (size_t i = from; i < n; ++i) {
        const double s = original[i];
        const double e = s - restored[i];
        signal += s * s;
        noise += e * e;
    }
    if (noise == 0) {
        return signal == 0 ? 0.0 : 200.0;
    }
    return 10.0 * std::log10(signal / noise);
}

int correlationLag(const std::vector<int16_t>& original, const std::vector<int16_t>& restored,
                   int maxLag) {
    const auto n =
        static_cast<int>(original.size() < restored.size() ? original.size() : restored.size());
    int best = 0;
    double bestValue = -1e300;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            const int j = i + lag;
            if (j >= 0 && j < n) {
                sum += static_cast<double>(original[i]) * restored[j];
            }
        }
        if (sum > bestValue) {
            bestValue = sum;
            best = lag;
        }
    }
    return best;
}

bool parseSampleList(const std::string& text, std::vector<int>& numbers) {
    numbers.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        int a = 0, b = 0;
        char dash = 0;
        std::stringstream one(item);
        if (!(one >> a) || a < 1) {
            return false;
        }
        if (one >> dash) {
            if (dash != '-' || !(one >> b) || b < a) {
                return false;
            }
        } else {
            b = a;
        }
        std::string rest;
        if (one >> rest) {
            return false;
        }
        for (int i = a; i <= b; ++i) {
            numbers.push_back(i);
        }
    }
    return !numbers.empty();
}

bool compressSamples(const std::vector<unsigned char>& module, const CompressOptions& options,
                     std::vector<unsigned char>& outModule,
                     std::vector<unsigned char>& outCompanion, std::vector<SampleReport>& report,
                     std::string& error) {
    report.clear();
    XmModuleInfo info;
    if (!parseXm(module.data(), module.size(), info, error)) {
        return false;
    }
    std::vector<const XmSampleInfo*> chosen;
    if (options.samples.empty()) {
        for (const XmSampleInfo& s : info.samples) {
            if (s.sixteenBit) {
                chosen.push_back(&s);
            }
        }
    } else {
        for (int number : options.samples) {
            if (number < 1 || number > static_cast<int>(info.samples.size())) {
                error = "the module has no sample " + std::to_string(number) + " (it has " +
                        std::to_string(info.samples.size()) + ")";
                return false;
            }
            chosen.push_back(&info.samples[static_cast<size_t>(number - 1)]);
        }
    }

    outModule = module;
    std::vector<CompanionRecord> records;
    std::vector<std::vector<unsigned char>> streams;
    std::vector<std::vector<int16_t>> originals;
    for (const XmSampleInfo* s : chosen) {
        SampleReport r;
        r.number = s->number;
        r.name = s->name;
        r.length = static_cast<int>(s->byteLength / 2);
        if (!s->sixteenBit) {
            r.reason = "8-bit";
        } else if (s->stereo) {
            r.reason = "stereo";
        } else if (s->truncated) {
            r.reason = "its data runs past the end of the module";
        } else if (s->byteLength < 4) {
            r.reason = "empty";
        }
        if (!r.reason.empty()) {
            report.push_back(r);
            continue;
        }
        if (records.size() == 127) {
            error = "a companion holds at most 127 samples";
            return false;
        }
        std::vector<int16_t> values = decodeXmSample(module.data(), *s);
        for (int16_t v : values) {
            r.clipped += v > 32000 || v < -32000;
        }
        std::vector<unsigned char> stream;
        if (!encodeSampleStream(values, options, stream, error)) {
            return false;
        }
        r.streamBytes = stream.size();
        r.compressed = true;
        // The module copy keeps the sample's header and length; its data becomes silence.
        std::memset(outModule.data() + s->dataOffset, 0, s->byteLength);
        CompanionRecord record;
        record.streamIndex = static_cast<uint8_t>(streams.size());
        record.byteLength = static_cast<int32_t>(s->byteLength);
        record.imageOffset = static_cast<uint32_t>(s->dataOffset);
        records.push_back(record);
        streams.push_back(std::move(stream));
        originals.push_back(std::move(values));
        report.push_back(r);
    }
    outCompanion = buildCompanion(records, streams);

    if (options.verify && !records.empty()) {
        std::vector<unsigned char> restored = outModule;
        restoreSamplesInto(restored.data(), restored.size(), outCompanion.data(),
                           outCompanion.size());
        size_t k = 0;
        for (SampleReport& r : report) {
            if (!r.compressed) {
                continue;
            }
            const XmSampleInfo& s = info.samples[static_cast<size_t>(r.number - 1)];
            const std::vector<int16_t> back = decodeXmSample(restored.data(), s);
            r.snrDb = snrDb(originals[k], back, 1);
            r.lag = correlationLag(originals[k], back, 16);
            ++k;
        }
    }
    return true;
}
