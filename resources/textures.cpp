// textures.cpp - the texture catalogue, the JPEG decoder over libjpeg and the three loaders.
#include "resources/textures.h"

#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "gfx/debug_channel.h"
#include "gfx/gl_api.h"
#include "platform/fatal.h"
#include "resources/search_path.h"

ResourceState resourceState;
const TextureCatalogue& textureCatalogue = resourceState.textureCatalogue;

namespace {

constexpr size_t nameField = 32; // names live in 32-byte fields: at most 31 characters
// Larger than any texture a GL driver takes; a damaged header claiming more is refused before
// the picture is allocated.
constexpr JDIMENSION maxJpegSide = 16384;

// A name that does not fit its 32-byte field is refused rather than cut or overflowed.
void checkTextureName(const char* name) {
    const size_t length = std::strlen(name);
    if (length >= nameField) {
        sys::fatalf("file error",
                    "The texture name \"%s\" has %zu characters; a texture name holds at most "
                    "%zu.",
                    name, length, nameField - 1);
    }
}

void copyLowerCase(char (&out)[nameField], const char* name) {
    std::memset(out, 0, sizeof out);
    std::strncpy(out, name, sizeof out - 1);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
}

void setLinearFilters() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

GLuint newTextureObject() {
    GLuint id = 0;
    glGenTextures(1, &id);
    return id;
}

// libjpeg's error manager with a way back out: error_exit must not return into the library,
// so it jumps back to decodeJpeg, which cleans up and ends through the fatal path.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    const char* name;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (such as a file that ends early) go to the debug channel with the file's name.
void jpegOutputMessage(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    char line[JMSG_LENGTH_MAX + 300];
    std::snprintf(line, sizeof line, "JPEG picture \"%s\": %s\n", errors->name, text);
    debugPrint("%s", line);
}

const char* colourSpaceName(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_CMYK:
            return "CMYK";
        case JCS_YCCK:
            return "YCCK";
        case JCS_UNKNOWN:
            return "an unknown colour space";
        default:
            return "an unsupported colour space";
    }
}

} // namespace

// ---- Image

Image::Image(uint32_t w, uint32_t h, int32_t bits)
    : width(w), height(h), pixels(nullptr), bitsPerPixel(bits),
      bytesPerPixel(static_cast<uint32_t>(bits + 7) / 8) {
    pixels = new unsigned char[static_cast<size_t>(width) * height * bytesPerPixel];
}

Image::~Image() {
    delete[] pixels;
}

// ---- the catalogue

int registerTextureName(const char* name) {
    checkTextureName(name);
    TextureCatalogue& c = resourceState.textureCatalogue;
    for (int32_t i = 0; i < c.count; ++i) {
        if (std::strcmp(c.items[i].name, name) == 0) {
            return static_cast<int>(c.items[i].textureId);
        }
    }
    CatalogueEntry e;
    e.textureId = newTextureObject();
    std::memset(e.name, 0, sizeof e.name);
    std::memcpy(e.name, name, std::strlen(name));
    c.append(e);
    return static_cast<int>(e.textureId);
}

// ---- JPEG

Image* decodeJpeg(const char* name) {
    FILE* stream = searchPath.openStream(name, loadFatal);

    jpeg_decompress_struct info;
    JpegErrors errors;
    errors.name = name;
    errors.message[0] = '\0';
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegErrorExit;
    errors.manager.output_message = jpegOutputMessage;
    // Locals that change after setjmp and are read after the jump must be volatile.
    Image* volatile image = nullptr;
    volatile int unsupportedSpace = -1;

    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(stream);
        delete image;
        if (unsupportedSpace >= 0) {
            sys::fatalf("file error",
                        "The JPEG picture \"%s\" is stored in %s; only RGB (YCbCr) and greyscale "
                        "pictures can be used.",
                        name, colourSpaceName(static_cast<J_COLOR_SPACE>(unsupportedSpace)));
        }
        sys::fatalf("file error", "The JPEG picture \"%s\" cannot be decoded: %s", name,
                    errors.message);
    }

    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, stream);
    jpeg_read_header(&info, TRUE);
    info.do_fancy_upsampling = TRUE;
    info.do_block_smoothing = FALSE;
    switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
            info.out_color_space = JCS_RGB; // libjpeg's own grey-to-RGB conversion
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            break;
        default:
            unsupportedSpace = info.jpeg_color_space;
            std::longjmp(errors.jump, 1);
    }
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        std::snprintf(errors.message, sizeof errors.message,
                      "it decodes to %d colour components, not 3", info.output_components);
        std::longjmp(errors.jump, 1);
    }
    if (info.output_width > maxJpegSide || info.output_height > maxJpegSide) {
        std::snprintf(errors.message, sizeof errors.message,
                      "it is %u x %u pixels; a texture holds at most %u per side",
                      info.output_width, info.output_height, maxJpegSide);
        std::longjmp(errors.jump, 1);
    }
    auto* fresh = new Image(info.output_width, info.output_height, 24);
    image = fresh;
    const JDIMENSION rowBytes = info.output_width * static_cast<JDIMENSION>(info.output_components);
    JSAMPARRAY row =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, rowBytes, 1);
    const size_t copyBytes = static_cast<size_t>(fresh->width) * fresh->bytesPerPixel;
    while (info.output_scanline < info.output_height) {
        const JDIMENSION index = info.output_scanline;
        jpeg_read_scanlines(&info, row, 1);
        std::memcpy(fresh->pixels + static_cast<size_t>(index) * copyBytes, row[0], copyBytes);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(stream);
    return fresh;
}

int loadJpegTexture(const char* name) {
    checkTextureName(name);
    Image* image = decodeJpeg(name);
    // Rows are packed; a row whose length is not a multiple of 4 (a picture 1 or 2 pixels
    // wide) is unpacked byte-aligned so that GL does not read past the picture.
    const bool packed = (image->width * image->bytesPerPixel) % 4 == 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, packed ? 4 : 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    const int id = registerTextureName(name);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(id));
    glTexImage2D(GL_TEXTURE_2D, 0, 3, static_cast<GLsizei>(image->width),
                 static_cast<GLsizei>(image->height), 0, GL_RGB, GL_UNSIGNED_BYTE, image->pixels);
    delete image;
    setLinearFilters();
    return id;
}

int loadTexture(const char* name) {
    checkTextureName(name);
    if (isJpegName(name)) {
        return loadJpegTexture(name); // the caller's spelling: the catalogue keeps its case
    }
    FileLock raw(searchPath.load(name, loadFatal));
    if (raw.file->size < rawTextureBytes) {
        sys::fatalf("file error",
                    "The raw picture \"%s\" has %d bytes; a raw texture is 256 x 256 RGB pixels, "
                    "%d bytes.",
                    name, raw.file->size, rawTextureBytes);
    }
    const GLuint id = newTextureObject();
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, rawTextureSide, rawTextureSide, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 raw.data);
    setLinearFilters();
    return static_cast<int>(id);
}

int loadTextureWithAlpha(const char* colourName, const char* alphaName) {
    checkTextureName(colourName);
    checkTextureName(alphaName);
    char lower[nameField];
    copyLowerCase(lower, colourName);

    // The colour file is looked up by its lower-cased name, the alpha file as given. Archive
    // look-ups ignore case, so this matters only for loose files in the folders, where the
    // shipped data names its pictures in lower case.
    std::vector<unsigned char> rgb;
    uint32_t width = 0, height = 0;
    if (isJpegName(lower)) {
        Image* image = decodeJpeg(lower);
        width = image->width;
        height = image->height;
        rgb.assign(image->pixels, image->pixels + static_cast<size_t>(width) * height * 3);
        delete image;
    } else {
        FileLock raw(searchPath.load(lower, loadFatal));
        // A square picture: side = the integer square root of the whole pixels in the file.
        const uint32_t pixels = static_cast<uint32_t>(raw.file->size) / 3;
        uint32_t side = 0;
        while (static_cast<uint64_t>(side + 1) * (side + 1) <= pixels) {
            ++side;
        }
        if (side == 0) {
            sys::fatalf("file error",
                        "The raw picture \"%s\" has %d bytes, not one whole RGB pixel; a colour "
                        "picture for an alpha file is a square of 3-byte pixels.",
                        lower, raw.file->size);
        }
        width = height = side;
        rgb.assign(raw.data, raw.data + static_cast<size_t>(side) * side * 3);
    }

    FileLock alpha(searchPath.load(alphaName, loadFatal));
    const size_t pixelCount = static_cast<size_t>(width) * height;
    if (static_cast<size_t>(alpha.file->size) < pixelCount) {
        sys::fatalf("file error",
                    "The alpha file \"%s\" has %d bytes; the picture \"%s\" (%u x %u) needs one "
                    "byte per pixel, %zu.",
                    alphaName, alpha.file->size, colourName, width, height, pixelCount);
    }
    std::vector<unsigned char> rgba(pixelCount * 4);
    for (size_t i = 0; i < pixelCount; ++i) {
        rgba[4 * i] = rgb[3 * i];
        rgba[4 * i + 1] = rgb[3 * i + 1];
        rgba[4 * i + 2] = rgb[3 * i + 2];
        rgba[4 * i + 3] = alpha.data[i];
    }
    const GLuint id = newTextureObject();
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    setLinearFilters();
    return static_cast<int>(id);
}
