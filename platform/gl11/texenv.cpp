// texenv.cpp - from texture-environment state to shaders. Every mode is first read as a
// combiner setting (MODULATE, DECAL, BLEND, REPLACE and ADD become the COMBINE settings they
// stand for, by the texture's base format), then one GLSL stage per enabled unit computes it,
// with the operations, their order and the clamping of Mesa's fixed-function fragment program:
// MODULATE, REPLACE and INTERPOLATE are not clamped (their inputs are in 0..1), the sums are,
// and a scaled result is clamped once, after the scale.
#include <cstdio>

#include "platform/gl11/layer.h"

namespace gl11 {

namespace {

// The combiner setting that a classic mode stands for.
struct CombineState {
    GLenum modeRgb = GL_MODULATE, modeAlpha = GL_MODULATE;
    GLenum sourceRgb[4] = {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT, GL_CONSTANT};
    GLenum sourceAlpha[4] = {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT, GL_CONSTANT};
    GLenum operandRgb[4] = {GL_SRC_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA, GL_SRC_ALPHA};
    GLenum operandAlpha[4] = {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
};

// A texture without alpha passes the incoming alpha on, one without colour the incoming colour.
CombineState classicCombine(GLenum mode, GLenum base) {
    CombineState s;
    if (base == GL_ALPHA) {
        s.sourceRgb[0] = GL_PREVIOUS;
    } else if (base == GL_LUMINANCE || base == GL_RGB) {
        s.sourceAlpha[0] = GL_PREVIOUS;
    }
    GLenum rgb = mode, alpha = mode;
    switch (mode) {
        case GL_REPLACE:
        case GL_MODULATE:
            rgb = base == GL_ALPHA ? GL_REPLACE : mode;
            break;
        case GL_DECAL:
            rgb = GL_INTERPOLATE;
            alpha = GL_REPLACE;
            s.sourceAlpha[0] = GL_PREVIOUS;
            if (base == GL_ALPHA || base == GL_LUMINANCE || base == GL_LUMINANCE_ALPHA ||
                base == GL_INTENSITY) {
                s.sourceRgb[0] = GL_PREVIOUS;
            } else if (base == GL_RGB) {
                rgb = GL_REPLACE;
            } else { // GL_RGBA: texture * alpha + previous * (1 - alpha)
                s.sourceRgb[2] = GL_TEXTURE;
            }
            break;
        case GL_BLEND:
            rgb = GL_INTERPOLATE;
            alpha = GL_MODULATE;
            if (base == GL_ALPHA) {
                rgb = GL_REPLACE;
            } else {
                if (base == GL_INTENSITY) {
                    s.sourceAlpha[0] = GL_CONSTANT;
                    s.operandAlpha[2] = GL_SRC_ALPHA;
                }
                // constant * texture + previous * (1 - texture)
                s.sourceRgb[2] = GL_TEXTURE;
                s.sourceAlpha[2] = GL_TEXTURE;
                s.sourceRgb[0] = GL_CONSTANT;
                s.operandRgb[2] = GL_SRC_COLOR;
            }
            break;
        case GL_ADD:
            rgb = base == GL_ALPHA ? GL_REPLACE : GL_ADD;
            alpha = base == GL_INTENSITY ? GL_ADD : GL_MODULATE;
            break;
        default:
            break;
    }
    s.modeRgb = s.sourceRgb[0] != GL_PREVIOUS ? rgb : GL_REPLACE;
    s.modeAlpha = s.sourceAlpha[0] != GL_PREVIOUS ? alpha : GL_REPLACE;
    return s;
}

Combine combineOf(GLenum mode, bool combine4) {
    switch (mode) {
        case GL_REPLACE:
            return Combine::replace;
        case GL_ADD:
            return combine4 ? Combine::addProducts : Combine::add;
        case GL_ADD_SIGNED:
            return combine4 ? Combine::addProductsSigned : Combine::addSigned;
        case GL_INTERPOLATE:
            return Combine::interpolate;
        case GL_SUBTRACT:
            return Combine::subtract;
        case GL_DOT3_RGB:
            return Combine::dot3Rgb;
        case GL_DOT3_RGBA:
            return Combine::dot3Rgba;
        default:
            return Combine::modulate;
    }
}

uint8_t argumentCount(Combine mode) {
    switch (mode) {
        case Combine::replace:
            return 1;
        case Combine::interpolate:
            return 3;
        case Combine::addProducts:
        case Combine::addProductsSigned:
            return 4;
        default:
            return 2;
    }
}

Source sourceOf(GLenum source) {
    switch (source) {
        case GL_TEXTURE0_ARB:
            return Source::texture0;
        case GL_TEXTURE1_ARB:
            return Source::texture1;
        case GL_CONSTANT:
            return Source::constant;
        case GL_PRIMARY_COLOR:
            return Source::primary;
        case GL_PREVIOUS:
            return Source::previous;
        case GL_ZERO:
            return Source::zero;
        case GL_ONE:
            return Source::one;
        default:
            return Source::texture;
    }
}

Operand operandOf(GLenum operand) {
    switch (operand) {
        case GL_ONE_MINUS_SRC_COLOR:
            return Operand::oneMinusColour;
        case GL_SRC_ALPHA:
            return Operand::alpha;
        case GL_ONE_MINUS_SRC_ALPHA:
            return Operand::oneMinusAlpha;
        default:
            return Operand::colour;
    }
}

uint8_t shiftOf(float scale) {
    return scale == 4.0f ? 2 : scale == 2.0f ? 1 : 0;
}

// Mesa clamps the sums and differences, not the products and blends.
bool clamps(Combine mode) {
    return mode != Combine::replace && mode != Combine::modulate && mode != Combine::interpolate;
}

} // namespace

UnitKey unitKey(const TexEnv& env, bool enabled, GLenum baseFormat) {
    UnitKey k;
    if (!enabled) {
        return k;
    }
    k.enabled = 1;
    const bool combine4 = env.mode == GL_COMBINE4_NV;
    CombineState s;
    if (env.mode == GL_COMBINE || combine4) {
        s.modeRgb = env.combineRgb;
        s.modeAlpha = env.combineAlpha;
        for (int i = 0; i < 4; ++i) {
            s.sourceRgb[i] = env.sourceRgb[i];
            s.sourceAlpha[i] = env.sourceAlpha[i];
            s.operandRgb[i] = env.operandRgb[i];
            s.operandAlpha[i] = env.operandAlpha[i];
        }
        k.shiftRgb = shiftOf(env.rgbScale);
        k.shiftAlpha = shiftOf(env.alphaScale);
    } else {
        s = classicCombine(env.mode, baseFormat); // classic modes are never scaled
    }
    k.modeRgb = combineOf(s.modeRgb, combine4);
    k.modeAlpha = combineOf(s.modeAlpha, combine4);
    k.argsRgb = argumentCount(k.modeRgb);
    k.argsAlpha = argumentCount(k.modeAlpha);
    // Unused arguments stay zero, so that equal settings give equal keys.
    for (int i = 0; i < k.argsRgb; ++i) {
        k.sourceRgb[i] = sourceOf(s.sourceRgb[i]);
        k.operandRgb[i] = operandOf(s.operandRgb[i]);
    }
    for (int i = 0; i < k.argsAlpha; ++i) {
        k.sourceAlpha[i] = sourceOf(s.sourceAlpha[i]);
        k.operandAlpha[i] = operandOf(s.operandAlpha[i]);
    }
    return k;
}

namespace {

// The GLSL name of a source as seen from `unit`.
std::string sourceName(Source s, int unit) {
    switch (s) {
        case Source::texture:
            return "t" + std::to_string(unit);
        case Source::texture0:
            return "t0";
        case Source::texture1:
            return "t1";
        case Source::constant:
            return "uEnv" + std::to_string(unit);
        case Source::primary:
            return "primary";
        case Source::previous:
            return "previous";
        case Source::zero:
            return "vec4(0.0)";
        case Source::one:
            return "vec4(1.0)";
    }
    return "vec4(0.0)";
}

// One argument: vec4 for colour operands, float for alpha operands.
std::string argument(Source s, Operand o, int unit) {
    const std::string src = sourceName(s, unit);
    switch (o) {
        case Operand::colour:
            return src;
        case Operand::oneMinusColour:
            return "(1.0 - " + src + ")";
        case Operand::alpha:
            return src + ".w";
        case Operand::oneMinusAlpha:
            return "(1.0 - " + src + ".w)";
    }
    return src;
}

// The combiner function over arguments a[0..3], in Mesa's order of operations.
std::string combined(Combine mode, const std::string a[4]) {
    switch (mode) {
        case Combine::replace:
            return a[0];
        case Combine::modulate:
            return "(" + a[0] + " * " + a[1] + ")";
        case Combine::add:
            return "(" + a[0] + " + " + a[1] + ")";
        case Combine::addSigned:
            return "((" + a[0] + " + " + a[1] + ") + -0.5)";
        case Combine::interpolate:
            return "((" + a[0] + " * " + a[2] + ") + (" + a[1] + " * (1.0 - " + a[2] + ")))";
        case Combine::subtract:
            return "(" + a[0] + " - " + a[1] + ")";
        case Combine::dot3Rgb:
        case Combine::dot3Rgba:
            return "dot(((" + a[0] + ") * 2.0 + -1.0).xyz, ((" + a[1] + ") * 2.0 + -1.0).xyz)";
        case Combine::addProducts:
            return "((" + a[0] + " * " + a[1] + ") + (" + a[2] + " * " + a[3] + "))";
        case Combine::addProductsSigned:
            return "(((" + a[0] + " * " + a[1] + ") + (" + a[2] + " * " + a[3] + ")) + -0.5)";
    }
    return a[0];
}

// Whether any enabled unit reads texture unit `n` (its own or through the crossbar).
bool reads(const ProgramKey& key, int n) {
    for (int u = 0; u < unitCount; ++u) {
        const UnitKey& k = key.unit[u];
        if (!k.enabled) {
            continue;
        }
        for (int i = 0; i < k.argsRgb; ++i) {
            const Source s = k.sourceRgb[i];
            if ((s == Source::texture && u == n) ||
                s == (n == 0 ? Source::texture0 : Source::texture1)) {
                return true;
            }
        }
        for (int i = 0; i < k.argsAlpha; ++i) {
            const Source s = k.sourceAlpha[i];
            if ((s == Source::texture && u == n) ||
                s == (n == 0 ? Source::texture0 : Source::texture1)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::string vertexShaderSource(const ProgramKey& key) {
    std::string s = "#version 300 es\n"
                    "in vec4 aPosition;\nin vec4 aColour;\nin vec4 aTex0;\nin vec4 aTex1;\n"
                    "uniform mat4 uMvp;\n";
    s += key.flat ? "flat out vec4 vColour;\n" : "out vec4 vColour;\n";
    for (int u = 0; u < unitCount; ++u) {
        const std::string n = std::to_string(u);
        if (key.unit[u].projected) {
            s += "uniform mat4 uTexMatrix" + n + ";\n";
        }
        s += "out vec4 vTex" + n + ";\n";
    }
    // Colours are clamped per vertex, before they are interpolated, as GL 1.1 clamps them.
    s += "void main() {\n"
         "    gl_Position = uMvp * aPosition;\n"
         "    vColour = clamp(aColour, 0.0, 1.0);\n";
    for (int u = 0; u < unitCount; ++u) {
        const std::string n = std::to_string(u);
        s += key.unit[u].projected ? "    vTex" + n + " = uTexMatrix" + n + " * aTex" + n + ";\n"
                                   : "    vTex" + n + " = aTex" + n + ";\n";
    }
    s += "}\n";
    return s;
}

std::string fragmentShaderSource(const ProgramKey& key) {
    std::string s = "#version 300 es\nprecision highp float;\nprecision highp int;\n";
    s += key.flat ? "flat in vec4 vColour;\n" : "in vec4 vColour;\n";
    s += "in vec4 vTex0;\nin vec4 vTex1;\n"
         // GLSL ES samplers default to low precision, which the reference driver samples
         // with fewer bits than its own fixed-function textures: ask for high precision.
         "uniform highp sampler2D uSampler0;\nuniform highp sampler2D uSampler1;\n"
         "uniform vec4 uEnv0;\nuniform vec4 uEnv1;\nuniform float uAlphaRef;\n"
         "out vec4 fragColour;\n"
         "void main() {\n"
         "    vec4 primary = vColour;\n"
         "    vec4 previous = primary;\n";
    // Texture coordinates are always divided by q, as fixed-function texturing projects them.
    for (int n = 0; n < unitCount; ++n) {
        if (!reads(key, n)) {
            continue;
        }
        const std::string i = std::to_string(n);
        // A unit that is off reads as zero when another unit names it.
        s += key.unit[n].enabled
                 ? "    vec4 t" + i + " = textureProj(uSampler" + i + ", vTex" + i + ");\n"
                 : "    vec4 t" + i + " = vec4(0.0);\n";
    }
    for (int u = 0; u < unitCount; ++u) {
        const UnitKey& k = key.unit[u];
        if (!k.enabled) {
            continue;
        }
        std::string rgbArgs[4], alphaArgs[4];
        for (int i = 0; i < k.argsRgb; ++i) {
            rgbArgs[i] = argument(k.sourceRgb[i], k.operandRgb[i], u);
            // A scalar operand stands for all four components.
            if (k.operandRgb[i] == Operand::alpha || k.operandRgb[i] == Operand::oneMinusAlpha) {
                rgbArgs[i] = "vec4(" + rgbArgs[i] + ")";
            }
        }
        for (int i = 0; i < k.argsAlpha; ++i) {
            alphaArgs[i] = argument(k.sourceAlpha[i], k.operandAlpha[i], u);
        }
        const bool scaled = k.shiftRgb != 0 || k.shiftAlpha != 0;
        const bool clampRgb = !scaled && clamps(k.modeRgb);
        const bool clampAlpha = !scaled && clamps(k.modeAlpha);
        std::string rgb = combined(k.modeRgb, rgbArgs);
        if (k.modeRgb == Combine::dot3Rgb || k.modeRgb == Combine::dot3Rgba) {
            rgb = "vec4(" + rgb + ")";
        }
        if (clampRgb) {
            rgb = "clamp(" + rgb + ", 0.0, 1.0)";
        }
        std::string alpha;
        if (k.modeRgb == Combine::dot3Rgba) {
            alpha = "r.w"; // the dot product goes to all four components
        } else {
            alpha = combined(k.modeAlpha, alphaArgs);
            if (clampAlpha) {
                alpha = "clamp(" + alpha + ", 0.0, 1.0)";
            }
        }
        s += "    {\n        vec4 r = " + rgb + ";\n        float a = " + alpha + ";\n";
        if (scaled) {
            char scale[96];
            std::snprintf(scale, sizeof scale, "vec4(%d.0, %d.0, %d.0, %d.0)", 1 << k.shiftRgb,
                          1 << k.shiftRgb, 1 << k.shiftRgb, 1 << k.shiftAlpha);
            s += std::string("        previous = clamp(vec4(r.xyz, a) * ") + scale +
                 ", 0.0, 1.0);\n";
        } else {
            s += "        previous = vec4(r.xyz, a);\n";
        }
        s += "    }\n";
    }
    if (key.alphaTest) {
        // The reference driver tests alpha in the 8-bit precision of the colour buffer: the
        // fragment's alpha is rounded to 8 bits as it would be stored, then compared with the
        // reference rounded the same way (uAlphaRef holds that integer).
        static const char* const tests[8] = {"false", "<", "==", "<=", ">", "!=", ">=", "true"};
        const int f = key.alphaTest - 1;
        s += "    float stored = float(floatBitsToInt(clamp(previous.w, 0.0, 1.0) * "
             "0.99609375 + 32768.0) & 255);\n";
        if (f == 0 || f == 7) {
            s += std::string("    if (!") + tests[f] + ") discard;\n";
        } else {
            s += std::string("    if (!(stored ") + tests[f] + " uAlphaRef)) discard;\n";
        }
    }
    s += "    fragColour = previous;\n}\n";
    return s;
}

} // namespace gl11
