// layer3.h - a compact MPEG-1 Layer III decoder: whole-stream input, one frame per call, and
// each granule's 576 samples per channel handed as floats (full scale about +-1.0) to an
// output routine installed by the caller.
//
// The bit reader, the synthesis rings and the overlap buffers are process-wide, so only one
// decoder is active at a time and a new stream starts from whatever the previous one left in
// the synthesis state (resetSynthesisState clears it). MPEG-2/2.5 streams and Layers I and II
// end the process with "Error: MPEG2.0 unsupported" or "Error: layer2 unsupported" (status 1),
// followed by a line "in NAME" that names the stream.
// Damaged side information or main data never leaves the stream or the 576 spectral lines:
// such a granule decodes as silence and decoding goes on.
#pragma once

#include <cstddef>

namespace layer3 {

struct Decoder;

// Receives one granule: `count` samples per channel; `right` is null for a mono stream.
using OutputRoutine = void (*)(int count, const float* left, const float* right);

// Builds the requantisation, gain, window and Huffman look-up tables. Idempotent.
void initDecoderTables();

// Reads the whole file (relative to the working directory) and parses the first header to
// learn the format. Null when the file cannot be opened or memory is short; then
// openDecoderFailure() says why. Folders and files over 2 GiB are not opened.
Decoder* openDecoder(const char* fileName);
// The same for a stream already in memory; the bytes are copied. `name` (the file name in
// quotes, or which part of which file the bytes are) goes into the fatal messages.
Decoder* openDecoderMemory(const unsigned char* data, size_t size, const char* name = nullptr);
// Why the last open returned null, in words ("it is a folder, not a file").
const char* openDecoderFailure();

// Decodes the next frame, calling the output routine once per granule. Returns 1152 for a
// decoded frame and -1 once the stream is exhausted.
int decodeFrame(Decoder* d);
void closeDecoder(Decoder* d);

// The process-wide output routine slot; null discards the output.
void setOutputRoutine(OutputRoutine routine);

// Format of the stream as learnt from its first header (0 when no header was found).
int decoderChannels(const Decoder* d);
int decoderSamplingRate(const Decoder* d);
// Format of the frame decoded last (a stream may switch between mono and stereo frames).
int decoderFrameChannels(const Decoder* d);
int decoderFrameSamplingRate(const Decoder* d);
// When a header exactly where a frame was due had fields this decoder cannot read (free
// format, the forbidden bitrate index 15, the reserved sampling frequency or layer), a sentence
// naming the first such header's offset, format and fault, and how many there were; else null.
// The text lives in the decoder until the next call.
const char* decoderProblem(Decoder* d);

// Clears the process-wide synthesis rings, ring positions and overlap buffers.
void resetSynthesisState();

} // namespace layer3

// The decoder's interface is used unqualified by the music code and the tools.
using layer3::closeDecoder;
using layer3::decodeFrame;
using layer3::Decoder;
using layer3::decoderChannels;
using layer3::decoderFrameChannels;
using layer3::decoderFrameSamplingRate;
using layer3::decoderProblem;
using layer3::decoderSamplingRate;
using layer3::initDecoderTables;
using layer3::openDecoder;
using layer3::openDecoderFailure;
using layer3::openDecoderMemory;
using layer3::OutputRoutine;
using layer3::resetSynthesisState;
using layer3::setOutputRoutine;
