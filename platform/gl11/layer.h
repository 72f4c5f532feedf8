// layer.h - the GL layer's inside: one context's fixed-function state, the matrix maths, the
// texture-environment key that selects a generated shader, and the operations the entry points
// share. Only platform/gl11/ includes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl11/es3_api.h"
#include "platform/gl11/gl11.h"
#include "platform/gl_constants.h"

namespace gl11 {

constexpr int unitCount = 2; // texture units: the program uses two

// ---------------------------------------------------------------------------------------------
// Matrices: 16 floats in GL's column-major order, element (row r, column c) at 4c + r.
struct Matrix {
    float m[16];
};
extern const Matrix matrixIdentity;

// a * b, summed left to right in single precision as Mesa's fixed-function matrices are.
Matrix multiply(const Matrix& a, const Matrix& b);
// The matrices that glRotatef, glScalef, glTranslatef, glFrustum and glOrtho multiply in, built
// as Mesa builds them. Each returns false (no matrix) where Mesa leaves the stack unchanged.
bool rotationMatrix(float degrees, float x, float y, float z, Matrix& out);
Matrix frustumMatrix(float left, float right, float bottom, float top, float nearVal, float farVal);
Matrix orthoMatrix(float left, float right, float bottom, float top, float nearVal, float farVal);
// Mesa's translate and scale change the top in place, column by column.
void translateInPlace(Matrix& m, float x, float y, float z);
void scaleInPlace(Matrix& m, float x, float y, float z);
bool isIdentity(const Matrix& m);

struct MatrixStack {
    std::vector<Matrix> entries{matrixIdentity}; // entries.back() is the top
    int maxDepth = 32;
    uint32_t version = 1; // grows on every change of the top, so uniforms know when to reload
    Matrix& top() { return entries.back(); }
    const Matrix& top() const { return entries.back(); }
};

// ---------------------------------------------------------------------------------------------
// Texture environment. The user-visible state per unit, and the derived key that a draw uses.
struct TexEnv {
    GLenum mode = GL_MODULATE;
    GLenum combineRgb = GL_MODULATE;
    GLenum combineAlpha = GL_MODULATE;
    GLenum sourceRgb[4] = {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT, GL_CONSTANT};
    GLenum sourceAlpha[4] = {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT, GL_CONSTANT};
    GLenum operandRgb[4] = {GL_SRC_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA, GL_SRC_ALPHA};
    GLenum operandAlpha[4] = {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA};
    float rgbScale = 1.0f;
    float alphaScale = 1.0f;
    float colour[4] = {0, 0, 0, 0}; // clamped to 0..1 when set
};

enum class Source : uint8_t { texture, texture0, texture1, constant, primary, previous, zero, one };
enum class Operand : uint8_t { colour, oneMinusColour, alpha, oneMinusAlpha };
enum class Combine : uint8_t {
    replace,
    modulate,
    add,
    addSigned,
    interpolate,
    subtract,
    dot3Rgb,
    dot3Rgba,
    addProducts,       // combine4: a0 a1 + a2 a3
    addProductsSigned, // combine4: a0 a1 + a2 a3 - 0.5
};

// What one unit's shader stage computes. Only bytes, so keys compare and hash as memory.
struct UnitKey {
    uint8_t enabled = 0;
    uint8_t projected = 0; // the texture matrix is not the identity
    Combine modeRgb = Combine::modulate, modeAlpha = Combine::modulate;
    uint8_t argsRgb = 0, argsAlpha = 0;
    Source sourceRgb[4] = {}, sourceAlpha[4] = {};
    Operand operandRgb[4] = {}, operandAlpha[4] = {};
    uint8_t shiftRgb = 0, shiftAlpha = 0; // scale 1, 2, 4 as a shift
};

struct ProgramKey {
    UnitKey unit[unitCount];
    uint8_t flat = 0;      // GL_FLAT: the colour of each primitive's provoking vertex
    uint8_t alphaTest = 0; // 0 off, else the function minus GL_NEVER plus 1
};
static_assert(sizeof(ProgramKey) == 2 * sizeof(UnitKey) + 2, "keys are packed bytes");

// The derived key of one unit, from its environment, whether it is on and what its texture
// holds (the base format decides what MODULATE, DECAL, BLEND and REPLACE read), as Mesa derives
// its fixed-function fragment program.
UnitKey unitKey(const TexEnv& env, bool enabled, GLenum baseFormat);

// The GLSL ES 3.00 sources for a key.
std::string vertexShaderSource(const ProgramKey& key);
std::string fragmentShaderSource(const ProgramKey& key);

struct Program {
    ProgramKey key;
    GLuint name = 0;
    GLint mvp = -1, texMatrix[unitCount] = {-1, -1}, envColour[unitCount] = {-1, -1}, alphaRef = -1;
    // Versions of the values last loaded into this program's uniforms.
    uint32_t mvpVersion = 0, texMatrixVersion[unitCount] = {0, 0}, envVersion[unitCount] = {0, 0},
             alphaVersion = 0;
};

// ---------------------------------------------------------------------------------------------
// Textures, under the program's own names (which it may never have generated).
struct TextureLevel {
    GLsizei width = 0, height = 0;
    GLint internalFormat = 0; // as the program gave it
};
struct Texture {
    GLuint esName = 0;
    GLenum baseFormat = GL_RGBA; // GL_ALPHA, GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_INTENSITY,
                                 // GL_RGB or GL_RGBA
    std::vector<TextureLevel> levels;
    GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR, magFilter = GL_LINEAR;
    GLenum wrapS = GL_REPEAT, wrapT = GL_REPEAT;
    float priority = 1.0f;
    bool complete() const;
};

// ---------------------------------------------------------------------------------------------
// Vertices as the batch holds them: the position and every current attribute at glVertex.
struct Vertex {
    float position[4];
    float colour[4];
    float tex[unitCount][4];
};

struct PixelStore {
    GLint rowLength = 0, skipRows = 0, skipPixels = 0, alignment = 4;
    GLint swapBytes = 0, lsbFirst = 0;
};

struct Context {
    explicit Context(EsLookup lookup) : lookup(lookup) {
        for (MatrixStack& t : texture) {
            t.maxDepth = 10; // the reference driver's texture stacks are 10 deep, the others 32
        }
    }

    EsLookup lookup;
    EsApi es;
    bool started = false; // ES objects made (first makeCurrent)

    // Errors the layer raised itself; GL keeps the first until glGetError reads it.
    GLenum error = GL_NO_ERROR;

    // Immediate mode.
    bool inBegin = false;
    GLenum primitive = 0;
    size_t primitiveStart = 0;   // first vertex of the open glBegin in `batch` (triangles)
    std::vector<Vertex> pending; // the open glBegin's vertices for the other primitives
    std::vector<Vertex> batch;   // triangles drawn at the next flush, with the current state
    static constexpr size_t noQuadRun = ~size_t{0};
    static constexpr int maxQuadRun = 1024;
    size_t quadRunStart = noQuadRun; // first vertex of the smooth quads drawn together
    bool quadRunOutside = false;     // one of them reaches outside the view volume
    int quadRunLength = 0;
    Vertex current{{0, 0, 0, 1}, {1, 1, 1, 1}, {{0, 0, 0, 1}, {0, 0, 0, 1}}};
    float normal[3] = {0, 0, 1};

    // Transform.
    GLenum matrixMode = GL_MODELVIEW;
    MatrixStack modelview, projection, texture[unitCount];
    uint32_t mvpVersion = 0; // of the product below
    uint32_t mvpFrom[2] = {0, 0};
    Matrix mvp = matrixIdentity;
    GLint viewport[4] = {0, 0, 0, 0};
    float depthRange[2] = {0, 1};

    // Texturing.
    int activeUnit = 0;
    bool texture2d[unitCount] = {false, false};
    GLuint bound[unitCount] = {0, 0};
    TexEnv env[unitCount];
    uint32_t envVersion[unitCount] = {1, 1};
    std::unordered_map<GLuint, Texture> textures;
    GLuint highestName = 0; // glGenTextures hands out names above every name in use
    PixelStore unpack, pack;

    // Fragment and raster state.
    GLenum shadeModel = GL_SMOOTH;
    bool alphaTest = false;
    GLenum alphaFunc = GL_ALWAYS;
    float alphaRef = 0.0f;
    uint32_t alphaVersion = 1;
    bool blend = false, depthTest = false, cullFace = false, scissorTest = false,
         polygonOffsetFill = false, stencilTest = false, dither = true;
    bool storedCaps[64] = {}; // capabilities that change nothing the layer draws
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
    GLenum depthFunc = GL_LESS;
    GLboolean depthMask = GL_TRUE;
    GLboolean colourMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLenum cullMode = GL_BACK, frontFace = GL_CCW;
    float clearColour[4] = {0, 0, 0, 0};
    float clearDepth = 1.0f;
    GLint clearStencil = 0;
    GLint scissor[4] = {0, 0, 0, 0};
    float polygonOffset[2] = {0, 0};
    GLenum stencilFunc = GL_ALWAYS, stencilFail = GL_KEEP, stencilDepthFail = GL_KEEP,
           stencilPass = GL_KEEP;
    GLint stencilRef = 0;
    GLuint stencilValueMask = ~0u, stencilWriteMask = ~0u;
    GLenum hints[4] = {GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE};
    GLenum readBuffer = GL_BACK, drawBuffer = GL_BACK;

    // What the ES context has now, so unchanged state costs no ES call.
    std::vector<Program> programs;
    int usedProgram = -1;
    GLuint vertexBuffer = 0, vertexArray = 0;
    size_t bufferCapacity = 0;
    int esActiveUnit = 0;
    GLuint esBound[unitCount] = {0, 0};
    PixelStore esUnpack;
    std::string extensions, renderer;

    // Operations shared by the entry points.
    void start();            // the ES objects, on the first makeCurrent
    void raise(GLenum code); // records a GL error if none is pending
    bool outsideBegin();     // false (and GL_INVALID_OPERATION) inside glBegin/glEnd
    void flush();            // draws the batch
    void settle() {          // before a state change: the batch keeps its state
        if (!batch.empty()) {
            flush();
        }
    }
    MatrixStack& currentStack();
    const Matrix& currentMvp();
    void emitVertex(float x, float y, float z, float w);
    void smoothQuad(const Vertex* q);
    void endQuadRun();
    void endPrimitive();
    Texture* boundTexture(int unit);
    Texture& textureNamed(GLuint name); // made on first use, as GL 1.1 allows
    void bindEs(int unit, GLuint esName);
    void useEsUnpack(const PixelStore& store);
    const Program& program(const ProgramKey& key);
};

extern Context* current;

// Stops the program: `what` is a GL function or feature the layer does not serve.
[[noreturn]] void unserved(const char* what);
[[noreturn]] void unservedValue(const char* function, GLenum value, const char* feature);

// Textures and pixel transfers (texture.cpp).
void texImage2D(Context& c, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                GLint border, GLenum format, GLenum type, const void* pixels);
void texSubImage2D(Context& c, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                   GLenum format, GLenum type, const void* pixels);
void copyTexImage2D(Context& c, GLint level, GLenum internalFormat, GLint x, GLint y, GLsizei width,
                    GLsizei height, GLint border);
void copyTexSubImage2D(Context& c, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                       GLsizei width, GLsizei height);
void texParameter(Context& c, GLenum pname, GLint value);
void readPixels(Context& c, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                GLenum type, void* pixels);

} // namespace gl11
