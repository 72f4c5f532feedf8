// tunnel.cpp - the tunnel's rings and its frame.
//
// Ring r of 16 sits on the spine point S[15 - r], moved so that ring 15 (the nearest) is at the
// origin's depth: ring r lies 64 (15 - r) units behind it. The spine point i is
// (w1(a) + w2(a), w3(a) + w4(a), -0.5 - 64 i) at a = 0.043 i + t, so the bends travel towards
// the viewer as time runs. Each ring is an ellipse of half-width 98 (baseX + ampX sin) and
// half-height 98 (baseY + ampY sin) whose proportions wave round the ring; the far rings are
// dark, the near ones bright (colour r / 16), and the texture runs down the tunnel at 1.17
// rings' worth of v per second. The whole tube bobs 10 units along the view axis.
//
// Literal constants are double precision, as are the sines; results are stored in single
// precision.
#include "effects/tunnel.h"

#include <algorithm>
#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "resources/textures.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr float identityMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// A quad of 200 x 150 at depth 200: the whole view of the 90-degree frustum.
constexpr QuadCorner overlayQuad[4] = {
    {0, 0, -100, 75, -200},
    {1, 0, 100, 75, -200},
    {1, 1, 100, -75, -200},
    {0, 1, -100, -75, -200},
};

} // namespace

double Wave::at(float a) const {
    return amplitude * std::sin(static_cast<double>(a * frequency + phase));
}

float TunnelPart::ramp(float t) {
    return fadeRamp(t, 15.138f);
}

TunnelPart::TunnelPart(const char* picture1, const char* picture2, const char* picture3,
                       const float* interval)
    : waves{{96.0f, 4.2096099853515625f, 0.0f},
            {64.0f, 2.4503698348999023f, 0.7f},
            {64.0f, 4.837909698486328f, -0.1f},
            {96.0f, 3.078670024871826f, 0.37f}} {
    if (interval) {
        start = interval[0];
        end = interval[1];
    }
    // Each picture keeps its own slot, so a missing one leaves an empty layer rather than
    // moving a later picture into another layer's mapping and scrolling.
    const char* pictures[3] = {picture1, picture2, picture3};
    const uint32_t mapping[3] = {layerUvMapped, layerUvMapped, layerEnvMapped};
    for (int l = 0; l < 3; ++l) {
        surface.layers[l] = {loadLayerPicture(pictures[l]), 1.0f, 0.0f, 0.0f, mapping[l]};
        if (surface.layers[l].textureId >= 0) {
            surface.layerCount = l + 1;
        }
    }
    std::copy(identityMatrix, identityMatrix + 16, surface.matrix);
    surface.stepsAcross = 5;
    surface.stepsDown = 2;

    nodes = std::make_unique<SurfaceNode[]>(ringNodes * ringCount);
    surface.linkGrid(nodes.get(), ringNodes, ringCount);
    surface.closeRows();

    overlayA = loadTexture("d1.jpg");
    overlayB = loadTexture("d1_.jpg");
    loadEnvelope(pulseEnvelope, "Napierdalanie2.env");
}

void TunnelPart::updateNodes() {
    const float t = time;

    float spine[ringCount][3];
    for (int i = 0; i < ringCount; ++i) {
        const float a = static_cast<float>(0.043 * i + t);
        spine[i][0] = static_cast<float>(waves[0].at(a) + waves[1].at(a));
        spine[i][1] = static_cast<float>(waves[2].at(a) + waves[3].at(a));
        spine[i][2] = static_cast<float>(-0.5 - 64.0 * i);
    }

    // The remainder keeps the dividend's sign: vStart is in (-1, 0].
    const double vStart = std::fmod(-1.17 * t, 1.0);
    const float Z = static_cast<float>(10.0 * std::sin(static_cast<double>(5.0f * t)));
    for (int r = 0; r < ringCount; ++r) {
        const float c = static_cast<float>(r) / 16.0f;
        const float e = static_cast<float>(0.19999998807907104 * std::sin(2.5404 * c + t) + 0.5);
        const float d = static_cast<float>(0.25 * std::sin(7.53342 * c + t + 0.785) + 1.15);
        const float ampX = static_cast<float>((1.1 - e) / 2.0);
        const float baseX = static_cast<float>((1.1 + e) / 2.0);
        const float ampY = static_cast<float>((d - 0.3) / 2.0);
        const float baseY = static_cast<float>((d + 0.3) / 2.0);
        const float v = static_cast<float>(vStart + 0.15 * r);
        const float* ringSpine = spine[ringCount - 1 - r];
        for (int j = 0; j < ringNodes; ++j) {
            const float g = static_cast<float>(j) / 6.0f;
            const double h = 2.0 * pi * g;
            const float X = static_cast<float>((std::sin(6.31 * (c + g) + t) * ampX + baseX) *
                                               98.0 * std::sin(h + pi / 2.0));
            const float Y = static_cast<float>(
                (std::sin(3.6566 * (c + g) + 0.9 * t) * ampY + baseY) * 98.0 * std::sin(h));
            SurfaceNode& n = nodes[j + ringNodes * r];
            n.x = X + ringSpine[0] - spine[0][0];
            n.y = Y + ringSpine[1] - spine[0][1];
            n.z = Z + ringSpine[2] - spine[0][2];
            n.u = g;
            n.v = v;
            n.r = c;
            n.g = c;
            n.b = c;
            n.a = 1.0f;
        }
    }

    surface.layers[0].uOffset = static_cast<float>(0.15 * t);
    surface.layers[1].uOffset = static_cast<float>(-0.15 * t);
    surface.layers[2].vOffset = -t;

    // The stored pulse envelope is keyed in the layered scene's demo time. A weight below 0 (the
    // pulse outweighing the ramp) is passed on unclamped; GL clamps the alpha to 0.
    const float pulse = evaluate(pulseEnvelope, t + layeredSceneStart);
    const float weight = static_cast<float>(ramp(t) - 0.7 * pulse);
    surface.layers[0].weight = weight;
    surface.layers[1].weight = weight;
    surface.layers[2].weight = weight;
}

void TunnelPart::render(float t) {
    time = t;
    loadPerspective(5000.0);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    surface.computeNormals = true;
    updateNodes();
    surface.draw(identityMatrix);

    // The overlays share the ramp: their opacities k ramp and (1 - k) ramp always sum to it.
    const float fade = ramp(t);
    const float k = static_cast<float>((std::sin(static_cast<double>(4.0f * t)) + 1.0) * 0.5);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(overlayA));
    glColor4f(1.0f, 1.0f, 1.0f, k * fade);
    glBegin(GL_QUADS);
    emitCorners(overlayQuad);
    glEnd();

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(overlayB));
    glColor4f(1.0f, 1.0f, 1.0f, (1.0f - k) * fade);
    glBegin(GL_QUADS);
    emitCorners(overlayQuad);
    glEnd();
}
