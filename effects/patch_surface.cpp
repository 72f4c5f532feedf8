// patch_surface.cpp - tessellation and drawing of the patch surface.
//
// A patch spans a node N, its right neighbour and the two nodes below them. It is built from
// four column nodes (left of N, N, right of N, and the one after that): each column is first
// interpolated down to `stepsDown` vertices, then every row of those column vertices is
// interpolated across to `stepsAcross` vertices, and consecutive rows are joined into
// triangles. Missing neighbours at the grid's edges are replaced by the node the step started
// from, which flattens the curve's tangent there.
//
// Texture coordinate u runs 0 .. 5/6 round a ring of six nodes; the patch that wraps from the
// seam node back to the row's first node would run it backwards. The seam shift lifts u of the
// wrapped-round nodes by 1 (so it runs on to 1), and in the patch after the seam lowers the
// seam node's u by 1 (so the curve enters 0 with the right slope). With the textures' repeat
// wrap the picture then continues round the ring without a jump.
#include "effects/patch_surface.h"

#include <algorithm>
#include <cmath>

#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

const SurfaceNode* orSelf(const SurfaceNode* link, const SurfaceNode* self) {
    return link ? link : self;
}

// Catmull-Rom on every component but envZ, which is taken from p1 (it is never drawn).
SurfaceVertex interpolate(const SurfaceVertex& p0, const SurfaceVertex& p1, const SurfaceVertex& p2,
                          const SurfaceVertex& p3, float t) {
    SurfaceVertex out = p1;
    out.x = catmullRom(p0.x, p1.x, p2.x, p3.x, t);
    out.y = catmullRom(p0.y, p1.y, p2.y, p3.y, t);
    out.z = catmullRom(p0.z, p1.z, p2.z, p3.z, t);
    out.envS = catmullRom(p0.envS, p1.envS, p2.envS, p3.envS, t);
    out.envT = catmullRom(p0.envT, p1.envT, p2.envT, p3.envT, t);
    out.u = catmullRom(p0.u, p1.u, p2.u, p3.u, t);
    out.v = catmullRom(p0.v, p1.v, p2.v, p3.v, t);
    out.r = catmullRom(p0.r, p1.r, p2.r, p3.r, t);
    out.g = catmullRom(p0.g, p1.g, p2.g, p3.g, t);
    out.b = catmullRom(p0.b, p1.b, p2.b, p3.b, t);
    out.a = catmullRom(p0.a, p1.a, p2.a, p3.a, t);
    return out;
}

float parameter(int index, int steps) {
    return static_cast<float>(index) / static_cast<float>(steps - 1);
}

void emitUvMapped(const SurfaceVertex& p, const SurfaceLayer& layer) {
    glTexCoord2f(p.u + layer.uOffset, p.v + layer.vOffset);
    glColor4f(p.r, p.g, p.b, p.a * layer.weight);
    glVertex3f(p.x, p.y, p.z);
}

void emitEnvMapped(const SurfaceVertex& p, const SurfaceLayer& layer) {
    glTexCoord2f(p.envS, p.envT);
    glColor4f(p.r, p.g, p.b, p.a * layer.weight);
    glVertex3f(p.x, p.y, p.z);
}

// The triangles between two row lines of `count` vertices, in one batch of the layer's texture.
// A layer with neither mapping bit issues the batch empty.
void drawStrip(const SurfaceVertex* previous, const SurfaceVertex* next, int count,
               const SurfaceLayer& layer) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(layer.textureId));
    glBegin(GL_TRIANGLES);
    if (layer.flags & (layerUvMapped | layerEnvMapped)) {
        void (*emit)(const SurfaceVertex&, const SurfaceLayer&) =
            (layer.flags & layerUvMapped) ? emitUvMapped : emitEnvMapped;
        for (int i = 0; i + 1 < count; ++i) {
            emit(previous[i], layer);
            emit(previous[i + 1], layer);
            emit(next[i], layer);
            emit(previous[i + 1], layer);
            emit(next[i + 1], layer);
            emit(next[i], layer);
            renderState.countFaces(2);
        }
    }
    glEnd();
}

} // namespace

float catmullRom(float p0, float p1, float p2, float p3, float t) {
    return p1 + t * ((p2 - p0) / 2.0f + t * ((p0 + 2.0f * p2 - (p3 + 5.0f * p1) / 2.0f) +
                                             t * ((p3 + 3.0f * p1 - p0 - 3.0f * p2) / 2.0f)));
}

int loadLayerPicture(const char* name) {
    return (name && *name) ? loadTexture(name) : -1;
}

SurfaceNode::~SurfaceNode() {
    if (up) {
        up->down = nullptr;
    }
    if (down) {
        down->up = nullptr;
    }
    if (left) {
        left->right = nullptr;
    }
    if (right) {
        right->left = nullptr;
    }
}

PatchSurface::PatchSurface() {
    for (int i = 0; i < 16; ++i) {
        matrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    }
}

void PatchSurface::linkGrid(SurfaceNode* grid, int columnCount, int rowCount) {
    if (!grid || columnCount <= 0 || rowCount <= 0) {
        nodes = nullptr;
        columns = rows = 0;
        return;
    }
    nodes = grid;
    columns = columnCount;
    rows = rowCount;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            SurfaceNode& node = grid[c + r * columns];
            if (c + 1 < columns) {
                node.right = &node + 1;
                node.right->left = &node;
            }
            if (r + 1 < rows) {
                node.down = &node + columns;
                node.down->up = &node;
            }
        }
    }
}

void PatchSurface::closeRows() {
    for (SurfaceNode* first = nodes; first; first = first->down) {
        SurfaceNode* last = first;
        // A row closed before already leads back to its first node.
        while (last->right && last->right != first) {
            last = last->right;
        }
        last->right = first;
        first->left = last;
        last->seam = 1;
    }
}

// Per node, two face vectors from the edges to the right, down, and diagonally down-right.
// They are not cross products: every product pair is summed and only the first two components
// are negated. The sheen of the tube and the tunnel is this shading, so it is kept as it is.
// A node's normal is the sum
// of its own two vectors and those of its up, down and up-left neighbours, turned into eye
// space by the model-view's upper 3 x 3 taken row by row in GL order, then made unit length.
void PatchSurface::normalPass(const float m[16]) {
    const int count = columns * rows;
    for (int k = 0; k < count; ++k) {
        SurfaceNode& n = nodes[k];
        const SurfaceNode* right = orSelf(n.right, &n);
        const SurfaceNode* down = orSelf(n.down, &n);
        const SurfaceNode* diagonal = orSelf(right->down, right);
        const float e1[3] = {right->x - n.x, right->y - n.y, right->z - n.z};
        const float e2[3] = {down->x - n.x, down->y - n.y, down->z - n.z};
        const float e3[3] = {diagonal->x - n.x, diagonal->y - n.y, diagonal->z - n.z};
        n.faceDown[0] = -(e3[1] * e2[2] + e3[2] * e2[1]);
        n.faceDown[1] = -(e2[2] * e3[0] + e3[2] * e2[0]);
        n.faceDown[2] = e2[1] * e3[0] + e3[1] * e2[0];
        n.faceRight[0] = -(e3[1] * e1[2] + e3[2] * e1[1]);
        n.faceRight[1] = -(e1[2] * e3[0] + e3[2] * e1[0]);
        n.faceRight[2] = e1[1] * e3[0] + e3[1] * e1[0];
    }
    for (int k = 0; k < count; ++k) {
        SurfaceNode& n = nodes[k];
        const SurfaceNode* up = orSelf(n.up, &n);
        const SurfaceNode* down = orSelf(n.down, &n);
        const SurfaceNode* left = orSelf(n.left, &n);
        const SurfaceNode* upLeft = orSelf(left->up, left);
        float sum[3];
        for (int c = 0; c < 3; ++c) {
            sum[c] = n.faceDown[c] + n.faceRight[c] + up->faceDown[c] + down->faceRight[c] +
                     upLeft->faceDown[c] + upLeft->faceRight[c];
        }
        float nx = m[0] * sum[0] + m[1] * sum[1] + m[2] * sum[2];
        float ny = m[4] * sum[0] + m[5] * sum[1] + m[6] * sum[2];
        float nz = m[8] * sum[0] + m[9] * sum[1] + m[10] * sum[2];
        const float lengthSquared = nx * nx + ny * ny + nz * nz;
        const float scale = std::sqrt(1.0f / lengthSquared);
        nx *= scale;
        ny *= scale;
        nz *= scale;
        // Flat or collapsed nodes sum to nothing; they face the viewer rather than hand GL a
        // NaN (which llvmpipe and others turn into stray texels or dropped triangles).
        if (!(lengthSquared > 0.0f) || !std::isfinite(nx) || !std::isfinite(ny) ||
            !std::isfinite(nz)) {
            nx = 0.0f;
            ny = 0.0f;
            nz = 1.0f;
        }
        n.envS = (nx + 1.0f) * 0.5f;
        n.envT = (ny + 1.0f) * 0.5f;
        n.envZ = nz;
    }
}

void PatchSurface::drawPatch(const SurfaceNode* node, int across, int down) {
    SurfaceVertex column[4][maxSteps];
    SurfaceVertex lines[2][maxSteps];

    const SurfaceNode* k[4];
    k[1] = node;
    k[0] = orSelf(node->left, node);
    k[2] = orSelf(node->right, k[1]);
    k[3] = orSelf(k[2]->right, k[2]);
    for (int q = 0; q < 4; ++q) {
        const SurfaceNode* centre = k[q];
        const SurfaceNode* above = orSelf(centre->up, centre);
        const SurfaceNode* below = orSelf(centre->down, centre);
        const SurfaceNode* belowBelow = orSelf(below->down, below);
        column[q][0] = *centre;
        column[q][down - 1] = *below;
        for (int m = 1; m < down - 1; ++m) {
            column[q][m] = interpolate(*above, *centre, *below, *belowBelow, parameter(m, down));
        }
    }

    int shift = 0;
    if (node->seam == 1) {
        shift = 1;
    } else if (orSelf(node->left, node)->seam == 1) {
        shift = -1;
    }

    auto rowLine = [&](int j, SurfaceVertex* out) {
        SurfaceVertex p0 = column[0][j];
        const SurfaceVertex& p1 = column[1][j];
        SurfaceVertex p2 = column[2][j];
        SurfaceVertex p3 = column[3][j];
        if (shift < 0) {
            p0.u -= 1.0f;
        } else if (shift > 0) {
            p2.u += 1.0f;
            p3.u += 1.0f;
        }
        for (int i = 0; i + 1 < across; ++i) {
            out[i] = interpolate(p0, p1, p2, p3, parameter(i, across));
        }
        // The curve at t = 1 is p2 only up to rounding, and the patch to the right starts from
        // p2 itself: the line ends on the column vertex, as the column lines end on their node,
        // so neighbouring patches share their joint exactly and no pixel on it is missed or
        // drawn twice.
        out[across - 1] = p2;
    };

    SurfaceVertex* previous = lines[0];
    SurfaceVertex* next = lines[1];
    rowLine(0, previous);
    const int layersDrawn = std::clamp(layerCount, 0, maxLayers);
    for (int j = 1; j < down; ++j) {
        rowLine(j, next);
        for (int l = 0; l < layersDrawn; ++l) {
            if (layers[l].textureId >= 0) {
                drawStrip(previous, next, across, layers[l]);
            }
        }
        std::swap(previous, next);
    }
}

void PatchSurface::draw(const float callerMatrix[16]) {
    if (!nodes) {
        return;
    }
    glMatrixMode(GL_MODELVIEW);
    glMultMatrixf(callerMatrix);
    glMultMatrixf(matrix);
    if (computeNormals) {
        // Identity unless GL answers (a table that records or does nothing leaves it).
        float modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        normalPass(modelView);
    }
    glEnable(GL_TEXTURE_2D);

    const int across = std::clamp(stepsAcross, minSteps, maxSteps);
    const int down = std::clamp(stepsDown, minSteps, maxSteps);
    // The last row of nodes is only the lower edge of the row above it. A closed row draws a
    // patch for every node; an open one stops at its last node that has a right neighbour.
    const SurfaceNode* row = nodes;
    do {
        const SurfaceNode* node = row;
        do {
            drawPatch(node, across, down);
            node = node->right;
        } while (node && node->right && node != row);
        row = row->down;
    } while (row && row->down);
}
