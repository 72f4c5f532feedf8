// gl11.h - the GL library for platforms without a fixed-function driver: OpenGL 1.1 (with
// ARB_multitexture, ARB_texture_env_combine, crossbar, dot3 and NV_texture_env_combine4)
// implemented over OpenGL ES 3.0, which is also WebGL 2's API.
//
// The entry-point table fetches every GL function by name, so this layer stands in for the GL
// library without anything above it knowing: the platform's library lookup hands out
// procAddress(name) for the GL 1.1 names. Immediate mode is batched into one vertex buffer per
// draw, each texture-environment state gets one generated shader pair, and the fixed-function
// arithmetic follows Mesa's own pipeline, so frames match Mesa's within a level or two.
//
// A backend uses it in four steps:
//   1. Make an OpenGL ES 3.0 context of its own (natively through SDL/EGL, in a browser a
//      WebGL 2 canvas) and a layer context for it with createContext(lookup). The lookup answers
//      each ES 3.0 function the layer uses by its ES name ("glDrawArrays"): natively
//      SDL_GL_GetProcAddress; under emscripten a table of the emscripten_gl* aliases, because
//      the entry-point table's pointer variables own the plain gl* names there.
//   2. Whenever it makes the ES context current, call makeCurrent with the layer context (null
//      when it makes none current). The first makeCurrent makes the layer's ES objects in the
//      ES context that is current then.
//   3. Before each buffer swap, call flush(): drawing is batched until state changes.
//   4. Hand procAddress(name) out as the GL library's exports (GetProcAddress and
//      wglGetProcAddress alike), and call deleteContext when the ES context goes.
// The SDL backend does this when TIR_GL=es3 is set; without it the driver's own GL is used.
//
// The layer calls the ES 3.0 API only, through the functions the lookup gave, and includes no
// system header. A GL 1.1 function that it does not serve is still handed out: the first call
// stops the program through the fatal path with a message naming the function, as does a
// served function asked for a feature the layer leaves out (lighting, fog, texture
// generation, GL_CLAMP, lines and points).
#pragma once

namespace gl11 {

// One ES 3.0 function by its name, for the ES context current at the call; null if there is
// none (the layer then stops with a message naming the function).
using EsLookup = void* (*)(const char* name);

struct Context;

// A GL 1.1 context that draws through one ES 3.0 context. Calls nothing on ES until the first
// makeCurrent. Never fails.
Context* createContext(EsLookup lookup);
// Makes `context` (or none, with null) current for the GL entry points. The backend has made
// the matching ES context current before.
void makeCurrent(Context* context);
Context* currentContext();
// Frees the layer's own memory for the context. Its ES objects go with the ES context, which
// the backend deletes. If it was current, none is current afterwards.
void deleteContext(Context* context);
// Draws whatever the current context still holds batched (a no-op without a context).
void flush();

// The layer's function for a GL 1.1 name or one of the extension names it serves (the
// ARB_multitexture entries), cast to void*; a stopping stub for a GL 1.1 name it does not
// serve; null for any other name (WGL names included: the platform serves those).
void* procAddress(const char* name);
// True when procAddress(name) is a working function rather than the stopping stub.
bool serves(const char* name);

} // namespace gl11
