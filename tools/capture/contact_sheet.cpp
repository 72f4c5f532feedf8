// contact_sheet.cpp - thumbnails, labels and the grid.
#include "tools/capture/contact_sheet.h"

#include <algorithm>
#include <cstdio>

#include "gfx/text_overlay.h"
#include "tools/capture/options.h"
#include "tools/common/file_bytes.h"
#include "tools/common/jpeg_writer.h"
#include "resources/png_writer.h"

namespace {

constexpr int margin = 8;
constexpr int glyphWidth = 8, glyphHeight = 16;
constexpr unsigned char background[3] = {28, 28, 32};
constexpr unsigned char headingColour[3] = {255, 214, 120};
constexpr unsigned char textColour[3] = {210, 210, 210};

void drawText(std::vector<unsigned char>& rgb, int width, int height, int x, int y,
              const std::string& text, const unsigned char colour[3]) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char glyph = static_cast<unsigned char>(text[i]);
        for (int row = 0; row < glyphHeight; ++row) {
            const unsigned char bits = builtinFont[glyph * glyphHeight + row];
            for (int bit = 0; bit < glyphWidth; ++bit) {
                const int px = x + static_cast<int>(i) * glyphWidth + bit, py = y + row;
                if ((bits & (0x80 >> bit)) && px >= 0 && px < width && py >= 0 && py < height) {
                    std::copy(colour, colour + 3, &rgb[(static_cast<size_t>(py) * width + px) * 3]);
                }
            }
        }
    }
}

} // namespace

std::vector<std::string> wrapList(const std::string& text, int columns) {
    std::vector<std::string> lines;
    std::string line;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(", ", start);
        std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
        if (comma != std::string::npos) {
            item += ",";
        }
        const std::string joined = line.empty() ? item : line + " " + item;
        if (static_cast<int>(joined.size()) <= columns || line.empty()) {
            line = joined;
        } else {
            lines.push_back(line);
            line = item;
        }
        // An item longer than a line is cut, so nothing runs into the next cell.
        while (static_cast<int>(line.size()) > columns) {
            lines.push_back(line.substr(0, static_cast<size_t>(columns)));
            line.erase(0, static_cast<size_t>(columns));
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 2;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<unsigned char> scaleRgb(const std::vector<unsigned char>& rgb, int sw, int sh, int dw,
                                    int dh) {
    std::vector<unsigned char> out(static_cast<size_t>(dw) * dh * 3);
    for (int y = 0; y < dh; ++y) {
        // The source rows [y0, y1) that fall into this row (at least one).
        const int y0 = y * sh / dh, y1 = std::max(y0 + 1, (y + 1) * sh / dh);
        for (int x = 0; x < dw; ++x) {
            const int x0 = x * sw / dw, x1 = std::max(x0 + 1, (x + 1) * sw / dw);
            for (int c = 0; c < 3; ++c) {
                unsigned sum = 0;
                for (int sy = y0; sy < y1; ++sy) {
                    for (int sx = x0; sx < x1; ++sx) {
                        sum += rgb[(static_cast<size_t>(sy) * sw + sx) * 3 + c];
                    }
                }
                const unsigned n = static_cast<unsigned>((y1 - y0) * (x1 - x0));
                out[(static_cast<size_t>(y) * dw + x) * 3 + c] =
                    static_cast<unsigned char>((sum + n / 2) / n);
            }
        }
    }
    return out;
}

ContactSheet::ContactSheet(int columns, int thumbWidth)
    : columns(std::max(1, columns)), thumbWidth(thumbWidth), thumbHeight(thumbWidth * 3 / 4) {}

void ContactSheet::add(const std::vector<unsigned char>& rgb, int w, int h,
                       const std::vector<std::string>& label) {
    Cell cell;
    cell.rgb = scaleRgb(rgb, w, h, thumbWidth, thumbHeight);
    const int chars = thumbWidth / glyphWidth;
    for (size_t i = 0; i < label.size(); ++i) {
        if (i == 0) {
            cell.lines.push_back(label[i].substr(0, static_cast<size_t>(chars)));
            continue;
        }
        for (const std::string& line : wrapList(label[i], chars)) {
            cell.lines.push_back(line);
        }
    }
    cells.push_back(std::move(cell));
}

std::vector<unsigned char> ContactSheet::compose(int& width, int& height) const {
    size_t lines = 1;
    for (const Cell& c : cells) {
        lines = std::max(lines, c.lines.size());
    }
    const int used = std::max(1, std::min(columns, static_cast<int>(cells.size())));
    const int rows = std::max(1, (static_cast<int>(cells.size()) + columns - 1) / columns);
    const int cellWidth = thumbWidth + margin;
    const int cellHeight = thumbHeight + 4 + static_cast<int>(lines) * glyphHeight + margin;
    width = margin + used * cellWidth;
    height = margin + rows * cellHeight;
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        std::copy(background, background + 3, &rgb[i]);
    }
    for (size_t i = 0; i < cells.size(); ++i) {
        const int x0 = margin + static_cast<int>(i % static_cast<size_t>(columns)) * cellWidth;
        const int y0 = margin + static_cast<int>(i / static_cast<size_t>(columns)) * cellHeight;
        for (int y = 0; y < thumbHeight; ++y) {
            std::copy_n(&cells[i].rgb[static_cast<size_t>(y) * thumbWidth * 3], thumbWidth * 3,
                        &rgb[(static_cast<size_t>(y0 + y) * width + x0) * 3]);
        }
        for (size_t l = 0; l < cells[i].lines.size(); ++l) {
            drawText(rgb, width, height, x0,
                     y0 + thumbHeight + 4 + static_cast<int>(l) * glyphHeight, cells[i].lines[l],
                     l == 0 ? headingColour : textColour);
        }
    }
    return rgb;
}

bool ContactSheet::write(const std::string& path) const {
    int width = 0, height = 0;
    const std::vector<unsigned char> rgb = compose(width, height);
    if (!hasExtension(path, {".jpg", ".jpeg"})) {
        return writePng(path, width, height, 3, rgb);
    }
    std::vector<unsigned char> jpeg;
    std::string error;
    if (!encodeJpeg(width, height, rgb, 92, jpeg, error) || !writeFileBytes(path, jpeg, error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}
