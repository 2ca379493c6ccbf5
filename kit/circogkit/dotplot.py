"""A pair's dot plot drawn straight at the picture's resolution.

The dots are rasterised with numpy (anti-aliased discs stamped from a few
precomputed sub-pixel kernels, translucent layers blended in one pass), the
frame, ticks and tick labels are drawn once per process, and text comes from
Pillow's FreeType glyph masks, cached per string. One PNG costs a few tens of
milliseconds instead of a matplotlib figure's several hundred. The same scene
can also be written as SVG (the fainter accepted pairs as an embedded raster,
everything else as vector shapes).
"""
import base64
import functools
import html
import io
import math
import os
from dataclasses import dataclass, field

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONT_FILES = ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
              "/usr/share/matplotlib/mpl-data/fonts/ttf/DejaVuSans.ttf")
SVG_FONT = "DejaVu Sans, Verdana, Arial, sans-serif"

WHITE = (255, 255, 255)
INK = (0, 0, 0)
ACCEPTED = ((0x9a, 0xa7, 0xb8), 0.35)     # every accepted pair, faint
CLOSEST = ((0x1f, 0x4e, 0x96), 1.0)       # the closest pair per COG identifier
COLLINEAR = ((0x2c, 0xa0, 0x2c), 0.40)    # a block kept in order
INVERTED = ((0xe6, 0x55, 0x0d), 0.55)     # an inverted block
BAND = 10.0                               # width of a block's band, in pixels
ORIGIN = (0xb2, 0x18, 0x2b)               # origin (dashed) and terminus (dotted) lines


@dataclass
class Block:
    """One block as a straight run through the plot: from (x0, y0) to (x1, y1)
    in degrees, unwrapped (x1 may pass 360, y1 may pass 360 or 0)."""
    x0: float
    y0: float
    x1: float
    y1: float
    inverted: bool


def blocks_from_rows(rows):
    """Blocks to draw from a pair's block table (dicts with orientation, start1,
    end1, start2, end2 in degrees and genes). A block runs from start1 up to
    end1 in genome 1 (through 0 degrees when it wraps) and from start2 to end2
    in genome 2, upwards or downwards: the blocks kept in order run the way
    most genes run (a genome may be deposited on the other strand), inverted
    ones the other way. Which way that is, the spans tell: along a block both
    genomes cover about the same arc."""
    keys = ("start1", "end1", "start2", "end2")
    rows = [row for row in rows if all(math.isfinite(row[key]) for key in keys)]
    votes = 0.0
    for row in rows:
        span1 = (row["end1"] - row["start1"]) % 360.0
        up = (row["end2"] - row["start2"]) % 360.0
        rising = abs(up - span1) <= abs((360.0 - up) % 360.0 - span1)
        votes += row["genes"] * (1 if rising == (row["orientation"] == "+") else -1)
    kept_rising = votes >= 0
    blocks = []
    for row in rows:
        inverted = row["orientation"] == "-"
        span1 = (row["end1"] - row["start1"]) % 360.0
        if kept_rising != inverted:
            span2 = (row["end2"] - row["start2"]) % 360.0
        else:
            span2 = -((row["start2"] - row["end2"]) % 360.0)
        blocks.append(Block(row["start1"], row["start2"], row["start1"] + span1, row["start2"] + span2,
                            inverted))
    return blocks


@dataclass
class Scene:
    """Everything one picture shows."""
    genome1: str
    genome2: str
    title: str
    closest: np.ndarray                     # (n, 2) angles in degrees
    accepted: np.ndarray                    # (m, 2)
    blocks: list = field(default_factory=list)
    origin1: float = None                   # degrees, or None when unknown
    origin2: float = None


@dataclass(frozen=True)
class Layout:
    """Pixel geometry: the plot square and where the text goes."""
    left: int = 72
    top: int = 36
    side: int = 450                         # 360 degrees, 1.25 px a degree
    width: int = 550
    font: int = 14                          # tick labels, axis labels, title
    legend_font: int = 11
    tick: int = 5

    @property
    def right(self):
        return self.left + self.side

    @property
    def bottom(self):
        return self.top + self.side

    def x(self, degrees):
        return self.left + np.asarray(degrees, dtype=np.float64) * (self.side / 360.0)

    def y(self, degrees):
        return self.bottom - np.asarray(degrees, dtype=np.float64) * (self.side / 360.0)


TICKS = range(0, 361, 60)


def legend_entries(scene):
    """(kind, label) in the order they are shown."""
    entries = [("accepted", f"accepted pairs ({len(scene.accepted)})"),
               ("closest", f"closest pair per COG ({len(scene.closest)})")]
    if any(not b.inverted for b in scene.blocks):
        entries.append(("collinear", "collinear block"))
    if any(b.inverted for b in scene.blocks):
        entries.append(("inverted", "inverted block"))
    if scene.origin1 is not None or scene.origin2 is not None:
        entries += [("origin", "origin"), ("terminus", "terminus")]
    return entries


def closest_diameter(count):
    return 3.1 if count > 500 else 5.6  # few dots may be larger


ACCEPTED_DIAMETER = 2.4


def _font_path():
    for path in FONT_FILES:
        if os.path.exists(path):
            return path
    raise OSError(f"no DejaVu Sans font (install fonts-dejavu-core): looked for {', '.join(FONT_FILES)}")


# ---------------------------------------------------------------- raster pieces

@functools.lru_cache(maxsize=None)
def disc_kernels(diameter, steps=4, samples=8):
    """Coverage of a disc by the pixels of a k x k window, k = ceil(diameter) + 1
    (as many pixels as a span of that length can touch), for steps x steps
    sub-pixel positions of the disc's lower edges within the window's first
    pixel: array (steps, steps, k, k)."""
    radius = diameter / 2.0
    k = int(np.ceil(diameter)) + 1
    offsets = (np.arange(samples) + 0.5) / samples
    grid = np.arange(k)[:, None] + offsets[None, :]          # sample positions along one axis
    kernels = np.empty((steps, steps, k, k))
    for sy in range(steps):
        dy = grid - (radius + (sy + 0.5) / steps)
        for sx in range(steps):
            dx = grid - (radius + (sx + 0.5) / steps)
            inside = (dy[:, None, :, None] ** 2 + dx[None, :, None, :] ** 2) <= radius * radius
            kernels[sy, sx] = inside.mean(axis=(2, 3))
    return kernels


@functools.lru_cache(maxsize=None)
def _log_transparency(diameter, alpha):
    """log(1 - alpha * coverage) of each disc kernel, flattened per position;
    opaque discs keep a trace of transparency so that it stays finite."""
    kernels = disc_kernels(diameter)
    steps, k = kernels.shape[0], kernels.shape[2]
    return np.log1p(-np.minimum(alpha * kernels, 0.999)).reshape(steps, steps, k * k), k


def stamp_discs(shape, xs, ys, diameter, alpha):
    """Opacity (0..1) of translucent discs of one colour over a region of the
    given shape, centred at pixel coordinates xs, ys: overlapping discs blend
    as layers painted one over another (1 - product of 1 - alpha * coverage)."""
    height, width = shape
    logs, k = _log_transparency(diameter, alpha)
    steps = logs.shape[0]
    # accumulate on a grid padded by a window on every side, so no stamp needs clipping
    padded_width = width + 2 * k
    keep = (xs > -k) & (xs < width + k) & (ys > -k) & (ys < height + k)
    low_x, low_y = xs[keep] - diameter / 2.0, ys[keep] - diameter / 2.0
    fx, fy = np.floor(low_x), np.floor(low_y)
    sx = np.minimum(((low_x - fx) * steps).astype(np.intp), steps - 1)
    sy = np.minimum(((low_y - fy) * steps).astype(np.intp), steps - 1)
    corner = (fy.astype(np.intp) + k) * padded_width + (fx.astype(np.intp) + k)
    window = (np.arange(k)[:, None] * padded_width + np.arange(k)[None, :]).ravel()
    total = np.bincount((corner[:, None] + window[None, :]).ravel(), weights=logs[sy, sx].ravel(),
                        minlength=(height + 2 * k) * padded_width)
    total = total.reshape(height + 2 * k, padded_width)[k:k + height, k:k + width].astype(np.float32)
    np.exp(total, out=total)
    np.subtract(1.0, total, out=total)
    return total


def add_segment(cover, x0, y0, x1, y1, line_width):
    """Raises cover (a float array) to the anti-aliased coverage of a straight
    band of the given width with round ends, where the band covers more.
    Only the pixels within reach of the band are looked at: a short run of
    them across the band at each step along its longer axis."""
    if abs(y1 - y0) > abs(x1 - x0):  # steep: the same with rows and columns swapped
        add_segment(cover.T, y0, x0, y1, x1, line_width)
        return
    height, width = cover.shape
    half = line_width / 2.0
    slope = 0.0 if x1 == x0 else (y1 - y0) / (x1 - x0)
    reach = (half + 1.0) * np.hypot(1.0, slope) + 1.0   # rows either side of the centre line
    low, high = min(x0, x1), max(x0, x1)
    columns = np.arange(max(0, int(np.floor(low - half - 1))), min(width, int(np.ceil(high + half + 1))))
    if len(columns) == 0:
        return
    px = columns + 0.5
    centre = y0 + (np.clip(px, low, high) - x0) * slope
    rows = np.floor(centre - reach).astype(np.intp)[:, None] + np.arange(int(2 * reach) + 3)[None, :]
    cols = np.broadcast_to(columns[:, None], rows.shape)
    inside = (rows >= 0) & (rows < height)
    rows, cols = rows[inside], cols[inside]
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    fx, fy = cols + 0.5, rows + 0.5
    t = 0.0 if length2 == 0 else np.clip(((fx - x0) * dx + (fy - y0) * dy) / length2, 0.0, 1.0)
    value = np.minimum(half + 0.5 - np.hypot(fx - (x0 + t * dx), fy - (y0 + t * dy)), 1.0)
    keep = value > 0
    rows, cols, value = rows[keep], cols[keep], value[keep]
    cover[rows, cols] = np.maximum(cover[rows, cols], value)


def blend(planes, opacity, colour):
    """Paints colour over planes (float RGB planes, shape (3, h, w)) with
    per-pixel opacity (h, w)."""
    scratch = np.empty_like(opacity)
    for channel, value in zip(planes, colour):
        np.subtract(value, channel, out=scratch)
        scratch *= opacity
        channel += scratch


def block_pieces(block):
    """The block's run cut into the copies that fall inside 0..360 on both axes
    (a block through 0 degrees continues on the other side)."""
    pieces = []
    for shift_x in (0.0, -360.0):
        for shift_y in (0.0, -360.0, 360.0):
            x0, x1 = block.x0 + shift_x, block.x1 + shift_x
            y0, y1 = block.y0 + shift_y, block.y1 + shift_y
            clipped = _clip_to_square(x0, y0, x1, y1)
            if clipped:
                pieces.append(clipped)
    return pieces


def _clip_to_square(x0, y0, x1, y1):
    """Liang-Barsky clipping of a segment to [0, 360] x [0, 360]."""
    t0, t1 = 0.0, 1.0
    dx, dy = x1 - x0, y1 - y0
    for p, q in ((-dx, x0), (dx, 360.0 - x0), (-dy, y0), (dy, 360.0 - y0)):
        if p == 0:
            if q < 0:
                return None
            continue
        r = q / p
        if p < 0:
            t0 = max(t0, r)
        else:
            t1 = min(t1, r)
        if t0 > t1:
            return None
    if t1 - t0 <= 1e-9 and not (dx == 0 and dy == 0):
        return None
    return (x0 + t0 * dx, y0 + t0 * dy, x0 + t1 * dx, y0 + t1 * dy)


def blend_bytes(region, opacity, colour):
    """Paints colour over a region of RGB bytes with per-pixel opacity."""
    values = region.astype(np.float32)
    values += (np.asarray(colour, dtype=np.float32) - values) * opacity[..., None]
    values += 0.5
    region[...] = values.astype(np.uint8)


def paint(planes, index, colour):
    """Sets the pixels at index (rows, columns) of RGB planes to colour."""
    for channel, value in zip(planes, colour):
        channel[index] = value


def dash_mask(length, on, off):
    return (np.arange(length) % (on + off)) < on


# ---------------------------------------------------------------- the renderer

class Renderer:
    """Draws scenes; holds the fonts, the prerendered frame and a cache of
    text masks, so that drawing many pairs in one process stays cheap."""

    def __init__(self, layout=Layout()):
        self.layout = layout
        path = _font_path()
        self._fonts = {}
        self._font_path = path
        self._text_cache = {}
        self._frame = self._draw_frame()

    def font(self, size):
        if size not in self._fonts:
            self._fonts[size] = ImageFont.truetype(self._font_path, size)
        return self._fonts[size]

    def text_mask(self, text, size, vertical=False):
        """Coverage (0..1) of the text's glyphs, cached; vertical reads bottom to top."""
        key = (text, size, vertical)
        mask = self._text_cache.get(key)
        if mask is None:
            font = self.font(size)
            left, top, right, bottom = font.getbbox(text)
            ascent, descent = font.getmetrics()
            canvas = Image.new("L", (max(1, right) + 2, ascent + descent))
            ImageDraw.Draw(canvas).text((0, 0), text, font=font, fill=255)
            mask = np.asarray(canvas, dtype=np.float32) / np.float32(255.0)
            if vertical:
                mask = np.rot90(mask)
            if len(self._text_cache) > 4096:
                self._text_cache.clear()
            self._text_cache[key] = mask
        return mask

    def text_width(self, text, size):
        return self.font(size).getlength(text)

    def fit(self, text, size, room):
        """(text, size) that fit in room pixels: the size lowered down to 9,
        then the text shortened with an ellipsis."""
        while size > 9 and self.text_width(text, size) > room:
            size -= 1
        if self.text_width(text, size) > room:
            while len(text) > 1 and self.text_width(text + "…", size) > room:
                text = text[:-1]
            text += "…"
        return text, size

    def labels(self, scene):
        """The title and the axis labels: (text, size, x, y, vertical), each
        centred on (x, y)."""
        lay = self.layout
        middle = lay.left + lay.side / 2.0
        centre = min(middle, lay.width / 2.0 + 20)
        title = self.fit(scene.title, lay.font, 2 * min(centre, lay.width - centre) - 8)
        first = self.fit(f"{scene.genome1} (degrees)", lay.font, lay.side)
        second = self.fit(f"{scene.genome2} (degrees)", lay.font, lay.side)
        return [(*title, centre, lay.top / 2.0, False),
                (*first, middle, lay.bottom + lay.tick + 32, False),
                (*second, 14, lay.top + lay.side / 2.0, True)]

    def put_text(self, image, text, size, x, y, anchor="center", colour=INK, vertical=False):
        """Writes text with its box's anchor point ('center', 'left' or 'right'
        across, the middle of the line's height) at pixel (x, y); vertical
        text is centred there."""
        mask = self.text_mask(text, size, vertical)
        h, w = mask.shape
        left = x - w / 2.0 if vertical else {"center": x - w / 2.0, "left": x, "right": x - w}[anchor]
        left, top = int(round(left)), int(round(y - h / 2.0))
        r0, c0 = max(0, top), max(0, left)
        r1, c1 = min(image.shape[0], top + h), min(image.shape[1], left + w)
        if r0 < r1 and c0 < c1:
            blend_bytes(image[r0:r1, c0:c1], mask[r0 - top:r1 - top, c0 - left:c1 - left], colour)

    def _draw_frame(self):
        """White picture with the square's outline, ticks and tick labels, at
        the height of a legend of one row (taller pictures extend it)."""
        lay = self.layout
        image = np.full((lay.bottom + 60, lay.width, 3), 255, dtype=np.uint8)
        for degrees in TICKS:
            x = int(round(float(lay.x(degrees))))
            y = int(round(float(lay.y(degrees))))
            image[lay.bottom:lay.bottom + lay.tick, min(x, lay.right - 1)] = INK
            image[max(y, lay.top), lay.left - lay.tick:lay.left] = INK
            self.put_text(image, str(degrees), lay.font, x, lay.bottom + lay.tick + 10)
            self.put_text(image, str(degrees), lay.font, lay.left - lay.tick - 4, y, anchor="right")
        return image

    # ------------------------------------------------------------ PNG

    def legend_rows(self, scene):
        """Legend entries wrapped into rows that fit the picture's width."""
        lay = self.layout
        rows, row, used = [], [], 0.0
        for kind, label in legend_entries(scene):
            width = 22 + self.text_width(label, lay.legend_font) + 16
            if row and used + width > lay.width - 20:
                rows.append(row)
                row, used = [], 0.0
            row.append((kind, label, width))
            used += width
        if row:
            rows.append(row)
        return rows

    def height(self, rows):
        return self.layout.bottom + 48 + 18 * len(rows) + 8

    def raster(self, scene):
        """The picture as an array of RGB bytes (height, width, 3)."""
        lay = self.layout
        rows = self.legend_rows(scene)
        height = self.height(rows)
        image = np.full((height, lay.width, 3), 255, dtype=np.uint8)
        frame_rows = min(height, self._frame.shape[0])
        image[:frame_rows] = self._frame[:frame_rows]
        # the square is painted in floating point, one plane per colour, then
        # put in place; the rest is mostly white and only touched where drawn
        square = np.full((3, lay.side, lay.side), 255.0, dtype=np.float32)
        self._draw_data(square, scene)
        square += 0.5  # blending keeps every value within 0..255
        image[lay.top:lay.bottom, lay.left:lay.right] = np.moveaxis(square.astype(np.uint8), 0, -1)
        self._draw_outline(image)
        self._draw_labels(image, scene)
        self._draw_legend(image, rows)
        return image

    def _draw_data(self, square, scene):
        lay = self.layout
        shape = square.shape[1:]
        scale = lay.side / 360.0
        for inverted, (colour, alpha) in ((False, COLLINEAR), (True, INVERTED)):
            chosen = [b for b in scene.blocks if b.inverted == inverted]
            if not chosen:
                continue
            cover = np.zeros(shape, dtype=np.float32)
            for block in chosen:
                for x0, y0, x1, y1 in block_pieces(block):
                    add_segment(cover, x0 * scale, lay.side - y0 * scale,
                                x1 * scale, lay.side - y1 * scale, BAND)
            cover *= alpha
            blend(square, cover, colour)
        for origin, vertical in ((scene.origin1, True), (scene.origin2, False)):
            if origin is None:
                continue
            for degrees, pattern in ((origin % 360.0, (6, 4)), ((origin + 180.0) % 360.0, (2, 3))):
                at = min(int(degrees * scale), lay.side - 1)
                dashes = dash_mask(lay.side, *pattern)
                if vertical:
                    paint(square, (dashes, at), ORIGIN)
                else:
                    paint(square, (lay.side - 1 - at, dashes), ORIGIN)
        for points, (colour, alpha), diameter in (
                (scene.accepted, ACCEPTED, ACCEPTED_DIAMETER),
                (scene.closest, CLOSEST, closest_diameter(len(scene.closest)))):
            if len(points):
                opacity = stamp_discs(shape, points[:, 0] * scale, lay.side - points[:, 1] * scale,
                                      diameter, alpha)
                blend(square, opacity, colour)

    def _draw_outline(self, image):
        lay = self.layout
        across = slice(lay.left - 1, lay.right + 1)
        down = slice(lay.top - 1, lay.bottom + 1)
        for index in ((lay.top - 1, across), (lay.bottom, across), (down, lay.left - 1), (down, lay.right)):
            image[index] = INK

    def _draw_labels(self, image, scene):
        for text, size, x, y, vertical in self.labels(scene):
            self.put_text(image, text, size, x, y, vertical=vertical)

    def _draw_legend(self, image, rows):
        lay = self.layout
        y = lay.bottom + 58
        for row in rows:
            x = (lay.width - sum(width for _, _, width in row)) / 2.0
            for kind, label, width in row:
                self._legend_key(image, kind, x + 10, y)
                self.put_text(image, label, lay.legend_font, x + 24, y, anchor="left")
                x += width
            y += 18

    def _legend_key(self, image, kind, x, y):
        region = image[int(y) - 8:int(y) + 9, int(x) - 9:int(x) + 10]
        cx, cy = x - (int(x) - 9), y - (int(y) - 8)
        shape = region.shape[:2]
        if kind in ("accepted", "closest"):
            colour, alpha = ACCEPTED if kind == "accepted" else CLOSEST
            blend_bytes(region, stamp_discs(shape, np.array([cx]), np.array([cy]), 7.0, alpha), colour)
        elif kind in ("collinear", "inverted"):
            colour, alpha = COLLINEAR if kind == "collinear" else INVERTED
            cover = np.zeros(shape, dtype=np.float32)
            rise = 5 if kind == "collinear" else -5
            add_segment(cover, cx - 8, cy + rise, cx + 8, cy - rise, 7.0)
            blend_bytes(region, cover * alpha, colour)
        else:
            pattern = (6, 4) if kind == "origin" else (2, 3)
            region[int(cy), dash_mask(shape[1], *pattern)] = ORIGIN

    def png(self, scene):
        """The picture as PNG bytes."""
        image = Image.fromarray(self.raster(scene))
        # a picture of a few thousand colours: a palette of 256 looks the same
        # and makes the file a third of the size, faster
        image = image.quantize(256, method=Image.Quantize.FASTOCTREE)
        # the quantiser averages the background with the palest dots: keep it white
        palette = image.getpalette()
        corner = image.getpixel((0, 0))
        palette[3 * corner:3 * corner + 3] = WHITE
        image.putpalette(palette)
        out = io.BytesIO()
        image.save(out, "PNG", compress_level=3)
        return out.getvalue()

    # ------------------------------------------------------------ SVG

    def svg(self, scene):
        """The same picture as SVG text: shapes and text as vectors, the faint
        accepted pairs as an embedded image of the square."""
        lay = self.layout
        rows = self.legend_rows(scene)
        height = self.height(rows)
        scale = lay.side / 360.0
        parts = [f"<svg xmlns='http://www.w3.org/2000/svg' width='{lay.width}' height='{height}' "
                 f"viewBox='0 0 {lay.width} {height}' font-family='{SVG_FONT}'>",
                 f"<rect width='{lay.width}' height='{height}' fill='#fff'/>",
                 f"<defs><clipPath id='square'><rect x='{lay.left}' y='{lay.top}' width='{lay.side}' "
                 f"height='{lay.side}'/></clipPath></defs>",
                 "<g clip-path='url(#square)'>"]
        for block in scene.blocks:
            colour, alpha = INVERTED if block.inverted else COLLINEAR
            for x0, y0, x1, y1 in block_pieces(block):
                parts.append(f"<line x1='{_n(lay.left + x0 * scale)}' y1='{_n(lay.bottom - y0 * scale)}' "
                             f"x2='{_n(lay.left + x1 * scale)}' y2='{_n(lay.bottom - y1 * scale)}' "
                             f"stroke='{_hex(colour)}' stroke-opacity='{alpha}' stroke-width='{BAND:g}' "
                             "stroke-linecap='round'/>")
        for origin, vertical in ((scene.origin1, True), (scene.origin2, False)):
            if origin is None:
                continue
            for degrees, dashes in ((origin % 360.0, "6 4"), ((origin + 180.0) % 360.0, "2 3")):
                if vertical:
                    x = _n(lay.left + degrees * scale)
                    coords = f"x1='{x}' y1='{lay.bottom}' x2='{x}' y2='{lay.top}'"
                else:
                    y = _n(lay.bottom - degrees * scale)
                    coords = f"x1='{lay.left}' y1='{y}' x2='{lay.right}' y2='{y}'"
                parts.append(f"<line {coords} stroke='{_hex(ORIGIN)}' stroke-dasharray='{dashes}'/>")
        if len(scene.accepted):
            parts.append(f"<image x='{lay.left}' y='{lay.top}' width='{lay.side}' height='{lay.side}' "
                         f"href='data:image/png;base64,{self._accepted_layer(scene)}'/>")
        radius = _n(closest_diameter(len(scene.closest)) / 2.0)
        colour = _hex(CLOSEST[0])
        parts.append(f"<g fill='{colour}'>")
        parts += [f"<circle cx='{_n(lay.left + a * scale)}' cy='{_n(lay.bottom - b * scale)}' r='{radius}'/>"
                  for a, b in scene.closest]
        parts += ["</g>", "</g>",
                  f"<rect x='{lay.left - 0.5}' y='{lay.top - 0.5}' width='{lay.side + 1}' "
                  f"height='{lay.side + 1}' fill='none' stroke='#000'/>"]
        parts += self._svg_text(scene, rows)
        parts.append("</svg>")
        return "\n".join(parts) + "\n"

    def _accepted_layer(self, scene):
        lay = self.layout
        scale = lay.side / 360.0
        opacity = stamp_discs((lay.side, lay.side), scene.accepted[:, 0] * scale,
                              lay.side - scene.accepted[:, 1] * scale, ACCEPTED_DIAMETER, ACCEPTED[1])
        layer = np.zeros((lay.side, lay.side, 4), dtype=np.uint8)
        layer[..., :3] = ACCEPTED[0]
        layer[..., 3] = np.clip(np.rint(opacity * 255), 0, 255)
        out = io.BytesIO()
        Image.fromarray(layer, "RGBA").save(out, "PNG", compress_level=6)
        return base64.b64encode(out.getvalue()).decode("ascii")

    def _svg_text(self, scene, rows):
        lay = self.layout
        e = html.escape
        parts = ["<g stroke='#000'>"]
        for degrees in TICKS:
            x, y = _n(float(lay.x(degrees))), _n(float(lay.y(degrees)))
            parts.append(f"<line x1='{x}' y1='{lay.bottom}' x2='{x}' y2='{lay.bottom + lay.tick}'/>")
            parts.append(f"<line x1='{lay.left}' y1='{y}' x2='{lay.left - lay.tick}' y2='{y}'/>")
        parts.append("</g>")
        parts.append(f"<g font-size='{lay.font}' fill='#000'>")
        for degrees in TICKS:
            x, y = _n(float(lay.x(degrees))), _n(float(lay.y(degrees)))
            parts.append(f"<text x='{x}' y='{lay.bottom + lay.tick + 15}' text-anchor='middle'>{degrees}</text>")
            parts.append(f"<text x='{lay.left - lay.tick - 4}' y='{_n(float(y) + 5)}' "
                         f"text-anchor='end'>{degrees}</text>")
        for text, size, x, y, vertical in self.labels(scene):
            where = (f"transform='translate({_n(x + 5)} {_n(y)}) rotate(-90)'" if vertical
                     else f"x='{_n(x)}' y='{_n(y + 5)}'")
            parts.append(f"<text {where} text-anchor='middle' font-size='{size}'>{e(text)}</text>")
        parts.append("</g>")
        y = lay.bottom + 58
        for row in rows:
            x = (lay.width - sum(width for _, _, width in row)) / 2.0
            for kind, label, width in row:
                parts.append(self._svg_key(kind, x + 10, y))
                parts.append(f"<text x='{_n(x + 24)}' y='{_n(y + 4)}' font-size='{lay.legend_font}'>"
                             f"{e(label)}</text>")
                x += width
            y += 18
        return parts

    @staticmethod
    def _svg_key(kind, x, y):
        if kind in ("accepted", "closest"):
            colour, alpha = ACCEPTED if kind == "accepted" else CLOSEST
            return f"<circle cx='{_n(x)}' cy='{_n(y)}' r='3.5' fill='{_hex(colour)}' fill-opacity='{alpha}'/>"
        if kind in ("collinear", "inverted"):
            colour, alpha = COLLINEAR if kind == "collinear" else INVERTED
            rise = 5 if kind == "collinear" else -5
            return (f"<line x1='{_n(x - 8)}' y1='{_n(y + rise)}' x2='{_n(x + 8)}' y2='{_n(y - rise)}' "
                    f"stroke='{_hex(colour)}' stroke-opacity='{alpha}' stroke-width='7'/>")
        dashes = "6 4" if kind == "origin" else "2 3"
        return (f"<line x1='{_n(x - 9)}' y1='{_n(y)}' x2='{_n(x + 9)}' y2='{_n(y)}' "
                f"stroke='{_hex(ORIGIN)}' stroke-dasharray='{dashes}'/>")


def _n(value):
    """A coordinate with at most two decimals, no trailing zeros."""
    return f"{value:.2f}".rstrip("0").rstrip(".")


def _hex(colour):
    return "#%02x%02x%02x" % tuple(colour)
