#!/usr/bin/env python3
"""Converts an X window dump (the file Xvfb keeps with -fbdir, or xwd's output) to a PNG,
with nothing beyond the standard library: xwd-to-png.py IN.xwd OUT.png [X,Y,W,H]."""
import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    (header_size, version, _fmt, _depth, width, height, _xoff, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb,
     _cmap_entries, ncolors) = fields[:20]
    if version != 7 or bits_per_pixel != 32:
        raise ValueError(f"only 32-bit X dumps of version 7 are read (got {bits_per_pixel} bits, "
                         f"version {version})")
    start = header_size + 12 * ncolors
    order = {}
    for mask, name in ((red_mask, "r"), (green_mask, "g"), (blue_mask, "b")):
        shift = (mask & -mask).bit_length() - 1
        if mask >> shift != 0xFF or shift % 8:
            raise ValueError("colour masks of whole bytes expected")
        index = shift // 8
        order[name] = index if byte_order == 0 else 3 - index
    rows = []
    for y in range(height):
        row = data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * width]
        rgb = bytearray(3 * width)
        rgb[0::3] = row[order["r"]::4]
        rgb[1::3] = row[order["g"]::4]
        rgb[2::3] = row[order["b"]::4]
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        out.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        width, height, rows = read_xwd(f.read())
    if len(sys.argv) == 4:
        x, y, w, h = (int(v) for v in sys.argv[3].split(","))
        w, h = min(w, width - x), min(h, height - y)
        rows = [row[3 * x:3 * (x + w)] for row in rows[y:y + h]]
        width, height = w, h
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
