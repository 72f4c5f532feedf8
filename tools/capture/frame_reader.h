// frame_reader.h - reads each drawn picture back from the GL once, for every output a capture
// writes. Where the GL has pixel-buffer objects (GL 2.1, or GL_ARB_pixel_buffer_object), the
// read goes into one of a ring of buffers and is only mapped a few frames later, so the copy
// from the frame buffer overlaps the drawing of the next frames instead of stalling it; the
// frames then arrive that many frames late, always in order. Without them, glReadPixels reads
// straight into memory and each frame arrives at once.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class FrameReader {
public:
    // Receives frame `index`: `rows` is the picture as width x height RGB pixels, rows from the
    // bottom up (GL's order), 3 * width bytes apart. Valid only during the call.
    using Deliver = std::function<void(int64_t index, const unsigned char* rows)>;

    FrameReader() = default;
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Prepares reads of width x height pictures from the current context's back buffer. With
    // `pixelBuffers` false, or where the GL lacks them, the plain path is used.
    void open(int width, int height, bool pixelBuffers);
    // Starts reading the back buffer as frame `index` (indices rise by one per call) and
    // delivers every frame whose pixels are ready by now.
    void read(int64_t index, const Deliver& deliver);
    // Delivers the frames still in flight, in order, and frees the buffers.
    void finish(const Deliver& deliver);

    // Whether open() chose the pixel-buffer path (also after finish()).
    bool usesPixelBuffers() const { return pixelBuffersUsed; }
    // False once a pixel buffer could not be mapped: that frame was never delivered.
    bool ok() const { return !failed; }
    // Frames in flight on the pixel-buffer path: a frame is delivered this many reads later.
    static constexpr int ringSize = 3;

private:
    void deliverOldest(const Deliver& deliver);

    int width = 0, height = 0;
    std::vector<unsigned> buffers;   // buffer object names, one per ring slot; empty: plain path
    std::vector<int64_t> pending;    // frame index per slot, oldest first
    int64_t next = 0;                // slot of the next read
    std::vector<unsigned char> rows; // the plain path's destination
    bool failed = false;
    bool pixelBuffersUsed = false;
};

// Keeps a run that reads nothing back from queueing frames without end, while letting the GL
// draw one frame as the next is being issued. Where the GL has fences (GL 3.2, or
// GL_ARB_sync), each frame ends with one and waits only for the fence `depth` frames back, so
// a software rasteriser's threads keep working across the frame boundary; without fences each
// frame ends with glFinish.
class FramePacer {
public:
    FramePacer() = default;
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Looks for fences in the current context.
    void open();
    // Ends the frame just issued; returns once at most `depth` frames are still being drawn.
    void frameIssued();
    // Waits for every frame issued and lets go of the fences.
    void finish();
    bool usesFences() const { return fenced; }
    // Frames that may be drawn while the next is issued: on llvmpipe two took about 10 % less
    // time than glFinish after every frame, one no less, three and four no less than two.
    static constexpr int depth = 2;

private:
    std::vector<void*> fences; // oldest first
    bool fenced = false;
};

// Whether the current context offers pixel-buffer objects, after which their entry points are
// fetched through wglGetProcAddress. False (nothing fetched) when it does not.
bool fetchPixelBufferEntries();
