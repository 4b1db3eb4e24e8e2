#!/usr/bin/env python3
"""Writes the BMP fixtures of this folder and, beside each, ImageMagick's decoding of it.

Run from anywhere: python3 make_bmp_fixtures.py [convert]
(convert: ImageMagick's convert program, /usr/bin/convert by default). ImageMagick is needed only
here, not to build or test: the tests compare the loader's pixels with the .rgba files, which hold
ImageMagick's decoding as 8-bit red, green, blue and alpha, rows top first (`convert F.bmp -depth 8
rgba:F.rgba`).

ImageMagick writes the source picture and the RLE8 files (its encoder writes encoded runs, end of
line and end of bitmap) and the 4-bit and 24-bit files the layout variants start from. No tool at
hand writes absolute runs, deltas, an early end of bitmap or RLE4, a colour table before 24-bit
rows, a gap before the rows or the 64-byte OS/2 2.x header: this script writes those, byte by byte
below, and ImageMagick decodes them like the others.
"""

import os
import random
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = sys.argv[1] if len(sys.argv) > 1 else "/usr/bin/convert"


def run(*args):
    subprocess.run([CONVERT, *args], check=True)


def read(name):
    with open(os.path.join(HERE, name), "rb") as f:
        return f.read()


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def bmp(width, height, bit_count, compression, palette, rows, header_size=40, gap=b""):
    """A BMP of a 40- or 64-byte header, palette entries (r, g, b) of four bytes, a gap, the rows."""
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 14 + header_size + len(table) + len(gap)
    header = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bit_count, compression,
                         len(rows), 2835, 2835, len(palette), 0)
    header += bytes(header_size - len(header))
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + table + gap + rows


def split(data):
    """A BMP's headers (file and image), colour table and rows, by its header and pixel offset."""
    offset, header_size = struct.unpack_from("<II", data, 10)
    return data[:14 + header_size], data[14 + header_size:offset], data[offset:]


def rebuild(headers, table, rows, gap=b"", colours=None, header_size=None):
    """A BMP from split() parts, with a gap before the rows, the colour count or the header size
    (a 64-byte header keeps the first 40 bytes and zeros the OS/2 fields) changed."""
    info = bytearray(headers[14:])
    if header_size is not None:
        info = info[:40] + bytes(header_size - 40)
        struct.pack_into("<I", info, 0, header_size)
    if colours is not None:
        struct.pack_into("<I", info, 32, colours)
    offset = 14 + len(info) + len(table) + len(gap)
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + bytes(info) + table + gap + rows


# Encoded run, absolute run (RLE8: one byte a pixel, padded to an even count of bytes), end of
# line, delta, end of bitmap.
def run8(count, index):
    return bytes((count, index))


def absolute8(indices):
    data = bytes((0, len(indices))) + bytes(indices)
    return data + (b"\0" if len(indices) % 2 else b"")


def absolute4(indices):
    packed = bytes((indices[i] << 4) | (indices[i + 1] if i + 1 < len(indices) else 0)
                   for i in range(0, len(indices), 2))
    return bytes((0, len(indices))) + packed + (b"\0" if len(packed) % 2 else b"")


EOL = b"\0\0"
EOB = b"\0\1"
# An end of bitmap before the last row is full, and the two bytes of padding that writers put
# after it (ImageMagick reads two bytes past such an end and, without them, warns that the file
# ends early; its pixels are the same).
EARLY_EOB = EOB + b"\0\0"


def delta(dx, dy):
    return bytes((0, 2, dx, dy))


# Entry 0 is neither black nor any other entry, so that pixels a delta or an early end of bitmap
# skip show what they take.
PALETTE = [(200, 40, 90), (255, 0, 0), (0, 160, 0), (0, 0, 255), (240, 220, 0), (20, 200, 220),
           (120, 60, 10), (250, 250, 250)]


def generated_stream(rng, rle4, width, height):
    """Run-length rows of random runs, deltas and ends, all inside the image and ending right."""
    data = b""
    x = y = 0
    while True:
        if x == width or rng.random() < 0.08:
            if y == height - 1 or rng.random() < 0.1:
                return data + (EOL if y == height - 1 and rng.random() < 0.5 else EARLY_EOB)
            data += EOL
            x, y = 0, y + 1
            continue
        room = width - x
        choice = rng.random()
        if choice < 0.45:
            count = rng.randint(1, room)
            data += run8(count, rng.randrange(256 if rle4 else 16))
        elif choice < 0.8 and room >= 3:
            count = rng.randint(3, room)
            indices = [rng.randrange(16) for _ in range(count)]
            data += absolute4(indices) if rle4 else absolute8(indices)
        elif room > 1 or y < height - 1:
            dx = rng.randint(0, room - 1)
            dy = rng.randint(0 if dx > 0 else 1, height - 1 - y) if y < height - 1 else 0
            if dx == 0 and dy == 0:
                continue
            data += delta(dx, dy)
            count = 0
            x, y = x + dx, y + dy
        else:
            continue
        x += count


def generated_fault(rng, rle4, width, height, stream):
    """The stream spoilt one way: cut short, a run past the padded row, or a delta past the image."""
    padded = (width * (4 if rle4 else 8) + 31) // 32 * 32 // (4 if rle4 else 8)
    kind = rng.randrange(3)
    if kind == 0:
        return stream[:rng.randrange(len(stream.rstrip(b"\0")) - 1)]
    if kind == 1:
        return run8(min(255, padded + rng.randint(1, 3)), 0x11) + stream
    return delta(rng.randint(0, width - 1), height) + stream


def write_generated():
    """rle_generated.pack: 24 random RLE8 and RLE4 images, 6 of them spoilt. Each record: a byte,
    1 when the file is sound, then the BMP and ImageMagick's decoding of it (none for the spoilt
    ones), each led by its length as 4 bytes, little-endian."""
    rng = random.Random(20240)
    pack = b""
    with tempfile.TemporaryDirectory() as tmp:
        for case in range(24):
            rle4 = case % 2 == 1
            width, height = rng.randint(1, 8), rng.randint(1, 4)
            stream = generated_stream(rng, rle4, width, height)
            sound = case % 4 != 3
            if not sound:
                stream = generated_fault(rng, rle4, width, height, stream)
            data = bmp(width, height, 4 if rle4 else 8, 2 if rle4 else 1, PALETTE * 2, stream)
            rgba = b""
            if sound:
                path = os.path.join(tmp, "case.bmp")
                with open(path, "wb") as f:
                    f.write(data)
                run(path, "-depth", "8", "rgba:" + path + ".rgba")
                with open(path + ".rgba", "rb") as f:
                    rgba = f.read()
            pack += bytes((1 if sound else 0,)) + struct.pack("<I", len(data)) + data
            pack += struct.pack("<I", len(rgba)) + rgba
    write("rle_generated.pack", pack)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "source.png")
        run("-size", "23x11", "gradient:red-blue", "-fill", "white", "-draw", "rectangle 2,2 9,6",
            "-fill", "black", "-draw", "line 0,10 22,0", "-fill", "#30a050", "-draw", "circle 16,4 19,6",
            "+dither", "-colors", "40", source)
        # The ImageMagick RLE8 files: BMP3 (40-byte header) and its default (124-byte header).
        run(source, "-colors", "40", "BMP3:" + os.path.join(HERE, "rle8_magick.bmp"))
        run(source, "-colors", "40", os.path.join(HERE, "rle8_magick_v5.bmp"))
        four = os.path.join(tmp, "four.bmp")
        run(source, "+dither", "-colors", "16", "-compress", "none", "BMP3:" + four)
        true = os.path.join(tmp, "true.bmp")
        run(source, "-type", "truecolor", "BMP3:" + true)
        with open(four, "rb") as f:
            four_parts = split(f.read())
        with open(true, "rb") as f:
            true_parts = split(f.read())
    rle8_parts = split(read("rle8_magick.bmp"))

    # RLE8, 13 x 7: every kind of run, an end of line after a full row, deltas across rows and
    # down from the start of a row, and an end of bitmap before the last row is full.
    stream = (run8(5, 1) + absolute8([2, 3, 4]) + run8(5, 5) + EOL          # row 0 (bottom)
              + absolute8([1, 2, 3, 4]) + run8(9, 2) + EOL                  # row 1
              + run8(2, 3) + delta(4, 1) + run8(7, 4) + EOL                 # rows 2 and 3
              + delta(0, 1) + absolute8([1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1]) + EOL  # rows 4, 5
              + run8(3, 7) + EARLY_EOB)                                     # row 6
    write("rle8_delta_eob.bmp", bmp(13, 7, 8, 1, PALETTE[:8], stream))

    # RLE4, 15 x 6: encoded runs of two alternating entries and of odd counts, absolute runs of
    # every padding, a delta, an end of bitmap before the last row is full.
    stream = (run8(7, 0x12) + absolute4([3, 4, 5, 6, 7]) + absolute4([1, 2, 3]) + EOL  # row 0
              + absolute4([7, 6, 5, 4, 3, 2]) + run8(9, 0x34) + EOL                   # row 1
              + absolute4([1, 1, 2, 2]) + delta(3, 2) + run8(8, 0x55) + EOL          # rows 2-4
              + run8(15, 0x67) + EOL                                                 # row 5
              + EOB)
    write("rle4.bmp", bmp(15, 6, 4, 2, PALETTE, stream))
    stream = run8(6, 0x71) + EOL + delta(2, 1) + absolute4([2, 3, 4, 5, 6]) + EARLY_EOB
    write("rle4_early_end.bmp", bmp(15, 6, 4, 2, PALETTE, stream))

    # 24 bits with a colour table of 16 entries before the rows (the table only says which colours
    # the picture holds).
    headers, _, rows = true_parts
    write("rgb24_colour_table.bmp", rebuild(headers, four_parts[1], rows, colours=16))

    # Pixel offsets past the headers and the palette: 1,100 bytes of 0x5a after the 16 entries of
    # a 4-bit file and after the headers of a 24-bit one, 300 bytes after an RLE8 file's palette.
    write("gap_pal4.bmp", rebuild(*four_parts, gap=b"\x5a" * 1100))
    write("gap_rgb24.bmp", rebuild(*true_parts, gap=b"\x5a" * 1100))
    write("gap_rle8.bmp", rebuild(*rle8_parts, gap=b"\x5a" * 300))

    # The 64-byte OS/2 2.x header: 24 bits, RLE8 with OS/2 2.x's four-byte palette entries and
    # 4 bits with three-byte entries, as some writers put them.
    write("os2v2_rgb24.bmp", rebuild(*true_parts, header_size=64))
    write("os2v2_rle8.bmp", rebuild(*rle8_parts, header_size=64))
    headers, table, rows = four_parts
    table = b"".join(table[i:i + 3] for i in range(0, len(table), 4))
    write("os2v2_pal4_three_byte_entries.bmp", rebuild(headers, table, rows, header_size=64))

    write_generated()

    for name in sorted(os.listdir(HERE)):
        if name.endswith(".bmp"):
            path = os.path.join(HERE, name)
            # ImageMagick reads every 64-byte header's palette as three-byte entries; the
            # four-byte one's reference is its decoding of the same file with a 40-byte header.
            source = os.path.join(HERE, "rle8_magick.bmp") if name == "os2v2_rle8.bmp" else path
            run(source, "-depth", "8", "rgba:" + path[:-4] + ".rgba")


if __name__ == "__main__":
    main()
