// gl_api.h - the GL entry-point table: every OpenGL and WGL function the program may call,
// as a process-wide function pointer of the function's own name.
//
// The program never links against the GL library. loadGl() opens it by name and fetches each of
// the 352 entries in a fixed order; unloadGl() replaces every by-name pointer with one stub that
// reports the late call and ends the process. Tests install recording functions in the same
// pointers. Never include <GL/gl.h> next to this header: its prototypes share these names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/gl_constants.h"
#include "platform/gl_types.h"
#include "platform/platform.h"

#define TIR_GL_ENTRY(ret, name, params, args) extern ret(*name) params;
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY

// The three multitexture entries belong to the table but are filled by the start-up
// multitexture check through wglGetProcAddress, not by loadGl().
extern void (*glActiveTextureARB)(GLenum texture);
extern void (*glMultiTexCoord2fvARB)(GLenum target, const GLfloat* v);
extern void (*glMultiTexCoord2fARB)(GLenum target, GLfloat s, GLfloat t);

struct GlTable {
    void* library = nullptr; // null while not loaded
    int unloaded = 0;        // 1 during and after unloadGl()
};
extern GlTable glTable;

// 0 loaded, 1 already loaded (nothing changes), 2 the library could not be loaded.
int loadGl(const char* libraryName);
// 0 unloaded, 1 nothing was loaded.
int unloadGl();
// One entry: its stub once unloaded (null for a name not in the table), else the library's
// export (or its loader's answer).
void* fetchGlEntry(const char* name);
// The stub entry i holds after unloadGl(): it reports the late call and ends the process.
// Null for an index outside the table.
void* glLateStub(int index);

// The multitexture check: true when the current context's extension string names
// GL_ARB_multitexture, after which the three extension entries are fetched through
// wglGetProcAddress. False (nothing fetched) when it does not.
bool fetchMultitextureEntries();

// Number of by-name entries and their names in fetch order.
constexpr int glEntryCount = 352;
extern const char* const glEntryNames[glEntryCount];
// Address of the pointer slot of entry i, for tools that rebind the whole table.
void** glEntrySlot(int index);
