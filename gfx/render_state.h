// render_state.h - the render state all drawing shares: the fade factor that every material
// multiplies into its alpha, the primitive guard around glBegin / glEnd, and the count of faces
// drawn in the current frame.
//
// One RenderState object owns it; each value has one writer, the object's operations, and
// reset() puts it back as a fresh process has it. The short process-wide names the drawing
// code reads (fadeFactor, currentPrimitive, drawnFaceCount) are read-only views of its fields.
#pragma once

class RenderState {
public:
    // Multiplied into the alpha of every colour a material emits. Parts set it for their
    // drawing and put back 1.0 (or the previous value) when they finish.
    void setFadeFactor(float fade) { fadeFactorValue = fade; }
    // Opens a batch unless one is open. Returns the mode of the open batch when there was one
    // (changing nothing), else 0 after calling glBegin(mode).
    int beginPrimitive(int mode);
    // Closes the open batch. Returns 0 when none was open, else the mode it closed.
    int endPrimitive();
    // Faces handed to emit routines (and patch triangles) since the frame began: the frame
    // starts the count, the drawing adds to it.
    void startFaceCount() { drawnFaceCountValue = 0; }
    void countFaces(int faces) { drawnFaceCountValue += faces; }
    // Back to the state of a fresh process.
    void reset();

    const float& fadeFactor() const { return fadeFactorValue; }
    // The primitive mode last opened through beginPrimitive; 0 while no batch is open. Code that
    // changes GL state inside an open batch calls glEnd, changes the state and calls
    // glBegin(currentPrimitive) again (PrimitivePause).
    const int& currentPrimitive() const { return currentPrimitiveValue; }
    const int& drawnFaceCount() const { return drawnFaceCountValue; }

private:
    float fadeFactorValue = 1.0f;
    int currentPrimitiveValue = 0;
    int drawnFaceCountValue = 0;
};
extern RenderState renderState;

extern const float& fadeFactor;
extern const int& currentPrimitive;
extern const int& drawnFaceCount;

// renderState.beginPrimitive / endPrimitive under the names the drawing code uses.
int beginPrimitive(int mode);
int endPrimitive();

// Closes the open batch for a state change and reopens it afterwards, keeping its mode.
struct PrimitivePause {
    PrimitivePause();
    ~PrimitivePause();
    PrimitivePause(const PrimitivePause&) = delete;
    PrimitivePause& operator=(const PrimitivePause&) = delete;
};
