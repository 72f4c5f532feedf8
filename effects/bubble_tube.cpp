// bubble_tube.cpp - the tube's node animation and its frame.
//
// Per frame: the middle rings' opacity A = min(0.26 t, 1) fades the tube in over 3.85 s; the
// end rings stay transparent, so the tube fades out towards both ends; the radius
// R = 16 sin(3.14 t) + 80 pulses between 64 and 96 about every two seconds (the end rings use
// 0.8 R); and each node's distance from the axis wobbles by k = 0.55 sin(phase W) + 1.15, a
// factor of 0.6 to 1.7 whose speed W itself drifts slowly with sin(0.1 t).
//
// The arithmetic keeps the precision the tube has always been drawn with: the sines and the
// double constants (0.26, 16, 80, pi, 1/6 in the angles) are evaluated in double precision,
// the single constants (1.2, 1.3, 0.55, 1.15, 0.8, 0.1, 3.14, 1/6 in u and v) in single, and
// every result is stored in single precision.
#include "effects/bubble_tube.h"

#include <algorithm>
#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "scene/track.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr float sixth = 1.0f / 6.0f;
constexpr float identityMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// One sway path for every tube in the process: each construction reloads it from "bubble.env"
// and every tube reads the latest, so all tubes sway together.
std::unique_ptr<VectorTrack> swayPath;

double sine(float x) {
    return std::sin(static_cast<double>(x));
}

} // namespace

BubbleTubePart::BubbleTubePart(const char* layer1Picture, const char* layer0Picture, int variant_,
                               const float* interval)
    : variant(variant_) {
    if (interval) {
        start = interval[0];
        end = interval[1];
    }
    surface.layers[0] = {loadLayerPicture(layer0Picture), 1.0f, 0.0f, 0.0f, layerUvMapped};
    baseTexture = surface.layers[0].textureId;
    surface.layers[1] = {loadLayerPicture(layer1Picture), 1.0f, 0.0f, 0.0f, layerEnvMapped};
    surface.layerCount = 2;
    std::copy(identityMatrix, identityMatrix + 16, surface.matrix);
    surface.stepsAcross = 4;
    surface.stepsDown = 6;

    nodeArray = std::make_unique<SurfaceNode[]>(ringNodes * ringCount);
    surface.linkGrid(nodeArray.get(), ringNodes, ringCount);
    surface.closeRows();

    auto path = std::make_unique<VectorTrack>();
    loadVectorEnvelope(*path, "bubble.env");
    swayPath = std::move(path);
}

BubbleTubePart::~BubbleTubePart() {
    nodeArray.reset();
    surface.nodes = nullptr;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
}

void BubbleTubePart::animateNodes(float t) {
    const float A = static_cast<float>(std::min(0.26 * static_cast<double>(t), 1.0));
    const float W = static_cast<float>(1.2f * sine(0.1f * t) + 1.3f);
    const float R = static_cast<float>(16.0 * sine(3.14f * t) + 80.0);

    for (int i = 0; i < ringCount; ++i) {
        const bool endRing = i == 0 || i == ringCount - 1;
        const float Rf = endRing ? 0.8f * R : R;
        const double thetaI = 2.0 * pi * (i * (1.0 / 6.0));
        for (int j = 0; j < ringNodes; ++j) {
            SurfaceNode& n = nodeArray[j + ringNodes * i];
            const double thetaJ = 2.0 * pi * (j * (1.0 / 6.0));
            n.r = 1.0f;
            n.g = 1.0f;
            n.b = 1.0f;
            n.a = endRing ? 0.0f : A;
            switch (variant) {
                case 1: {
                    const float k = static_cast<float>(
                        0.55f * sine((static_cast<float>(i + j) + t) * W) + 1.15f);
                    n.x = static_cast<float>(std::cos(thetaJ) * k * Rf);
                    n.y = static_cast<float>(std::sin(thetaJ) * k * Rf);
                    n.z = static_cast<float>(10 * i - 25) * k * R * 0.1f;
                    n.u = static_cast<float>(j) * sixth;
                    n.v = static_cast<float>(i) * sixth;
                    break;
                }
                case 2: {
                    const float k = static_cast<float>(
                        0.55f * sine((static_cast<float>(i + j) + t) * W) + 1.15f);
                    n.x = static_cast<float>(-std::sin(thetaI) * k * Rf);
                    n.y = static_cast<float>(std::cos(thetaJ) * k * Rf);
                    n.z = static_cast<float>(100 * i - 200);
                    n.u = static_cast<float>(j) * sixth;
                    n.v = static_cast<float>(i) * t * sixth * 0.1f;
                    break;
                }
                case 3: {
                    const float k = static_cast<float>(
                        0.55f * sine((static_cast<float>(j) + t - static_cast<float>(i)) * W) +
                        1.15f);
                    n.x = static_cast<float>(std::cos(thetaJ) * Rf);
                    n.y = static_cast<float>(std::sin(thetaJ) * k * Rf);
                    n.z = static_cast<float>(100 * i - 200) * k;
                    n.u = 0.1f * t + static_cast<float>(j) * sixth * 0.01f;
                    n.v = static_cast<float>(i) * sixth;
                    break;
                }
                default:
                    break;
            }
        }
    }
}

void BubbleTubePart::render(float t) {
    localTime = t;
    loadPerspective(1000.0);
    evaluate(*swayPath, t);
    glTranslatef(swayPath->value[0], 0.0f, -420.0f);
    glRotatef(90.0f, -0.3f, 1.0f, 0.0f);
    glRotatef(t * 0.5f, 0.0f, 1.0f, 0.0f);
    glRotatef(swayPath->value[1], 1.0f, 0.0f, 0.0f);

    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    const bool known = variant >= 1 && variant <= 3;
    if (variant == 1 || variant == 2) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else if (variant == 3) {
        glBlendFunc(GL_DST_COLOR, GL_ONE);
    }

    // Only the three layouts place the nodes; any other variant would draw whatever the nodes
    // last held, so it draws no tube and leaves the same state behind.
    if (known) {
        surface.computeNormals = true;
        animateNodes(t);
        surface.draw(identityMatrix);
    }

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}
