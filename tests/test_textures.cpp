// test_textures.cpp - the texture catalogue's case rules, raw and alpha picture sizes, JPEG
// decoding (greyscale, CMYK, damaged files, archives) and over-long names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl_recorder.h"
#include "scene_test_support.h"
#include "tools/common/archive_writer.h"
#include "tools/common/demo_scene.h"

using namespace testing_support;

namespace {

// The pictures handed to glTexImage2D, with their sizes and formats.
struct Upload {
    int internalFormat, width, height;
    unsigned format;
    std::vector<unsigned char> pixels;
};
std::vector<Upload>& uploads() {
    static std::vector<Upload> list;
    return list;
}
void captureTexImage2D(GLenum, GLint, GLint internalFormat, GLsizei width, GLsizei height, GLint,
                       GLenum format, GLenum, const GLvoid* pixels) {
    glLog().calls.push_back("glTexImage2D(" + std::to_string(internalFormat) + ", " +
                            std::to_string(width) + ", " + std::to_string(height) + ")");
    const size_t bytes = static_cast<size_t>(width) * height * (format == GL_RGBA ? 4 : 3);
    const auto* p = static_cast<const unsigned char*>(pixels);
    uploads().push_back({internalFormat, width, height, format, {p, p + bytes}});
}

struct Textures : ScratchSearchPath {
    RecordingGl gl;
    void SetUp() override {
        ScratchSearchPath::SetUp();
        ::glTexImage2D = &captureTexImage2D;
        uploads().clear();
    }
    // A w x h RGB JPEG of one colour (quality 100, so it decodes within a step or two).
    void writeJpeg(const std::string& name, int w, int h, unsigned char r, unsigned char g,
                   unsigned char b) {
        std::vector<unsigned char> rgb;
        for (int i = 0; i < w * h; ++i) {
            rgb.insert(rgb.end(), {r, g, b});
        }
        std::string error;
        ASSERT_TRUE(writeJpegFile(dir.file(name), w, h, 3, rgb, 100, error)) << error;
    }
    void writeRaw(const std::string& name, size_t bytes) {
        std::vector<unsigned char> data(bytes);
        for (size_t i = 0; i < bytes; ++i) {
            data[i] = static_cast<unsigned char>(i * 7 + 3);
        }
        write(name, data);
    }
    // Runs `f`, expecting a fatal exit; returns what it wrote to stderr.
    template <class F> std::string fatalMessage(F f) {
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf(f);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1) << err;
        return err;
    }
};

} // namespace

TEST_F(Textures, CatalogueKeepsTheCallersCaseAndComparesCaseSensitively) {
    writeJpeg("Pic.JPG", 8, 8, 200, 10, 10);
    writeJpeg("pic.jpg", 8, 8, 10, 200, 10);
    const int upper = loadTexture("Pic.JPG"); // ".JPG" goes down the JPEG path
    ASSERT_EQ(textureCatalogue.count, 1);
    EXPECT_STREQ(textureCatalogue.items[0].name, "Pic.JPG");
    EXPECT_EQ(loadTexture("Pic.JPG"), upper); // same id, decoded and uploaded again
    EXPECT_EQ(uploads().size(), 2u);
    const int lower = loadTexture("pic.jpg");
    EXPECT_NE(lower, upper); // another spelling is another texture object
    EXPECT_EQ(textureCatalogue.count, 2);
    EXPECT_EQ(gl.log().count("glGenTextures("), 2);
    // What GL was given: the first picture, its size, three components.
    ASSERT_EQ(uploads().size(), 3u);
    EXPECT_EQ(uploads()[0].internalFormat, 3);
    EXPECT_EQ(uploads()[0].width, 8);
    EXPECT_NEAR(uploads()[0].pixels[0], 200, 4);
    EXPECT_NEAR(uploads()[2].pixels[1], 200, 4);
}

TEST_F(Textures, JpegUploadSetsUnpackStateAndLinearFilters) {
    writeJpeg("a.jpg", 16, 4, 1, 2, 3);
    const int id = loadTexture("a.jpg");
    const auto& c = gl.log().calls;
    const int first = gl.log().find("glPixelStorei(3317, 4)"); // GL_UNPACK_ALIGNMENT
    ASSERT_GE(first, 0) << gl.log().joined();
    EXPECT_EQ(c[first + 1], "glPixelStorei(3314, 0)");
    EXPECT_EQ(c[first + 2], "glPixelStorei(3315, 0)");
    EXPECT_EQ(c[first + 3], "glPixelStorei(3316, 0)");
    EXPECT_EQ(c[first + 4], "glGenTextures(1)");
    EXPECT_EQ(c[first + 5], "glBindTexture(3553, " + std::to_string(id) + ")");
    EXPECT_EQ(c[first + 6], "glTexImage2D(3, 16, 4)");
    EXPECT_EQ(c[first + 7], "glTexParameteri(3553, 10241, 9729)"); // MIN_FILTER, LINEAR
    EXPECT_EQ(c[first + 8], "glTexParameteri(3553, 10240, 9729)"); // MAG_FILTER
}

TEST_F(Textures, NarrowJpegIsUnpackedByteAligned) {
    // A row of 2 RGB pixels is 6 bytes: with 4-byte alignment GL would read past the picture.
    writeJpeg("thin.jpg", 2, 3, 9, 9, 9);
    loadTexture("thin.jpg");
    EXPECT_GE(gl.log().find("glPixelStorei(3317, 1)"), 0) << gl.log().joined();
}

TEST_F(Textures, RawPicturesAreNeverCatalogued) {
    writeRaw("sky.raw", rawTextureBytes);
    const int a = loadTexture("sky.raw");
    const int b = loadTexture("sky.raw");
    EXPECT_NE(a, b);
    EXPECT_EQ(textureCatalogue.count, 0);
    ASSERT_EQ(uploads().size(), 2u);
    EXPECT_EQ(uploads()[0].width, 256);
    EXPECT_EQ(uploads()[0].height, 256);
    EXPECT_EQ(uploads()[0].format, static_cast<unsigned>(GL_RGB));
    EXPECT_EQ(uploads()[0].pixels[5], static_cast<unsigned char>(5 * 7 + 3));
}

TEST_F(Textures, ShortRawPictureIsRefusedBeforeGlReadsPastIt) {
    writeRaw("small.raw", 1000);
    const std::string err = fatalMessage([] { loadTexture("small.raw"); });
    EXPECT_NE(err.find("small.raw"), std::string::npos) << err;
    EXPECT_NE(err.find("1000 bytes"), std::string::npos) << err;
    EXPECT_TRUE(uploads().empty());
}

TEST_F(Textures, AlphaTextureSidesComeFromTheRawFileLength) {
    struct Case {
        size_t bytes;
        int side;
    };
    for (const Case& c : {Case{196608, 256}, Case{196610, 256}, Case{100, 5}}) {
        SCOPED_TRACE(c.bytes);
        uploads().clear();
        writeRaw("colour.raw", c.bytes);
        std::vector<unsigned char> alpha(static_cast<size_t>(c.side * c.side));
        for (size_t i = 0; i < alpha.size(); ++i) {
            alpha[i] = static_cast<unsigned char>(255 - i);
        }
        write("colour.tga", alpha);
        loadTextureWithAlpha("colour.raw", "colour.tga");
        ASSERT_EQ(uploads().size(), 1u);
        const Upload& u = uploads()[0];
        EXPECT_EQ(u.width, c.side);
        EXPECT_EQ(u.height, c.side);
        EXPECT_EQ(u.internalFormat, GL_RGBA8);
        EXPECT_EQ(u.format, static_cast<unsigned>(GL_RGBA));
        // Pixel 3: colour bytes 9..11 of the file, alpha byte 3.
        EXPECT_EQ(u.pixels[12], static_cast<unsigned char>(9 * 7 + 3));
        EXPECT_EQ(u.pixels[14], static_cast<unsigned char>(11 * 7 + 3));
        EXPECT_EQ(u.pixels[15], 252);
    }
    EXPECT_EQ(textureCatalogue.count, 0);
}

TEST_F(Textures, AlphaTextureFromJpegAndShortAlphaFile) {
    writeJpeg("sprite.jpg", 4, 2, 0, 0, 250);
    write("sprite.tga", std::vector<unsigned char>(8, 77));
    loadTextureWithAlpha("SPRITE.JPG", "sprite.tga"); // the colour name is looked up lower-cased
    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_EQ(uploads()[0].width, 4);
    EXPECT_EQ(uploads()[0].height, 2);
    EXPECT_NEAR(uploads()[0].pixels[2], 250, 4);
    EXPECT_EQ(uploads()[0].pixels[7], 77);

    write("short.tga", std::vector<unsigned char>(7, 1));
    const std::string err = fatalMessage([] { loadTextureWithAlpha("sprite.jpg", "short.tga"); });
    EXPECT_NE(err.find("short.tga"), std::string::npos) << err;
    EXPECT_NE(err.find("7 bytes"), std::string::npos) << err;
}

TEST_F(Textures, GreyscaleJpegDecodesToRgb) {
    std::vector<unsigned char> grey(6 * 5);
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = i < 15 ? 40 : 220;
    }
    std::string error;
    ASSERT_TRUE(writeJpegFile(dir.file("grey.jpg"), 6, 5, 1, grey, 100, error)) << error;
    Image* image = decodeJpeg("grey.jpg");
    EXPECT_EQ(image->width, 6u);
    EXPECT_EQ(image->height, 5u);
    EXPECT_EQ(image->bytesPerPixel, 3u);
    const unsigned char* last = image->pixels + (6 * 5 - 1) * 3;
    EXPECT_NEAR(last[0], 220, 6);
    EXPECT_EQ(last[0], last[1]);
    EXPECT_EQ(last[1], last[2]);
    EXPECT_NEAR(image->pixels[0], 40, 6);
    delete image;
}

TEST_F(Textures, CmykJpegIsRefusedByName) {
    std::string error;
    ASSERT_TRUE(writeJpegFile(dir.file("print.jpg"), 4, 4, 4, std::vector<unsigned char>(64, 128),
                              90, error))
        << error;
    const std::string err = fatalMessage([] { loadTexture("print.jpg"); });
    EXPECT_NE(err.find("print.jpg"), std::string::npos) << err;
    EXPECT_NE(err.find("CMYK"), std::string::npos) << err;
    EXPECT_TRUE(uploads().empty());
}

TEST_F(Textures, DamagedJpegEndsWithLibjpegsMessageAndTheName) {
    write("junk.jpg", std::vector<unsigned char>{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    std::string err = fatalMessage([] { loadTexture("junk.jpg"); });
    EXPECT_NE(err.find("junk.jpg"), std::string::npos) << err;
    EXPECT_NE(err.find("Not a JPEG file"), std::string::npos) << err;

    // A real header whose scan data is cut off and scribbled over.
    writeJpeg("cut.jpg", 32, 32, 50, 60, 70);
    std::vector<unsigned char> bytes = readFile(dir.file("cut.jpg"));
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0xC4) {
            bytes[i + 1] = 0xD9; // the Huffman tables become an early end of image
        }
    }
    write("cut.jpg", bytes);
    err = fatalMessage([] { decodeJpeg("cut.jpg"); });
    EXPECT_NE(err.find("cut.jpg"), std::string::npos) << err;
}

TEST_F(Textures, JpegFromTheArchiveStream) {
    std::vector<unsigned char> rgb(8 * 8 * 3, 180);
    std::string error;
    ASSERT_TRUE(writeJpegFile(dir.file("tmp.jpg"), 8, 8, 3, rgb, 100, error)) << error;
    ASSERT_TRUE(writeArchive(dir.file("tir.val"),
                             {{"first.bin", std::vector<unsigned char>(100, 1)},
                              {"inside.jpg", readFile(dir.file("tmp.jpg"))}},
                             error))
        << error;
    auto* archiveSource = new ArchiveSource(dir.file("tir.val").c_str());
    searchPath.add(archiveSource);
    const int id = loadTexture("INSIDE.jpg");
    EXPECT_GT(id, 0);
    ASSERT_EQ(uploads().size(), 1u);
    EXPECT_NEAR(uploads()[0].pixels[0], 180, 3);
    searchPath.clear();
    delete archiveSource;
}

TEST_F(Textures, NamesLongerThan31CharactersAreRefused) {
    const std::string name31(27, 'n');
    const std::string fits = name31 + ".jpg"; // 31 characters
    EXPECT_GT(registerTextureName(fits.c_str()), 0);
    EXPECT_STREQ(textureCatalogue.items[0].name, fits.c_str());
    const std::string tooLong = "x" + fits; // 32
    for (auto* call :
         {+[](const char* n) { loadTexture(n); }, +[](const char* n) { registerTextureName(n); },
          +[](const char* n) { loadTextureWithAlpha("ok.raw", n); }}) {
        const std::string err = fatalMessage([&] { call(tooLong.c_str()); });
        EXPECT_NE(err.find(tooLong), std::string::npos) << err;
        EXPECT_NE(err.find("32 characters"), std::string::npos) << err;
    }
    EXPECT_EQ(textureCatalogue.count, 1);
}

TEST_F(Textures, CatalogueGrowsTo16AndThenDoubles) {
    EXPECT_EQ(textureCatalogue.capacity, 0);
    for (int i = 0; i < 17; ++i) {
        registerTextureName(("t" + std::to_string(i) + ".jpg").c_str());
        EXPECT_EQ(textureCatalogue.capacity, i < 16 ? 16 : 32);
    }
    EXPECT_EQ(textureCatalogue.count, 17);
    EXPECT_STREQ(textureCatalogue.items[0].name, "t0.jpg");
    EXPECT_EQ(registerTextureName("t3.jpg"), static_cast<int>(textureCatalogue.items[3].textureId));
    EXPECT_EQ(textureCatalogue.count, 17);
}
