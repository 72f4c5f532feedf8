// gl_table.cpp - loads the GL library by name and fills the entry-point table.
#include "gfx/gl_api.h"

#include <cstdlib>
#include <cstring>

#define TIR_GL_ENTRY(ret, name, params, args) ret(*name) params = nullptr;
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY

void (*glActiveTextureARB)(GLenum texture) = nullptr;
void (*glMultiTexCoord2fvARB)(GLenum target, const GLfloat* v) = nullptr;
void (*glMultiTexCoord2fARB)(GLenum target, GLfloat s, GLfloat t) = nullptr;

GlTable glTable;

const char* const glEntryNames[glEntryCount] = {
#define TIR_GL_ENTRY(ret, name, params, args) #name,
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
};

void** glEntrySlot(int index) {
    static void** const slots[glEntryCount] = {
#define TIR_GL_ENTRY(ret, name, params, args) reinterpret_cast<void**>(&name),
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
    };
    return (index >= 0 && index < glEntryCount) ? slots[index] : nullptr;
}

// Every entry's stub reports the late call and ends the process, so no caller ever continues
// as if the call had worked.
[[noreturn]] static void reportLateCall() {
    sys::debugOutput("GL function called after deintialization\n");
    sys::exitProcess(3);
}

// Each entry has a stub of its own type, so that a late call through the table calls a
// function of the type it is called as.
namespace late {
#define TIR_GL_ENTRY(ret, name, params, args)                                                      \
    static ret name params {                                                                       \
        reportLateCall();                                                                          \
    }
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
} // namespace late

void* glLateStub(int index) {
    static void* const stubs[glEntryCount] = {
#define TIR_GL_ENTRY(ret, name, params, args) reinterpret_cast<void*>(&late::name),
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
    };
    return (index >= 0 && index < glEntryCount) ? stubs[index] : nullptr;
}

void* fetchGlEntry(const char* name) {
    if (glTable.unloaded) {
        for (int i = 0; i < glEntryCount; ++i) {
            if (std::strcmp(glEntryNames[i], name) == 0) {
                return glLateStub(i);
            }
        }
        return nullptr;
    }
    if (void* wgl = sys::wglEntry(name)) {
        return wgl;
    }
    if (void* p = sys::libraryProc(glTable.library, name)) {
        return p;
    }
    return sys::glLoaderProc(glTable.library, name);
}

static void fillTable() {
    for (int i = 0; i < glEntryCount; ++i) {
        *glEntrySlot(i) = glTable.unloaded ? glLateStub(i) : fetchGlEntry(glEntryNames[i]);
    }
}

int loadGl(const char* libraryName) {
    if (glTable.library) {
        return 1;
    }
    glTable.library = sys::loadLibrary(libraryName);
    if (!glTable.library) {
        return 2;
    }
    glTable.unloaded = 0;
    fillTable();
    return 0;
}

int unloadGl() {
    if (!glTable.library) {
        return 1;
    }
    glTable.unloaded = 1;
    fillTable();
    sys::freeLibrary(glTable.library);
    glTable.library = nullptr;
    return 0;
}

bool fetchMultitextureEntries() {
    const char* extensions =
        glGetString ? reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)) : nullptr;
    if (!extensions || !std::strstr(extensions, "GL_ARB_multitexture")) {
        return false;
    }
    glActiveTextureARB =
        reinterpret_cast<void (*)(GLenum)>(wglGetProcAddress("glActiveTextureARB"));
    glMultiTexCoord2fvARB = reinterpret_cast<void (*)(GLenum, const GLfloat*)>(
        wglGetProcAddress("glMultiTexCoord2fvARB"));
    glMultiTexCoord2fARB = reinterpret_cast<void (*)(GLenum, GLfloat, GLfloat)>(
        wglGetProcAddress("glMultiTexCoord2fARB"));
    return true;
}
