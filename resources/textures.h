// textures.h - image files to GL texture objects: JPEG (through libjpeg) and headerless raw RGB
// pictures, RGBA textures built from a colour picture and a separate alpha file, and the
// catalogue that remembers which JPEG names already own a texture object.
//
// Every file is found through the search path; a missing one is fatal there. Texture objects
// are never deleted.
#pragma once

#include <cstdint>

#include "platform/growable_array.h"

struct CatalogueEntry {
    uint32_t textureId;
    char name[32]; // as the caller gave it, case kept
};

// JPEG names and their texture objects. Entries are never removed during a run.
using TextureCatalogue = GrowableArray<CatalogueEntry>;

// The resources layer's own state: the texture catalogue, which registerTextureName alone
// writes. reset() forgets every entry (for tests and tools that start over with a new GL
// context; the texture objects themselves are GL's).
struct ResourceState {
    TextureCatalogue textureCatalogue;
    void reset() { textureCatalogue.release(); }
};
extern ResourceState resourceState;
extern const TextureCatalogue& textureCatalogue;

// A decoded picture, rows top to bottom, 3 bytes (R, G, B) per pixel.
struct Image {
    Image(uint32_t width, uint32_t height, int32_t bitsPerPixel);
    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    uint32_t width;
    uint32_t height;
    unsigned char* pixels; // width * height * bytesPerPixel bytes
    int32_t bitsPerPixel;
    uint32_t bytesPerPixel; // (bitsPerPixel + 7) / 8
};

// A raw picture of the single-file loader is always 256 x 256 x 3 bytes.
constexpr int rawTextureSide = 256;
constexpr int rawTextureBytes = rawTextureSide * rawTextureSide * 3;

// One picture file as a texture: names containing ".jpg" (any case) are JPEG and catalogued;
// anything else is a 256 x 256 raw RGB picture in a new texture object every time.
int loadTexture(const char* name);
// An RGBA texture: colour from a JPEG or a square raw RGB file (side = the integer square root
// of its pixel count), alpha from the bytes of `alphaName` in pixel order. Not catalogued.
int loadTextureWithAlpha(const char* colourName, const char* alphaName);
// The JPEG branch of loadTexture: decodes and uploads into the catalogue's texture object for
// the name (the same name uploads again into the same object).
int loadJpegTexture(const char* name);
// The catalogued texture object of `name` (case-sensitive), made on first use.
int registerTextureName(const char* name);
// Decodes a JPEG found through the search path into a new RGB image. Greyscale pictures are
// converted to RGB; other colour spaces and damaged files are fatal with the file's name.
Image* decodeJpeg(const char* name);
