// texture.cpp - texture images and pixel transfers with GL 1.1's rules over ES 3.0's stricter
// ones. GL 1.1 converts any pixel format into any internal format (a picture given as RGBA may
// be kept as RGB, luminance is taken from red), and reads the frame back as RGB; ES accepts only
// matching pairs and reads RGBA. Matching uploads go straight to ES with the program's unpack
// parameters; the others are converted here, row by row, honouring those parameters.
#include <cstring>
#include <vector>

#include "platform/gl11/layer.h"

namespace gl11 {

namespace {

// The base format an internal format keeps, or 0 for a value GL 1.1 does not accept.
GLenum baseOf(GLint internalFormat) {
    switch (internalFormat) {
        case 1:
        case GL_LUMINANCE:
        case GL_LUMINANCE4:
        case GL_LUMINANCE8:
        case GL_LUMINANCE12:
        case GL_LUMINANCE16:
            return GL_LUMINANCE;
        case 2:
        case GL_LUMINANCE_ALPHA:
        case GL_LUMINANCE4_ALPHA4:
        case GL_LUMINANCE6_ALPHA2:
        case GL_LUMINANCE8_ALPHA8:
        case GL_LUMINANCE12_ALPHA4:
        case GL_LUMINANCE12_ALPHA12:
        case GL_LUMINANCE16_ALPHA16:
            return GL_LUMINANCE_ALPHA;
        case GL_ALPHA:
        case GL_ALPHA4:
        case GL_ALPHA8:
        case GL_ALPHA12:
        case GL_ALPHA16:
            return GL_ALPHA;
        case GL_INTENSITY:
        case GL_INTENSITY4:
        case GL_INTENSITY8:
        case GL_INTENSITY12:
        case GL_INTENSITY16:
            return GL_INTENSITY;
        case 3:
        case GL_RGB:
        case GL_R3_G3_B2:
        case GL_RGB4:
        case GL_RGB5:
        case GL_RGB8:
        case GL_RGB10:
        case GL_RGB12:
        case GL_RGB16:
            return GL_RGB;
        case 4:
        case GL_RGBA:
        case GL_RGBA2:
        case GL_RGBA4:
        case GL_RGB5_A1:
        case GL_RGBA8:
        case GL_RGB10_A2:
        case GL_RGBA12:
        case GL_RGBA16:
            return GL_RGBA;
        default:
            return 0;
    }
}

// How ES stores a base format: its internal format and the pixel format it takes. Intensity
// has no ES format and is kept as RGBA with the intensity in all four.
struct EsFormat {
    GLint internalFormat;
    GLenum format;
    int bytes; // per pixel
};

EsFormat esFormatOf(GLenum base, GLint internalFormat) {
    switch (base) {
        case GL_LUMINANCE:
            return {GL_LUMINANCE, GL_LUMINANCE, 1};
        case GL_LUMINANCE_ALPHA:
            return {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, 2};
        case GL_ALPHA:
            return {GL_ALPHA, GL_ALPHA, 1};
        case GL_RGB:
            // The reference keeps the small sized formats in 16 bits; so does the layer.
            if (internalFormat == GL_R3_G3_B2 || internalFormat == GL_RGB4 ||
                internalFormat == GL_RGB5) {
                return {es::RGB565, GL_RGB, 3};
            }
            return {GL_RGB8, GL_RGB, 3};
        default:
            if (internalFormat == GL_RGBA2 || internalFormat == GL_RGBA4) {
                return {GL_RGBA4, GL_RGBA, 4};
            }
            if (internalFormat == GL_RGB5_A1) {
                return {GL_RGB5_A1, GL_RGBA, 4};
            }
            return {GL_RGBA8, GL_RGBA, 4};
    }
}

// Components per pixel of a source format GL 1.1 accepts for colour images; 0 otherwise.
int componentsOf(GLenum format) {
    switch (format) {
        case GL_RED:
        case GL_GREEN:
        case GL_BLUE:
        case GL_ALPHA:
        case GL_LUMINANCE:
            return 1;
        case GL_LUMINANCE_ALPHA:
            return 2;
        case GL_RGB:
        case GL_BGR:
            return 3;
        case GL_RGBA:
        case GL_BGRA:
            return 4;
        default:
            return 0;
    }
}

// The first byte of each row of a width x height image of `pixelBytes`-byte pixels laid out by
// the store's row length, skips and alignment.
size_t rowStride(const PixelStore& store, GLsizei width, int pixelBytes) {
    const size_t length = static_cast<size_t>(store.rowLength > 0 ? store.rowLength : width);
    const size_t bytes = length * static_cast<size_t>(pixelBytes);
    const size_t a = static_cast<size_t>(store.alignment);
    return (bytes + a - 1) / a * a;
}

const unsigned char* sourceRow(const void* pixels, const PixelStore& store, GLsizei width,
                               int pixelBytes, GLsizei row) {
    const size_t stride = rowStride(store, width, pixelBytes);
    return static_cast<const unsigned char*>(pixels) +
           stride * static_cast<size_t>(store.skipRows + row) +
           static_cast<size_t>(store.skipPixels) * static_cast<size_t>(pixelBytes);
}

// One source pixel as RGBA, by GL's rules: missing colour is 0, missing alpha 1, luminance
// fills red, green and blue.
void expand(GLenum format, const unsigned char* p, unsigned char rgba[4]) {
    rgba[0] = rgba[1] = rgba[2] = 0;
    rgba[3] = 255;
    switch (format) {
        case GL_RED:
            rgba[0] = p[0];
            break;
        case GL_GREEN:
            rgba[1] = p[0];
            break;
        case GL_BLUE:
            rgba[2] = p[0];
            break;
        case GL_ALPHA:
            rgba[3] = p[0];
            break;
        case GL_LUMINANCE:
            rgba[0] = rgba[1] = rgba[2] = p[0];
            break;
        case GL_LUMINANCE_ALPHA:
            rgba[0] = rgba[1] = rgba[2] = p[0];
            rgba[3] = p[1];
            break;
        case GL_RGB:
            std::memcpy(rgba, p, 3);
            break;
        case GL_BGR:
            rgba[0] = p[2];
            rgba[1] = p[1];
            rgba[2] = p[0];
            break;
        case GL_RGBA:
            std::memcpy(rgba, p, 4);
            break;
        case GL_BGRA:
            rgba[0] = p[2];
            rgba[1] = p[1];
            rgba[2] = p[0];
            rgba[3] = p[3];
            break;
        default:
            break;
    }
}

// An RGBA pixel in the ES layout of `base`: luminance and intensity are taken from red.
void store(GLenum base, const unsigned char rgba[4], unsigned char* out) {
    switch (base) {
        case GL_LUMINANCE:
            out[0] = rgba[0];
            break;
        case GL_LUMINANCE_ALPHA:
            out[0] = rgba[0];
            out[1] = rgba[3];
            break;
        case GL_ALPHA:
            out[0] = rgba[3];
            break;
        case GL_INTENSITY:
            out[0] = out[1] = out[2] = out[3] = rgba[0];
            break;
        case GL_RGB:
            std::memcpy(out, rgba, 3);
            break;
        default:
            std::memcpy(out, rgba, 4);
            break;
    }
}

// Checks a source format and type; false after raising the GL error (or stopping, for a type
// GL 1.1 has but the layer does not convert).
bool acceptSource(Context& c, const char* function, GLenum format, GLenum type) {
    if (componentsOf(format) == 0) {
        if (format == GL_COLOR_INDEX || format == GL_DEPTH_COMPONENT ||
            format == GL_STENCIL_INDEX) {
            unservedValue(function, format, "colour-index, depth and stencil images");
        }
        c.raise(GL_INVALID_ENUM);
        return false;
    }
    if (type != GL_UNSIGNED_BYTE) {
        if (type == GL_BYTE || type == GL_SHORT || type == GL_UNSIGNED_SHORT || type == GL_INT ||
            type == GL_UNSIGNED_INT || type == GL_FLOAT || type == GL_BITMAP) {
            unservedValue(function, type, "pixel types other than GL_UNSIGNED_BYTE");
        }
        c.raise(GL_INVALID_ENUM);
        return false;
    }
    return true;
}

// Uploads width x height source pixels into the bound ES texture, directly where ES takes the
// format as it is, else converted into a packed buffer.
void upload(Context& c, const Texture& t, bool whole, GLint level, GLint x, GLint y, GLsizei width,
            GLsizei height, GLenum format, const void* pixels, GLint internalFormat) {
    const EsFormat ef = esFormatOf(t.baseFormat, internalFormat);
    const bool direct = !pixels || (format == ef.format && t.baseFormat != GL_INTENSITY);
    const void* data = pixels;
    std::vector<unsigned char> converted;
    if (direct) {
        c.useEsUnpack(c.unpack);
    } else {
        const int sourceBytes = componentsOf(format);
        converted.resize(static_cast<size_t>(width) * static_cast<size_t>(height) *
                         static_cast<size_t>(ef.bytes));
        unsigned char* out = converted.data();
        for (GLsizei row = 0; row < height; ++row) {
            const unsigned char* in = sourceRow(pixels, c.unpack, width, sourceBytes, row);
            for (GLsizei i = 0; i < width; ++i, in += sourceBytes, out += ef.bytes) {
                unsigned char rgba[4];
                expand(format, in, rgba);
                store(t.baseFormat, rgba, out);
            }
        }
        c.useEsUnpack(PixelStore{0, 0, 0, 1});
        data = converted.data();
    }
    if (whole) {
        c.es.TexImage2D(GL_TEXTURE_2D, level, ef.internalFormat, width, height, 0, ef.format,
                        GL_UNSIGNED_BYTE, data);
    } else {
        c.es.TexSubImage2D(GL_TEXTURE_2D, level, x, y, width, height, ef.format, GL_UNSIGNED_BYTE,
                           data);
    }
}

Texture& boundForWriting(Context& c) {
    Texture& t = *c.boundTexture(c.activeUnit);
    c.bindEs(c.activeUnit, t.esName);
    return t;
}

} // namespace

void texImage2D(Context& c, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                GLint border, GLenum format, GLenum type, const void* pixels) {
    const GLenum base = baseOf(internalFormat);
    if (base == 0 || level < 0 || width < 0 || height < 0 || (border != 0 && border != 1)) {
        c.raise(base == 0 ? GL_INVALID_VALUE : GL_INVALID_VALUE);
        return;
    }
    if (border == 1) {
        unservedValue("glTexImage2D", static_cast<GLenum>(border), "texture borders");
    }
    if (!acceptSource(c, "glTexImage2D", format, type)) {
        return;
    }
    c.settle();
    Texture& t = boundForWriting(c);
    t.baseFormat = base;
    if (t.levels.size() <= static_cast<size_t>(level)) {
        t.levels.resize(static_cast<size_t>(level) + 1);
    }
    t.levels[static_cast<size_t>(level)] = TextureLevel{width, height, internalFormat};
    upload(c, t, true, level, 0, 0, width, height, format, pixels, internalFormat);
}

void texSubImage2D(Context& c, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                   GLenum format, GLenum type, const void* pixels) {
    if (!acceptSource(c, "glTexSubImage2D", format, type)) {
        return;
    }
    Texture& t = *c.boundTexture(c.activeUnit);
    if (level < 0 || static_cast<size_t>(level) >= t.levels.size() || width < 0 || height < 0 ||
        x < 0 || y < 0 || x + width > t.levels[static_cast<size_t>(level)].width ||
        y + height > t.levels[static_cast<size_t>(level)].height) {
        c.raise(level >= 0 && static_cast<size_t>(level) < t.levels.size() ? GL_INVALID_VALUE
                                                                           : GL_INVALID_OPERATION);
        return;
    }
    if (width == 0 || height == 0) {
        return;
    }
    c.settle();
    boundForWriting(c);
    upload(c, t, false, level, x, y, width, height, format, pixels,
           t.levels[static_cast<size_t>(level)].internalFormat);
}

void copyTexImage2D(Context& c, GLint level, GLenum internalFormat, GLint x, GLint y, GLsizei width,
                    GLsizei height, GLint border) {
    const GLenum base = baseOf(static_cast<GLint>(internalFormat));
    if (base == 0 || level < 0 || width < 0 || height < 0 || (border != 0 && border != 1)) {
        c.raise(GL_INVALID_VALUE);
        return;
    }
    if (border == 1) {
        unservedValue("glCopyTexImage2D", static_cast<GLenum>(border), "texture borders");
    }
    if (base == GL_INTENSITY) {
        unservedValue("glCopyTexImage2D", internalFormat, "copies into intensity textures");
    }
    c.settle();
    Texture& t = boundForWriting(c);
    t.baseFormat = base;
    if (t.levels.size() <= static_cast<size_t>(level)) {
        t.levels.resize(static_cast<size_t>(level) + 1);
    }
    t.levels[static_cast<size_t>(level)] =
        TextureLevel{width, height, static_cast<GLint>(internalFormat)};
    // ES copies into the unsized base formats only.
    c.es.CopyTexImage2D(GL_TEXTURE_2D, level, base, x, y, width, height, 0);
}

void copyTexSubImage2D(Context& c, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                       GLsizei width, GLsizei height) {
    Texture& t = *c.boundTexture(c.activeUnit);
    if (level < 0 || static_cast<size_t>(level) >= t.levels.size()) {
        c.raise(GL_INVALID_OPERATION);
        return;
    }
    c.settle();
    boundForWriting(c);
    c.es.CopyTexSubImage2D(GL_TEXTURE_2D, level, xoffset, yoffset, x, y, width, height);
}

void texParameter(Context& c, GLenum pname, GLint value) {
    Texture& t = *c.boundTexture(c.activeUnit);
    const GLenum v = static_cast<GLenum>(value);
    switch (pname) {
        case GL_TEXTURE_MIN_FILTER:
            if (v != GL_NEAREST && v != GL_LINEAR && v != GL_NEAREST_MIPMAP_NEAREST &&
                v != GL_LINEAR_MIPMAP_NEAREST && v != GL_NEAREST_MIPMAP_LINEAR &&
                v != GL_LINEAR_MIPMAP_LINEAR) {
                c.raise(GL_INVALID_ENUM);
                return;
            }
            if (t.minFilter != v) {
                c.settle();
                t.minFilter = v;
                boundForWriting(c);
                c.es.TexParameteri(GL_TEXTURE_2D, pname, value);
            }
            return;
        case GL_TEXTURE_MAG_FILTER:
            if (v != GL_NEAREST && v != GL_LINEAR) {
                c.raise(GL_INVALID_ENUM);
                return;
            }
            if (t.magFilter != v) {
                c.settle();
                t.magFilter = v;
                boundForWriting(c);
                c.es.TexParameteri(GL_TEXTURE_2D, pname, value);
            }
            return;
        case GL_TEXTURE_WRAP_S:
        case GL_TEXTURE_WRAP_T: {
            if (v == GL_CLAMP || v == GL_CLAMP_TO_BORDER) {
                unservedValue("glTexParameter", v, "wrap modes that sample the border colour");
            }
            if (v != GL_REPEAT && v != GL_CLAMP_TO_EDGE) {
                c.raise(GL_INVALID_ENUM);
                return;
            }
            GLenum& wrap = pname == GL_TEXTURE_WRAP_S ? t.wrapS : t.wrapT;
            if (wrap != v) {
                c.settle();
                wrap = v;
                boundForWriting(c);
                c.es.TexParameteri(GL_TEXTURE_2D, pname, value);
            }
            return;
        }
        case GL_TEXTURE_PRIORITY: // a residency hint: nothing to draw differently
            return;
        case GL_TEXTURE_BORDER_COLOR:
            unservedValue("glTexParameter", pname, "texture border colours");
        default:
            c.raise(GL_INVALID_ENUM);
            return;
    }
}

void readPixels(Context& c, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                GLenum type, void* pixels) {
    if (width < 0 || height < 0) {
        c.raise(GL_INVALID_VALUE);
        return;
    }
    int bytes = 0;
    if (format == GL_RGB || format == GL_BGR) {
        bytes = 3;
    } else if (format == GL_RGBA || format == GL_BGRA) {
        bytes = 4;
    } else if (format == GL_RED || format == GL_GREEN || format == GL_BLUE || format == GL_ALPHA ||
               format == GL_LUMINANCE || format == GL_LUMINANCE_ALPHA || format == GL_COLOR_INDEX ||
               format == GL_DEPTH_COMPONENT || format == GL_STENCIL_INDEX) {
        unservedValue("glReadPixels", format, "reading formats other than RGB and RGBA");
    } else {
        c.raise(GL_INVALID_ENUM);
        return;
    }
    if (type != GL_UNSIGNED_BYTE) {
        unservedValue("glReadPixels", type, "reading types other than GL_UNSIGNED_BYTE");
    }
    c.settle();
    // ES reads RGBA rows, 4 bytes a pixel, so its default pack alignment never pads them.
    std::vector<unsigned char> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    c.es.ReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const size_t stride = rowStride(c.pack, width, bytes);
    unsigned char* base = static_cast<unsigned char*>(pixels) +
                          stride * static_cast<size_t>(c.pack.skipRows) +
                          static_cast<size_t>(c.pack.skipPixels) * static_cast<size_t>(bytes);
    const bool swap = format == GL_BGR || format == GL_BGRA;
    for (GLsizei row = 0; row < height; ++row) {
        const unsigned char* in = &rgba[static_cast<size_t>(row) * static_cast<size_t>(width) * 4];
        unsigned char* out = base + stride * static_cast<size_t>(row);
        for (GLsizei i = 0; i < width; ++i, in += 4, out += bytes) {
            out[0] = swap ? in[2] : in[0];
            out[1] = in[1];
            out[2] = swap ? in[0] : in[2];
            if (bytes == 4) {
                out[3] = in[3];
            }
        }
    }
}

} // namespace gl11
