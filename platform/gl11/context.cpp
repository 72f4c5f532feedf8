// context.cpp - one GL layer context: its ES objects, immediate-mode primitives turned into
// triangles, and the batch that is drawn with one ES draw call whenever state changes.
//
// A flat-shaded quad becomes the triangles (v0 v1 v3) and (v1 v2 v3): with ES's last-vertex
// convention both take the fourth vertex's colour, as GL 1.1 gives it. A smooth quad is split
// along the diagonal the reference driver takes (see smoothQuad), which decides how a quad
// whose corners are not an affine image of a square is interpolated.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/fatal.h"
#include "platform/gl11/layer.h"

namespace gl11 {

Context* current = nullptr;

void unserved(const char* what) {
    sys::fatalf("GL layer",
                "%s is not served by the GL layer over OpenGL ES 3 (TIR_GL=es3); the program "
                "cannot draw what it asked for. Run without TIR_GL to use the driver's own GL.",
                what);
}

void unservedValue(const char* function, GLenum value, const char* feature) {
    char what[160];
    std::snprintf(what, sizeof what, "%s(0x%04X): %s,", function, value, feature);
    unserved(what);
}

void Context::raise(GLenum code) {
    if (error == GL_NO_ERROR) {
        error = code;
    }
}

bool Context::outsideBegin() {
    if (inBegin) {
        raise(GL_INVALID_OPERATION);
        return false;
    }
    return true;
}

MatrixStack& Context::currentStack() {
    switch (matrixMode) {
        case GL_PROJECTION:
            return projection;
        case GL_TEXTURE:
            return texture[activeUnit];
        default:
            return modelview;
    }
}

void Context::start() {
    started = true;
    // Every function first, so that a context that lacks one is named at once.
#define GL11_ES_LOAD(ret, name, params)                                                            \
    es.name = reinterpret_cast<ret(*) params>(lookup("gl" #name));                                 \
    if (!es.name) {                                                                                \
        sys::fatalf("GL layer",                                                                    \
                    "The OpenGL ES 3 context offers no gl%s, which the GL layer "                  \
                    "needs (TIR_GL=es3 asks for the layer).",                                      \
                    #name);                                                                        \
    }
    GL11_ES_FUNCTIONS(GL11_ES_LOAD)
#undef GL11_ES_LOAD

    es.GenVertexArrays(1, &vertexArray);
    es.BindVertexArray(vertexArray);
    es.GenBuffers(1, &vertexBuffer);
    es.BindBuffer(es::ARRAY_BUFFER, vertexBuffer);
    const GLsizei stride = sizeof(Vertex);
    es.VertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<const void*>(offsetof(Vertex, position)));
    es.VertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<const void*>(offsetof(Vertex, colour)));
    es.VertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<const void*>(offsetof(Vertex, tex[0])));
    es.VertexAttribPointer(3, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<const void*>(offsetof(Vertex, tex[1])));
    for (GLuint i = 0; i < 4; ++i) {
        es.EnableVertexAttribArray(i);
    }
    // The default viewport and scissor box are the window's size, as in GL.
    es.GetIntegerv(GL_VIEWPORT, viewport);
    es.GetIntegerv(GL_SCISSOR_BOX, scissor);
    const GLubyte* name = es.GetString(GL_RENDERER);
    renderer = "TIR VAL GL 1.1 layer over OpenGL ES 3 on ";
    renderer += name ? reinterpret_cast<const char*>(name) : "an unnamed renderer";
    // The driver's own errors from before the layer started are not the program's.
    while (es.GetError() != GL_NO_ERROR) {
    }
}

Texture& Context::textureNamed(GLuint name) {
    auto found = textures.find(name);
    if (found != textures.end()) {
        return found->second;
    }
    Texture& t = textures[name];
    es.GenTextures(1, &t.esName);
    if (name > highestName) {
        highestName = name;
    }
    return t;
}

Texture* Context::boundTexture(int unit) {
    return &textureNamed(bound[unit]);
}

bool Texture::complete() const {
    if (levels.empty() || levels[0].width <= 0 || levels[0].height <= 0) {
        return false;
    }
    if (minFilter == GL_NEAREST || minFilter == GL_LINEAR) {
        return true;
    }
    // A mipmapped filter needs every level down to 1 x 1.
    GLsizei w = levels[0].width, h = levels[0].height;
    for (size_t level = 1; w > 1 || h > 1; ++level) {
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
        if (level >= levels.size() || levels[level].width != w || levels[level].height != h) {
            return false;
        }
    }
    return true;
}

void Context::bindEs(int unit, GLuint esName) {
    if (esBound[unit] == esName) {
        return;
    }
    if (esActiveUnit != unit) {
        es.ActiveTexture(GL_TEXTURE0_ARB + static_cast<GLenum>(unit));
        esActiveUnit = unit;
    }
    es.BindTexture(GL_TEXTURE_2D, esName);
    esBound[unit] = esName;
}

void Context::useEsUnpack(const PixelStore& store) {
    if (esUnpack.alignment != store.alignment) {
        es.PixelStorei(es::UNPACK_ALIGNMENT, store.alignment);
    }
    if (esUnpack.rowLength != store.rowLength) {
        es.PixelStorei(es::UNPACK_ROW_LENGTH, store.rowLength);
    }
    if (esUnpack.skipRows != store.skipRows) {
        es.PixelStorei(es::UNPACK_SKIP_ROWS, store.skipRows);
    }
    if (esUnpack.skipPixels != store.skipPixels) {
        es.PixelStorei(es::UNPACK_SKIP_PIXELS, store.skipPixels);
    }
    esUnpack = store;
}

namespace {

GLuint compile(EsApi& es, GLenum type, const std::string& source) {
    const GLuint shader = es.CreateShader(type);
    const GLchar* text = source.c_str();
    es.ShaderSource(shader, 1, &text, nullptr);
    es.CompileShader(shader);
    GLint ok = 0;
    es.GetShaderiv(shader, es::COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        es.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        sys::fatalf("GL layer", "A generated shader does not compile:\n%s\n%s", log,
                    source.c_str());
    }
    return shader;
}

} // namespace

const Program& Context::program(const ProgramKey& key) {
    for (size_t i = 0; i < programs.size(); ++i) {
        if (std::memcmp(&programs[i].key, &key, sizeof key) == 0) {
            return programs[i];
        }
    }
    Program p;
    p.key = key;
    const GLuint vs = compile(es, es::VERTEX_SHADER, vertexShaderSource(key));
    const GLuint fs = compile(es, es::FRAGMENT_SHADER, fragmentShaderSource(key));
    p.name = es.CreateProgram();
    es.AttachShader(p.name, vs);
    es.AttachShader(p.name, fs);
    es.BindAttribLocation(p.name, 0, "aPosition");
    es.BindAttribLocation(p.name, 1, "aColour");
    es.BindAttribLocation(p.name, 2, "aTex0");
    es.BindAttribLocation(p.name, 3, "aTex1");
    es.LinkProgram(p.name);
    es.DeleteShader(vs);
    es.DeleteShader(fs);
    GLint ok = 0;
    es.GetProgramiv(p.name, es::LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        es.GetProgramInfoLog(p.name, sizeof log, nullptr, log);
        sys::fatalf("GL layer", "Generated shaders do not link:\n%s", log);
    }
    p.mvp = es.GetUniformLocation(p.name, "uMvp");
    p.alphaRef = es.GetUniformLocation(p.name, "uAlphaRef");
    es.UseProgram(p.name);
    for (int u = 0; u < unitCount; ++u) {
        const std::string n = std::to_string(u);
        p.texMatrix[u] = es.GetUniformLocation(p.name, ("uTexMatrix" + n).c_str());
        p.envColour[u] = es.GetUniformLocation(p.name, ("uEnv" + n).c_str());
        const GLint sampler = es.GetUniformLocation(p.name, ("uSampler" + n).c_str());
        if (sampler >= 0) {
            es.Uniform1i(sampler, u);
        }
    }
    programs.push_back(p);
    usedProgram = static_cast<int>(programs.size()) - 1;
    return programs.back();
}

void Context::flush() {
    if (batch.empty()) {
        return;
    }
    endQuadRun();
    ProgramKey key; // every byte set: the members' own initialisers
    for (int u = 0; u < unitCount; ++u) {
        // A unit whose texture is incomplete draws as if texturing were off there.
        const Texture* t = texture2d[u] ? boundTexture(u) : nullptr;
        const bool on = t && t->complete();
        key.unit[u] = unitKey(env[u], on, t ? t->baseFormat : GL_RGBA);
        key.unit[u].projected = on && !isIdentity(texture[u].top());
    }
    key.flat = shadeModel == GL_FLAT;
    key.alphaTest = alphaTest ? static_cast<uint8_t>(alphaFunc - GL_NEVER + 1) : 0;

    const Program& found = program(key);
    Program& p = programs[static_cast<size_t>(&found - programs.data())];
    const int index = static_cast<int>(&p - programs.data());
    if (usedProgram != index) {
        es.UseProgram(p.name);
        usedProgram = index;
    }
    currentMvp(); // rebuilt only when either stack's top changed
    if (p.mvpVersion != mvpVersion) {
        es.UniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
        p.mvpVersion = mvpVersion;
    }
    for (int u = 0; u < unitCount; ++u) {
        if (p.texMatrix[u] >= 0 && p.texMatrixVersion[u] != texture[u].version) {
            es.UniformMatrix4fv(p.texMatrix[u], 1, GL_FALSE, texture[u].top().m);
            p.texMatrixVersion[u] = texture[u].version;
        }
        if (p.envColour[u] >= 0 && p.envVersion[u] != envVersion[u]) {
            es.Uniform4fv(p.envColour[u], 1, env[u].colour);
            p.envVersion[u] = envVersion[u];
        }
        if (key.unit[u].enabled) {
            bindEs(u, boundTexture(u)->esName);
        }
    }
    if (p.alphaRef >= 0 && p.alphaVersion != alphaVersion) {
        // The reference in the colour buffer's 8 bits, rounded as the driver stores a colour.
        const float scaled = alphaRef * 0.99609375f + 32768.0f;
        uint32_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        es.Uniform1f(p.alphaRef, static_cast<float>(bits & 255u));
        p.alphaVersion = alphaVersion;
    }
    const size_t bytes = batch.size() * sizeof(Vertex);
    es.BufferData(es::ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), batch.data(), es::STREAM_DRAW);
    es.DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.size()));
    batch.clear();
}

void Context::emitVertex(float x, float y, float z, float w) {
    Vertex v = current;
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    v.position[3] = w;
    if (primitive == GL_TRIANGLES) {
        batch.push_back(v);
        return;
    }
    pending.push_back(v);
    if (primitive == GL_QUADS && pending.size() == 4) {
        const Vertex* q = pending.data();
        if (shadeModel == GL_FLAT) {
            batch.insert(batch.end(), {q[0], q[1], q[3], q[1], q[2], q[3]});
        } else {
            smoothQuad(q);
        }
        pending.clear();
    }
}

const Matrix& Context::currentMvp() {
    if (mvpFrom[0] != projection.version || mvpFrom[1] != modelview.version) {
        mvp = multiply(projection.top(), modelview.top());
        mvpFrom[0] = projection.version;
        mvpFrom[1] = modelview.version;
        ++mvpVersion;
    }
    return mvp;
}

namespace {

// Whether a vertex lies outside the view volume, its clip coordinates summed in the vertex
// shader's order.
bool outsideView(const Matrix& mvp, const float* p) {
    float c[4];
    for (int i = 0; i < 4; ++i) {
        c[i] = mvp.m[i] * p[0] + mvp.m[4 + i] * p[1] + mvp.m[8 + i] * p[2] + mvp.m[12 + i] * p[3];
    }
    for (int i = 0; i < 3; ++i) {
        if (c[i] < -c[3] || c[i] > c[3]) {
            return true;
        }
    }
    return false;
}

} // namespace

// The reference driver splits smooth quads along v0-v2 when none of the quads it draws
// together needs clipping, and along v1-v3 (as flat quads) when any does; it draws up to 1024
// quads together. The layer keeps the run of smooth quads since the last other primitive or
// state change, split along v0-v2, and turns the whole run over when it ends.
void Context::smoothQuad(const Vertex* q) {
    if (quadRunStart == noQuadRun) {
        quadRunStart = batch.size();
        quadRunOutside = false;
        quadRunLength = 0;
    }
    if (!quadRunOutside) {
        const Matrix& m = currentMvp();
        for (int i = 0; i < 4; ++i) {
            quadRunOutside = quadRunOutside || outsideView(m, q[i].position);
        }
    }
    batch.insert(batch.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
    if (++quadRunLength == maxQuadRun) {
        endQuadRun();
    }
}

void Context::endQuadRun() {
    if (quadRunStart == noQuadRun) {
        return;
    }
    if (quadRunOutside) {
        for (size_t i = quadRunStart; i + 6 <= batch.size(); i += 6) {
            Vertex* t = &batch[i];
            const Vertex q0 = t[0], q1 = t[1], q2 = t[2], q3 = t[5];
            t[0] = q0;
            t[1] = q1;
            t[2] = q3;
            t[3] = q1;
            t[4] = q2;
            t[5] = q3;
        }
    }
    quadRunStart = noQuadRun;
}

void Context::endPrimitive() {
    const std::vector<Vertex>& v = pending;
    const size_t n = v.size();
    auto triangle = [this, &v](size_t a, size_t b, size_t c) {
        batch.insert(batch.end(), {v[a], v[b], v[c]});
    };
    switch (primitive) {
        case GL_TRIANGLES: // an unfinished last triangle is dropped
            batch.resize(primitiveStart + (batch.size() - primitiveStart) / 3 * 3);
            break;
        case GL_TRIANGLE_STRIP: // every other triangle turned back to the strip's winding
            for (size_t i = 0; i + 2 < n; ++i) {
                if (i % 2 == 0) {
                    triangle(i, i + 1, i + 2);
                } else {
                    triangle(i + 1, i, i + 2);
                }
            }
            break;
        case GL_TRIANGLE_FAN:
            for (size_t i = 0; i + 2 < n; ++i) {
                triangle(0, i + 1, i + 2);
            }
            break;
        case GL_QUAD_STRIP: // flat shading takes each quad's last vertex
            for (size_t i = 0; i + 3 < n; i += 2) {
                triangle(i + 2, i, i + 3);
                triangle(i, i + 1, i + 3);
            }
            break;
        case GL_POLYGON: // flat shading takes the first vertex, so it goes last
            for (size_t i = 0; i + 2 < n; ++i) {
                triangle(i + 1, i + 2, 0);
            }
            break;
        default: // GL_QUADS: an unfinished last quad is dropped
            break;
    }
    pending.clear();
}

// ---------------------------------------------------------------------------------------------
// The backend's interface.

Context* createContext(EsLookup lookup) {
    return new Context(lookup);
}

void makeCurrent(Context* context) {
    current = context;
    if (context && !context->started) {
        context->start();
    }
}

Context* currentContext() {
    return current;
}

void deleteContext(Context* context) {
    if (current == context) {
        current = nullptr;
    }
    delete context;
}

void flush() {
    if (current) {
        current->flush();
    }
}

} // namespace gl11
