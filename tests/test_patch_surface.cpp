// test_patch_surface.cpp - the patch surface on a real GL context: how many triangles a grid
// draws, rings closed without a gap, the picture running on round the seam, environment
// coordinates from the eye-space normals (and a fixed one where the normals sum to nothing),
// step counts held to what the tessellation lines can take; with the recording table, the
// batches of each layer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "effect_test_support.h"
#include "effects/effect_common.h"
#include "effects/patch_surface.h"
#include "gl_recorder.h"

using namespace testing_support;

namespace {

constexpr float unitMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
constexpr double pi = 3.14159265358979323846;

struct Rgb {
    int r, g, b;
};

// A texture object of w x h texels from `texel(x, y)`, nearest filtering, repeat wrap.
GLuint makeTexture(int w, int h, const std::function<Rgb(int, int)>& texel) {
    std::vector<unsigned char> data;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb c = texel(x, y);
            data.push_back(static_cast<unsigned char>(c.r));
            data.push_back(static_cast<unsigned char>(c.g));
            data.push_back(static_cast<unsigned char>(c.b));
        }
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, data.data());
    return id;
}

// A grid of nodes with its surface, laid out by `place(node, column, row)`.
struct Grid {
    std::unique_ptr<SurfaceNode[]> nodes;
    PatchSurface surface;
    int columns, rows;

    Grid(int c, int r, bool closed)
        : nodes(std::make_unique<SurfaceNode[]>(c * r)), columns(c), rows(r) {
        surface.linkGrid(nodes.get(), c, r);
        if (closed) {
            surface.closeRows();
        }
        for (int i = 0; i < c * r; ++i) {
            nodes[i].r = nodes[i].g = nodes[i].b = nodes[i].a = 1.0f;
        }
    }
    SurfaceNode& at(int column, int row) { return nodes[column + row * columns]; }
    void layout(const std::function<void(SurfaceNode&, int, int)>& place) {
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < columns; ++column) {
                place(at(column, row), column, row);
            }
        }
    }
    void addLayer(int texture, uint32_t flags) {
        surface.layers[surface.layerCount++] = {texture, 1.0f, 0.0f, 0.0f, flags};
    }
};

// An annulus facing the viewer at depth 100: row r is a ring of radius 8 + 8 r, column j sits
// at angle 60 j degrees (counter-clockwise from +x), u = j / 6.
void annulus(Grid& grid) {
    grid.layout([](SurfaceNode& n, int column, int row) {
        const double angle = 2.0 * pi * column / 6.0;
        const double radius = 8.0 + 8.0 * row;
        n.x = static_cast<float>(radius * std::cos(angle));
        n.y = static_cast<float>(radius * std::sin(angle));
        n.z = -100.0f;
        n.u = static_cast<float>(column) / 6.0f;
        n.v = static_cast<float>(row) / 4.0f;
    });
}

// A flat sheet facing the viewer at depth 100, 20 units between nodes, rows going down.
void sheet(Grid& grid) {
    grid.layout([&grid](SurfaceNode& n, int column, int row) {
        n.x = 20.0f * (static_cast<float>(column) - (grid.columns - 1) / 2.0f);
        n.y = -20.0f * (static_cast<float>(row) - (grid.rows - 1) / 2.0f);
        n.z = -100.0f;
        n.u = static_cast<float>(column) / static_cast<float>(grid.columns - 1);
        n.v = static_cast<float>(row) / static_cast<float>(grid.rows - 1);
    });
}

// Draws a surface as a part would: 90-degree view, no depth, no culling, no blending.
struct SurfaceView : Part {
    PatchSurface& surface;
    float caller[16];
    explicit SurfaceView(PatchSurface& s) : surface(s) {
        std::copy(unitMatrix, unitMatrix + 16, caller);
    }
    void render(float) override {
        loadPerspective(1000.0);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        surface.draw(caller);
    }
};

struct PatchSurfaceGl : GlTest {
    // The screen point of (x, y) at depth 100 (1.6 pixels a unit, y up).
    static int column(double x) { return static_cast<int>(std::lround(80.0 + 1.6 * x)); }
    static int row(double y) { return static_cast<int>(std::lround(60.0 - 1.6 * y)); }
    static Rgb pixel(const Pixels& p, int x, int y) {
        const size_t i = (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 3;
        return {p[i], p[i + 1], p[i + 2]};
    }
    static Rgb onRing(const Pixels& p, double radius, double degrees) {
        const double a = degrees * pi / 180.0;
        return pixel(p, column(radius * std::cos(a)), row(radius * std::sin(a)));
    }
};

} // namespace

// Per patch and layer, (stepsDown - 1) x (stepsAcross - 1) x 2 triangles; the last row of
// nodes only closes the row above, and an open row stops at its last node with a right
// neighbour. A layer without a texture is skipped; one with neither mapping bit draws nothing.
TEST_F(PatchSurfaceGl, TriangleCountsFollowTheGridStepsAndLayers) {
    const GLuint white = makeTexture(1, 1, [](int, int) { return Rgb{255, 255, 255}; });
    struct Case {
        int columns, rows;
        bool closed;
        int across, down;
        int expected;
    };
    const Case cases[] = {
        {6, 6, true, 4, 6, 6 * 5 * 5 * 3 * 2},   // the tube: 900 per layer
        {6, 2, true, 4, 4, 6 * 1 * 3 * 3 * 2},   // two rows make one patch row
        {6, 6, false, 4, 6, 5 * 5 * 5 * 3 * 2},  // open rows: five patches a row
        {6, 16, true, 5, 2, 6 * 15 * 1 * 4 * 2}, // the tunnel: 720 per layer
    };
    for (const Case& c : cases) {
        Grid grid(c.columns, c.rows, c.closed);
        annulus(grid);
        grid.surface.stepsAcross = c.across;
        grid.surface.stepsDown = c.down;
        grid.addLayer(static_cast<int>(white), layerUvMapped);
        grid.addLayer(static_cast<int>(white), layerEnvMapped);
        grid.surface.computeNormals = true;
        SurfaceView view(grid.surface);
        renderAt(view, 0);
        EXPECT_EQ(drawnFaceCount, 2 * c.expected) << c.columns << " x " << c.rows;

        grid.surface.layers[1].textureId = -1;
        renderAt(view, 0);
        EXPECT_EQ(drawnFaceCount, c.expected) << "a layer without a texture is skipped";

        grid.surface.layers[1] = {static_cast<int>(white), 1.0f, 0, 0, 0};
        renderAt(view, 0);
        EXPECT_EQ(drawnFaceCount, c.expected) << "a layer with neither mapping draws nothing";
    }
}

TEST_F(PatchSurfaceGl, ClosedRowsJoinEveryLastNodeToItsFirst) {
    Grid grid(6, 4, true);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(grid.at(5, row).right, &grid.at(0, row));
        EXPECT_EQ(grid.at(0, row).left, &grid.at(5, row));
        for (int column = 0; column < 6; ++column) {
            EXPECT_EQ(grid.at(column, row).seam, column == 5 ? 1 : 0);
            EXPECT_EQ(grid.at(column, row).up, row > 0 ? &grid.at(column, row - 1) : nullptr);
            EXPECT_EQ(grid.at(column, row).down, row < 3 ? &grid.at(column, row + 1) : nullptr);
        }
    }
    grid.surface.closeRows(); // a second time changes nothing and returns
    EXPECT_EQ(grid.at(5, 2).right, &grid.at(0, 2));
    EXPECT_EQ(grid.at(4, 2).right, &grid.at(5, 2));
}

TEST_F(PatchSurfaceGl, DestroyedNodeLeavesNoNeighbourPointingAtIt) {
    auto* grid = new SurfaceNode[4];
    PatchSurface surface;
    surface.linkGrid(grid, 2, 2);
    SurfaceNode* lone = new SurfaceNode;
    lone->left = &grid[1];
    grid[1].right = lone;
    delete lone;
    EXPECT_EQ(grid[1].right, nullptr);
    delete[] grid; // each node clears its neighbours' links as it goes
}

// The ring drawn head-on: closed, the wedge from the last node back to the first is filled;
// open, it stays empty. Inside the first ring and outside the last nothing is drawn.
TEST_F(PatchSurfaceGl, ClosedRowsDrawWholeRingsAndOpenOnesLeaveAGap) {
    const GLuint white = makeTexture(1, 1, [](int, int) { return Rgb{255, 255, 255}; });
    for (bool closed : {true, false}) {
        Grid grid(6, 4, closed);
        annulus(grid);
        grid.addLayer(static_cast<int>(white), layerUvMapped);
        SurfaceView view(grid.surface);
        const Pixels frame = renderAt(view, 0);
        for (double degrees : {30.0, 90.0, 150.0, 210.0, 270.0}) {
            EXPECT_EQ(onRing(frame, 20, degrees).r, 255) << degrees;
        }
        EXPECT_EQ(onRing(frame, 20, 330).r, closed ? 255 : 0) << (closed ? "closed" : "open");
        EXPECT_EQ(onRing(frame, 4, 90).r, 0) << "inside the first ring";
        EXPECT_EQ(onRing(frame, 37, 90).r, 0) << "outside the last ring";
    }
}

// u = j / 6 round the ring and a texture whose red rises with s: red follows the angle all the
// way round, rising through the seam patch (5/6 to 1) and the one after it (0 to 1/6) rather
// than running back across the whole picture. The patch before the seam (240 to 300 degrees)
// bends its u towards the first node's 0 without the shift, so it only keeps between its ends.
TEST_F(PatchSurfaceGl, TextureRunsOnAcrossTheSeam) {
    const GLuint ramp = makeTexture(256, 1, [](int x, int) { return Rgb{x, 0, 0}; });
    Grid grid(6, 4, true);
    annulus(grid);
    grid.addLayer(static_cast<int>(ramp), layerUvMapped);
    SurfaceView view(grid.surface);
    const Pixels frame = renderAt(view, 0);
    for (double degrees = 5; degrees < 360; degrees += 10) {
        const int red = onRing(frame, 20, degrees).r;
        if (degrees > 240 && degrees < 300) {
            EXPECT_GE(red, 160) << degrees << " degrees";
            EXPECT_LE(red, 225) << degrees << " degrees";
            continue;
        }
        const int expected = static_cast<int>(255.0 * degrees / 360.0);
        EXPECT_NEAR(red, expected, 12) << degrees << " degrees";
    }
}

// The environment layer maps the eye-space normal: a sheet facing the viewer shows the
// picture's middle texel everywhere; turned 30 degrees about y by the caller's matrix, s moves
// to (sin 30 + 1) / 2 = 0.75, the row-by-row transform of the model-view the stored sheen
// relies on.
TEST_F(PatchSurfaceGl, EnvironmentLayerFollowsTheEyeSpaceNormal) {
    const GLuint marked = makeTexture(4, 4, [](int x, int y) {
        return (x == 2 && y == 2) ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
    });
    Grid grid(5, 5, false);
    sheet(grid);
    grid.addLayer(static_cast<int>(marked), layerEnvMapped);
    grid.surface.computeNormals = true;
    SurfaceView view(grid.surface);
    Pixels frame = renderAt(view, 0);
    for (int x = 60; x <= 100; x += 10) {
        const Rgb c = pixel(frame, x, 60);
        EXPECT_EQ(c.g, 255) << x;
        EXPECT_EQ(c.r, 0) << x;
    }
    EXPECT_FLOAT_EQ(grid.at(2, 2).envS, 0.5f);
    EXPECT_FLOAT_EQ(grid.at(2, 2).envT, 0.5f);

    const GLuint ramp = makeTexture(256, 1, [](int x, int) { return Rgb{x, 0, 0}; });
    grid.surface.layers[0].textureId = static_cast<int>(ramp);
    const float turn = static_cast<float>(30.0 * pi / 180.0);
    // Rotation about y, GL order, about the sheet's centre at depth 100.
    const float c = std::cos(turn), s = std::sin(turn);
    const float turned[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 100 * s, 0, -100 + 100 * c, 1};
    std::copy(turned, turned + 16, view.caller);
    frame = renderAt(view, 0);
    EXPECT_NEAR(pixel(frame, 80, 60).r, 191, 3);
    EXPECT_NEAR(grid.at(2, 2).envS, 0.75f, 1e-5f);
}

// All nodes on one point: the summed normals have no length. They get the fixed normal facing
// the viewer, and no NaN reaches GL.
TEST_F(PatchSurfaceGl, CollapsedGridGetsAFixedNormal) {
    const GLuint white = makeTexture(1, 1, [](int, int) { return Rgb{255, 255, 255}; });
    Grid grid(6, 3, true);
    grid.layout([](SurfaceNode& n, int, int) {
        n.x = 1.0f;
        n.y = 2.0f;
        n.z = -50.0f;
    });
    grid.addLayer(static_cast<int>(white), layerEnvMapped);
    grid.surface.computeNormals = true;
    SurfaceView view(grid.surface);
    renderAt(view, 0);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(grid.nodes[i].envS, 0.5f) << i;
        EXPECT_EQ(grid.nodes[i].envT, 0.5f) << i;
        EXPECT_EQ(grid.nodes[i].envZ, 1.0f) << i;
    }

    RecordingGl recording;
    view.render(0);
    const std::string calls = recording.log().joined();
    EXPECT_EQ(calls.find("nan"), std::string::npos);
    EXPECT_EQ(calls.find("inf"), std::string::npos);
    EXPECT_GT(recording.log().count("glTexCoord2f(0.5, 0.5)"), 0);
}

// Steps below 2 would divide by zero in the curve parameter and above 64 overrun the lines:
// they are drawn as 2 and 64.
TEST_F(PatchSurfaceGl, StepCountsAreHeldBetweenTwoAndSixtyFour) {
    const GLuint white = makeTexture(1, 1, [](int, int) { return Rgb{255, 255, 255}; });
    Grid grid(6, 4, true);
    annulus(grid);
    grid.addLayer(static_cast<int>(white), layerUvMapped);
    SurfaceView view(grid.surface);
    const int patches = 6 * 3;

    grid.surface.stepsAcross = 1;
    grid.surface.stepsDown = 0;
    Pixels frame = renderAt(view, 0);
    EXPECT_EQ(drawnFaceCount, patches * 2);
    EXPECT_EQ(onRing(frame, 20, 90).r, 255) << "the ring is still drawn, as straight edges";

    grid.surface.stepsAcross = 1000;
    grid.surface.stepsDown = 65;
    frame = renderAt(view, 0);
    EXPECT_EQ(drawnFaceCount, patches * 63 * 63 * 2);
    EXPECT_EQ(onRing(frame, 20, 330).r, 255);
}

// Each row strip of each layer is one batch: the texture is bound outside it, and the modelview
// matrix takes the caller's matrix and then the surface's before anything is drawn.
TEST_F(PatchSurfaceGl, EachLayerDrawsEveryStripInItsOwnBatch) {
    Grid grid(6, 3, true);
    annulus(grid);
    grid.addLayer(7, layerUvMapped);
    grid.addLayer(-1, layerUvMapped);
    grid.addLayer(9, layerEnvMapped);
    grid.surface.stepsAcross = 3;
    grid.surface.stepsDown = 3;
    grid.surface.computeNormals = true;

    RecordingGl recording;
    grid.surface.draw(unitMatrix);
    const GlLog& log = recording.log();
    ASSERT_GE(log.calls.size(), 5u);
    EXPECT_EQ(log.calls[0], "glMatrixMode(5888)"); // GL_MODELVIEW
    EXPECT_EQ(log.calls[1].rfind("glMultMatrixf(", 0), 0u);
    EXPECT_EQ(log.calls[2].rfind("glMultMatrixf(", 0), 0u);
    EXPECT_EQ(log.calls[3].rfind("glGetFloatv(2982", 0), 0u); // GL_MODELVIEW_MATRIX
    EXPECT_EQ(log.calls[4], "glEnable(3553)");                // GL_TEXTURE_2D

    const int strips = 6 * 2 * 2; // patches x strips per patch
    EXPECT_EQ(log.count("glBindTexture(3553, 7)"), strips);
    EXPECT_EQ(log.count("glBindTexture(3553, 9)"), strips);
    EXPECT_EQ(log.count("glBindTexture(3553, 4294967295)"), 0);
    EXPECT_EQ(log.count("glBegin(4)"), 2 * strips);
    EXPECT_EQ(log.count("glEnd"), 2 * strips);
    // Bind, begin, (2 triangles x 3 vertices x 3 calls) per step across, end.
    const int first = log.find("glBindTexture(3553, 7)");
    EXPECT_EQ(log.calls[static_cast<size_t>(first + 1)], "glBegin(4)");
    EXPECT_EQ(log.calls[static_cast<size_t>(first + 2 + 2 * 2 * 3 * 3)], "glEnd()");
    EXPECT_EQ(log.calls[static_cast<size_t>(first + 3 + 2 * 2 * 3 * 3)], "glBindTexture(3553, 9)");
}
