// png_writer.cpp - PNG output and input through libpng's simplified API.
#include "resources/png_writer.h"

#include <png.h>

#include <zlib.h>

#include <csetjmp>
#include <cstdio>

bool writePng(const std::string& path, int width, int height, int channels,
              const std::vector<unsigned char>& pixels, bool fast) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    if (fast) {
        image.flags |= PNG_IMAGE_FLAG_FAST;
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

bool readPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}
void noFlush(png_structp) {}
void keepError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}
void ignoreWarning(png_structp, png_const_charp) {}

} // namespace

bool encodePng(int width, int height, const unsigned char* rows, long stride,
               const PngCompression& c, std::vector<unsigned char>& out, std::string& error) {
    out.clear();
    error.clear();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, &keepError, &ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, &appendBytes, &noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    static const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_PAETH,
                                  PNG_ALL_FILTERS};
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters[static_cast<int>(c.filter)]);
    png_set_compression_level(png, c.level);
    png_set_compression_strategy(png, c.runLengthOnly ? Z_RLE : Z_DEFAULT_STRATEGY);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rows + static_cast<long>(y) * stride);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
