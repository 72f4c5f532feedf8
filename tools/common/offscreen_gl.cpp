// offscreen_gl.cpp - the headless GL window and the do-nothing GL table.
#include "tools/common/offscreen_gl.h"

#include <cstring>
#include <type_traits>

#include "gfx/render_context.h"
#include "platform/platform.h"
#include "platform/sanitizer.h"

#if TIR_ADDRESS_SANITIZER
#include <sanitizer/lsan_interface.h>
#endif

namespace {

intptr_t quietWindowProc(sys::Window*, unsigned, uintptr_t, intptr_t) {
    return 0;
}

} // namespace

// The GL driver (Mesa's llvmpipe under the headless driver) keeps allocations from context
// creation and from its first draws until the process ends, and by then it has unloaded the
// code that made them, so the leak checker of sanitizer builds would blame them on the caller.
// Leak checking is paused on this thread while a context is open; those allocations are not
// ours to free. Address checking goes on as usual.
void pauseLeakChecks(bool pause) {
#if TIR_ADDRESS_SANITIZER
    if (pause) {
        __lsan_disable();
    } else {
        __lsan_enable();
    }
#else
    (void)pause;
#endif
}

OffscreenGl::~OffscreenGl() {
    close();
}

bool OffscreenGl::open(int w, int h, std::string& error) {
    close();
    pauseLeakChecks(true);
    leakChecksPaused = true;
    sys::preferHeadlessVideo();
    if (loadGl("opengl32.dll") == 2) {
        error = "the GL library could not be loaded";
        return false;
    }
    width = w;
    height = h;
    window = sys::createWindow("offscreen", 0, 0, w, h, &quietWindowProc, nullptr);
    context = new RenderContext(window, 32, 24);
    if (context->createResult != 0 || !context->glContext) {
        error = "no GL context could be made (is SDL_VIDEODRIVER=offscreen available?)";
        close();
        return false;
    }
    if (!fetchMultitextureEntries()) {
        error = "the GL context has no GL_ARB_multitexture";
        close();
        return false;
    }
    if (!glActiveTextureARB || !glMultiTexCoord2fARB) {
        error = "the multitexture entry points could not be fetched";
        close();
        return false;
    }
    glViewport(0, 0, w, h);
    return true;
}

void OffscreenGl::close() {
    if (context) {
        context->release();
        delete context;
        context = nullptr;
    }
    if (window) {
        sys::destroyWindow(window);
        window = nullptr;
    }
    if (leakChecksPaused) {
        pauseLeakChecks(false);
        leakChecksPaused = false;
    }
}

std::vector<unsigned char> OffscreenGl::readRgb() const {
    return readBackBuffer(width, height);
}

std::vector<unsigned char> readBackBuffer(int width, int height) {
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> rows(stride * static_cast<size_t>(height));
    std::vector<unsigned char> out(rows.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height; ++y) {
        std::memcpy(&out[static_cast<size_t>(y) * stride],
                    &rows[static_cast<size_t>(height - 1 - y) * stride], stride);
    }
    return out;
}

// ---- the do-nothing table

namespace nullgl {

template <class R> R nothing() {
    if constexpr (!std::is_void_v<R>) {
        return R{};
    }
}

#define TIR_GL_ENTRY(ret, name, params, args)                                                      \
    ret name params {                                                                              \
        return nothing<ret>();                                                                     \
    }
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY

void glActiveTextureARB(GLenum) {}
void glMultiTexCoord2fvARB(GLenum, const GLfloat*) {}
void glMultiTexCoord2fARB(GLenum, GLfloat, GLfloat) {}

const GLubyte* answerString(GLenum name) {
    static const char extensions[] = "GL_ARB_multitexture";
    static const char other[] = "null";
    return reinterpret_cast<const GLubyte*>(name == GL_EXTENSIONS ? extensions : other);
}

void generateTextures(GLsizei n, GLuint* textures) {
    static GLuint next = 1;
    for (GLsizei i = 0; i < n; ++i) {
        textures[i] = next++;
    }
}

} // namespace nullgl

void installNullGl() {
#define TIR_GL_ENTRY(ret, name, params, args) ::name = &nullgl::name;
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
    ::glGetString = &nullgl::answerString;
    ::glGenTextures = &nullgl::generateTextures;
    ::glActiveTextureARB = &nullgl::glActiveTextureARB;
    ::glMultiTexCoord2fvARB = &nullgl::glMultiTexCoord2fvARB;
    ::glMultiTexCoord2fARB = &nullgl::glMultiTexCoord2fARB;
}
