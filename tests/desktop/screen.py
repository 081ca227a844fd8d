"""Pictures of the screen: what the X server shows, read as RGB, compared and
written as PNG. Only the standard library and python3-xlib."""

import operator
import struct
import zlib


class Picture:
    """An RGB picture, 3 bytes a pixel, rows top to bottom."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + w), min(self.height, y + h)
        out = bytearray()
        for row in range(y0, y1):
            i = (row * self.width + x0) * 3
            out += self.rgb[i:i + (x1 - x0) * 3]
        return Picture(x1 - x0, y1 - y0, out)

    def colours(self):
        """The set of distinct colours, as 3-byte strings."""
        rgb = self.rgb
        return {rgb[i:i + 3] for i in range(0, len(rgb), 3)}

    def share(self, colour, tolerance=6):
        """The share of pixels within tolerance (per channel) of colour."""
        if not self.rgb:
            return 0.0
        # Each channel through a table that marks the near values with a 1;
        # a pixel is near where all three are: the bytes' AND, counted at once.
        near = -1
        for channel, value in enumerate(colour):
            table = bytes(1 if abs(v - value) <= tolerance else 0 for v in range(256))
            marks = int.from_bytes(self.rgb[channel::3].translate(table), "little")
            near = marks if near < 0 else near & marks
        return near.bit_count() / (len(self.rgb) // 3)

    def mean(self):
        n = max(1, len(self.rgb) // 3)
        return tuple(sum(self.rgb[c::3]) / n for c in range(3))

    def difference(self, other):
        """Mean absolute difference per channel, 0..255; pictures of one size."""
        if (self.width, self.height) != (other.width, other.height):
            raise ValueError("pictures of different sizes")
        if not self.rgb:
            return 0.0
        return sum(map(abs, map(operator.sub, self.rgb, other.rgb))) / len(self.rgb)

    def save_png(self, path):
        stride = self.width * 3
        raw = bytearray()
        for y in range(self.height):
            raw.append(0)
            raw += self.rgb[y * stride:(y + 1) * stride]
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
                    + _chunk(b"IDAT", zlib.compress(bytes(raw), 3)) + _chunk(b"IEND", b""))


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


class RgbaImage:
    """A decoded 8-bit RGBA or RGB PNG (the skin's art), for blending."""

    def __init__(self, width, height, rgba):
        self.width, self.height, self.rgba = width, height, rgba

    def over(self, background, x=0, y=0, w=None, h=None):
        """The picture this image's cell (x, y, w, h) makes over a solid colour."""
        w = self.width if w is None else w
        h = self.height if h is None else h
        out = bytearray()
        for row in range(y, y + h):
            for col in range(x, x + w):
                i = (row * self.width + col) * 4
                r, g, b, a = self.rgba[i:i + 4]
                out += bytes(round((c * a + bg * (255 - a)) / 255)
                             for c, bg in zip((r, g, b), background))
        return Picture(w, h, out)


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG")
    pos, idat, header = 8, bytearray(), None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    if depth != 8 or colour_type not in (2, 6) or interlace:
        raise ValueError(path + ": only 8-bit RGB(A) without interlace")
    channels = 4 if colour_type == 6 else 3
    raw = zlib.decompress(bytes(idat))
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + pred) & 255
        rows.append(line)
        previous = line
    pixels = b"".join(rows)
    if channels == 3:
        rgba = bytearray(width * height * 4)
        rgba[0::4], rgba[1::4], rgba[2::4] = pixels[0::3], pixels[1::3], pixels[2::3]
        rgba[3::4] = b"\xff" * (width * height)
        pixels = bytes(rgba)
    return RgbaImage(width, height, pixels)


def grab_screen(display, x=0, y=0, width=None, height=None):
    """What the screen shows: one GetImage of the root window, the X server's
    own frame buffer. (xwd -root is no witness for Qt's windows: its reader
    of many visuals takes a dialog lying inside a window of the same visual
    and colormap from that window, so the dialog reads as the window beneath,
    flat black where the server returns nothing for hidden parts.)"""
    from Xlib import X
    root = display.screen().root
    geometry = root.get_geometry()
    width = geometry.width if width is None else width
    height = geometry.height if height is None else height
    reply = root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
    return _from_zpixmap(reply.data, width, height)


def grab_window(display, window_id):
    """The window's own contents, as the window itself reports them."""
    from Xlib import X
    window = display.create_resource_object("window", window_id)
    geometry = window.get_geometry()
    reply = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF)
    return _from_zpixmap(reply.data, geometry.width, geometry.height)


def _from_zpixmap(data, width, height):
    # Xvfb's 24-bit TrueColor: 4 bytes a pixel, B G R X on a little-endian server.
    stride = len(data) // height if height else 0
    if stride != width * 4:
        data = b"".join(data[row * stride:row * stride + width * 4] for row in range(height))
    rgb = bytearray(width * height * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
    return Picture(width, height, rgb)
