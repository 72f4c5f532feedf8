// gl_recorder.h - a recording GL entry-point table for tests: every one of the 352 entries (and
// the three multitexture ones) is replaced by a function that appends "name(arg, arg, ...)" to
// a log. Queries answer plausibly: glGetString gives a multitexture extension string,
// glGenTextures hands out increasing names. It shows call order and the state one piece of code
// leaves to the next; only a real render shows the picture is right.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "gfx/gl_api.h"

namespace testing_support {

struct GlLog {
    std::vector<std::string> calls;
    unsigned nextTexture = 1;
    bool recordVertices = true; // large scenes can switch the per-vertex entries off

    void clear() { calls.clear(); }
    // Number of calls whose text starts with `prefix` ("glBegin(" or "glEnd").
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : calls) {
            n += c.rfind(prefix, 0) == 0;
        }
        return n;
    }
    // Index of the first call at or after `from` starting with `prefix`, or -1.
    int find(const std::string& prefix, int from = 0) const {
        for (int i = from; i < static_cast<int>(calls.size()); ++i) {
            if (calls[static_cast<size_t>(i)].rfind(prefix, 0) == 0) {
                return i;
            }
        }
        return -1;
    }
    std::string joined() const {
        std::string s;
        for (const auto& c : calls) {
            s += c + "\n";
        }
        return s;
    }
};

inline GlLog& glLog() {
    static GlLog log;
    return log;
}

inline std::string formatArg(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
    return b;
}
inline std::string formatArg(double v) {
    return formatArg(static_cast<float>(v));
}
template <class T> std::string formatArg(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return v ? "ptr" : "null";
    } else if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else {
        return "?";
    }
}

template <class Tuple, size_t... I>
std::string formatArgs(const Tuple& t, std::index_sequence<I...>) {
    std::string s;
    ((s += (I == 0 ? "" : ", ") + formatArg(std::get<I>(t))), ...);
    return s;
}

template <class R, class... A> R recordCall(const char* name, const std::tuple<A...>& args) {
    GlLog& log = glLog();
    const bool vertex =
        std::strncmp(name, "glVertex", 8) == 0 || std::strncmp(name, "glTexCoord", 10) == 0 ||
        std::strncmp(name, "glColor", 7) == 0 || std::strncmp(name, "glMultiTexCoord", 15) == 0;
    if (!vertex || log.recordVertices) {
        log.calls.push_back(std::string(name) + "(" +
                            formatArgs(args, std::index_sequence_for<A...>{}) + ")");
    }
    if constexpr (!std::is_void_v<R>) {
        return R{};
    }
}

namespace recorded {
#define TIR_GL_ENTRY(ret, name, params, args)                                                      \
    inline ret name params {                                                                       \
        return recordCall<ret>(#name, std::make_tuple args);                                       \
    }
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
inline void glActiveTextureARB(GLenum texture) {
    recordCall<void>("glActiveTextureARB", std::make_tuple(texture));
}
inline void glMultiTexCoord2fvARB(GLenum target, const GLfloat* v) {
    recordCall<void>("glMultiTexCoord2fvARB", std::make_tuple(target, v[0], v[1]));
}
inline void glMultiTexCoord2fARB(GLenum target, GLfloat s, GLfloat t) {
    recordCall<void>("glMultiTexCoord2fARB", std::make_tuple(target, s, t));
}
} // namespace recorded

// Entries that answer queries rather than only record them.
namespace answering {
inline const GLubyte* glGetString(GLenum name) {
    recordCall<void>("glGetString", std::make_tuple(name));
    static const char extensions[] =
        "GL_ARB_multitexture GL_ARB_texture_env_combine GL_NV_texture_env_combine4";
    static const char other[] = "recording";
    return reinterpret_cast<const GLubyte*>(name == GL_EXTENSIONS ? extensions : other);
}
inline void glGenTextures(GLsizei n, GLuint* textures) {
    recordCall<void>("glGenTextures", std::make_tuple(n));
    for (GLsizei i = 0; i < n; ++i) {
        textures[i] = glLog().nextTexture++;
    }
}
inline PROC wglGetProcAddress(LPCSTR name) {
    recordCall<void>("wglGetProcAddress", std::make_tuple(name));
    if (std::strcmp(name, "glActiveTextureARB") == 0) {
        return reinterpret_cast<PROC>(&recorded::glActiveTextureARB);
    }
    if (std::strcmp(name, "glMultiTexCoord2fvARB") == 0) {
        return reinterpret_cast<PROC>(&recorded::glMultiTexCoord2fvARB);
    }
    if (std::strcmp(name, "glMultiTexCoord2fARB") == 0) {
        return reinterpret_cast<PROC>(&recorded::glMultiTexCoord2fARB);
    }
    return nullptr;
}
} // namespace answering

// Installs the recording table for the life of the object and restores the previous pointers.
struct RecordingGl {
    void* saved[glEntryCount];
    void* savedExt[3];
    RecordingGl() {
        for (int i = 0; i < glEntryCount; ++i) {
            saved[i] = *glEntrySlot(i);
        }
        savedExt[0] = reinterpret_cast<void*>(::glActiveTextureARB);
        savedExt[1] = reinterpret_cast<void*>(::glMultiTexCoord2fvARB);
        savedExt[2] = reinterpret_cast<void*>(::glMultiTexCoord2fARB);
#define TIR_GL_ENTRY(ret, name, params, args) ::name = &recorded::name;
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
        ::glGetString = &answering::glGetString;
        ::glGenTextures = &answering::glGenTextures;
        ::wglGetProcAddress = &answering::wglGetProcAddress;
        ::glActiveTextureARB = &recorded::glActiveTextureARB;
        ::glMultiTexCoord2fvARB = &recorded::glMultiTexCoord2fvARB;
        ::glMultiTexCoord2fARB = &recorded::glMultiTexCoord2fARB;
        glLog().clear();
        glLog().nextTexture = 1;
        glLog().recordVertices = true;
    }
    ~RecordingGl() {
        for (int i = 0; i < glEntryCount; ++i) {
            *glEntrySlot(i) = saved[i];
        }
        ::glActiveTextureARB = reinterpret_cast<void (*)(GLenum)>(savedExt[0]);
        ::glMultiTexCoord2fvARB = reinterpret_cast<void (*)(GLenum, const GLfloat*)>(savedExt[1]);
        ::glMultiTexCoord2fARB = reinterpret_cast<void (*)(GLenum, GLfloat, GLfloat)>(savedExt[2]);
    }
    GlLog& log() {
        return glLog();
    }
};

} // namespace testing_support
