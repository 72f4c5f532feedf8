// test_gl_layer.cpp - the GL layer over OpenGL ES 3 against Mesa's own fixed-function pipeline.
// Each probe is a small scene for one piece of state the program uses (every texture
// environment and combiner setting, flat shading, each blend function, the alpha test, the
// depth and culling state, the transforms), drawn through Mesa's path and through the layer,
// one llvmpipe context after the other in this process; the pictures must agree. The stack and
// error probes compare what the two report instead of pixels. The probes are grouped into a few
// tests, each of which opens one context of each kind.
//
// A failing picture probe leaves Mesa's picture, the layer's and their difference side by side
// in build/gl-layer-probes/ for a person to look at; TIR_PROBE_PICTURES=1 leaves every one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gl_layer_test_support.h"

using namespace testing_support;

namespace {

constexpr int W = 64, H = 64;

struct Probe {
    const char* name;
    std::function<void()> draw;
};

// The textures the probes sample, made in each context the same way.
struct ProbeTextures {
    GLuint rgb = 0, rgba = 0, heights = 0, luminance = 0, lumAlpha = 0, alpha = 0, intensity = 0;
};
ProbeTextures textures;

GLuint makeTexture(GLint internalFormat, GLenum format, int w, int h,
                   const std::vector<unsigned char>& pixels, GLenum filter = GL_LINEAR) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, w, h, 0, format, GL_UNSIGNED_BYTE,
                 pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    return name;
}

void makeTextures() {
    const int n = 16;
    std::vector<unsigned char> rgb, rgba, heights, one, two;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const unsigned char r = static_cast<unsigned char>(x * 16 + 8);
            const unsigned char g = static_cast<unsigned char>(y * 16 + 8);
            const unsigned char b = ((x / 4 + y / 4) % 2) ? 230 : 30;
            const unsigned char a = static_cast<unsigned char>((x + y) * 8);
            const unsigned char h =
                static_cast<unsigned char>(127.5 + 127.0 * std::sin(x * 0.7) * std::cos(y * 0.5));
            rgb.insert(rgb.end(), {r, g, b});
            rgba.insert(rgba.end(), {b, r, g, a});
            heights.insert(heights.end(), {g, b, r, h});
            one.push_back(static_cast<unsigned char>(r ^ g));
            two.insert(two.end(), {static_cast<unsigned char>(r ^ g), a});
        }
    }
    textures.rgb = makeTexture(3, GL_RGB, n, n, rgb);
    textures.rgba = makeTexture(GL_RGBA8, GL_RGBA, n, n, rgba);
    textures.heights = makeTexture(4, GL_RGBA, n, n, heights);
    textures.luminance = makeTexture(1, GL_LUMINANCE, n, n, one);
    textures.lumAlpha = makeTexture(2, GL_LUMINANCE_ALPHA, n, n, two);
    textures.alpha = makeTexture(GL_ALPHA, GL_LUMINANCE, n, n, one);
    textures.intensity = makeTexture(GL_INTENSITY, GL_LUMINANCE, n, n, one);
}

void texEnv(GLenum name, GLint value) {
    glTexEnvi(GL_TEXTURE_ENV, name, value);
}

// The state every probe starts from: pixel-sized orthographic projection, texturing, blending,
// depth, culling and the alpha test off, MODULATE on both units, smooth shading, white.
void resetState() {
    glViewport(0, 0, W, H);
    for (GLenum unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
        glActiveTextureARB(unit);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glDisable(GL_TEXTURE_2D);
        texEnv(GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_TRUE);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
    glColor4f(1, 1, 1, 1);
    for (GLenum name : {GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS,
                        GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS}) {
        glPixelStorei(name, 0);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

void bindUnit(GLenum unit, GLuint texture) {
    glActiveTextureARB(unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
}

// Corner colours that differ in every channel, alpha included.
const float cornerColours[4][4] = {{1.0f, 0.2f, 0.1f, 0.9f},
                                   {0.1f, 0.9f, 0.3f, 0.6f},
                                   {0.2f, 0.3f, 1.0f, 0.3f},
                                   {0.9f, 0.9f, 0.2f, 0.75f}};

// A quad from (x0, y0) to (x1, y1) with the corner colours, unit 0's coordinates spanning the
// texture once and unit 1's shifted by (du, dv).
void quad(float x0, float y0, float x1, float y1, float du = 0.0f, float dv = 0.0f,
          bool colours = true, float z = 0.0f) {
    const float corners[4][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        if (colours) {
            glColor4fv(cornerColours[i]);
        }
        glMultiTexCoord2fARB(GL_TEXTURE0_ARB, corners[i][2], corners[i][3]);
        glMultiTexCoord2fARB(GL_TEXTURE1_ARB, corners[i][2] + du, corners[i][3] + dv);
        glVertex3f(corners[i][0], corners[i][1], z);
    }
    glEnd();
}

// A background that blending and the alpha test show against.
void background() {
    glBegin(GL_QUADS);
    glColor3f(0.6f, 0.1f, 0.5f);
    glVertex2f(0, 0);
    glColor3f(0.1f, 0.6f, 0.4f);
    glVertex2f(W, 0);
    glColor3f(0.9f, 0.8f, 0.1f);
    glVertex2f(W, H);
    glColor3f(0.2f, 0.2f, 0.7f);
    glVertex2f(0, H);
    glEnd();
}

// The emboss exactly as the closing picture sets it up: unit 0 combine4 with its alpha
// h0 * 1 + (1 - h1) * 1 - 0.5, unit 1 ADD_SIGNED of the colour and that alpha, scaled by 2.
void embossSetup() {
    bindUnit(GL_TEXTURE0_ARB, textures.heights);
    texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE4_NV);
    texEnv(GL_COMBINE_RGB_ARB, GL_MODULATE);
    texEnv(GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    texEnv(GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_COMBINE_ALPHA_ARB, GL_ADD_SIGNED_ARB);
    texEnv(GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
    texEnv(GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    texEnv(GL_SOURCE1_ALPHA_ARB, GL_ZERO);
    texEnv(GL_OPERAND1_ALPHA_ARB, GL_ONE_MINUS_SRC_ALPHA);
    texEnv(GL_SOURCE2_ALPHA_ARB, GL_TEXTURE1_ARB);
    texEnv(GL_OPERAND2_ALPHA_ARB, GL_ONE_MINUS_SRC_ALPHA);
    texEnv(GL_SOURCE3_ALPHA_NV, GL_ZERO);
    texEnv(GL_OPERAND3_ALPHA_NV, GL_ONE_MINUS_SRC_ALPHA);
    bindUnit(GL_TEXTURE1_ARB, textures.heights);
    texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    texEnv(GL_COMBINE_RGB_ARB, GL_ADD_SIGNED_ARB);
    texEnv(GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND1_RGB_ARB, GL_SRC_ALPHA);
    texEnv(GL_COMBINE_ALPHA_ARB, GL_REPLACE);
    texEnv(GL_SOURCE0_ALPHA_ARB, GL_PRIMARY_COLOR_ARB);
    texEnv(GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, 2.0f);
    glActiveTextureARB(GL_TEXTURE0_ARB);
}

// One unit under COMBINE with the given functions and (source, operand) pairs.
void combine(GLenum unit, GLenum rgb, GLenum alpha, std::initializer_list<GLenum> rgbArgs,
             std::initializer_list<GLenum> alphaArgs, float rgbScale = 1, float alphaScale = 1) {
    glActiveTextureARB(unit);
    texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    texEnv(GL_COMBINE_RGB_ARB, static_cast<GLint>(rgb));
    texEnv(GL_COMBINE_ALPHA_ARB, static_cast<GLint>(alpha));
    GLenum i = 0;
    for (auto it = rgbArgs.begin(); it != rgbArgs.end(); it += 2, ++i) {
        texEnv(GL_SOURCE0_RGB_ARB + i, static_cast<GLint>(it[0]));
        texEnv(GL_OPERAND0_RGB_ARB + i, static_cast<GLint>(it[1]));
    }
    i = 0;
    for (auto it = alphaArgs.begin(); it != alphaArgs.end(); it += 2, ++i) {
        texEnv(GL_SOURCE0_ALPHA_ARB + i, static_cast<GLint>(it[0]));
        texEnv(GL_OPERAND0_ALPHA_ARB + i, static_cast<GLint>(it[1]));
    }
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, rgbScale);
    glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, alphaScale);
}

void blended() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Four quads, one in each quarter of the picture, each drawn after `before(i)`.
void quarters(const std::function<void(int)>& before, float du = 0.0f, float dv = 0.0f) {
    for (int i = 0; i < 4; ++i) {
        before(i);
        const float x = (i % 2) * W / 2.0f, y = (i / 2) * H / 2.0f;
        quad(x + 1, y + 1, x + W / 2.0f - 1, y + H / 2.0f - 1, du, dv);
    }
}

const std::vector<Probe> textureProbes = {
    // First, while unit 0's combiner state is still GL's default: combine4 ADD reads its
    // fourth argument from the defaults.
    {"combine4 add with the default fourth argument",
     [] {
         bindUnit(GL_TEXTURE0_ARB, textures.rgb);
         texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE4_NV);
         texEnv(GL_COMBINE_RGB_ARB, GL_ADD);
         texEnv(GL_COMBINE_ALPHA_ARB, GL_ADD);
         const float constant[4] = {0.25f, 0.5f, 0.125f, 0.5f};
         glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
         quad(0, 0, W, H);
     }},
    {"modulate rgb, rgba, luminance and intensity",
     [] {
         blended();
         const GLuint t[4] = {textures.rgb, textures.rgba, textures.luminance, textures.intensity};
         quarters([&](int i) { bindUnit(GL_TEXTURE0_ARB, t[i]); });
     }},
    {"modulate alpha and luminance-alpha, replace rgb and rgba",
     [] {
         blended();
         const GLuint t[4] = {textures.alpha, textures.lumAlpha, textures.rgb, textures.rgba};
         quarters([&](int i) {
             bindUnit(GL_TEXTURE0_ARB, t[i]);
             texEnv(GL_TEXTURE_ENV_MODE, i < 2 ? GL_MODULATE : GL_REPLACE);
         });
     }},
    {"decal rgb and rgba, add rgb and rgba",
     [] {
         blended();
         const GLuint t[4] = {textures.rgb, textures.rgba, textures.rgb, textures.rgba};
         quarters([&](int i) {
             bindUnit(GL_TEXTURE0_ARB, t[i]);
             texEnv(GL_TEXTURE_ENV_MODE, i < 2 ? GL_DECAL : GL_ADD);
         });
     }},
    {"blend with a constant colour; replace and add with alpha and intensity textures",
     [] {
         blended();
         const float constant[4] = {0.9f, 0.4f, 0.1f, 0.7f};
         glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
         const GLuint t[4] = {textures.luminance, textures.rgba, textures.alpha,
                              textures.intensity};
         const GLenum mode[4] = {GL_BLEND, GL_BLEND, GL_REPLACE, GL_ADD};
         quarters([&](int i) {
             bindUnit(GL_TEXTURE0_ARB, t[i]);
             texEnv(GL_TEXTURE_ENV_MODE, static_cast<GLint>(mode[i]));
         });
     }},
    {"two units modulating, with the unclamped light sum as colour (scene materials)",
     [] {
         bindUnit(GL_TEXTURE1_ARB, textures.rgba);
         bindUnit(GL_TEXTURE0_ARB, textures.rgb);
         glShadeModel(GL_FLAT);
         glBegin(GL_TRIANGLES);
         const float light[2] = {3.0f * 255.0f, 0.4f};
         for (int t = 0; t < 2; ++t) {
             glColor4f(light[t], light[t], light[t], 0.8f);
             for (int k = 0; k < 3; ++k) {
                 const float x = (k == 1) ? W : 0, y = (k == 2) == (t == 0) ? H : 0;
                 glMultiTexCoord2fARB(GL_TEXTURE0_ARB, x / W * 1.5f, y / H);
                 glMultiTexCoord2fARB(GL_TEXTURE1_ARB, y / H, x / W * 0.7f);
                 glVertex3f(t == 0 ? x : W - x, y, 0);
             }
         }
         glEnd();
     }},
    {"the emboss: combine4 heights and add_signed, scaled by 2, blended",
     [] {
         blended();
         glColor4f(0.5f, 0.5f, 0.5f, 0.8f);
         embossSetup();
         quad(2, 2, W - 2, H - 2, 0.03f, -0.04f, false);
     }},
    {"combine: add_signed, subtract scaled by 4, add, interpolate with the crossbar",
     [] {
         blended();
         bindUnit(GL_TEXTURE1_ARB, textures.rgba);
         texEnv(GL_TEXTURE_ENV_MODE, GL_REPLACE);
         glDisable(GL_TEXTURE_2D);
         bindUnit(GL_TEXTURE0_ARB, textures.rgb);
         const float constant[4] = {0.2f, 0.7f, 0.4f, 0.35f};
         glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
         quarters([&](int i) {
             switch (i) {
                 case 0:
                     combine(GL_TEXTURE0_ARB, GL_ADD_SIGNED_ARB, GL_ADD_SIGNED_ARB,
                             {GL_TEXTURE, GL_SRC_COLOR, GL_PRIMARY_COLOR_ARB, GL_SRC_COLOR},
                             {GL_TEXTURE, GL_SRC_ALPHA, GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA});
                     break;
                 case 1:
                     combine(GL_TEXTURE0_ARB, GL_SUBTRACT_ARB, GL_SUBTRACT_ARB,
                             {GL_TEXTURE, GL_SRC_COLOR, GL_CONSTANT_ARB, GL_ONE_MINUS_SRC_COLOR},
                             {GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA, GL_CONSTANT_ARB, GL_SRC_ALPHA}, 4,
                             4);
                     break;
                 case 2:
                     combine(
                         GL_TEXTURE0_ARB, GL_ADD, GL_MODULATE,
                         {GL_TEXTURE, GL_ONE_MINUS_SRC_ALPHA, GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA},
                         {GL_TEXTURE, GL_ONE_MINUS_SRC_ALPHA, GL_CONSTANT_ARB, GL_SRC_ALPHA}, 2, 1);
                     break;
                 default:
                     // The crossbar reads unit 1 while unit 1 itself is on.
                     bindUnit(GL_TEXTURE1_ARB, textures.rgba);
                     combine(GL_TEXTURE0_ARB, GL_INTERPOLATE_ARB, GL_INTERPOLATE_ARB,
                             {GL_TEXTURE1_ARB, GL_SRC_COLOR, GL_CONSTANT_ARB, GL_SRC_COLOR,
                              GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA},
                             {GL_TEXTURE1_ARB, GL_SRC_ALPHA, GL_TEXTURE, GL_SRC_ALPHA,
                              GL_PRIMARY_COLOR_ARB, GL_ONE_MINUS_SRC_ALPHA});
                     break;
             }
         });
     }},
    {"combine: dot3, a crossbar read of an unused unit, combine4 add_signed products",
     [] {
         bindUnit(GL_TEXTURE0_ARB, textures.heights);
         const float constant[4] = {0.8f, 0.3f, 0.6f, 0.5f};
         glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
         quarters([&](int i) {
             glActiveTextureARB(GL_TEXTURE1_ARB);
             glDisable(GL_TEXTURE_2D);
             switch (i) {
                 case 0:
                     combine(GL_TEXTURE0_ARB, GL_DOT3_RGB, GL_REPLACE,
                             {GL_TEXTURE, GL_SRC_COLOR, GL_CONSTANT_ARB, GL_SRC_COLOR},
                             {GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA});
                     break;
                 case 1:
                     combine(GL_TEXTURE0_ARB, GL_DOT3_RGBA, GL_REPLACE,
                             {GL_PRIMARY_COLOR_ARB, GL_SRC_COLOR, GL_TEXTURE, GL_SRC_COLOR},
                             {GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA}, 2);
                     break;
                 case 2: // unit 1 is off: reading it gives zero
                     combine(GL_TEXTURE0_ARB, GL_ADD, GL_ADD,
                             {GL_TEXTURE1_ARB, GL_ONE_MINUS_SRC_COLOR, GL_TEXTURE, GL_SRC_COLOR},
                             {GL_TEXTURE1_ARB, GL_SRC_ALPHA, GL_PRIMARY_COLOR_ARB, GL_SRC_ALPHA});
                     break;
                 default:
                     glActiveTextureARB(GL_TEXTURE0_ARB);
                     texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE4_NV);
                     texEnv(GL_COMBINE_RGB_ARB, GL_ADD_SIGNED_ARB);
                     texEnv(GL_COMBINE_ALPHA_ARB, GL_ADD);
                     for (GLenum k = 0; k < 4; ++k) {
                         const GLenum sources[4] = {GL_TEXTURE, GL_PRIMARY_COLOR_ARB,
                                                    GL_CONSTANT_ARB, GL_ONE};
                         texEnv(GL_SOURCE0_RGB_ARB + k, static_cast<GLint>(sources[k]));
                         texEnv(GL_OPERAND0_RGB_ARB + k, GL_SRC_COLOR);
                         texEnv(GL_SOURCE0_ALPHA_ARB + k, static_cast<GLint>(sources[3 - k]));
                         texEnv(GL_OPERAND0_ALPHA_ARB + k, GL_ONE_MINUS_SRC_ALPHA);
                     }
                     glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, 1.0f);
                     glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
                     break;
             }
         });
     }},
    {"texture matrices: rotated and projected on unit 0, shifted on unit 1",
     [] {
         bindUnit(GL_TEXTURE1_ARB, textures.rgba);
         glMatrixMode(GL_TEXTURE);
         glTranslatef(0.25f, -0.5f, 0);
         bindUnit(GL_TEXTURE0_ARB, textures.rgb);
         glMatrixMode(GL_TEXTURE);
         glRotatef(30, 0, 0, 1);
         glScalef(2, 1.5f, 1);
         const float projective[16] = {1, 0, 0, 0.3f, 0, 1, 0, 0.2f, 0, 0, 1, 0, 0, 0, 0, 1};
         glMultMatrixf(projective);
         glMatrixMode(GL_MODELVIEW);
         quad(0, 0, W, H);
     }},
    {"large texture coordinates and nearest sampling (the tunnel's offsets)",
     [] {
         const GLuint t = textures.rgb;
         bindUnit(GL_TEXTURE0_ARB, t);
         quarters([&](int i) {
             glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, i % 2 ? GL_NEAREST : GL_LINEAR);
             glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, i % 2 ? GL_NEAREST : GL_LINEAR);
             glMatrixMode(GL_TEXTURE);
             glLoadIdentity();
             glTranslatef(i < 2 ? 24.75f : -165.0f, i < 2 ? -165.0f : 3.3f, 0);
             glMatrixMode(GL_MODELVIEW);
         });
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
     }},
};

// Triangles, quads, strips, fans and polygons with a different colour at every vertex.
void primitives(GLenum mode, int count, float x0, float y0, float size) {
    glBegin(mode);
    for (int i = 0; i < count; ++i) {
        const float a = static_cast<float>(i) * 2.39996f;
        glColor4f(0.5f + 0.5f * std::sin(a), 0.5f + 0.5f * std::cos(1.3f * a),
                  static_cast<float>(i) / count, 1.0f);
        float x, y;
        if (mode == GL_TRIANGLE_STRIP || mode == GL_QUAD_STRIP) {
            x = x0 + (i / 2) * size / ((count - 1) / 2);
            y = y0 + (i % 2) * size * 0.8f + 0.1f * size * std::sin(a);
        } else if (mode == GL_TRIANGLE_FAN || mode == GL_POLYGON) {
            x = x0 + size / 2 +
                (i == 0 && mode == GL_TRIANGLE_FAN ? 0 : size / 2 * std::cos(i * 0.9f));
            y = y0 + size / 2 +
                (i == 0 && mode == GL_TRIANGLE_FAN ? 0 : size / 2 * std::sin(i * 0.9f));
        } else {
            x = x0 + size * (0.5f + 0.45f * std::cos(a * 1.7f));
            y = y0 + size * (0.5f + 0.45f * std::sin(a * 1.1f));
        }
        glVertex2f(x, y);
    }
    glEnd();
}

const std::vector<Probe> rasterProbes = {
    {"flat and smooth quads with four colours",
     [] {
         glShadeModel(GL_FLAT);
         primitives(GL_QUADS, 8, 0, 0, 32);
         quad(34, 2, 62, 30);
         glShadeModel(GL_SMOOTH);
         primitives(GL_QUADS, 8, 0, 32, 32);
         quad(34, 34, 62, 62);
     }},
    {"smooth quads drawn together with one that reaches outside the view, and apart",
     [] {
         quad(2, 2, 30, 30);
         quad(34, 2, 70, 30); // reaches outside: the quads drawn with it split the other way
         glFlush();
         quad(2, 34, 30, 62); // drawn apart, inside
         glColor3f(1, 1, 1);
         quad(34, 34, 62, 62);
     }},
    {"flat triangles, strips, fans, quad strips and polygons",
     [] {
         glShadeModel(GL_FLAT);
         primitives(GL_TRIANGLES, 9, 0, 0, 32);
         primitives(GL_TRIANGLE_STRIP, 7, 32, 0, 32);
         primitives(GL_TRIANGLE_FAN, 6, 0, 32, 32);
         primitives(GL_QUAD_STRIP, 8, 32, 32, 30);
     }},
    {"smooth strips, fans, quad strips, polygons and glRect",
     [] {
         primitives(GL_TRIANGLE_STRIP, 7, 0, 0, 32);
         primitives(GL_POLYGON, 6, 32, 0, 32);
         primitives(GL_QUAD_STRIP, 8, 0, 32, 30);
         glShadeModel(GL_FLAT);
         primitives(GL_POLYGON, 5, 32, 32, 16);
         glColor4ub(200, 100, 50, 255);
         glRectf(50, 50, 62, 62);
     }},
    {"the blend functions the effects use, over a background",
     [] {
         background();
         glEnable(GL_BLEND);
         bindUnit(GL_TEXTURE0_ARB, textures.rgba);
         const GLenum blends[6][2] = {{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                                      {GL_SRC_ALPHA, GL_ONE},
                                      {GL_ONE, GL_SRC_ALPHA},
                                      {GL_SRC_ALPHA, GL_SRC_COLOR},
                                      {GL_DST_COLOR, GL_ONE},
                                      {GL_ZERO, GL_ONE_MINUS_SRC_COLOR}};
         for (int i = 0; i < 6; ++i) {
             glBlendFunc(blends[i][0], blends[i][1]);
             const float x = (i % 3) * W / 3.0f, y = (i / 3) * H / 2.0f;
             quad(x, y, x + W / 3.0f + 4, y + H / 2.0f + 4);
         }
     }},
    {"the alpha test with every function",
     [] {
         background();
         bindUnit(GL_TEXTURE0_ARB, textures.rgba);
         glEnable(GL_ALPHA_TEST);
         const GLenum functions[8] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                      GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
         // 0.5 and 128/255 land on stored alpha levels; 0.3 between two of them.
         const float refs[8] = {0.5f, 0.3f, 128.0f / 255.0f, 0.5f, 0.3f, 0.5f, 0.5f, 0.2f};
         for (int i = 0; i < 8; ++i) {
             glAlphaFunc(functions[i], refs[i]);
             const float x = (i % 4) * W / 4.0f, y = (i / 4) * H / 2.0f;
             quad(x, y, x + W / 4.0f, y + H / 2.0f);
         }
     }},
    {"depth functions and mask, culling and winding",
     [] {
         glEnable(GL_DEPTH_TEST);
         glClear(GL_DEPTH_BUFFER_BIT);
         quad(0, 0, W, H, 0, 0, true, 0.2f);
         glDepthFunc(GL_LEQUAL);
         glColor3f(1, 0, 0);
         quad(4, 4, 30, 30, 0, 0, false, 0.2f); // equal depth passes LEQUAL
         glDepthFunc(GL_LESS);
         glColor3f(0, 1, 0);
         quad(34, 4, 60, 30, 0, 0, false, 0.2f); // and fails LESS
         glDepthFunc(GL_GREATER);
         glDepthMask(GL_FALSE);
         glColor3f(0, 0, 1);
         quad(10, 10, 50, 50, 0, 0, false, 0.5f); // behind: drawn, depth kept
         glDepthFunc(GL_LEQUAL);
         glDepthMask(GL_TRUE);
         glColor3f(1, 1, 0);
         quad(20, 20, 40, 40, 0, 0, false, 0.3f);
         glDisable(GL_DEPTH_TEST);
         glEnable(GL_CULL_FACE);
         glCullFace(GL_BACK);
         glColor3f(0, 1, 1);
         quad(30, 34, 4, 60, 0, 0, false); // clockwise: culled
         glFrontFace(GL_CW);
         glColor3f(1, 0, 1);
         quad(60, 34, 34, 60, 0, 0, false); // clockwise is front now
         glFrontFace(GL_CCW);
         glDisable(GL_CULL_FACE);
     }},
    {"colours outside 0..1 and other colour entry points",
     [] {
         glBegin(GL_TRIANGLES);
         glColor4f(3.0f, -1.0f, 0.5f, 2.0f);
         glVertex2f(0, 0);
         glColor3ub(10, 200, 255);
         glVertex2f(W, 0);
         glColor4d(-0.5, 1.5, 0.25, 1.0);
         glVertex2f(W / 2.0f, H);
         glColor3us(65535, 0, 30000);
         glVertex3i(0, H, 0);
         glColor4b(127, 0, 64, 127);
         glVertex4f(W, H, 0, 1);
         glColor3i(0, 2147483647, 1000000000);
         glVertex2d(0, H / 2.0);
         glEnd();
     }},
};

// A cube of six coloured faces, drawn with depth test under a perspective projection.
void cube() {
    const float v[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                           {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f) {
        for (int k = 0; k < 4; ++k) {
            const int i = faces[f][k];
            glColor3f(0.2f + 0.8f * (i & 1), 0.2f + 0.4f * ((i >> 1) & 1) + 0.1f * f,
                      0.3f + 0.7f * ((i >> 2) & 1));
            glMultiTexCoord2fARB(GL_TEXTURE0_ARB, k == 1 || k == 2 ? 1.0f : 0.0f,
                                 k >= 2 ? 1.0f : 0.0f);
            glVertex3fv(v[i]);
        }
    }
    glEnd();
}

const std::vector<Probe> transformProbes = {
    {"frustum, general and axis rotations, translation, scale, push and pop",
     [] {
         glEnable(GL_DEPTH_TEST);
         glClear(GL_DEPTH_BUFFER_BIT);
         glEnable(GL_CULL_FACE);
         glMatrixMode(GL_PROJECTION);
         glLoadIdentity();
         glFrustum(-0.5, 0.5, -0.375, 0.375, 1.0, 1000.0);
         glMatrixMode(GL_MODELVIEW);
         glLoadIdentity();
         glTranslatef(0, 0, -6);
         glRotatef(90.0f, -0.3f, 1.0f, 0.0f);
         glPushMatrix();
         glRotated(37.5, 0, 0, -1);
         glScalef(0.6f, 0.9f, 0.7f);
         glTranslated(-1.5, 0.5, 0);
         cube();
         glPopMatrix();
         glPushMatrix();
         glRotatef(-20, 1, 0, 0);
         glRotatef(65, 0, 1, 0);
         glTranslatef(1.2f, -0.4f, 0.5f);
         glScaled(0.5, 0.5, 0.5);
         cube();
         glPopMatrix();
     }},
    {"orthographic projection, loaded and multiplied matrices, textured",
     [] {
         bindUnit(GL_TEXTURE0_ARB, textures.rgb);
         glMatrixMode(GL_PROJECTION);
         glLoadIdentity();
         glOrtho(-0.95, 0.95, -1.5, 1.5, 0.0, 1.0);
         glMatrixMode(GL_MODELVIEW);
         const double loaded[16] = {0.8, 0.3, 0, 0, -0.3, 0.8,  0,    0,
                                    0,   0,   1, 0, 0.1,  -0.2, -0.5, 1};
         glLoadMatrixd(loaded);
         const float sheared[16] = {1, 0, 0, 0, 0.4f, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
         glMultMatrixf(sheared);
         glRotatef(0.0f, 1, 0, 0); // no change at all
         cube();
     }},
};

// A 7 x 6 source picture with 4 bytes a pixel, rows padded to a multiple of 4 bytes.
std::vector<unsigned char> sourcePicture(int components) {
    const int width = 7, height = 6;
    const int stride = (width * components + 3) / 4 * 4;
    std::vector<unsigned char> p(static_cast<size_t>(stride * height), 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                p[static_cast<size_t>(y * stride + x * components + c)] =
                    static_cast<unsigned char>(37 * x + 61 * y + 97 * c + 20);
            }
        }
    }
    return p;
}

// One 5 x 4 texture from the source picture, read through the unpack parameters: row length
// 7, skipping 1 row and 2 pixels, rows aligned to 4 bytes.
GLuint uploaded(GLint internalFormat, GLenum format, int components) {
    const std::vector<unsigned char> source = sourcePicture(components);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 1);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 2);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, 5, 4, 0, format, GL_UNSIGNED_BYTE,
                 source.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return name;
}

const std::vector<Probe> pixelProbes = {
    {"uploads through the unpack parameters, with GL 1.1's format conversions",
     [] {
         background();
         blended();
         const GLuint t[8] = {uploaded(3, GL_RGB, 3),
                              uploaded(GL_RGBA8, GL_RGB, 3),
                              uploaded(3, GL_RGBA, 4),
                              uploaded(4, GL_LUMINANCE, 1),
                              uploaded(GL_LUMINANCE, GL_RGB, 3),
                              uploaded(2, GL_RGBA, 4),
                              uploaded(GL_ALPHA, GL_RGBA, 4),
                              uploaded(GL_INTENSITY, GL_BGR, 3)};
         // A sub-image from BGRA data into the first, and a copy of the frame into the last.
         glBindTexture(GL_TEXTURE_2D, t[0]);
         const unsigned char patch[2 * 2 * 4] = {255, 0, 0,   255, 0,  255, 0,  255,
                                                 0,   0, 255, 255, 90, 90,  90, 255};
         glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
         glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
         glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
         glTexSubImage2D(GL_TEXTURE_2D, 0, 1, 1, 2, 2, GL_BGRA, GL_UNSIGNED_BYTE, patch);
         glActiveTextureARB(GL_TEXTURE0_ARB);
         glEnable(GL_TEXTURE_2D);
         for (int i = 0; i < 8; ++i) {
             glBindTexture(GL_TEXTURE_2D, t[i]);
             const float x = (i % 4) * W / 4.0f, y = (i / 4) * H / 2.0f;
             quad(x + 1, y + 1, x + W / 4.0f - 1, y + H / 2.0f - 1);
         }
         glBindTexture(GL_TEXTURE_2D, t[6]);
         glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 1, 0, 10, 20, 3, 3);
         glBindTexture(GL_TEXTURE_2D, t[2]);
         glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 1, 40, 40, 4, 2);
         glDisable(GL_BLEND);
         glBindTexture(GL_TEXTURE_2D, t[6]);
         quad(4, 24, 20, 40);
         glBindTexture(GL_TEXTURE_2D, t[2]);
         quad(40, 24, 60, 40);
     }},
};

// The frame read back as RGB and RGBA, with every pack alignment and the row length and skips,
// canary bytes around each read.
std::vector<double> readBackReport() {
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    resetState();
    background();
    std::vector<double> r;
    struct Read {
        GLenum format;
        int alignment, rowLength, skipPixels, skipRows;
    };
    const Read reads[] = {{GL_RGB, 1, 0, 0, 0},  {GL_RGB, 4, 0, 0, 0},  {GL_RGB, 8, 0, 0, 0},
                          {GL_RGBA, 2, 0, 0, 0}, {GL_RGB, 4, 20, 2, 1}, {GL_BGR, 1, 0, 0, 0},
                          {GL_BGRA, 4, 17, 3, 2}};
    for (const Read& read : reads) {
        std::vector<unsigned char> bytes(4096, 0xA5);
        glPixelStorei(GL_PACK_ALIGNMENT, read.alignment);
        glPixelStorei(GL_PACK_ROW_LENGTH, read.rowLength);
        glPixelStorei(GL_PACK_SKIP_PIXELS, read.skipPixels);
        glPixelStorei(GL_PACK_SKIP_ROWS, read.skipRows);
        glReadPixels(3, 5, 13, 7, read.format, GL_UNSIGNED_BYTE, bytes.data() + 16);
        r.insert(r.end(), bytes.begin(), bytes.end());
        r.push_back(glGetError());
    }
    return r;
}

// Draws every probe through `path`; one RGB picture per probe, empty when no context opened.
std::vector<std::vector<unsigned char>> drawProbes(GlPath path, const std::vector<Probe>& probes,
                                                   std::string& error) {
    PathContext context(path, W, H);
    if (!context.open) {
        error = context.error;
        return {};
    }
    makeTextures();
    std::vector<std::vector<unsigned char>> pictures;
    for (const Probe& probe : probes) {
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        resetState();
        probe.draw();
        pictures.push_back(context.gl.readRgb());
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR))
            << pathName(path) << ": " << probe.name;
    }
    return pictures;
}

// Both paths draw every probe; each picture of the layer must match Mesa's. On this machine
// they are identical; the tolerance (at most 0.2% of the pixels more than a level off, none by
// more than 8) leaves room for another CPU rounding a step differently, while a wrong
// combiner, blend or split moves whole regions.
void expectProbesMatch(const std::vector<Probe>& probes) {
    std::string error;
    const auto mesa = drawProbes(GlPath::mesa, probes, error);
    ASSERT_EQ(mesa.size(), probes.size()) << error;
    const auto layer = drawProbes(GlPath::layer, probes, error);
    ASSERT_EQ(layer.size(), probes.size()) << error;
    for (size_t i = 0; i < probes.size(); ++i) {
        const PictureDifference near = compareRgb(mesa[i], layer[i], 1);
        const bool same = near.shareOver <= 0.002 && near.largest <= 8;
        EXPECT_TRUE(same) << probes[i].name << ": " << near.shareOver * 100
                          << "% of pixels more than a level off, the largest by " << near.largest
                          << "; see build/gl-layer-probes/";
        if (!same || std::getenv("TIR_PROBE_PICTURES")) {
            std::string file = probes[i].name;
            for (char& c : file) {
                c = std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
            }
            writeSideBySide(std::string(TIR_BIN_DIR) + "/../gl-layer-probes", file, W, H, mesa[i],
                            layer[i], 4);
        }
    }
}

} // namespace

TEST(GlLayerProbes, TextureEnvironmentsAndCombinersMatchMesa) {
    expectProbesMatch(textureProbes);
}

TEST(GlLayerProbes, ShadingBlendingAlphaTestAndDepthMatchMesa) {
    expectProbesMatch(rasterProbes);
}

namespace {

// What the stack and error calls report: every glGetError after each step, the stack depths
// and the matrices as the queries give them.
std::vector<double> stackAndErrorReport() {
    std::vector<double> r;
    auto error = [&r] { r.push_back(glGetError()); };
    auto integer = [&r](GLenum name) {
        GLint v = -1;
        glGetIntegerv(name, &v);
        r.push_back(v);
    };
    const struct {
        GLenum mode, depth, maxDepth;
    } stacks[] = {{GL_MODELVIEW, GL_MODELVIEW_STACK_DEPTH, GL_MAX_MODELVIEW_STACK_DEPTH},
                  {GL_PROJECTION, GL_PROJECTION_STACK_DEPTH, GL_MAX_PROJECTION_STACK_DEPTH},
                  {GL_TEXTURE, GL_TEXTURE_STACK_DEPTH, GL_MAX_TEXTURE_STACK_DEPTH}};
    for (const auto& s : stacks) {
        glMatrixMode(s.mode);
        glLoadIdentity();
        integer(s.maxDepth);
        // Push past the top: the overflowing pushes leave the stack and its top alone.
        for (int i = 0; i < 40; ++i) {
            glTranslatef(1, 0, 0);
            glPushMatrix();
            error();
        }
        integer(s.depth);
        float m[16];
        glGetFloatv(s.mode == GL_MODELVIEW    ? GL_MODELVIEW_MATRIX
                    : s.mode == GL_PROJECTION ? GL_PROJECTION_MATRIX
                                              : GL_TEXTURE_MATRIX,
                    m);
        r.push_back(m[12]);
        for (int i = 0; i < 45; ++i) {
            glPopMatrix();
            error();
        }
        integer(s.depth);
    }
    // Each unit has a texture stack of its own.
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glPushMatrix();
    integer(GL_TEXTURE_STACK_DEPTH);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    integer(GL_TEXTURE_STACK_DEPTH);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glPopMatrix();
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glMatrixMode(GL_MODELVIEW);

    // Errors GL raises, each call ignored.
    glBegin(GL_TRIANGLES);
    glLoadIdentity(); // not between glBegin and glEnd
    glBegin(GL_TRIANGLES);
    glEnd();
    error();
    glEnd(); // no glBegin open
    error();
    glFrustum(-1, 1, -1, 1, 0, 10);
    error();
    glOrtho(1, 1, -1, 1, -1, 1);
    error();
    glMatrixMode(GL_COLOR_INDEX);
    error();
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, 3.0f);
    error();
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_COLOR);
    error();
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_DOT3_RGB);
    error();
    glBlendFunc(GL_SRC_ALPHA, 0x1234);
    error();
    glEnable(0x1234);
    error();
    glShadeModel(GL_FILL);
    error();
    glDepthFunc(GL_ALWAYS + 1);
    error();
    glViewport(0, 0, -1, 4);
    error();
    glTexImage2D(GL_TEXTURE_2D, 0, 7, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    error();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 3);
    error();
    error(); // and nothing left over
    // A name the program never generated (the overlay's 1234) is a texture once bound, and the
    // names generated after it come above it.
    r.push_back(glIsTexture(1234));
    glBindTexture(GL_TEXTURE_2D, 1234);
    r.push_back(glIsTexture(1234));
    GLuint names[3];
    glGenTextures(3, names);
    r.insert(r.end(), {double(names[0]), double(names[1]), double(names[2])});
    integer(GL_TEXTURE_BINDING_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    error();
    return r;
}

std::vector<double> reportThrough(GlPath path, std::vector<double> (*report)()) {
    PathContext context(path, W, H);
    EXPECT_TRUE(context.open) << context.error;
    return context.open ? report() : std::vector<double>{};
}

void expectReportsMatch(std::vector<double> (*report)(), const char* what) {
    const std::vector<double> mesa = reportThrough(GlPath::mesa, report);
    const std::vector<double> layer = reportThrough(GlPath::layer, report);
    ASSERT_EQ(mesa.size(), layer.size()) << what;
    size_t differing = 0;
    for (size_t i = 0; i < mesa.size(); ++i) {
        if (mesa[i] != layer[i] && differing++ < 10) {
            ADD_FAILURE() << what << ", entry " << i << ": Mesa " << mesa[i] << ", layer "
                          << layer[i];
        }
    }
    EXPECT_EQ(differing, 0u) << what;
}

} // namespace

TEST(GlLayerProbes, TransformsStacksErrorsAndPixelTransfersMatchMesa) {
    std::vector<Probe> probes = transformProbes;
    probes.insert(probes.end(), pixelProbes.begin(), pixelProbes.end());
    expectProbesMatch(probes);
    expectReportsMatch(&stackAndErrorReport, "stacks and errors");
    expectReportsMatch(&readBackReport, "read back");
    // The report holds what the frame loop relies on: pushes past the top overflow, pops past
    // the bottom underflow.
    const std::vector<double> layer = reportThrough(GlPath::layer, &stackAndErrorReport);
    EXPECT_NE(std::find(layer.begin(), layer.end(), double(GL_STACK_OVERFLOW)), layer.end());
    EXPECT_NE(std::find(layer.begin(), layer.end(), double(GL_STACK_UNDERFLOW)), layer.end());
}
