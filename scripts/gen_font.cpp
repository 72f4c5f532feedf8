// gen_font.cpp - renders the built-in 8 x 16 console font from DejaVu Sans Mono (Debian's
// fonts-dejavu-core; Bitstream Vera / DejaVu licence, which allows derived works) and writes it
// as a C array: 256 glyphs in code order (Latin-1 for 160-255), 16 bytes each, one byte per row
// from top to bottom, the most significant bit the leftmost pixel.
// Build: g++ -O1 scripts/gen_font.cpp $(pkg-config --cflags --libs freetype2) -o /tmp/gen_font
// Run:   /tmp/gen_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf > gfx/font8x16.inc
#include <ft2build.h>
#include FT_FREETYPE_H
#include <cstdio>

int main(int argc, char** argv) {
    FT_Library lib;
    FT_Face face;
    if (argc < 2 || FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face)) {
        std::fprintf(stderr, "usage: gen_font FONT.ttf\n");
        return 1;
    }
    FT_Set_Pixel_Sizes(face, 0, 13);
    std::printf("// font8x16.inc - the built-in 8 x 16 font, 256 glyphs x 16 rows, MSB = leftmost "
                "pixel.\n");
    std::printf(
        "// Rendered from DejaVu Sans Mono by scripts/gen_font.cpp; do not edit by hand.\n");
    const int baseline = 12;
    for (int code = 0; code < 256; ++code) {
        unsigned char rows[16] = {};
        bool printable = (code >= 32 && code < 127) || code >= 160;
        if (printable && !FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) {
            FT_GlyphSlot g = face->glyph;
            for (int y = 0; y < (int)g->bitmap.rows; ++y) {
                int row = baseline - g->bitmap_top + y;
                if (row < 0 || row >= 16)
                    continue;
                for (int x = 0; x < (int)g->bitmap.width; ++x) {
                    int col = g->bitmap_left + x;
                    if (col < 0 || col >= 8)
                        continue;
                    unsigned char byte = g->bitmap.buffer[y * g->bitmap.pitch + x / 8];
                    if (byte & (0x80 >> (x % 8)))
                        rows[row] |= (unsigned char)(0x80 >> col);
                }
            }
        } else if (!printable && code != 0 && code != 32) {
            // Control codes and the unassigned block: a small hollow box.
            rows[4] = rows[11] = 0x7E;
            for (int r = 5; r < 11; ++r)
                rows[r] = 0x42;
        }
        std::printf("    ");
        for (int r = 0; r < 16; ++r)
            std::printf("0x%02X,%s", rows[r], r == 15 ? "" : " ");
        std::printf(" // %d\n", code);
    }
    return 0;
}
