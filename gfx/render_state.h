// render_state.h - the render state all drawing shares, in one place: the fade factor that every
// material multiplies into its alpha, the primitive guard around glBegin / glEnd, the count of
// faces drawn in the current frame, the material the emit routines read, the catalogue of
// texture objects, and the magic of the last scene file read.
//
// One RenderState object owns it all; reset() puts it back as a fresh process has it, so tests
// and tools that start over need one call. The short process-wide names the drawing code uses
// (fadeFactor, currentPrimitive, ...) are references to its fields.
#pragma once

#include <cstdint>

#include "platform/growable_array.h"

struct Material;

struct CatalogueEntry {
    uint32_t textureId;
    char name[32]; // as the caller gave it, case kept
};

// JPEG names and their texture objects. Entries are never removed during a run.
struct TextureCatalogue : GrowableArray<CatalogueEntry> {
    // Forgets every entry (for tests and tools that start over with a new GL context).
    void clear() { release(); }
};

struct RenderState {
    // Multiplied into the alpha of every colour a material emits. Parts set it for their drawing
    // and put back 1.0 (or the previous value) when they finish.
    float fadeFactor = 1.0f;
    // The primitive mode last opened through beginPrimitive; 0 while no batch is open. Code that
    // changes GL state inside an open batch calls glEnd, changes the state and calls
    // glBegin(currentPrimitive) again.
    int currentPrimitive = 0;
    // Faces handed to emit routines (and patch triangles) since the frame began.
    int drawnFaceCount = 0;
    // The material the last begin routine set up; the emit routines read it.
    Material* currentMaterial = nullptr;
    TextureCatalogue textureCatalogue;
    // How a material turns a texture name into a texture id. Null means loadTexture; a tool that
    // only inspects scene files (no GL context, no textures) puts a stand-in here.
    int (*materialTextureLoader)(const char* name) = nullptr;
    // The magic of the last scene file read: it decides the material record length of the next
    // file that carries no magic of its own.
    char sceneFileMagic[5] = {'K', 'E', 'X', 'P', 0};

    // Back to the state of a fresh process (the texture objects themselves are GL's).
    void reset();
};
extern RenderState renderState;

extern float& fadeFactor;
extern int& currentPrimitive;
extern int& drawnFaceCount;
extern Material*& currentMaterial;
extern TextureCatalogue& textureCatalogue;
extern char (&sceneFileMagic)[5];

// Opens a batch unless one is open. Returns the mode of the open batch when there was one
// (changing nothing), else 0 after calling glBegin(mode).
int beginPrimitive(int mode);
// Closes the open batch. Returns 0 when none was open, else the mode it closed.
int endPrimitive();

// Closes the open batch for a state change and reopens it afterwards, keeping its mode.
struct PrimitivePause {
    PrimitivePause();
    ~PrimitivePause();
    PrimitivePause(const PrimitivePause&) = delete;
    PrimitivePause& operator=(const PrimitivePause&) = delete;
};
