// es3_api.h - the OpenGL ES 3.0 functions and enumerants the GL layer uses, as a table of
// function pointers that a context fills through the backend's lookup. Nothing here carries a
// plain gl* symbol name, so the layer links beside the entry-point table on every platform.
#pragma once

#include <cstddef>

#include "platform/gl_types.h"

namespace gl11 {

typedef char GLchar;
typedef std::ptrdiff_t GLsizeiptr;

// ES_FUNCTION(return type, name without the gl prefix, (parameters))
#define GL11_ES_FUNCTIONS(ES_FUNCTION)                                                             \
    ES_FUNCTION(void, ActiveTexture, (GLenum texture))                                             \
    ES_FUNCTION(void, AttachShader, (GLuint program, GLuint shader))                               \
    ES_FUNCTION(void, BindAttribLocation, (GLuint program, GLuint index, const GLchar* name))      \
    ES_FUNCTION(void, BindBuffer, (GLenum target, GLuint buffer))                                  \
    ES_FUNCTION(void, BindTexture, (GLenum target, GLuint texture))                                \
    ES_FUNCTION(void, BindVertexArray, (GLuint array))                                             \
    ES_FUNCTION(void, BlendFunc, (GLenum sfactor, GLenum dfactor))                                 \
    ES_FUNCTION(void, BufferData,                                                                  \
                (GLenum target, GLsizeiptr size, const void* data, GLenum usage))                  \
    ES_FUNCTION(void, Clear, (GLbitfield mask))                                                    \
    ES_FUNCTION(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                    \
    ES_FUNCTION(void, ClearDepthf, (GLfloat d))                                                    \
    ES_FUNCTION(void, ClearStencil, (GLint s))                                                     \
    ES_FUNCTION(void, ColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a))             \
    ES_FUNCTION(void, CompileShader, (GLuint shader))                                              \
    ES_FUNCTION(void, CopyTexImage2D,                                                              \
                (GLenum target, GLint level, GLenum internalformat, GLint x, GLint y,              \
                 GLsizei width, GLsizei height, GLint border))                                     \
    ES_FUNCTION(void, CopyTexSubImage2D,                                                           \
                (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,       \
                 GLsizei width, GLsizei height))                                                   \
    ES_FUNCTION(GLuint, CreateProgram, (void))                                                     \
    ES_FUNCTION(GLuint, CreateShader, (GLenum type))                                               \
    ES_FUNCTION(void, CullFace, (GLenum mode))                                                     \
    ES_FUNCTION(void, DeleteShader, (GLuint shader))                                               \
    ES_FUNCTION(void, DeleteTextures, (GLsizei n, const GLuint* textures))                         \
    ES_FUNCTION(void, DepthFunc, (GLenum func))                                                    \
    ES_FUNCTION(void, DepthMask, (GLboolean flag))                                                 \
    ES_FUNCTION(void, DepthRangef, (GLfloat n, GLfloat f))                                         \
    ES_FUNCTION(void, Disable, (GLenum cap))                                                       \
    ES_FUNCTION(void, DrawArrays, (GLenum mode, GLint first, GLsizei count))                       \
    ES_FUNCTION(void, Enable, (GLenum cap))                                                        \
    ES_FUNCTION(void, EnableVertexAttribArray, (GLuint index))                                     \
    ES_FUNCTION(void, Finish, (void))                                                              \
    ES_FUNCTION(void, Flush, (void))                                                               \
    ES_FUNCTION(void, FrontFace, (GLenum mode))                                                    \
    ES_FUNCTION(void, GenBuffers, (GLsizei n, GLuint * buffers))                                   \
    ES_FUNCTION(void, GenTextures, (GLsizei n, GLuint * textures))                                 \
    ES_FUNCTION(void, GenVertexArrays, (GLsizei n, GLuint * arrays))                               \
    ES_FUNCTION(GLenum, GetError, (void))                                                          \
    ES_FUNCTION(void, GetIntegerv, (GLenum pname, GLint * data))                                   \
    ES_FUNCTION(void, GetProgramInfoLog,                                                           \
                (GLuint program, GLsizei bufSize, GLsizei * length, GLchar * infoLog))             \
    ES_FUNCTION(void, GetProgramiv, (GLuint program, GLenum pname, GLint * params))                \
    ES_FUNCTION(void, GetShaderInfoLog,                                                            \
                (GLuint shader, GLsizei bufSize, GLsizei * length, GLchar * infoLog))              \
    ES_FUNCTION(void, GetShaderiv, (GLuint shader, GLenum pname, GLint * params))                  \
    ES_FUNCTION(const GLubyte*, GetString, (GLenum name))                                          \
    ES_FUNCTION(GLint, GetUniformLocation, (GLuint program, const GLchar* name))                   \
    ES_FUNCTION(void, LinkProgram, (GLuint program))                                               \
    ES_FUNCTION(void, PixelStorei, (GLenum pname, GLint param))                                    \
    ES_FUNCTION(void, PolygonOffset, (GLfloat factor, GLfloat units))                              \
    ES_FUNCTION(void, ReadBuffer, (GLenum src))                                                    \
    ES_FUNCTION(void, ReadPixels,                                                                  \
                (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,      \
                 void* pixels))                                                                    \
    ES_FUNCTION(void, Scissor, (GLint x, GLint y, GLsizei width, GLsizei height))                  \
    ES_FUNCTION(void, ShaderSource,                                                                \
                (GLuint shader, GLsizei count, const GLchar* const* string, const GLint* length))  \
    ES_FUNCTION(void, StencilFunc, (GLenum func, GLint ref, GLuint mask))                          \
    ES_FUNCTION(void, StencilMask, (GLuint mask))                                                  \
    ES_FUNCTION(void, StencilOp, (GLenum fail, GLenum zfail, GLenum zpass))                        \
    ES_FUNCTION(void, TexImage2D,                                                                  \
                (GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,  \
                 GLint border, GLenum format, GLenum type, const void* pixels))                    \
    ES_FUNCTION(void, TexParameteri, (GLenum target, GLenum pname, GLint param))                   \
    ES_FUNCTION(void, TexSubImage2D,                                                               \
                (GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,          \
                 GLsizei height, GLenum format, GLenum type, const void* pixels))                  \
    ES_FUNCTION(void, Uniform1i, (GLint location, GLint v0))                                       \
    ES_FUNCTION(void, Uniform1f, (GLint location, GLfloat v0))                                     \
    ES_FUNCTION(void, Uniform4fv, (GLint location, GLsizei count, const GLfloat* value))           \
    ES_FUNCTION(void, UniformMatrix4fv,                                                            \
                (GLint location, GLsizei count, GLboolean transpose, const GLfloat* value))        \
    ES_FUNCTION(void, UseProgram, (GLuint program))                                                \
    ES_FUNCTION(void, VertexAttribPointer,                                                         \
                (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,      \
                 const void* pointer))                                                             \
    ES_FUNCTION(void, Viewport, (GLint x, GLint y, GLsizei width, GLsizei height))

struct EsApi {
#define GL11_ES_POINTER(ret, name, params) ret(*name) params = nullptr;
    GL11_ES_FUNCTIONS(GL11_ES_POINTER)
#undef GL11_ES_POINTER
};

// ES 3.0 enumerants that OpenGL 1.1 does not have (the shared ones come from gl_constants.h).
namespace es {
constexpr GLenum ARRAY_BUFFER = 0x8892;
constexpr GLenum STREAM_DRAW = 0x88E0;
constexpr GLenum FRAGMENT_SHADER = 0x8B30;
constexpr GLenum VERTEX_SHADER = 0x8B31;
constexpr GLenum COMPILE_STATUS = 0x8B81;
constexpr GLenum LINK_STATUS = 0x8B82;
constexpr GLenum TEXTURE_MAX_LEVEL = 0x813D;
constexpr GLenum RGB565 = 0x8D62;
constexpr GLenum UNPACK_ROW_LENGTH = 0x0CF2;
constexpr GLenum UNPACK_SKIP_ROWS = 0x0CF3;
constexpr GLenum UNPACK_SKIP_PIXELS = 0x0CF4;
constexpr GLenum UNPACK_ALIGNMENT = 0x0CF5;
constexpr GLenum PACK_ALIGNMENT = 0x0D05;
} // namespace es

} // namespace gl11
