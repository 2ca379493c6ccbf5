"""The raster dot plot: dots, blocks and lines where the angles say, text and
legend present, PNG and SVG alike."""
import io
import math
import xml.etree.ElementTree as ElementTree

import numpy as np
import pytest
from PIL import Image

from circogkit import dotplot
from circogkit.dotplot import Block, Scene

LAYOUT = dotplot.Layout()
BLUE = dotplot.CLOSEST[0]


@pytest.fixture(scope="module")
def renderer():
    return dotplot.Renderer()


def scene(closest=(), accepted=(), **extra):
    return Scene("First", "Second", "First vs Second: 50.00% within 10°",
                 np.array(closest, dtype=float).reshape(-1, 2),
                 np.array(accepted, dtype=float).reshape(-1, 2), **extra)


def pixel(image, degrees1, degrees2):
    """The RGB value where angle pair (degrees1, degrees2) is drawn."""
    x = int(LAYOUT.left + degrees1 * LAYOUT.side / 360.0)
    y = int(LAYOUT.bottom - degrees2 * LAYOUT.side / 360.0)
    return tuple(int(v) for v in image[y, x])


def rgb(renderer, plot):
    return np.asarray(Image.open(io.BytesIO(renderer.png(plot))).convert("RGB"))


def test_disc_kernels_cover_the_disc_area_wherever_the_centre_lies():
    for diameter in (2.4, 3.1, 5.6, 7.0):
        kernels = dotplot.disc_kernels(diameter)
        area = math.pi * diameter ** 2 / 4
        assert np.allclose(kernels.sum(axis=(2, 3)), area, rtol=0.04)
        assert kernels.max() == 1.0 and kernels.min() == 0.0


def test_overlapping_translucent_dots_blend_like_layers():
    xs = np.full(3, 10.5)
    opacity = dotplot.stamp_discs((21, 21), xs, xs, 5.6, 0.35)
    assert opacity[10, 10] == pytest.approx(1 - 0.65 ** 3, abs=1e-5)
    assert opacity[0, 0] == 0 and opacity[20, 20] == 0


def test_dots_off_the_picture_or_not_numbers_are_left_out():
    xs = np.array([-100.0, np.nan, np.inf, 1e9, 0.0, 20.0])
    opacity = dotplot.stamp_discs((20, 20), xs, np.full(6, 10.0), 3.1, 1.0)
    assert opacity[10, 0] > 0.3 and opacity[10, 19] > 0.3 and opacity[:, 5:15].max() == 0


def test_closest_pairs_are_drawn_where_their_angles_are(renderer):
    image = rgb(renderer, scene(closest=[(90, 270), (300, 30)]))
    for a, b in ((90, 270), (300, 30)):
        assert np.abs(np.subtract(pixel(image, a, b), BLUE)).max() < 40
    assert pixel(image, 270, 90) == (255, 255, 255)
    assert pixel(image, 30, 300) == (255, 255, 255)


def test_accepted_pairs_are_fainter_than_closest_pairs(renderer):
    image = rgb(renderer, scene(closest=[(100, 100)], accepted=[(200, 200)]))
    faint, strong = pixel(image, 200, 200), pixel(image, 100, 100)
    assert sum(strong) < sum(faint) < 3 * 255


def test_the_frame_and_labels_are_drawn(renderer):
    image = rgb(renderer, scene(closest=[(10, 10)]))
    dark = image.sum(axis=2) < 200
    assert dark[LAYOUT.top:LAYOUT.bottom, LAYOUT.left - 1].all()          # the square's left side
    assert dark[:LAYOUT.top - 4, LAYOUT.left:LAYOUT.right].any()          # title
    assert dark[LAYOUT.bottom + 8:LAYOUT.bottom + 22, :].sum() > 50       # tick labels
    assert dark[LAYOUT.top:LAYOUT.bottom, :30].sum() > 50                 # the vertical label
    assert dark[LAYOUT.bottom + 50:, :].sum() > 50                        # legend


def test_a_long_title_is_made_to_fit(renderer):
    long = Scene("G" * 80, "H" * 80, "G" * 80 + " vs " + "H" * 80, np.zeros((0, 2)), np.zeros((0, 2)))
    image = rgb(renderer, long)
    assert image.shape[1] == LAYOUT.width
    assert (image[:, :2].sum(axis=2) == 3 * 255).all()  # nothing runs into the left edge


def test_blocks_cut_at_the_circle_continue_on_the_other_side():
    pieces = dotplot.block_pieces(Block(350, 10, 370, 30, False))
    assert sorted(tuple(round(v, 6) for v in p) for p in pieces) == [(0, 20, 10, 30), (350, 10, 360, 20)]
    pieces = dotplot.block_pieces(Block(100, 10, 120, -10, True))
    assert sorted(tuple(round(v, 6) for v in p) for p in pieces) == [(100, 10, 110, 0), (110, 360, 120, 350)]


def rows(*blocks):
    names = ("orientation", "start1", "end1", "start2", "end2", "genes")
    return [dict(zip(names, block)) for block in blocks]


def test_block_direction_follows_the_genes_in_either_strand():
    # genome 2 as deposited: the kept blocks rise, the inversion falls
    same = dotplot.blocks_from_rows(rows(("+", 10, 200, 12, 203, 900), ("-", 210, 250, 250, 212, 80)))
    assert [(b.y1 - b.y0 > 0, b.inverted) for b in same] == [(True, False), (False, True)]
    # genome 2 on the other strand: the kept blocks fall, the inversion rises; through 0 degrees
    mirrored = dotplot.blocks_from_rows(rows(("+", 10, 200, 350, 160, 900), ("-", 300, 20, 30, 110, 80)))
    assert [(round(b.y1 - b.y0), b.inverted) for b in mirrored] == [(-190, False), (80, True)]
    assert mirrored[1].x1 == 380


def test_blocks_and_origin_lines_are_drawn_in_their_colours(renderer):
    plot = scene(blocks=[Block(0, 0, 180, 180, False), Block(200, 300, 300, 200, True)],
                 origin1=120.0, origin2=60.0)
    image = rgb(renderer, plot).astype(int)
    green, orange = pixel(image, 90, 90), pixel(image, 250, 250)
    assert green[1] > green[0] + 30 and green[1] > green[2] + 30
    assert orange[0] > orange[2] + 60
    red = np.array(dotplot.ORIGIN)
    x = int(LAYOUT.left + 120 * LAYOUT.side / 360.0)
    y = int(LAYOUT.bottom - 60 * LAYOUT.side / 360.0)
    column, row = image[LAYOUT.top:LAYOUT.bottom, x], image[y - 1, LAYOUT.left:LAYOUT.right]
    assert (np.abs(column - red).max(axis=1) < 40).mean() > 0.4      # dashed origin, genome 1
    assert (np.abs(row - red).max(axis=1) < 40).mean() > 0.3         # origin, genome 2
    terminus = image[LAYOUT.top:LAYOUT.bottom, int(LAYOUT.left + 300 * LAYOUT.side / 360.0)]
    assert (np.abs(terminus - red).max(axis=1) < 40).mean() > 0.25   # dotted terminus


def test_svg_holds_the_same_scene_with_every_name_escaped(renderer):
    plot = Scene("A<b>&'\"", "Second", "A<b> vs Second", np.array([[10.0, 20.0], [30.0, 40.0]]),
                 np.array([[5.0, 6.0]]), [Block(0, 0, 90, 90, False)], 10.0, 20.0)
    text = renderer.svg(plot)
    root = ElementTree.fromstring(text)
    svg = "{http://www.w3.org/2000/svg}"
    texts = ["".join(node.itertext()) for node in root.iter(svg + "text")]
    assert "A<b>&'\" (degrees)" in texts and "A<b> vs Second" in texts
    assert len(root.findall(f".//{svg}circle")) == 2 + 2              # the dots and two legend keys
    assert len(root.findall(f".//{svg}image")) == 1                   # the accepted pairs' layer
    assert int(root.get("height")) == renderer.height(renderer.legend_rows(plot))


def test_block_bands_match_their_distance_definition_everywhere():
    """A pixel's coverage is its centre's distance to the segment, against
    the band's half width, whichever way the segment runs."""
    rng = np.random.default_rng(3)
    rows, cols = np.mgrid[0:100, 0:90] + 0.5
    for case in range(200):
        x0, y0, x1, y1 = rng.uniform(-20, 120, 4)
        if case % 7 == 0:
            x1 = x0
        if case % 11 == 0:
            x1, y1 = x0, y0
        width = rng.uniform(1, 12)
        cover = np.zeros((100, 90))
        dotplot.add_segment(cover, x0, y0, x1, y1, width)
        dx, dy = x1 - x0, y1 - y0
        t = np.clip(((cols - x0) * dx + (rows - y0) * dy) / max(dx * dx + dy * dy, 1e-300), 0, 1)
        distance = np.hypot(cols - (x0 + t * dx), rows - (y0 + t * dy))
        assert np.abs(cover - np.clip(width / 2 + 0.5 - distance, 0, 1)).max() < 1e-9
