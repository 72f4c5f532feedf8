// render_state.h - the render state all drawing shares: the fade factor that every material
// multiplies into its alpha, the primitive guard around glBegin / glEnd, and the count of faces
// drawn in the current frame.
#pragma once

// Multiplied into the alpha of every colour a material emits. Parts set it for their drawing
// and put back 1.0 (or the previous value) when they finish.
extern float fadeFactor;
// The primitive mode last opened through beginPrimitive; 0 while no batch is open. Code that
// changes GL state inside an open batch calls glEnd, changes the state and calls
// glBegin(currentPrimitive) again.
extern int currentPrimitive;
// Faces handed to emit routines (and patch triangles) since the frame began.
extern int drawnFaceCount;

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
