#!/usr/bin/env python3
"""mkicon.py: turns a text picture (rabbit.txt) into a Windows .ico file
holding one 32 x 32 image in 16 colours. Usage: mkicon.py PICTURE ICO [PNG]
(the optional PNG is a preview at eight times the size, for review)."""
import struct
import sys
import zlib

SIZE = 32


def read_picture(path):
    palette, keys, rows = [], {}, []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.startswith("#") or not line:
                continue
            if line.startswith("palette "):
                _, key, rgb = line.split()
                if len(key) != 1 or key == "." or key in keys or len(rgb) != 6:
                    sys.exit(f"{path}:{number}: bad palette line")
                keys[key] = len(palette)
                palette.append(tuple(int(rgb[i:i + 2], 16) for i in (0, 2, 4)))
                continue
            if len(line) != SIZE:
                sys.exit(f"{path}:{number}: a row must have {SIZE} characters, not {len(line)}")
            for c in line:
                if c != "." and c not in keys:
                    sys.exit(f"{path}:{number}: colour {c!r} is not in the palette")
            rows.append(line)
    if len(rows) != SIZE or len(palette) > 16:
        sys.exit(f"{path}: need {SIZE} rows and at most 16 colours")
    palette += [(0, 0, 0)] * (16 - len(palette))
    return palette, keys, rows


def ico(palette, keys, rows):
    # The image is a bottom-up DIB: colour bits (4 per pixel), then the
    # transparency mask (1 per pixel, rows padded to 4 bytes); the header's
    # height counts both halves.
    xor, mask = bytearray(), bytearray()
    for row in reversed(rows):
        idx = [keys.get(c, 0) for c in row]
        xor += bytes((idx[i] << 4) | idx[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for c in row:
            bits = (bits << 1) | (c == ".")
        mask += bits.to_bytes(SIZE // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    image = header + colours + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png(palette, keys, rows, scale=8):
    back = (0xd4, 0xd0, 0xc8)
    raw = bytearray()
    for row in rows:
        line = bytearray()
        for c in row:
            line += bytes(palette[keys[c]] if c != "." else back) * scale
        raw += (b"\0" + bytes(line)) * scale
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    side = SIZE * scale
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    picture = read_picture(sys.argv[1])
    with open(sys.argv[2], "wb") as f:
        f.write(ico(*picture))
    if len(sys.argv) == 4:
        with open(sys.argv[3], "wb") as f:
            f.write(png(*picture))


if __name__ == "__main__":
    main()
