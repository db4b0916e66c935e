"""Small readers and writers for the picture files of the resources (standard library only).

Pictures are lists of rows; a pixel is an (r, g, b) tuple for BMP files and an (r, g, b, a)
tuple for PNG files. Row 0 is the top row.
"""
import struct
import zlib


def write_bmp24(path, rows):
    """Writes an uncompressed 24-bit BMP (BITMAPINFOHEADER, bottom-up, 72 DPI)."""
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        assert len(row) == width
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    ppm = 2835  # 72 dots per inch in dots per metre
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), ppm, ppm, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + data)


def read_bmp24(path):
    """Reads back an uncompressed 24-bit BMP written as above; returns rows of (r, g, b)."""
    with open(path, "rb") as f:
        blob = f.read()
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", blob, 0)
    if magic != b"BM" or file_size != len(blob):
        raise ValueError("%s: not a complete BMP file" % path)
    size, width, height, planes, bpp, compression = struct.unpack_from("<IiiHHI", blob, 14)
    if size != 40 or planes != 1 or bpp != 24 or compression != 0:
        raise ValueError("%s: not an uncompressed 24-bit BMP" % path)
    bottom_up = height > 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    if offset + stride * height > len(blob):
        raise ValueError("%s: pixel data is short" % path)
    rows = []
    for i in range(height):
        base = offset + stride * i
        rows.append([(blob[base + 3 * x + 2], blob[base + 3 * x + 1], blob[base + 3 * x])
                     for x in range(width)])
    if bottom_up:
        rows.reverse()
    return rows


def _chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png_rgba(path, rows):
    """Writes an 8-bit RGBA PNG."""
    height = len(rows)
    width = len(rows[0])
    raw = bytearray()
    for row in rows:
        assert len(row) == width
        raw.append(0)
        for px in row:
            raw += bytes(px)
    png = b"\x89PNG\r\n\x1a\n"
    png += _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += _chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += _chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def read_png_rgba(path):
    """Reads an 8-bit RGBA, non-interlaced PNG whose rows use filter 0 (as written above)."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s: not a PNG file" % path)
    pos = 8
    idat = b""
    width = height = None
    while pos < len(blob):
        length, = struct.unpack_from(">I", blob, pos)
        kind = blob[pos + 4:pos + 8]
        payload = blob[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", payload)
            if depth != 8 or colour != 6 or interlace != 0:
                raise ValueError("%s: not 8-bit RGBA" % path)
        elif kind == b"IDAT":
            idat += payload
        pos += 12 + length
    raw = zlib.decompress(idat)
    rows = []
    stride = width * 4 + 1
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        if line[0] != 0:
            raise ValueError("%s: unexpected row filter" % path)
        rows.append([tuple(line[1 + 4 * x:5 + 4 * x]) for x in range(width)])
    return rows
