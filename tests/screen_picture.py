#!/usr/bin/env python3
# screen_picture.py - reads an X window dump (xwd -root) and checks that the demo's picture
# fills the screen as a centred W x H area with black bars beside it: every pixel outside the
# area is black and the area itself has lit pixels near each of its four edges.
#
# usage: screen_picture.py SCREEN.xwd W H   (prints what it found; exit 1 when it is wrong)
import struct
import sys


def read_xwd(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    bits_per_pixel, bytes_per_line, colours = header[11], header[12], header[19]
    if bits_per_pixel != 32:
        sys.exit("expected 32 bits per pixel, not %d" % bits_per_pixel)
    pixels = data[header_size + colours * 12:]
    return width, height, bytes_per_line, pixels


def main():
    width, height, stride, pixels = read_xwd(sys.argv[1])
    want_w, want_h = int(sys.argv[2]), int(sys.argv[3])

    def lit(x, y):
        b, g, r = pixels[y * stride + 4 * x:y * stride + 4 * x + 3]
        return max(r, g, b) > 12

    # The lit columns and rows, each sampled every 4 pixels across the whole screen.
    columns = [x for x in range(width) if any(lit(x, y) for y in range(0, height, 4))]
    rows = [y for y in range(height) if any(lit(x, y) for x in range(0, width, 4))]
    if not columns:
        print("the screen is black")
        return 1
    left, right = columns[0], columns[-1] + 1
    top, bottom = rows[0], rows[-1] + 1
    print("screen %d x %d, picture %d x %d at (%d, %d), bars %d and %d" %
          (width, height, right - left, bottom - top, left, top, left, width - right))
    x0, y0 = (width - want_w) // 2, (height - want_h) // 2
    # The picture may be dark along an edge, so its lit area may be a little smaller than the
    # area; never larger, and never off centre by more than that margin.
    margin = 24
    inside = x0 <= left <= x0 + margin and x0 + want_w - margin <= right <= x0 + want_w
    inside = inside and y0 <= top <= y0 + margin and y0 + want_h - margin <= bottom <= y0 + want_h
    return 0 if inside else 1


sys.exit(main())
