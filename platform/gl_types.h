// gl_types.h - the OpenGL 1.1 and WGL types of the GL entry points, shared by the entry-point
// table (gfx/) and the GL layer that can stand in for the GL library (platform/gl11/).
// platform/gl_entries.inc lists every entry with these types.
#pragma once

#include <cstdint>

#include "platform/platform.h"

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef signed char GLbyte;
typedef short GLshort;
typedef int GLint;
typedef unsigned char GLubyte;
typedef unsigned short GLushort;
typedef unsigned int GLuint;
typedef int GLsizei;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

// The WGL types, mapped onto the platform layer: a device context is the window itself.
typedef sys::Window* HDC;
typedef void* HGLRC;
typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef const char* LPCSTR;
typedef void (*PROC)(void);
typedef sys::PixelFormatDescriptor PIXELFORMATDESCRIPTOR;
