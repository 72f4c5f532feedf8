// patch_surface.h - a smooth surface through a grid of control nodes, for the effect parts that
// draw tubes. Rows of nodes are closed into rings; the surface between them is a bicubic
// Catmull-Rom patch per node, drawn once per texture layer. A layer is mapped either with the
// nodes' own texture coordinates or with environment coordinates taken from per-node normals
// that are recomputed every frame in eye space.
#pragma once

#include <cstdint>

// One vertex of the surface: a node's own vertex, and the element of the tessellation lines.
struct SurfaceVertex {
    float x = 0, y = 0, z = 0;
    // Written by the normal pass; envZ is neither drawn nor interpolated.
    float envS = 0, envT = 0, envZ = 0;
    float u = 0, v = 0;
    float r = 0, g = 0, b = 0, a = 0;
};

// A control node: its vertex, the face vectors of the normal pass, and links to its four
// neighbours (null at the grid's edges).
struct SurfaceNode : SurfaceVertex {
    float faceDown[3] = {0, 0, 0};
    float faceRight[3] = {0, 0, 0};
    // 1 on the last node of each row once the rows are closed: the patch that wraps from it
    // back to the row's first node adds 1 to the texture coordinate u of the far side.
    int seam = 0;
    SurfaceNode* up = nullptr;
    SurfaceNode* down = nullptr;
    SurfaceNode* left = nullptr;
    SurfaceNode* right = nullptr;

    SurfaceNode() = default;
    // Clears the back links of the neighbours that exist, so none is left pointing here.
    ~SurfaceNode();
    SurfaceNode(const SurfaceNode&) = delete;
    SurfaceNode& operator=(const SurfaceNode&) = delete;
};

enum : uint32_t {
    layerUvMapped = 1u,  // the nodes' u, v plus the layer's offsets
    layerEnvMapped = 2u, // envS, envT from the normal pass (only when bit 0 is clear)
};

struct SurfaceLayer {
    int textureId = -1;  // -1: the layer is skipped
    float weight = 1.0f; // multiplies every vertex alpha; passed on unclamped
    float uOffset = 0.0f;
    float vOffset = 0.0f;
    uint32_t flags = layerUvMapped;
};

class PatchSurface {
public:
    static constexpr int maxLayers = 16;
    // The tessellation lines hold 64 vertices; a line needs its two end points.
    static constexpr int maxSteps = 64;
    static constexpr int minSteps = 2;

    PatchSurface();

    // Links `count` = columns x rows nodes, stored row after row, as a grid: right / left
    // within a row, down / up between rows. Edge nodes keep null links. The caller keeps
    // ownership of the array. A grid without nodes leaves the surface empty.
    void linkGrid(SurfaceNode* grid, int columnCount, int rowCount);
    // Joins the last node of every row to the row's first node and marks it as the seam.
    void closeRows();
    // Multiplies `callerMatrix` and then `matrix` onto the model-view matrix, runs the normal
    // pass when `computeNormals` is set, enables GL_TEXTURE_2D and draws every patch row (the
    // last row of nodes is only the lower edge of the row above it). Each triangle adds 1 to
    // drawnFaceCount. Leaves GL_TEXTURE_2D on and the model-view matrix multiplied. Draws
    // nothing without nodes. Step counts outside [2, 64] are drawn as the nearest bound.
    void draw(const float callerMatrix[16]);

    float matrix[16];             // the surface's own model matrix, GL order; identity at first
    SurfaceNode* nodes = nullptr; // row 0, column 0
    SurfaceLayer layers[maxLayers];
    int layerCount = 0; // layers drawn, from slot 0
    int columns = 0;
    int rows = 0;
    int stepsAcross = 4; // vertices per patch from a node to its right neighbour, ends included
    int stepsDown = 4;   // vertices per patch from a node to its down neighbour, ends included
    bool computeNormals = false;

private:
    void normalPass(const float modelView[16]);
    void drawPatch(const SurfaceNode* node, int across, int down);
};

// Uniform Catmull-Rom through p1 (t = 0) and p2 (t = 1), with p0 and p3 shaping the tangents.
float catmullRom(float p0, float p1, float p2, float p3, float t);

// The texture of a layer's picture, loaded through the search path (a missing file is fatal),
// or -1 - an empty layer - when no name (null or "") is given.
int loadLayerPicture(const char* name);
