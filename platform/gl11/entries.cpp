// entries.cpp - the GL 1.1 entry points that the layer serves, with GL 1.1's semantics: errors
// raised where GL raises them (and the call ignored), current attributes that persist across
// vertices and batches, matrix stacks with their overflow and underflow errors. Every GL 1.1
// name has a function of its own signature here: the served ones below, the rest the stopping
// stubs, which the table at the end hands out by name.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "platform/gl11/layer.h"

namespace gl11 {

// The stopping stub of every entry, with the entry's own signature, so that even a platform
// that checks signatures at indirect calls (WebAssembly) reaches the message.
namespace fallback {
template <class R> R stop(const char* name) {
    unserved(name);
}
#define TIR_GL_ENTRY(ret, name, params, args)                                                      \
    ret name params {                                                                              \
        return stop<ret>(#name);                                                                   \
    }
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
} // namespace fallback

namespace {

// GL 1.1's conversions of colour and normal components to floating point: unsigned c to
// c / (2^n - 1), signed c to (2c + 1) / (2^n - 1), so that no value maps to exactly zero.
inline float normalized(GLbyte v) {
    return (2.0f * static_cast<float>(v) + 1.0f) * (1.0f / 255.0f);
}
inline float normalized(GLubyte v) {
    return static_cast<float>(v) * (1.0f / 255.0f);
}
inline float normalized(GLshort v) {
    return (2.0f * static_cast<float>(v) + 1.0f) * (1.0f / 65535.0f);
}
inline float normalized(GLushort v) {
    return static_cast<float>(v) * (1.0f / 65535.0f);
}
inline float normalized(GLint v) {
    return static_cast<float>((2.0 * static_cast<double>(v) + 1.0) * (1.0 / 4294967295.0));
}
inline float normalized(GLuint v) {
    return static_cast<float>(static_cast<double>(v) * (1.0 / 4294967295.0));
}
inline float normalized(GLfloat v) {
    return v;
}
inline float normalized(GLdouble v) {
    return static_cast<float>(v);
}

inline float clamp01(float v) {
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

void setColour(float r, float g, float b, float a) {
    if (Context* c = current) {
        float* colour = c->current.colour;
        colour[0] = r;
        colour[1] = g;
        colour[2] = b;
        colour[3] = a;
    }
}

void setTexCoord(int unit, float s, float t, float r, float q) {
    if (Context* c = current) {
        float* tex = c->current.tex[unit];
        tex[0] = s;
        tex[1] = t;
        tex[2] = r;
        tex[3] = q;
    }
}

void setNormal(float x, float y, float z) {
    if (Context* c = current) {
        c->normal[0] = x;
        c->normal[1] = y;
        c->normal[2] = z;
    }
}

void vertex(float x, float y, float z, float w) {
    Context* c = current;
    if (c && c->inBegin) { // outside glBegin / glEnd a vertex draws nothing
        c->emitVertex(x, y, z, w);
    }
}

// The unit a multitexture target names: 0 or 1; stops for units GL has but the layer leaves
// out, raises GL_INVALID_ENUM (and gives -1) for anything else.
int unitOf(Context& c, const char* function, GLenum target) {
    if (target == GL_TEXTURE0_ARB || target == GL_TEXTURE1_ARB) {
        return static_cast<int>(target - GL_TEXTURE0_ARB);
    }
    if (target > GL_TEXTURE1_ARB && target <= GL_TEXTURE31_ARB) {
        unservedValue(function, target, "texture units beyond the second");
    }
    c.raise(GL_INVALID_ENUM);
    return -1;
}

// ---- capabilities

enum class CapKind { texture2d, alphaTest, forwarded, stored, unserved };
struct Cap {
    GLenum cap;
    CapKind kind;
    const char* feature; // for the unserved ones
};
// Stored capabilities change nothing the layer draws: lighting is off, so normals and
// materials are unused, and lines, points and evaluators are never drawn.
const Cap caps[] = {
    {GL_TEXTURE_2D, CapKind::texture2d, nullptr},
    {GL_ALPHA_TEST, CapKind::alphaTest, nullptr},
    {GL_BLEND, CapKind::forwarded, nullptr},
    {GL_DEPTH_TEST, CapKind::forwarded, nullptr},
    {GL_CULL_FACE, CapKind::forwarded, nullptr},
    {GL_SCISSOR_TEST, CapKind::forwarded, nullptr},
    {GL_POLYGON_OFFSET_FILL, CapKind::forwarded, nullptr},
    {GL_STENCIL_TEST, CapKind::forwarded, nullptr},
    {GL_DITHER, CapKind::forwarded, nullptr},
    {GL_NORMALIZE, CapKind::stored, nullptr},
    {GL_COLOR_MATERIAL, CapKind::stored, nullptr},
    {GL_LIGHT0, CapKind::stored, nullptr},
    {GL_LIGHT1, CapKind::stored, nullptr},
    {GL_LIGHT2, CapKind::stored, nullptr},
    {GL_LIGHT3, CapKind::stored, nullptr},
    {GL_LIGHT4, CapKind::stored, nullptr},
    {GL_LIGHT5, CapKind::stored, nullptr},
    {GL_LIGHT6, CapKind::stored, nullptr},
    {GL_LIGHT7, CapKind::stored, nullptr},
    {GL_POINT_SMOOTH, CapKind::stored, nullptr},
    {GL_LINE_SMOOTH, CapKind::stored, nullptr},
    {GL_LINE_STIPPLE, CapKind::stored, nullptr},
    {GL_POLYGON_OFFSET_POINT, CapKind::stored, nullptr},
    {GL_POLYGON_OFFSET_LINE, CapKind::stored, nullptr},
    {GL_AUTO_NORMAL, CapKind::stored, nullptr},
    {GL_MAP1_COLOR_4, CapKind::stored, nullptr},
    {GL_MAP1_INDEX, CapKind::stored, nullptr},
    {GL_MAP1_NORMAL, CapKind::stored, nullptr},
    {GL_MAP1_TEXTURE_COORD_1, CapKind::stored, nullptr},
    {GL_MAP1_TEXTURE_COORD_2, CapKind::stored, nullptr},
    {GL_MAP1_TEXTURE_COORD_3, CapKind::stored, nullptr},
    {GL_MAP1_TEXTURE_COORD_4, CapKind::stored, nullptr},
    {GL_MAP1_VERTEX_3, CapKind::stored, nullptr},
    {GL_MAP1_VERTEX_4, CapKind::stored, nullptr},
    {GL_MAP2_COLOR_4, CapKind::stored, nullptr},
    {GL_MAP2_INDEX, CapKind::stored, nullptr},
    {GL_MAP2_NORMAL, CapKind::stored, nullptr},
    {GL_MAP2_TEXTURE_COORD_1, CapKind::stored, nullptr},
    {GL_MAP2_TEXTURE_COORD_2, CapKind::stored, nullptr},
    {GL_MAP2_TEXTURE_COORD_3, CapKind::stored, nullptr},
    {GL_MAP2_TEXTURE_COORD_4, CapKind::stored, nullptr},
    {GL_MAP2_VERTEX_3, CapKind::stored, nullptr},
    {GL_MAP2_VERTEX_4, CapKind::stored, nullptr},
    {GL_LIGHTING, CapKind::unserved, "lighting"},
    {GL_FOG, CapKind::unserved, "fog"},
    {GL_TEXTURE_1D, CapKind::unserved, "one-dimensional textures"},
    {GL_TEXTURE_GEN_S, CapKind::unserved, "texture coordinate generation"},
    {GL_TEXTURE_GEN_T, CapKind::unserved, "texture coordinate generation"},
    {GL_TEXTURE_GEN_R, CapKind::unserved, "texture coordinate generation"},
    {GL_TEXTURE_GEN_Q, CapKind::unserved, "texture coordinate generation"},
    {GL_CLIP_PLANE0, CapKind::unserved, "user clip planes"},
    {GL_CLIP_PLANE1, CapKind::unserved, "user clip planes"},
    {GL_CLIP_PLANE2, CapKind::unserved, "user clip planes"},
    {GL_CLIP_PLANE3, CapKind::unserved, "user clip planes"},
    {GL_CLIP_PLANE4, CapKind::unserved, "user clip planes"},
    {GL_CLIP_PLANE5, CapKind::unserved, "user clip planes"},
    {GL_POLYGON_STIPPLE, CapKind::unserved, "polygon stipple"},
    {GL_POLYGON_SMOOTH, CapKind::unserved, "polygon antialiasing"},
    {GL_COLOR_LOGIC_OP, CapKind::unserved, "logic operations"},
    {GL_INDEX_LOGIC_OP, CapKind::unserved, "logic operations"},
};
static_assert(sizeof caps / sizeof caps[0] <= sizeof(Context::storedCaps), "room for every cap");

const Cap* findCap(GLenum cap, int& index) {
    for (size_t i = 0; i < sizeof caps / sizeof caps[0]; ++i) {
        if (caps[i].cap == cap) {
            index = static_cast<int>(i);
            return &caps[i];
        }
    }
    return nullptr;
}

bool* forwardedFlag(Context& c, GLenum cap) {
    switch (cap) {
        case GL_BLEND:
            return &c.blend;
        case GL_DEPTH_TEST:
            return &c.depthTest;
        case GL_CULL_FACE:
            return &c.cullFace;
        case GL_SCISSOR_TEST:
            return &c.scissorTest;
        case GL_POLYGON_OFFSET_FILL:
            return &c.polygonOffsetFill;
        case GL_STENCIL_TEST:
            return &c.stencilTest;
        default:
            return &c.dither;
    }
}

void setCap(GLenum cap, bool on) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    int index = 0;
    const Cap* found = findCap(cap, index);
    if (!found) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    switch (found->kind) {
        case CapKind::texture2d:
            if (c->texture2d[c->activeUnit] != on) {
                c->settle();
                c->texture2d[c->activeUnit] = on;
            }
            return;
        case CapKind::alphaTest:
            if (c->alphaTest != on) {
                c->settle();
                c->alphaTest = on;
            }
            return;
        case CapKind::forwarded: {
            bool* flag = forwardedFlag(*c, cap);
            if (*flag != on) {
                c->settle();
                *flag = on;
                if (on) {
                    c->es.Enable(cap);
                } else {
                    c->es.Disable(cap);
                }
            }
            return;
        }
        case CapKind::stored:
            c->storedCaps[index] = on;
            return;
        case CapKind::unserved:
            if (on) {
                unservedValue("glEnable", cap, found->feature);
            }
            return; // off is GL's default: nothing to do
    }
}

bool capEnabled(Context& c, GLenum cap, bool& known) {
    int index = 0;
    const Cap* found = findCap(cap, index);
    known = found != nullptr;
    if (!found) {
        return false;
    }
    switch (found->kind) {
        case CapKind::texture2d:
            return c.texture2d[c.activeUnit];
        case CapKind::alphaTest:
            return c.alphaTest;
        case CapKind::forwarded:
            return *forwardedFlag(c, cap);
        case CapKind::stored:
            return c.storedCaps[index];
        case CapKind::unserved:
            return false;
    }
    return false;
}

// ---- matrices

// The stack that the matrix calls change, after the batch drawn with its old top; null inside
// glBegin / glEnd.
MatrixStack* changingStack() {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return nullptr;
    }
    c->settle();
    return &c->currentStack();
}

void multiplyTop(const Matrix& m) {
    if (MatrixStack* s = changingStack()) {
        s->top() = multiply(s->top(), m);
        ++s->version;
    }
}

void loadTop(const Matrix& m) {
    if (MatrixStack* s = changingStack()) {
        s->top() = m;
        ++s->version;
    }
}

template <class T> Matrix matrixFrom(const T* v) {
    Matrix m;
    for (int i = 0; i < 16; ++i) {
        m.m[i] = static_cast<float>(v[i]);
    }
    return m;
}

void rotate(float degrees, float x, float y, float z) {
    Context* c = current;
    if (!c || !c->outsideBegin() || degrees == 0.0f) {
        return; // a zero angle leaves the matrix untouched
    }
    Matrix r;
    if (rotationMatrix(degrees, x, y, z, r)) {
        multiplyTop(r);
    }
}

void translate(float x, float y, float z) {
    if (MatrixStack* s = changingStack()) {
        translateInPlace(s->top(), x, y, z);
        ++s->version;
    }
}

void scale(float x, float y, float z) {
    if (MatrixStack* s = changingStack()) {
        scaleInPlace(s->top(), x, y, z);
        ++s->version;
    }
}

// ---- texture environment

bool validCombine(GLenum mode, bool alpha) {
    switch (mode) {
        case GL_REPLACE:
        case GL_MODULATE:
        case GL_ADD:
        case GL_ADD_SIGNED:
        case GL_INTERPOLATE:
        case GL_SUBTRACT:
            return true;
        case GL_DOT3_RGB:
        case GL_DOT3_RGBA:
            return !alpha;
        default:
            return false;
    }
}

// Checks a combiner source; stops for the units the layer does not have.
bool validSource(GLenum source) {
    switch (source) {
        case GL_TEXTURE:
        case GL_CONSTANT:
        case GL_PRIMARY_COLOR:
        case GL_PREVIOUS:
        case GL_TEXTURE0_ARB:
        case GL_TEXTURE1_ARB:
        case GL_ZERO:
        case GL_ONE:
            return true;
        default:
            if (source > GL_TEXTURE1_ARB && source <= GL_TEXTURE31_ARB) {
                unservedValue("glTexEnv", source, "texture units beyond the second");
            }
            return false;
    }
}

void texEnvValue(GLenum target, GLenum pname, float value) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (target != GL_TEXTURE_ENV) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    TexEnv& e = c->env[c->activeUnit];
    const GLenum v = static_cast<GLenum>(value);
    GLenum* slot = nullptr;
    bool valid = false;
    switch (pname) {
        case GL_TEXTURE_ENV_MODE:
            slot = &e.mode;
            valid = v == GL_MODULATE || v == GL_DECAL || v == GL_BLEND || v == GL_REPLACE ||
                    v == GL_ADD || v == GL_COMBINE || v == GL_COMBINE4_NV;
            break;
        case GL_COMBINE_RGB:
            slot = &e.combineRgb;
            valid = validCombine(v, false);
            break;
        case GL_COMBINE_ALPHA:
            slot = &e.combineAlpha;
            valid = validCombine(v, true);
            break;
        case GL_SOURCE0_RGB_ARB:
        case GL_SOURCE1_RGB_ARB:
        case GL_SOURCE2_RGB_ARB:
        case GL_SOURCE3_RGB_NV:
            slot = &e.sourceRgb[pname - GL_SOURCE0_RGB_ARB];
            valid = validSource(v);
            break;
        case GL_SOURCE0_ALPHA_ARB:
        case GL_SOURCE1_ALPHA_ARB:
        case GL_SOURCE2_ALPHA_ARB:
        case GL_SOURCE3_ALPHA_NV:
            slot = &e.sourceAlpha[pname - GL_SOURCE0_ALPHA_ARB];
            valid = validSource(v);
            break;
        case GL_OPERAND0_RGB_ARB:
        case GL_OPERAND1_RGB_ARB:
        case GL_OPERAND2_RGB_ARB:
        case GL_OPERAND3_RGB_NV:
            slot = &e.operandRgb[pname - GL_OPERAND0_RGB_ARB];
            valid = v == GL_SRC_COLOR || v == GL_ONE_MINUS_SRC_COLOR || v == GL_SRC_ALPHA ||
                    v == GL_ONE_MINUS_SRC_ALPHA;
            break;
        case GL_OPERAND0_ALPHA_ARB:
        case GL_OPERAND1_ALPHA_ARB:
        case GL_OPERAND2_ALPHA_ARB:
        case GL_OPERAND3_ALPHA_NV:
            slot = &e.operandAlpha[pname - GL_OPERAND0_ALPHA_ARB];
            valid = v == GL_SRC_ALPHA || v == GL_ONE_MINUS_SRC_ALPHA;
            break;
        case GL_RGB_SCALE_ARB:
        case GL_ALPHA_SCALE: {
            if (value != 1.0f && value != 2.0f && value != 4.0f) {
                c->raise(GL_INVALID_VALUE);
                return;
            }
            float& s = pname == GL_ALPHA_SCALE ? e.alphaScale : e.rgbScale;
            if (s != value) {
                c->settle();
                s = value;
            }
            return;
        }
        default:
            c->raise(GL_INVALID_ENUM);
            return;
    }
    if (!valid) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (*slot != v) {
        c->settle();
        *slot = v;
    }
}

void texEnvColour(GLenum target, GLenum pname, const float* rgba, bool scalar) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (target != GL_TEXTURE_ENV || pname != GL_TEXTURE_ENV_COLOR) {
        if (target == GL_TEXTURE_ENV && scalar) {
            texEnvValue(target, pname, rgba[0]);
            return;
        }
        c->raise(GL_INVALID_ENUM);
        return;
    }
    TexEnv& e = c->env[c->activeUnit];
    c->settle();
    for (int i = 0; i < 4; ++i) {
        e.colour[i] = clamp01(rgba[i]);
    }
    ++c->envVersion[c->activeUnit];
}

// The value of one texture-environment parameter as GL reports it.
bool texEnvQuery(Context& c, GLenum pname, float out[4], int& count) {
    const TexEnv& e = c.env[c.activeUnit];
    count = 1;
    switch (pname) {
        case GL_TEXTURE_ENV_MODE:
            out[0] = static_cast<float>(e.mode);
            return true;
        case GL_COMBINE_RGB:
            out[0] = static_cast<float>(e.combineRgb);
            return true;
        case GL_COMBINE_ALPHA:
            out[0] = static_cast<float>(e.combineAlpha);
            return true;
        case GL_RGB_SCALE_ARB:
            out[0] = e.rgbScale;
            return true;
        case GL_ALPHA_SCALE:
            out[0] = e.alphaScale;
            return true;
        case GL_TEXTURE_ENV_COLOR:
            std::memcpy(out, e.colour, sizeof e.colour);
            count = 4;
            return true;
        default:
            break;
    }
    if (pname >= GL_SOURCE0_RGB_ARB && pname <= GL_SOURCE3_RGB_NV) {
        out[0] = static_cast<float>(e.sourceRgb[pname - GL_SOURCE0_RGB_ARB]);
    } else if (pname >= GL_SOURCE0_ALPHA_ARB && pname <= GL_SOURCE3_ALPHA_NV) {
        out[0] = static_cast<float>(e.sourceAlpha[pname - GL_SOURCE0_ALPHA_ARB]);
    } else if (pname >= GL_OPERAND0_RGB_ARB && pname <= GL_OPERAND3_RGB_NV) {
        out[0] = static_cast<float>(e.operandRgb[pname - GL_OPERAND0_RGB_ARB]);
    } else if (pname >= GL_OPERAND0_ALPHA_ARB && pname <= GL_OPERAND3_ALPHA_NV) {
        out[0] = static_cast<float>(e.operandAlpha[pname - GL_OPERAND0_ALPHA_ARB]);
    } else {
        return false;
    }
    return true;
}

// ---- queries

enum class Kind { plain, colour }; // colours map to integers over GL's whole integer range

// The value of `pname` in up to 16 doubles; -1 when the layer does not answer it.
int query(Context& c, GLenum pname, double out[16], Kind& kind) {
    kind = Kind::plain;
    auto put = [out](std::initializer_list<double> values) {
        int n = 0;
        for (double v : values) {
            out[n++] = v;
        }
        return n;
    };
    auto matrix = [out](const Matrix& m) {
        for (int i = 0; i < 16; ++i) {
            out[i] = m.m[i];
        }
        return 16;
    };
    auto esInteger = [&c, out](GLenum name, int count) {
        GLint v[4] = {};
        c.es.GetIntegerv(name, v);
        for (int i = 0; i < count; ++i) {
            out[i] = v[i];
        }
        return count;
    };
    const int u = c.activeUnit;
    switch (pname) {
        case GL_MATRIX_MODE:
            return put({static_cast<double>(c.matrixMode)});
        case GL_MODELVIEW_MATRIX:
            return matrix(c.modelview.top());
        case GL_PROJECTION_MATRIX:
            return matrix(c.projection.top());
        case GL_TEXTURE_MATRIX:
            return matrix(c.texture[u].top());
        case GL_MODELVIEW_STACK_DEPTH:
            return put({static_cast<double>(c.modelview.entries.size())});
        case GL_PROJECTION_STACK_DEPTH:
            return put({static_cast<double>(c.projection.entries.size())});
        case GL_TEXTURE_STACK_DEPTH:
            return put({static_cast<double>(c.texture[u].entries.size())});
        case GL_MAX_MODELVIEW_STACK_DEPTH:
            return put({static_cast<double>(c.modelview.maxDepth)});
        case GL_MAX_PROJECTION_STACK_DEPTH:
            return put({static_cast<double>(c.projection.maxDepth)});
        case GL_MAX_TEXTURE_STACK_DEPTH:
            return put({static_cast<double>(c.texture[0].maxDepth)});
        case GL_VIEWPORT:
            return put({static_cast<double>(c.viewport[0]), static_cast<double>(c.viewport[1]),
                        static_cast<double>(c.viewport[2]), static_cast<double>(c.viewport[3])});
        case GL_SCISSOR_BOX:
            return put({static_cast<double>(c.scissor[0]), static_cast<double>(c.scissor[1]),
                        static_cast<double>(c.scissor[2]), static_cast<double>(c.scissor[3])});
        case GL_MAX_VIEWPORT_DIMS:
            return esInteger(pname, 2);
        case GL_MAX_TEXTURE_SIZE:
        case GL_RED_BITS:
        case GL_GREEN_BITS:
        case GL_BLUE_BITS:
        case GL_ALPHA_BITS:
        case GL_DEPTH_BITS:
        case GL_STENCIL_BITS:
        case GL_SUBPIXEL_BITS:
            return esInteger(pname, 1);
        case GL_DEPTH_RANGE:
            kind = Kind::colour;
            return put({c.depthRange[0], c.depthRange[1]});
        case GL_CURRENT_COLOR:
            kind = Kind::colour;
            return put({c.current.colour[0], c.current.colour[1], c.current.colour[2],
                        c.current.colour[3]});
        case GL_CURRENT_TEXTURE_COORDS:
            return put({c.current.tex[u][0], c.current.tex[u][1], c.current.tex[u][2],
                        c.current.tex[u][3]});
        case GL_CURRENT_NORMAL:
            kind = Kind::colour;
            return put({c.normal[0], c.normal[1], c.normal[2]});
        case GL_COLOR_CLEAR_VALUE:
            kind = Kind::colour;
            return put({c.clearColour[0], c.clearColour[1], c.clearColour[2], c.clearColour[3]});
        case GL_DEPTH_CLEAR_VALUE:
            kind = Kind::colour;
            return put({c.clearDepth});
        case GL_STENCIL_CLEAR_VALUE:
            return put({static_cast<double>(c.clearStencil)});
        case GL_TEXTURE_BINDING_2D:
            return put({static_cast<double>(c.bound[u])});
        case GL_ACTIVE_TEXTURE_ARB:
            return put({static_cast<double>(GL_TEXTURE0_ARB + static_cast<GLenum>(u))});
        case GL_MAX_TEXTURE_UNITS_ARB:
            return put({static_cast<double>(unitCount)});
        case GL_BLEND_SRC:
            return put({static_cast<double>(c.blendSrc)});
        case GL_BLEND_DST:
            return put({static_cast<double>(c.blendDst)});
        case GL_DEPTH_FUNC:
            return put({static_cast<double>(c.depthFunc)});
        case GL_DEPTH_WRITEMASK:
            return put({static_cast<double>(c.depthMask)});
        case GL_COLOR_WRITEMASK:
            return put({static_cast<double>(c.colourMask[0]), static_cast<double>(c.colourMask[1]),
                        static_cast<double>(c.colourMask[2]),
                        static_cast<double>(c.colourMask[3])});
        case GL_SHADE_MODEL:
            return put({static_cast<double>(c.shadeModel)});
        case GL_CULL_FACE_MODE:
            return put({static_cast<double>(c.cullMode)});
        case GL_FRONT_FACE:
            return put({static_cast<double>(c.frontFace)});
        case GL_ALPHA_TEST_FUNC:
            return put({static_cast<double>(c.alphaFunc)});
        case GL_ALPHA_TEST_REF:
            kind = Kind::colour;
            return put({c.alphaRef});
        case GL_POLYGON_OFFSET_FACTOR:
            return put({c.polygonOffset[0]});
        case GL_POLYGON_OFFSET_UNITS:
            return put({c.polygonOffset[1]});
        case GL_STENCIL_FUNC:
            return put({static_cast<double>(c.stencilFunc)});
        case GL_STENCIL_REF:
            return put({static_cast<double>(c.stencilRef)});
        case GL_STENCIL_VALUE_MASK:
            return put({static_cast<double>(c.stencilValueMask)});
        case GL_STENCIL_WRITEMASK:
            return put({static_cast<double>(c.stencilWriteMask)});
        case GL_STENCIL_FAIL:
            return put({static_cast<double>(c.stencilFail)});
        case GL_STENCIL_PASS_DEPTH_FAIL:
            return put({static_cast<double>(c.stencilDepthFail)});
        case GL_STENCIL_PASS_DEPTH_PASS:
            return put({static_cast<double>(c.stencilPass)});
        case GL_UNPACK_ALIGNMENT:
            return put({static_cast<double>(c.unpack.alignment)});
        case GL_UNPACK_ROW_LENGTH:
            return put({static_cast<double>(c.unpack.rowLength)});
        case GL_UNPACK_SKIP_ROWS:
            return put({static_cast<double>(c.unpack.skipRows)});
        case GL_UNPACK_SKIP_PIXELS:
            return put({static_cast<double>(c.unpack.skipPixels)});
        case GL_UNPACK_SWAP_BYTES:
            return put({static_cast<double>(c.unpack.swapBytes)});
        case GL_UNPACK_LSB_FIRST:
            return put({static_cast<double>(c.unpack.lsbFirst)});
        case GL_PACK_ALIGNMENT:
            return put({static_cast<double>(c.pack.alignment)});
        case GL_PACK_ROW_LENGTH:
            return put({static_cast<double>(c.pack.rowLength)});
        case GL_PACK_SKIP_ROWS:
            return put({static_cast<double>(c.pack.skipRows)});
        case GL_PACK_SKIP_PIXELS:
            return put({static_cast<double>(c.pack.skipPixels)});
        case GL_PACK_SWAP_BYTES:
            return put({static_cast<double>(c.pack.swapBytes)});
        case GL_PACK_LSB_FIRST:
            return put({static_cast<double>(c.pack.lsbFirst)});
        case GL_PERSPECTIVE_CORRECTION_HINT:
            return put({static_cast<double>(c.hints[0])});
        case GL_POINT_SMOOTH_HINT:
            return put({static_cast<double>(c.hints[1])});
        case GL_LINE_SMOOTH_HINT:
            return put({static_cast<double>(c.hints[2])});
        case GL_POLYGON_SMOOTH_HINT:
            return put({static_cast<double>(c.hints[3])});
        case GL_READ_BUFFER:
            return put({static_cast<double>(c.readBuffer)});
        case GL_DRAW_BUFFER:
            return put({static_cast<double>(c.drawBuffer)});
        case GL_DOUBLEBUFFER:
        case GL_RGBA_MODE:
            return put({1.0});
        default:
            break;
    }
    bool known = false;
    const bool on = capEnabled(c, pname, known);
    return known ? put({on ? 1.0 : 0.0}) : -1;
}

template <class T> void get(const char* function, GLenum pname, T* params) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    double v[16];
    Kind kind;
    const int n = query(*c, pname, v, kind);
    if (n < 0) {
        unservedValue(function, pname, "this query");
    }
    for (int i = 0; i < n; ++i) {
        if constexpr (std::is_same_v<T, GLboolean>) {
            params[i] = v[i] != 0.0 ? GL_TRUE : GL_FALSE;
        } else if constexpr (std::is_same_v<T, GLint>) {
            if (kind == Kind::colour) {
                // -1 .. 1 onto the whole integer range, as GL returns colours as integers.
                params[i] = static_cast<GLint>(
                    std::floor((4294967295.0 * std::clamp(v[i], -1.0, 1.0) - 1.0) / 2.0 + 0.5));
            } else {
                params[i] = static_cast<GLint>(std::lround(v[i]));
            }
        } else {
            params[i] = static_cast<T>(v[i]);
        }
    }
}

const char* const extensionString =
    "GL_ARB_multitexture GL_ARB_texture_env_add GL_EXT_texture_env_add "
    "GL_ARB_texture_env_combine GL_EXT_texture_env_combine GL_ARB_texture_env_crossbar "
    "GL_ARB_texture_env_dot3 GL_NV_texture_env_combine4 GL_EXT_bgra GL_SGIS_texture_edge_clamp";

bool validBlendFactor(GLenum f, bool source) {
    switch (f) {
        case GL_ZERO:
        case GL_ONE:
        case GL_SRC_COLOR:
        case GL_ONE_MINUS_SRC_COLOR:
        case GL_DST_COLOR:
        case GL_ONE_MINUS_DST_COLOR:
        case GL_SRC_ALPHA:
        case GL_ONE_MINUS_SRC_ALPHA:
        case GL_DST_ALPHA:
        case GL_ONE_MINUS_DST_ALPHA:
            return true;
        case GL_SRC_ALPHA_SATURATE:
            return source;
        default:
            return false;
    }
}

bool validFunction(GLenum f) {
    return f >= GL_NEVER && f <= GL_ALWAYS;
}

void pixelStore(GLenum pname, GLint value) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    const bool unpack = pname >= GL_UNPACK_SWAP_BYTES && pname <= GL_UNPACK_ALIGNMENT;
    const bool pack = pname >= GL_PACK_SWAP_BYTES && pname <= GL_PACK_ALIGNMENT;
    if (!unpack && !pack) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    PixelStore& s = unpack ? c->unpack : c->pack;
    switch (unpack ? pname - GL_UNPACK_SWAP_BYTES : pname - GL_PACK_SWAP_BYTES) {
        case 0:
            s.swapBytes = value != 0; // nothing to swap in single bytes
            return;
        case 1:
            s.lsbFirst = value != 0; // bitmaps only
            return;
        case 2:
        case 3:
        case 4:
            if (value < 0) {
                c->raise(GL_INVALID_VALUE);
                return;
            }
            (pname == GL_UNPACK_ROW_LENGTH || pname == GL_PACK_ROW_LENGTH ? s.rowLength
             : pname == GL_UNPACK_SKIP_ROWS || pname == GL_PACK_SKIP_ROWS ? s.skipRows
                                                                          : s.skipPixels) = value;
            return;
        default:
            if (value != 1 && value != 2 && value != 4 && value != 8) {
                c->raise(GL_INVALID_VALUE);
                return;
            }
            s.alignment = value;
            return;
    }
}

// Everything that takes a texture target names GL_TEXTURE_2D; one-dimensional and proxy
// textures are left out.
bool texture2dTarget(Context& c, const char* function, GLenum target) {
    if (target == GL_TEXTURE_2D) {
        return true;
    }
    if (target == GL_TEXTURE_1D || target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D) {
        unservedValue(function, target, "one-dimensional and proxy textures");
    }
    c.raise(GL_INVALID_ENUM);
    return false;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The served entries. Qualified lookup finds these before the stopping stubs.
namespace entry {
using namespace fallback;

// ---- immediate mode

void glBegin(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode == GL_POINTS || mode == GL_LINES || mode == GL_LINE_LOOP || mode == GL_LINE_STRIP) {
        unservedValue("glBegin", mode, "points and lines");
    }
    if (mode < GL_TRIANGLES || mode > GL_POLYGON) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (mode != GL_QUADS) {
        c->endQuadRun(); // quads are drawn apart from other primitives
    }
    c->inBegin = true;
    c->primitive = mode;
    c->primitiveStart = c->batch.size();
    c->pending.clear();
}

void glEnd() {
    Context* c = current;
    if (!c) {
        return;
    }
    if (!c->inBegin) {
        c->raise(GL_INVALID_OPERATION);
        return;
    }
    c->endPrimitive();
    c->inBegin = false;
}

#define GL11_COLOUR(suffix, T)                                                                     \
    void glColor3##suffix(T r, T g, T b) {                                                         \
        setColour(normalized(r), normalized(g), normalized(b), 1.0f);                              \
    }                                                                                              \
    void glColor3##suffix##v(const T* v) {                                                         \
        setColour(normalized(v[0]), normalized(v[1]), normalized(v[2]), 1.0f);                     \
    }                                                                                              \
    void glColor4##suffix(T r, T g, T b, T a) {                                                    \
        setColour(normalized(r), normalized(g), normalized(b), normalized(a));                     \
    }                                                                                              \
    void glColor4##suffix##v(const T* v) {                                                         \
        setColour(normalized(v[0]), normalized(v[1]), normalized(v[2]), normalized(v[3]));         \
    }
GL11_COLOUR(b, GLbyte)
GL11_COLOUR(ub, GLubyte)
GL11_COLOUR(s, GLshort)
GL11_COLOUR(us, GLushort)
GL11_COLOUR(i, GLint)
GL11_COLOUR(ui, GLuint)
GL11_COLOUR(f, GLfloat)
GL11_COLOUR(d, GLdouble)
#undef GL11_COLOUR

#define GL11_COORDINATES(suffix, T)                                                                \
    void glTexCoord1##suffix(T s) {                                                                \
        setTexCoord(0, static_cast<float>(s), 0.0f, 0.0f, 1.0f);                                   \
    }                                                                                              \
    void glTexCoord1##suffix##v(const T* v) {                                                      \
        setTexCoord(0, static_cast<float>(v[0]), 0.0f, 0.0f, 1.0f);                                \
    }                                                                                              \
    void glTexCoord2##suffix(T s, T t) {                                                           \
        setTexCoord(0, static_cast<float>(s), static_cast<float>(t), 0.0f, 1.0f);                  \
    }                                                                                              \
    void glTexCoord2##suffix##v(const T* v) {                                                      \
        setTexCoord(0, static_cast<float>(v[0]), static_cast<float>(v[1]), 0.0f, 1.0f);            \
    }                                                                                              \
    void glTexCoord3##suffix(T s, T t, T r) {                                                      \
        setTexCoord(0, static_cast<float>(s), static_cast<float>(t), static_cast<float>(r), 1.0f); \
    }                                                                                              \
    void glTexCoord3##suffix##v(const T* v) {                                                      \
        setTexCoord(0, static_cast<float>(v[0]), static_cast<float>(v[1]),                         \
                    static_cast<float>(v[2]), 1.0f);                                               \
    }                                                                                              \
    void glTexCoord4##suffix(T s, T t, T r, T q) {                                                 \
        setTexCoord(0, static_cast<float>(s), static_cast<float>(t), static_cast<float>(r),        \
                    static_cast<float>(q));                                                        \
    }                                                                                              \
    void glTexCoord4##suffix##v(const T* v) {                                                      \
        setTexCoord(0, static_cast<float>(v[0]), static_cast<float>(v[1]),                         \
                    static_cast<float>(v[2]), static_cast<float>(v[3]));                           \
    }                                                                                              \
    void glVertex2##suffix(T x, T y) {                                                             \
        vertex(static_cast<float>(x), static_cast<float>(y), 0.0f, 1.0f);                          \
    }                                                                                              \
    void glVertex2##suffix##v(const T* v) {                                                        \
        vertex(static_cast<float>(v[0]), static_cast<float>(v[1]), 0.0f, 1.0f);                    \
    }                                                                                              \
    void glVertex3##suffix(T x, T y, T z) {                                                        \
        vertex(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), 1.0f);         \
    }                                                                                              \
    void glVertex3##suffix##v(const T* v) {                                                        \
        vertex(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),       \
               1.0f);                                                                              \
    }                                                                                              \
    void glVertex4##suffix(T x, T y, T z, T w) {                                                   \
        vertex(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),                \
               static_cast<float>(w));                                                             \
    }                                                                                              \
    void glVertex4##suffix##v(const T* v) {                                                        \
        vertex(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]),       \
               static_cast<float>(v[3]));                                                          \
    }
GL11_COORDINATES(s, GLshort)
GL11_COORDINATES(i, GLint)
GL11_COORDINATES(f, GLfloat)
GL11_COORDINATES(d, GLdouble)
#undef GL11_COORDINATES

#define GL11_NORMAL(suffix, T)                                                                     \
    void glNormal3##suffix(T x, T y, T z) {                                                        \
        setNormal(normalized(x), normalized(y), normalized(z));                                    \
    }                                                                                              \
    void glNormal3##suffix##v(const T* v) {                                                        \
        setNormal(normalized(v[0]), normalized(v[1]), normalized(v[2]));                           \
    }
GL11_NORMAL(b, GLbyte)
GL11_NORMAL(s, GLshort)
GL11_NORMAL(i, GLint)
GL11_NORMAL(f, GLfloat)
GL11_NORMAL(d, GLdouble)
#undef GL11_NORMAL

// glRect is a polygon of four vertices at z = 0, as GL defines it.
#define GL11_RECT(suffix, T)                                                                       \
    void glRect##suffix(T x1, T y1, T x2, T y2) {                                                  \
        glBegin(GL_POLYGON);                                                                       \
        glVertex2##suffix(x1, y1);                                                                 \
        glVertex2##suffix(x2, y1);                                                                 \
        glVertex2##suffix(x2, y2);                                                                 \
        glVertex2##suffix(x1, y2);                                                                 \
        glEnd();                                                                                   \
    }                                                                                              \
    void glRect##suffix##v(const T* v1, const T* v2) {                                             \
        glRect##suffix(v1[0], v1[1], v2[0], v2[1]);                                                \
    }
GL11_RECT(s, GLshort)
GL11_RECT(i, GLint)
GL11_RECT(f, GLfloat)
GL11_RECT(d, GLdouble)
#undef GL11_RECT

// ---- multitexture

void glActiveTextureARB(GLenum texture) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    const int unit = unitOf(*c, "glActiveTextureARB", texture);
    if (unit >= 0) {
        c->activeUnit = unit;
    }
}

void glMultiTexCoord2fARB(GLenum target, GLfloat s, GLfloat t) {
    Context* c = current;
    if (!c) {
        return;
    }
    const int unit = unitOf(*c, "glMultiTexCoord2fARB", target);
    if (unit >= 0) {
        setTexCoord(unit, s, t, 0.0f, 1.0f);
    }
}

void glMultiTexCoord2fvARB(GLenum target, const GLfloat* v) {
    glMultiTexCoord2fARB(target, v[0], v[1]);
}

// ---- state

void glEnable(GLenum cap) {
    setCap(cap, true);
}

void glDisable(GLenum cap) {
    setCap(cap, false);
}

GLboolean glIsEnabled(GLenum cap) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return GL_FALSE;
    }
    bool known = false;
    const bool on = capEnabled(*c, cap, known);
    if (!known) {
        c->raise(GL_INVALID_ENUM);
    }
    return on ? GL_TRUE : GL_FALSE;
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (!validBlendFactor(sfactor, true) || !validBlendFactor(dfactor, false)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (c->blendSrc != sfactor || c->blendDst != dfactor) {
        c->settle();
        c->blendSrc = sfactor;
        c->blendDst = dfactor;
        c->es.BlendFunc(sfactor, dfactor);
    }
}

void glDepthFunc(GLenum func) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (!validFunction(func)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (c->depthFunc != func) {
        c->settle();
        c->depthFunc = func;
        c->es.DepthFunc(func);
    }
}

void glDepthMask(GLboolean flag) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    const GLboolean on = flag ? GL_TRUE : GL_FALSE;
    if (c->depthMask != on) {
        c->settle();
        c->depthMask = on;
        c->es.DepthMask(on);
    }
}

void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    auto flag = [](GLboolean v) { return static_cast<GLboolean>(v ? GL_TRUE : GL_FALSE); };
    const GLboolean mask[4] = {flag(r), flag(g), flag(b), flag(a)};
    if (std::memcmp(mask, c->colourMask, sizeof mask) != 0) {
        c->settle();
        std::memcpy(c->colourMask, mask, sizeof mask);
        c->es.ColorMask(mask[0], mask[1], mask[2], mask[3]);
    }
}

void glCullFace(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_FRONT && mode != GL_BACK && mode != GL_FRONT_AND_BACK) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (c->cullMode != mode) {
        c->settle();
        c->cullMode = mode;
        c->es.CullFace(mode);
    }
}

void glFrontFace(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_CW && mode != GL_CCW) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (c->frontFace != mode) {
        c->settle();
        c->frontFace = mode;
        c->es.FrontFace(mode);
    }
}

void glShadeModel(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_FLAT && mode != GL_SMOOTH) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    if (c->shadeModel != mode) {
        c->settle();
        c->shadeModel = mode;
    }
}

void glAlphaFunc(GLenum func, GLclampf ref) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (!validFunction(func)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    const float r = clamp01(ref);
    if (c->alphaFunc != func || c->alphaRef != r) {
        c->settle();
        c->alphaFunc = func;
        c->alphaRef = r;
        ++c->alphaVersion;
    }
}

void glHint(GLenum target, GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    int slot = -1;
    switch (target) {
        case GL_PERSPECTIVE_CORRECTION_HINT:
            slot = 0;
            break;
        case GL_POINT_SMOOTH_HINT:
            slot = 1;
            break;
        case GL_LINE_SMOOTH_HINT:
            slot = 2;
            break;
        case GL_POLYGON_SMOOTH_HINT:
            slot = 3;
            break;
        case GL_FOG_HINT:
            return; // fog is never on
        default:
            break;
    }
    if (slot < 0 || (mode != GL_FASTEST && mode != GL_NICEST && mode != GL_DONT_CARE)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    // Hints change nothing here: colours and texture coordinates are always interpolated
    // with perspective correction, as on the reference driver.
    c->hints[slot] = mode;
}

void glPolygonOffset(GLfloat factor, GLfloat units) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->settle();
    c->polygonOffset[0] = factor;
    c->polygonOffset[1] = units;
    c->es.PolygonOffset(factor, units);
}

void glStencilFunc(GLenum func, GLint ref, GLuint mask) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (!validFunction(func)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    c->settle();
    c->stencilFunc = func;
    c->stencilRef = ref;
    c->stencilValueMask = mask;
    c->es.StencilFunc(func, ref, mask);
}

void glStencilMask(GLuint mask) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->settle();
    c->stencilWriteMask = mask;
    c->es.StencilMask(mask);
}

void glStencilOp(GLenum fail, GLenum zfail, GLenum zpass) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    auto valid = [](GLenum op) {
        return op == GL_KEEP || op == GL_ZERO || op == GL_REPLACE || op == GL_INCR ||
               op == GL_DECR || op == GL_INVERT;
    };
    if (!valid(fail) || !valid(zfail) || !valid(zpass)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    c->settle();
    c->stencilFail = fail;
    c->stencilDepthFail = zfail;
    c->stencilPass = zpass;
    c->es.StencilOp(fail, zfail, zpass);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (width < 0 || height < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    c->settle();
    const GLint v[4] = {x, y, width, height};
    std::memcpy(c->viewport, v, sizeof v);
    c->es.Viewport(x, y, width, height);
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (width < 0 || height < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    c->settle();
    const GLint v[4] = {x, y, width, height};
    std::memcpy(c->scissor, v, sizeof v);
    c->es.Scissor(x, y, width, height);
}

void glDepthRange(GLclampd nearVal, GLclampd farVal) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->settle();
    c->depthRange[0] = clamp01(static_cast<float>(nearVal));
    c->depthRange[1] = clamp01(static_cast<float>(farVal));
    c->es.DepthRangef(c->depthRange[0], c->depthRange[1]);
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    const float v[4] = {clamp01(r), clamp01(g), clamp01(b), clamp01(a)};
    if (std::memcmp(v, c->clearColour, sizeof v) != 0) {
        std::memcpy(c->clearColour, v, sizeof v);
        c->es.ClearColor(v[0], v[1], v[2], v[3]);
    }
}

void glClearDepth(GLclampd depth) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->clearDepth = clamp01(static_cast<float>(depth));
    c->es.ClearDepthf(c->clearDepth);
}

void glClearStencil(GLint s) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->clearStencil = s;
    c->es.ClearStencil(s);
}

void glClear(GLbitfield mask) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mask & GL_ACCUM_BUFFER_BIT) {
        unservedValue("glClear", mask, "the accumulation buffer");
    }
    if (mask & ~(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    c->settle();
    c->es.Clear(mask);
}

void glFlush() {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->settle();
    c->es.Flush();
}

void glFinish() {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    c->settle();
    c->es.Finish();
}

void glReadBuffer(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_BACK) {
        unservedValue("glReadBuffer", mode, "reading any buffer but the back buffer");
    }
    c->readBuffer = mode;
    c->es.ReadBuffer(mode);
}

void glDrawBuffer(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_BACK) {
        unservedValue("glDrawBuffer", mode, "drawing into any buffer but the back buffer");
    }
    c->drawBuffer = mode; // ES draws into the back buffer of a double-buffered surface
}

void glPixelStorei(GLenum pname, GLint param) {
    pixelStore(pname, param);
}

void glPixelStoref(GLenum pname, GLfloat param) {
    pixelStore(pname, static_cast<GLint>(std::lround(param)));
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
    Context* c = current;
    if (c && c->outsideBegin()) {
        readPixels(*c, x, y, width, height, format, type, pixels);
    }
}

// ---- matrices

void glMatrixMode(GLenum mode) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    c->matrixMode = mode;
}

void glPushMatrix() {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    MatrixStack& s = c->currentStack();
    if (static_cast<int>(s.entries.size()) >= s.maxDepth) {
        c->raise(GL_STACK_OVERFLOW); // the stack stays as it was
        return;
    }
    s.entries.push_back(s.top());
}

void glPopMatrix() {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    MatrixStack& s = c->currentStack();
    if (s.entries.size() <= 1) {
        c->raise(GL_STACK_UNDERFLOW);
        return;
    }
    c->settle();
    s.entries.pop_back();
    ++s.version;
}

void glLoadIdentity() {
    loadTop(matrixIdentity);
}

void glLoadMatrixf(const GLfloat* m) {
    loadTop(matrixFrom(m));
}

void glLoadMatrixd(const GLdouble* m) {
    loadTop(matrixFrom(m));
}

void glMultMatrixf(const GLfloat* m) {
    multiplyTop(matrixFrom(m));
}

void glMultMatrixd(const GLdouble* m) {
    multiplyTop(matrixFrom(m));
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    rotate(angle, x, y, z);
}

void glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    rotate(static_cast<float>(angle), static_cast<float>(x), static_cast<float>(y),
           static_cast<float>(z));
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    translate(x, y, z);
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    translate(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    scale(x, y, z);
}

void glScaled(GLdouble x, GLdouble y, GLdouble z) {
    scale(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble nearVal,
               GLdouble farVal) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (nearVal <= 0.0 || farVal <= 0.0 || nearVal == farVal || left == right || top == bottom) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    multiplyTop(frustumMatrix(static_cast<float>(left), static_cast<float>(right),
                              static_cast<float>(bottom), static_cast<float>(top),
                              static_cast<float>(nearVal), static_cast<float>(farVal)));
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble nearVal,
             GLdouble farVal) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (left == right || bottom == top || nearVal == farVal) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    multiplyTop(orthoMatrix(static_cast<float>(left), static_cast<float>(right),
                            static_cast<float>(bottom), static_cast<float>(top),
                            static_cast<float>(nearVal), static_cast<float>(farVal)));
}

// ---- textures

void glGenTextures(GLsizei n, GLuint* textures) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (n < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    // Names above every name in use, as the reference driver hands them out: after the
    // overlay's 1234 the next is 1235.
    for (GLsizei i = 0; i < n; ++i) {
        textures[i] = ++c->highestName;
    }
}

void glBindTexture(GLenum target, GLuint texture) {
    Context* c = current;
    if (!c || !c->outsideBegin() || !texture2dTarget(*c, "glBindTexture", target)) {
        return;
    }
    if (c->bound[c->activeUnit] != texture) {
        c->settle();
        c->bound[c->activeUnit] = texture;
    }
    c->textureNamed(texture); // a name the program never generated is made here
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (n < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    for (GLsizei i = 0; i < n; ++i) {
        const GLuint name = textures[i];
        auto found = c->textures.find(name);
        if (name == 0 || found == c->textures.end()) {
            continue;
        }
        c->settle();
        for (int u = 0; u < unitCount; ++u) {
            if (c->bound[u] == name) {
                c->bound[u] = 0; // deleting a bound texture binds the default one
            }
            if (c->esBound[u] == found->second.esName) {
                c->esBound[u] = 0;
            }
        }
        c->es.DeleteTextures(1, &found->second.esName);
        c->textures.erase(found);
    }
}

GLboolean glIsTexture(GLuint texture) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return GL_FALSE;
    }
    return texture != 0 && c->textures.count(texture) ? GL_TRUE : GL_FALSE;
}

GLboolean glAreTexturesResident(GLsizei n, const GLuint* textures, GLboolean* residences) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return GL_FALSE;
    }
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] == 0 || !c->textures.count(textures[i])) {
            c->raise(GL_INVALID_VALUE);
            return GL_FALSE;
        }
    }
    return GL_TRUE; // every texture is resident; `residences` is left alone, as GL says
}

void glPrioritizeTextures(GLsizei n, const GLuint* textures, const GLclampf* priorities) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    if (n < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] != 0) {
            c->textureNamed(textures[i]).priority = clamp01(priorities[i]);
        }
    }
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                  GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glTexImage2D", target)) {
        texImage2D(*c, level, internalFormat, width, height, border, format, type, pixels);
    }
}

void glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                     GLsizei height, GLenum format, GLenum type, const GLvoid* pixels) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glTexSubImage2D", target)) {
        texSubImage2D(*c, level, xoffset, yoffset, width, height, format, type, pixels);
    }
}

void glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y,
                      GLsizei width, GLsizei height, GLint border) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glCopyTexImage2D", target)) {
        copyTexImage2D(*c, level, internalformat, x, y, width, height, border);
    }
}

void glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                         GLsizei width, GLsizei height) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glCopyTexSubImage2D", target)) {
        copyTexSubImage2D(*c, level, xoffset, yoffset, x, y, width, height);
    }
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glTexParameteri", target)) {
        texParameter(*c, pname, param);
    }
}

void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    Context* c = current;
    if (c && c->outsideBegin() && texture2dTarget(*c, "glTexParameterf", target)) {
        texParameter(*c, pname, static_cast<GLint>(param));
    }
}

void glTexParameteriv(GLenum target, GLenum pname, const GLint* params) {
    glTexParameteri(target, pname, params[0]);
}

void glTexParameterfv(GLenum target, GLenum pname, const GLfloat* params) {
    glTexParameterf(target, pname, params[0]);
}

void glGetTexParameteriv(GLenum target, GLenum pname, GLint* params) {
    Context* c = current;
    if (!c || !c->outsideBegin() || !texture2dTarget(*c, "glGetTexParameteriv", target)) {
        return;
    }
    const Texture& t = *c->boundTexture(c->activeUnit);
    switch (pname) {
        case GL_TEXTURE_MIN_FILTER:
            *params = static_cast<GLint>(t.minFilter);
            return;
        case GL_TEXTURE_MAG_FILTER:
            *params = static_cast<GLint>(t.magFilter);
            return;
        case GL_TEXTURE_WRAP_S:
            *params = static_cast<GLint>(t.wrapS);
            return;
        case GL_TEXTURE_WRAP_T:
            *params = static_cast<GLint>(t.wrapT);
            return;
        case GL_TEXTURE_RESIDENT:
            *params = GL_TRUE;
            return;
        default:
            unservedValue("glGetTexParameteriv", pname, "this query");
    }
}

void glGetTexParameterfv(GLenum target, GLenum pname, GLfloat* params) {
    Context* c = current;
    if (c && pname == GL_TEXTURE_PRIORITY && target == GL_TEXTURE_2D && c->outsideBegin()) {
        *params = c->boundTexture(c->activeUnit)->priority;
        return;
    }
    GLint v = 0;
    glGetTexParameteriv(target, pname, &v);
    *params = static_cast<GLfloat>(v);
}

void glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint* params) {
    Context* c = current;
    if (!c || !c->outsideBegin() || !texture2dTarget(*c, "glGetTexLevelParameteriv", target)) {
        return;
    }
    if (level < 0) {
        c->raise(GL_INVALID_VALUE);
        return;
    }
    const Texture& t = *c->boundTexture(c->activeUnit);
    const bool defined = static_cast<size_t>(level) < t.levels.size();
    const TextureLevel l = defined ? t.levels[static_cast<size_t>(level)] : TextureLevel{};
    const GLenum b = t.baseFormat;
    const bool colour = b == GL_RGB || b == GL_RGBA;
    const bool hasAlpha = b == GL_RGBA || b == GL_ALPHA || b == GL_LUMINANCE_ALPHA;
    switch (pname) {
        case GL_TEXTURE_WIDTH:
            *params = l.width;
            return;
        case GL_TEXTURE_HEIGHT:
            *params = l.height;
            return;
        case GL_TEXTURE_COMPONENTS: // GL_TEXTURE_INTERNAL_FORMAT
            *params = defined ? l.internalFormat : 1;
            return;
        case GL_TEXTURE_BORDER:
            *params = 0;
            return;
        case GL_TEXTURE_RED_SIZE:
        case GL_TEXTURE_GREEN_SIZE:
        case GL_TEXTURE_BLUE_SIZE:
            *params = defined && colour ? 8 : 0;
            return;
        case GL_TEXTURE_ALPHA_SIZE:
            *params = defined && hasAlpha ? 8 : 0;
            return;
        case GL_TEXTURE_LUMINANCE_SIZE:
            *params = defined && (b == GL_LUMINANCE || b == GL_LUMINANCE_ALPHA) ? 8 : 0;
            return;
        case GL_TEXTURE_INTENSITY_SIZE:
            *params = defined && b == GL_INTENSITY ? 8 : 0;
            return;
        default:
            c->raise(GL_INVALID_ENUM);
            return;
    }
}

void glGetTexLevelParameterfv(GLenum target, GLint level, GLenum pname, GLfloat* params) {
    GLint v = 0;
    glGetTexLevelParameteriv(target, level, pname, &v);
    *params = static_cast<GLfloat>(v);
}

// ---- texture environment

void glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    texEnvValue(target, pname, param);
}

void glTexEnvi(GLenum target, GLenum pname, GLint param) {
    texEnvValue(target, pname, static_cast<float>(param));
}

void glTexEnvfv(GLenum target, GLenum pname, const GLfloat* params) {
    texEnvColour(target, pname, params, true);
}

void glTexEnviv(GLenum target, GLenum pname, const GLint* params) {
    if (pname == GL_TEXTURE_ENV_COLOR) {
        const float rgba[4] = {normalized(params[0]), normalized(params[1]), normalized(params[2]),
                               normalized(params[3])};
        texEnvColour(target, pname, rgba, false);
    } else {
        texEnvValue(target, pname, static_cast<float>(params[0]));
    }
}

void glGetTexEnvfv(GLenum target, GLenum pname, GLfloat* params) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    float v[4];
    int n = 0;
    if (target != GL_TEXTURE_ENV || !texEnvQuery(*c, pname, v, n)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    std::memcpy(params, v, sizeof(float) * static_cast<size_t>(n));
}

void glGetTexEnviv(GLenum target, GLenum pname, GLint* params) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return;
    }
    float v[4];
    int n = 0;
    if (target != GL_TEXTURE_ENV || !texEnvQuery(*c, pname, v, n)) {
        c->raise(GL_INVALID_ENUM);
        return;
    }
    for (int i = 0; i < n; ++i) {
        params[i] = pname == GL_TEXTURE_ENV_COLOR
                        ? static_cast<GLint>(std::floor((4294967295.0 * v[i] - 1.0) / 2.0 + 0.5))
                        : static_cast<GLint>(v[i]);
    }
}

// ---- queries

void glGetFloatv(GLenum pname, GLfloat* params) {
    get("glGetFloatv", pname, params);
}

void glGetDoublev(GLenum pname, GLdouble* params) {
    get("glGetDoublev", pname, params);
}

void glGetIntegerv(GLenum pname, GLint* params) {
    get("glGetIntegerv", pname, params);
}

void glGetBooleanv(GLenum pname, GLboolean* params) {
    get("glGetBooleanv", pname, params);
}

GLenum glGetError() {
    Context* c = current;
    if (!c) {
        return GL_NO_ERROR;
    }
    if (c->inBegin) {
        c->raise(GL_INVALID_OPERATION);
        return GL_NO_ERROR;
    }
    // The layer's own error first; then whatever the ES driver recorded.
    const GLenum own = c->error;
    if (own != GL_NO_ERROR) {
        c->error = GL_NO_ERROR;
        return own;
    }
    return c->es.GetError();
}

const GLubyte* glGetString(GLenum name) {
    Context* c = current;
    if (!c || !c->outsideBegin()) {
        return nullptr;
    }
    const char* text = nullptr;
    switch (name) {
        case GL_VENDOR:
            text = "TIR VAL";
            break;
        case GL_RENDERER:
            text = c->renderer.c_str();
            break;
        case GL_VERSION:
            text = "1.1 TIR VAL GL layer over OpenGL ES 3";
            break;
        case GL_EXTENSIONS:
            text = extensionString;
            break;
        default:
            c->raise(GL_INVALID_ENUM);
            return nullptr;
    }
    return reinterpret_cast<const GLubyte*>(text);
}

} // namespace entry

// ---------------------------------------------------------------------------------------------
// The exports, by name.

namespace {

struct Export {
    const char* name;
    void* function;
    bool served;
};

// Every GL 1.1 name with the served function (checked against the entry's own signature), or
// the stopping stub. WGL names are the platform's.
const Export exports[] = {
#define TIR_GL_ENTRY(ret, name, params, args)                                                      \
    {#name, reinterpret_cast<void*>(static_cast<ret(*) params>(&entry::name)),                     \
     reinterpret_cast<void*>(static_cast<ret(*) params>(&entry::name)) !=                          \
         reinterpret_cast<void*>(&fallback::name)},
#include "platform/gl_entries.inc"
#undef TIR_GL_ENTRY
};

// The extension entries the multitexture check asks wglGetProcAddress for.
const Export extensionExports[] = {
    {"glActiveTextureARB", reinterpret_cast<void*>(&entry::glActiveTextureARB), true},
    {"glMultiTexCoord2fARB", reinterpret_cast<void*>(&entry::glMultiTexCoord2fARB), true},
    {"glMultiTexCoord2fvARB", reinterpret_cast<void*>(&entry::glMultiTexCoord2fvARB), true},
};

const Export* findExport(const char* name) {
    if (!name || std::strncmp(name, "wgl", 3) == 0) {
        return nullptr;
    }
    for (const Export& e : exports) {
        if (std::strcmp(e.name, name) == 0) {
            return &e;
        }
    }
    for (const Export& e : extensionExports) {
        if (std::strcmp(e.name, name) == 0) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace

void* procAddress(const char* name) {
    const Export* e = findExport(name);
    return e ? e->function : nullptr;
}

bool serves(const char* name) {
    const Export* e = findExport(name);
    return e && e->served;
}

} // namespace gl11
