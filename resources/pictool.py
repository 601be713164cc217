#!/usr/bin/env python3
"""Small picture jobs for resources/render that rsvg-convert cannot do, with nothing but the
Python standard library:

  pictool.py opaque IN.png OUT.png             drops the alpha channel of a picture that has no
                                               see-through pixel (fails if it has one)
  pictool.py opaque-stored IN.png OUT.png      the same, stored without compression: read with
                                               no inflating, as the first frame's pictures are
  pictool.py quantize N IN.png OUT.png         reduces a picture to a palette of at most N
                                               colours (a see-through pixel takes one entry)
  pictool.py ico OUT.ico IN.png...             joins square pictures into one Windows icon
  pictool.py sheet OUT.png IN.png|IN.ico...    lays every picture out enlarged and at its real
                                               size on light and dark ground, for looking at

It reads only what rsvg-convert and this tool write: 8-bit, non-interlaced PNG.
"""

import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Picture:
    """Straight (not premultiplied) RGBA, 4 bytes a pixel, rows top to bottom."""

    def __init__(self, width, height, rgba):
        self.width = width
        self.height = height
        self.rgba = bytearray(rgba)

    def pixel(self, x, y):
        i = (y * self.width + x) * 4
        return tuple(self.rgba[i:i + 4])


# ---------------------------------------------------------------------------------------------
# PNG reading and writing

def _chunks(data):
    pos = len(PNG_SIGNATURE)
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(raw, width, height, bpp):
    stride = width * bpp
    out = bytearray(stride * height)
    prev = bytearray(stride)
    pos = 0
    for y in range(height):
        kind = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 0xFF
            elif kind == 4:
                line[i] = (line[i] + _paeth(a, b, c)) & 0xFF
            elif kind != 0:
                raise ValueError("unknown PNG filter %d" % kind)
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return out


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(PNG_SIGNATURE):
        raise ValueError("%s: not a PNG file" % path)
    idat = bytearray()
    palette, trns = b"", b""
    width = height = depth = colour = interlace = None
    for kind, body in _chunks(data):
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = body
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
    if depth != 8 or interlace != 0 or colour not in (2, 3, 6):
        raise ValueError("%s: only 8-bit non-interlaced RGB, RGBA or palette PNG is read" % path)
    bpp = {2: 3, 3: 1, 6: 4}[colour]
    pixels = _unfilter(zlib.decompress(bytes(idat)), width, height, bpp)
    if colour == 6:
        return Picture(width, height, pixels)
    rgba = bytearray()
    if colour == 2:
        for i in range(0, len(pixels), 3):
            rgba += pixels[i:i + 3] + b"\xff"
    else:
        for index in pixels:
            alpha = trns[index] if index < len(trns) else 255
            rgba += palette[index * 3:index * 3 + 3] + bytes([alpha])
    return Picture(width, height, rgba)


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def _png(width, height, colour, rows, extra=b"", level=9):
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    return (PNG_SIGNATURE
            + _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0))
            + extra
            + _chunk(b"IDAT", zlib.compress(raw, level))
            + _chunk(b"IEND", b""))


def write_rgba_png(path, pic):
    stride = pic.width * 4
    rows = [pic.rgba[y * stride:(y + 1) * stride] for y in range(pic.height)]
    with open(path, "wb") as f:
        f.write(_png(pic.width, pic.height, 6, rows))


def write_rgb_png(path, pic, level=9):
    rows = []
    for y in range(pic.height):
        row = bytearray()
        for x in range(pic.width):
            row += bytes(pic.pixel(x, y)[:3])
        rows.append(row)
    with open(path, "wb") as f:
        f.write(_png(pic.width, pic.height, 2, rows, level=level))


def write_palette_png(path, width, height, indices, palette, alphas):
    plte = b"".join(bytes(c) for c in palette)
    extra = _chunk(b"PLTE", plte)
    if any(a != 255 for a in alphas):
        last = max(i for i, a in enumerate(alphas) if a != 255)
        extra += _chunk(b"tRNS", bytes(alphas[:last + 1]))
    rows = [indices[y * width:(y + 1) * width] for y in range(height)]
    with open(path, "wb") as f:
        f.write(_png(width, height, 3, rows, extra))


# ---------------------------------------------------------------------------------------------
# Palette reduction: median cut, then a few rounds of moving each entry to the mean of the
# pixels nearest to it. Pictures this small make plain Python fast enough.

def _median_cut(colours, count):
    boxes = [colours]
    while len(boxes) < count:
        best, best_score, best_axis = None, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c in box]
                score = (max(values) - min(values)) * len(box)
                if score > best_score:
                    best, best_score, best_axis = i, score, axis
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda c: c[best_axis])
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    return [tuple(sum(c[k] for c in box) // len(box) for k in range(3)) for box in boxes]


def _nearest(colour, palette):
    r, g, b = colour
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(palette):
        d = 2 * (r - pr) ** 2 + 4 * (g - pg) ** 2 + 3 * (b - pb) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def quantize(pic, count):
    """Returns (indices, palette, alphas). Pixels under half opacity become the one
    see-through entry; the others keep their colour and become opaque, as in old icons."""
    opaque = []
    see_through = False
    for i in range(0, len(pic.rgba), 4):
        if pic.rgba[i + 3] >= 128:
            opaque.append(tuple(pic.rgba[i:i + 3]))
        else:
            see_through = True
    slots = count - 1 if see_through else count
    distinct = sorted(set(opaque))
    if len(distinct) <= slots:
        palette = distinct
    else:
        palette = _median_cut(opaque, slots)
        for _ in range(6):
            sums = [[0, 0, 0, 0] for _ in palette]
            memo = {}
            for c in opaque:
                if c not in memo:
                    memo[c] = _nearest(c, palette)
                s = sums[memo[c]]
                s[0] += c[0]
                s[1] += c[1]
                s[2] += c[2]
                s[3] += 1
            palette = [tuple(s[k] // s[3] for k in range(3)) if s[3] else p
                       for s, p in zip(sums, palette)]
        palette = sorted(set(palette))
    memo = {}
    offset = 1 if see_through else 0
    indices = bytearray()
    for i in range(0, len(pic.rgba), 4):
        if pic.rgba[i + 3] < 128:
            indices.append(0)
            continue
        c = tuple(pic.rgba[i:i + 3])
        if c not in memo:
            memo[c] = offset + _nearest(c, palette)
        indices.append(memo[c])
    full = ([(0, 0, 0)] if see_through else []) + list(palette)
    alphas = ([0] if see_through else []) + [255] * len(palette)
    return indices, full, alphas


# ---------------------------------------------------------------------------------------------
# Windows icons: every image as a 32-bit BGRA bitmap with its AND mask, which every icon
# reader understands.

def ico_bytes(pictures):
    header = struct.pack("<HHH", 0, 1, len(pictures))
    entries, bodies = b"", b""
    offset = 6 + 16 * len(pictures)
    for pic in pictures:
        w, h = pic.width, pic.height
        mask_stride = ((w + 31) // 32) * 4
        body = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
        for y in reversed(range(h)):
            for x in range(w):
                r, g, b, a = pic.pixel(x, y)
                body += bytes((b, g, r, a))
        for y in reversed(range(h)):
            row = bytearray(mask_stride)
            for x in range(w):
                if pic.pixel(x, y)[3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            body += row
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
        bodies += body
    return header + entries + bodies


def read_ico(path):
    with open(path, "rb") as f:
        data = f.read()
    _, _, count = struct.unpack("<HHH", data[:6])
    pictures = []
    for n in range(count):
        w, h, _, _, _, bits, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * n:22 + 16 * n])
        w, h = w or 256, h or 256
        if bits != 32:
            raise ValueError("%s: only 32-bit icons are read" % path)
        pixels = data[offset + 40:offset + 40 + w * h * 4]
        rgba = bytearray()
        for y in reversed(range(h)):
            for x in range(w):
                b, g, r, a = pixels[(y * w + x) * 4:(y * w + x) * 4 + 4]
                rgba += bytes((r, g, b, a))
        pictures.append(Picture(w, h, rgba))
    return pictures


# ---------------------------------------------------------------------------------------------
# Contact sheet: each picture once enlarged (pixels as blocks) and once at its real size on a
# light and on a dark ground, the way a menu or a title bar would show it.

def _blend(dst, x, y, colour, sheet_width):
    r, g, b, a = colour
    i = (y * sheet_width + x) * 3
    for k, c in enumerate((r, g, b)):
        dst[i + k] = (c * a + dst[i + k] * (255 - a)) // 255


def sheet(out_path, in_paths, max_width=1400):
    pictures = []
    for path in in_paths:
        pictures += read_ico(path) if path.endswith(".ico") else [read_png(path)]
    gap = 12
    # place the cells left to right, starting a new row when the next one would not fit
    cells, rows = [], [[]]
    x, row_width = gap, 0
    for pic in pictures:
        scale = max(1, min(8, 256 // max(pic.width, pic.height)))
        cell_w = max(pic.width * scale, 2 * pic.width + gap)
        cell_h = pic.height * scale + gap + pic.height
        if rows[-1] and x + cell_w + gap > max_width:
            rows.append([])
            x = gap
        rows[-1].append((pic, scale, x, cell_h))
        x += cell_w + gap
        row_width = max(row_width, x)
    y = gap
    for row in rows:
        for pic, scale, x, _ in row:
            cells.append((pic, scale, x, y))
        y += max(h for _, _, _, h in row) + gap
    width, height = row_width, y
    px = bytearray(b"\xb4" * (width * height * 3))
    for pic, scale, x0, y0 in cells:
        # checkerboard behind the enlarged picture shows see-through pixels
        for y in range(pic.height * scale):
            for x in range(pic.width * scale):
                grey = 0xF0 if ((x // 4) + (y // 4)) % 2 else 0xD0
                i = ((y0 + y) * width + x0 + x) * 3
                px[i:i + 3] = bytes((grey, grey, grey))
                _blend(px, x0 + x, y0 + y, pic.pixel(x // scale, y // scale), width)
        y1 = y0 + pic.height * scale + gap
        for ground, dx in ((0xFF, 0), (0x30, pic.width + gap)):
            for y in range(pic.height):
                for x in range(pic.width):
                    i = ((y1 + y) * width + x0 + dx + x) * 3
                    px[i:i + 3] = bytes((ground, ground, ground))
                    _blend(px, x0 + dx + x, y1 + y, pic.pixel(x, y), width)
    rows = [px[y * width * 3:(y + 1) * width * 3] for y in range(height)]
    with open(out_path, "wb") as f:
        f.write(_png(width, height, 2, rows))


# ---------------------------------------------------------------------------------------------

def main(args):
    if len(args) == 3 and args[0] in ("opaque", "opaque-stored"):
        pic = read_png(args[1])
        if any(pic.rgba[i] != 255 for i in range(3, len(pic.rgba), 4)):
            sys.exit("%s: has see-through pixels" % args[1])
        write_rgb_png(args[2], pic, 0 if args[0] == "opaque-stored" else 9)
    elif len(args) == 4 and args[0] == "quantize":
        pic = read_png(args[2])
        indices, palette, alphas = quantize(pic, int(args[1]))
        write_palette_png(args[3], pic.width, pic.height, indices, palette, alphas)
    elif len(args) >= 3 and args[0] == "ico":
        with open(args[1], "wb") as f:
            f.write(ico_bytes([read_png(p) for p in args[2:]]))
    elif len(args) >= 3 and args[0] == "sheet":
        sheet(args[1], args[2:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
