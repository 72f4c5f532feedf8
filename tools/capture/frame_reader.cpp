// frame_reader.cpp - the pixel-buffer ring and the plain read-back.
//
// The buffer-object and fence entry points belong to GL 1.5 and 3.2, which the GL 1.1 entry-point
// table does not hold: they are fetched here through wglGetProcAddress, as the start-up fetches the
// multitexture entries, and only used while a capture runs.
#include "tools/capture/frame_reader.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/gl_api.h"

namespace {

constexpr GLenum pixelPackBuffer = 0x88EB; // GL_PIXEL_PACK_BUFFER
constexpr GLenum streamRead = 0x88E1;      // GL_STREAM_READ
constexpr GLenum readOnly = 0x88B8;        // GL_READ_ONLY

using GenBuffers = void (*)(GLsizei, GLuint*);
using DeleteBuffers = void (*)(GLsizei, const GLuint*);
using BindBuffer = void (*)(GLenum, GLuint);
using BufferData = void (*)(GLenum, std::ptrdiff_t, const void*, GLenum);
using MapBuffer = void* (*)(GLenum, GLenum);
using UnmapBuffer = GLboolean (*)(GLenum);
using FenceSync = void* (*)(GLenum, GLbitfield);
using ClientWaitSync = GLenum (*)(void*, GLbitfield, uint64_t);
using DeleteSync = void (*)(void*);

constexpr GLenum syncGpuCommandsComplete = 0x9117; // GL_SYNC_GPU_COMMANDS_COMPLETE
constexpr GLbitfield syncFlushCommands = 0x1;      // GL_SYNC_FLUSH_COMMANDS_BIT
constexpr GLenum waitFailed = 0x911D;              // GL_WAIT_FAILED
constexpr GLenum timeoutExpired = 0x911B;          // GL_TIMEOUT_EXPIRED

struct PixelBufferEntries {
    GenBuffers genBuffers = nullptr;
    DeleteBuffers deleteBuffers = nullptr;
    BindBuffer bindBuffer = nullptr;
    BufferData bufferData = nullptr;
    MapBuffer mapBuffer = nullptr;
    UnmapBuffer unmapBuffer = nullptr;
} pbo;

struct FenceEntries {
    FenceSync fenceSync = nullptr;
    ClientWaitSync clientWaitSync = nullptr;
    DeleteSync deleteSync = nullptr;
} sync;

// Whether a desktop GL's version string ("MAJOR.MINOR ...") is at least major.minor. An
// "OpenGL ES ..." string is not: ES 3 has buffers and fences too, but maps buffers through
// another entry, so it takes the plain paths.
bool versionAtLeast(const char* version, long major, long minor) {
    if (!version || !(version[0] >= '0' && version[0] <= '9')) {
        return false;
    }
    char* end = nullptr;
    const long hasMajor = std::strtol(version, &end, 10);
    const long hasMinor = (end && *end == '.') ? std::strtol(end + 1, nullptr, 10) : 0;
    return hasMajor > major || (hasMajor == major && hasMinor >= minor);
}

template <class F> F entry(const std::string& name) {
    return reinterpret_cast<F>(wglGetProcAddress(name.c_str()));
}

} // namespace

bool fetchPixelBufferEntries() {
    if (!glGetString || !wglGetProcAddress) {
        return false;
    }
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const bool core = versionAtLeast(version, 2, 1);
    const bool arb = extensions && std::strstr(extensions, "GL_ARB_pixel_buffer_object") &&
                     std::strstr(extensions, "GL_ARB_vertex_buffer_object");
    if (!core && !arb) {
        return false;
    }
    // The core names where the version has them, the ARB names of the same functions else.
    const char* suffix = core ? "" : "ARB";
    auto named = [&](const char* base) { return std::string(base) + suffix; };
    PixelBufferEntries e;
    e.genBuffers = entry<GenBuffers>(named("glGenBuffers"));
    e.deleteBuffers = entry<DeleteBuffers>(named("glDeleteBuffers"));
    e.bindBuffer = entry<BindBuffer>(named("glBindBuffer"));
    e.bufferData = entry<BufferData>(named("glBufferData"));
    e.mapBuffer = entry<MapBuffer>(named("glMapBuffer"));
    e.unmapBuffer = entry<UnmapBuffer>(named("glUnmapBuffer"));
    if (!e.genBuffers || !e.deleteBuffers || !e.bindBuffer || !e.bufferData || !e.mapBuffer ||
        !e.unmapBuffer) {
        return false;
    }
    pbo = e;
    return true;
}

FrameReader::~FrameReader() {
    if (!buffers.empty()) {
        pbo.deleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    }
}

void FrameReader::open(int w, int h, bool pixelBuffers) {
    width = w;
    height = h;
    next = 0;
    pending.clear();
    if (pixelBuffers && fetchPixelBufferEntries()) {
        // Errors the drawing left are not this code's: they are cleared first, so that the
        // check below sees only the buffers' own.
        for (int i = 0; i < 64 && glGetError() != 0; ++i) {
        }
        buffers.assign(ringSize, 0);
        pbo.genBuffers(ringSize, buffers.data());
        for (const GLuint b : buffers) {
            pbo.bindBuffer(pixelPackBuffer, b);
            pbo.bufferData(pixelPackBuffer, static_cast<std::ptrdiff_t>(w) * h * 3, nullptr,
                           streamRead);
        }
        pbo.bindBuffer(pixelPackBuffer, 0);
        if (glGetError() != 0) { // not GL_NO_ERROR: the buffers could not be made
            pbo.deleteBuffers(ringSize, buffers.data());
            buffers.clear();
        }
    }
    pixelBuffersUsed = !buffers.empty();
    if (buffers.empty()) {
        rows.resize(static_cast<size_t>(w) * h * 3);
    }
}

void FrameReader::read(int64_t index, const Deliver& deliver) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    if (buffers.empty()) {
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
        deliver(index, rows.data());
        return;
    }
    if (static_cast<int>(pending.size()) == ringSize) {
        deliverOldest(deliver); // frees the slot this read goes into
    }
    pbo.bindBuffer(pixelPackBuffer, buffers[static_cast<size_t>(next % ringSize)]);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, nullptr); // into the buffer
    pbo.bindBuffer(pixelPackBuffer, 0);
    pending.push_back(index);
    ++next;
}

void FrameReader::deliverOldest(const Deliver& deliver) {
    const int64_t slot = next - static_cast<int64_t>(pending.size());
    pbo.bindBuffer(pixelPackBuffer, buffers[static_cast<size_t>(slot % ringSize)]);
    const void* mapped = pbo.mapBuffer(pixelPackBuffer, readOnly);
    const int64_t index = pending.front();
    pending.erase(pending.begin());
    if (mapped) {
        deliver(index, static_cast<const unsigned char*>(mapped));
        pbo.unmapBuffer(pixelPackBuffer);
    } else {
        // The back buffer holds a later frame by now, so this one is lost: the capture stops
        // with an error rather than leave a gap in the frames.
        failed = true;
    }
    pbo.bindBuffer(pixelPackBuffer, 0);
}

void FrameReader::finish(const Deliver& deliver) {
    while (!pending.empty()) {
        deliverOldest(deliver);
    }
    if (!buffers.empty()) {
        pbo.deleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
        buffers.clear();
    }
}

// ---- FramePacer

FramePacer::~FramePacer() {
    finish();
}

void FramePacer::open() {
    fenced = false;
    if (!glGetString || !wglGetProcAddress) {
        return;
    }
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!versionAtLeast(version, 3, 2) && !(extensions && std::strstr(extensions, "GL_ARB_sync"))) {
        return;
    }
    // GL_ARB_sync names its functions without a suffix, as GL 3.2 does.
    FenceEntries e;
    e.fenceSync = entry<FenceSync>("glFenceSync");
    e.clientWaitSync = entry<ClientWaitSync>("glClientWaitSync");
    e.deleteSync = entry<DeleteSync>("glDeleteSync");
    if (e.fenceSync && e.clientWaitSync && e.deleteSync) {
        sync = e;
        fenced = true;
    }
}

void FramePacer::frameIssued() {
    void* fence = fenced ? sync.fenceSync(syncGpuCommandsComplete, 0) : nullptr;
    if (!fence) {
        glFinish();
        return;
    }
    // Hands the frame to the rasteriser now rather than when the next one fills its queue.
    glFlush();
    fences.push_back(fence);
    while (static_cast<int>(fences.size()) > depth) {
        void* oldest = fences.front();
        GLenum result = timeoutExpired;
        while (result == timeoutExpired) {
            result = sync.clientWaitSync(oldest, syncFlushCommands, 1000000000ull); // 1 s
        }
        sync.deleteSync(oldest);
        fences.erase(fences.begin());
        if (result == waitFailed) {
            glFinish(); // the fence is of no use; the GL's own wait still holds
        }
    }
}

void FramePacer::finish() {
    if (!fences.empty()) {
        glFinish();
        for (void* f : fences) {
            sync.deleteSync(f);
        }
        fences.clear();
    }
}
