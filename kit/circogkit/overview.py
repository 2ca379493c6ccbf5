"""The report's pages: a front page holding no pictures (the genome-by-genome
matrix in clustering order with its dendrogram, the genomes, the settings)
and one small page per pair (its plot, numbers and inversions), loaded only
when opened.

Up to TABLE_LIMIT genomes the matrix is an HTML table whose cells are links;
above, it is drawn on a canvas from a compact copy of the numbers, so that
500 genomes (124,750 pairs) still make a page of about a megabyte that a
browser shows at once. Every value that comes from a file is escaped here.
"""
import json
import urllib.parse
from dataclasses import dataclass, field

from . import clustering
from .workdir import html_text

TABLE_LIMIT = 60
ROW_HEIGHT = 34          # table rows, in CSS pixels; the dendrogram is drawn to match
ROW_GAP = 1
TREE_WIDTH = 150


e = html_text  # every value from a file goes through it


def page_link(pair, suffix=".html"):
    """A pair's file as a relative URL (its name percent-encoded)."""
    return urllib.parse.quote(pair + suffix)


def share_colour(share):
    """From red (0) through yellow to green (1)."""
    return f"hsl({120 * max(0.0, min(share, 1.0)):.0f}, 65%, 72%)"


def percent(share):
    return f"{share:.2%}"


def plural(number, noun):
    return f"{number} {noun}" + ("" if number == 1 else "s")


@dataclass
class PairView:
    """One pair as the pages show it. measures is the pair's row of
    blocks/summary.tsv (None without blocks), blocks the rows of its
    blocks table."""
    pair: str
    genome1: str
    genome2: str
    shared_cogs: str
    accepted_pairs: str
    share_near: float
    measures: dict = None
    blocks: list = None
    has_svg: bool = False

    @property
    def measure(self):
        return self.measures["collinear_share"] if self.measures else self.share_near

    @property
    def inversions(self):
        return self.measures["inversions"] if self.measures else None

    def describe(self):
        """One line for a tooltip."""
        text = f"{self.genome1} & {self.genome2}: "
        if self.measures:
            text += (f"{percent(self.measure)} collinear, {plural(self.inversions, 'inversion')}"
                     f" ({self.measures['symmetric_inversions']} symmetric), ")
        return text + f"{percent(self.share_near)} of closest pairs within 10°"


@dataclass
class Run:
    """What the front page shows."""
    tree: clustering.Tree
    pairs: dict                                   # (genome1, genome2) -> PairView
    settings: dict
    sizes: dict = field(default_factory=dict)     # genome -> size text
    origins: dict = field(default_factory=dict)   # genome -> (degrees, how found)
    with_blocks: bool = False
    files: list = field(default_factory=list)     # (relative path, what it holds)

    def pair_of(self, first, second):
        return self.pairs.get((first, second)) or self.pairs.get((second, first))

    @property
    def ordered(self):
        return [self.tree.names[i] for i in self.tree.order]

    @property
    def measure_text(self):
        if self.with_blocks:
            return ("the collinear share: the share of a pair's shared COG identifiers whose genes "
                    "pair inside a collinear block (the same whatever the sequences' start or strand)")
        return ("the share of a pair's closest gene pairs (one per shared COG identifier) that lie "
                "within 10&deg; of each other on the circle")


STYLE = """
body { font-family: sans-serif; margin: 2em; color: #222; }
a { color: #1f4e96; }
p { max-width: 62em; line-height: 1.4; }
table.matrix { border-collapse: separate; border-spacing: 1px; margin: 1em 0; }
table.matrix th, table.matrix td { height: 34px; box-sizing: border-box; padding: 0 6px;
  font-size: 13px; white-space: nowrap; }
table.matrix th.row { text-align: right; font-weight: 600; }
table.matrix th.col { height: auto; vertical-align: bottom; padding: 6px 0; font-weight: 600; }
table.matrix th.col span { writing-mode: vertical-rl; transform: rotate(180deg); }
table.matrix td.tree { padding: 0; vertical-align: top; }
table.matrix td.tree svg { display: block; }
table.matrix td { width: 64px; min-width: 64px; }
table.matrix td.cell { padding: 0; text-align: right; }
table.matrix td.cell a { display: block; color: #111; text-decoration: none; padding: 2px 6px; }
table.matrix td.cell a:hover { outline: 2px solid #1f4e96; }
table.matrix td.cell small { display: block; font-size: 11px; color: #444; }
table.matrix td.self { background: #eee; color: #888; text-align: center; }
table.matrix td.none { background: #f6f6f6; }
.scale { display: flex; align-items: center; gap: 0.5em; font-size: 13px; margin: 0.5em 0 1.5em; }
.scale span.bar { width: 240px; height: 12px; border: 1px solid #bbb;
  background: linear-gradient(to right, hsl(0,65%,72%), hsl(60,65%,72%), hsl(120,65%,72%)); }
table.list { border-collapse: collapse; margin: 1em 0; }
table.list th, table.list td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; }
table.list th { background: #f0f0f0; }
table.list td.number { text-align: right; }
.settings td { font-family: monospace; }
#view { position: relative; display: inline-block; }
#matrix { display: block; cursor: pointer; }
#tip { position: absolute; display: none; pointer-events: none; background: #fff; border: 1px solid #888;
  padding: 3px 6px; font-size: 13px; white-space: nowrap; box-shadow: 1px 1px 3px #0003; }
.zoom { font-size: 13px; margin: 0.5em 0; }
"""


# ---------------------------------------------------------------- front page

def front_page(run):
    genomes = run.ordered
    with_pairs = len(run.pairs)
    body = [
        "<h1>circog run</h1>",
        f"<p>{plural(len(genomes), 'genome')}, {plural(with_pairs, 'pair')} with results. "
        f"Each cell is {run.measure_text}"
        + ("; below it, the pair's inversions" if run.with_blocks else "")
        + ". Rows and columns follow the average-linkage clustering of 1 &minus; that share, "
          "drawn as the tree on the left. Click a cell for the pair's "
        + ("plot, numbers and inversions" if run.with_blocks else "plot and numbers") + ".</p>",
        files_html(run.files),
    ]
    if run.pairs:
        body += [matrix_table(run) if len(genomes) <= TABLE_LIMIT else matrix_canvas(run), scale_html()]
    else:
        body.append("<p>No pair has results to show: <code>circog-kit plot</code> on the run's "
                    "working directory says why.</p>")
    if run.sizes:
        body += ["<h2>Genomes</h2>", genomes_html(run)]
    body += ["<h2>Settings</h2>", settings_html(run.settings)]
    return document("circog run", STYLE, body)


def document(title, style, body):
    return ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>{e(title)}</title><style>{style}</style></head><body>\n"
            + "\n".join(body) + "\n</body></html>\n")


def files_html(files):
    if not files:
        return ""
    items = " &middot; ".join(f"<a href='{e(urllib.parse.quote(path))}'>{e(path)}</a> ({what})"
                              for path, what in files)
    return f"<p>Files: {items}</p>"


def scale_html():
    return ("<div class='scale'><span>0%</span><span class='bar'></span><span>100%</span>"
            "<span>&nbsp;&nbsp;an empty cell: no result files (no accepted pair)</span></div>")


def matrix_table(run):
    genomes = run.ordered
    head = ["<tr><th></th><th></th>"]
    head += [f"<th class='col'><span>{e(g)}</span></th>" for g in genomes]
    rows = ["<table class='matrix'>", "".join(head) + "</tr>"]
    for number, first in enumerate(genomes):
        cells = []
        if number == 0:
            cells.append(f"<td class='tree' rowspan='{len(genomes)}'>{dendrogram_svg(run.tree)}</td>")
        cells.append(f"<th class='row'>{e(first)}</th>")
        for second in genomes:
            cells.append(table_cell(run, first, second))
        rows.append("<tr>" + "".join(cells) + "</tr>")
    rows.append("</table>")
    return "\n".join(rows)


def table_cell(run, first, second):
    if first == second:
        return "<td class='self'>&mdash;</td>"
    view = run.pair_of(first, second)
    if view is None:
        return f"<td class='none' title='{e(first)} &amp; {e(second)}: no result files'></td>"
    extra = ""
    if view.inversions is not None:
        extra = f"<small>{e(view.inversions)} inv.</small>"
    return (f"<td class='cell' style='background:{share_colour(view.measure)}'>"
            f"<a href='plots/{e(page_link(view.pair))}' title='{e(view.describe())}'>"
            f"{percent(view.measure)}{extra}</a></td>")


def dendrogram_svg(tree, width=TREE_WIDTH, pitch=ROW_HEIGHT + ROW_GAP):
    """The tree for the table: root on the left, leaf k at the middle of row k."""
    n = len(tree.names)
    height = n * pitch - ROW_GAP
    segments = clustering.dendrogram(tree)
    top = max([s[3] for s in segments] + [1e-9])
    def x(h):
        return (width - 6) - h / top * (width - 12)
    def y(p):
        return (p - 0.5) * pitch + ROW_HEIGHT / 2.0
    path = "".join(f"M{x(h0):.1f} {y(p0):.1f}L{x(h1):.1f} {y(p1):.1f}" for p0, h0, p1, h1 in segments)
    return (f"<svg width='{width}' height='{height}' viewBox='0 0 {width} {height}' "
            f"role='img' aria-label='clustering tree'><path d='{path}' fill='none' stroke='#333' "
            "stroke-width='1.2'/></svg>")


def matrix_canvas(run):
    """The matrix drawn by the page's script from the numbers in run-data:
    shares in ten-thousandths, inversions and which genome each pair's name
    puts first, for every pair above the diagonal, row by row."""
    genomes = run.ordered
    shares, inversions, swapped = [], [], []
    for i, first in enumerate(genomes):
        for second in genomes[i + 1:]:
            view = run.pair_of(first, second)
            if view is None:
                shares.append("")
                inversions.append("")
                swapped.append("0")
                continue
            shares.append(str(int(round(view.measure * 10000))))
            inversions.append("" if view.inversions is None else str(view.inversions))
            swapped.append("1" if view.genome1 == second else "0")
    data = {
        "names": genomes,
        "shares": ",".join(shares),
        "inversions": ",".join(inversions) if run.with_blocks else "",
        "swapped": "".join(swapped),
        "tree": [[round(v, 4) for v in segment] for segment in clustering.dendrogram(run.tree)],
        "measure": "collinear" if run.with_blocks else "within 10\u00b0",
    }
    text = json.dumps(data, ensure_ascii=True, separators=(",", ":")).replace("<", "\\u003c")
    return ("<div class='zoom'><label>Cell size <input type='range' id='zoom' min='1' max='40'></label> "
            "<span id='zoom-value'></span> &middot; point at a cell for its pair, click to open it</div>"
            "<div id='view'><canvas id='matrix' role='img' aria-label='genome-by-genome matrix: point at a cell for its pair'></canvas><div id='tip'></div></div>"
            f"<script type='application/json' id='run-data'>{text}</script>"
            f"<script>{CANVAS_SCRIPT}</script>")


CANVAS_SCRIPT = r"""
(function () {
  var run = JSON.parse(document.getElementById('run-data').textContent);
  var names = run.names, n = names.length;
  var shares = run.shares.split(','), inversions = run.inversions ? run.inversions.split(',') : null;
  var canvas = document.getElementById('matrix'), tip = document.getElementById('tip');
  var zoom = document.getElementById('zoom'), zoomValue = document.getElementById('zoom-value');
  var TREE = 150, MAX_SIDE = 8000;
  var maxCell = Math.max(1, Math.min(40, Math.floor(MAX_SIDE / n)));
  var cell = Math.max(1, Math.min(maxCell, 24, Math.floor(1100 / n)));
  zoom.max = maxCell; zoom.value = cell;
  function at(i, j) {  // index of the pair of display rows i != j
    if (i > j) { var t = i; i = j; j = t; }
    return i * n - i * (i + 1) / 2 + (j - i - 1);
  }
  function rgb(share) {  // the table's colours: hsl(120 * share, 65%, 72%)
    var h = 120 * Math.max(0, Math.min(1, share)), s = 0.65, l = 0.72;
    var c = (1 - Math.abs(2 * l - 1)) * s, x = c * (1 - Math.abs((h / 60) % 2 - 1)), m = l - c / 2;
    var r = h < 60 ? c : x, g = h < 60 ? x : c;
    return [Math.round((r + m) * 255), Math.round((g + m) * 255), Math.round(m * 255)];
  }
  var pixels = document.createElement('canvas');
  pixels.width = n; pixels.height = n;
  var image = pixels.getContext('2d').createImageData(n, n), d = image.data;
  for (var i = 0; i < n; i++) {
    for (var j = 0; j < n; j++) {
      var o = (i * n + j) * 4, colour = [238, 238, 238];
      if (i != j) {
        var v = shares[at(i, j)];
        colour = v === '' ? [246, 246, 246] : rgb(v / 10000);
      }
      d[o] = colour[0]; d[o + 1] = colour[1]; d[o + 2] = colour[2]; d[o + 3] = 255;
    }
  }
  pixels.getContext('2d').putImageData(image, 0, 0);
  var left = 0, top = 0;
  function draw() {
    var ctx = canvas.getContext('2d'), ratio = window.devicePixelRatio || 1;
    var labels = cell >= 9, size = Math.min(12, cell - 2), label = 0;
    ctx.font = size + 'px sans-serif';
    if (labels) for (var k = 0; k < n; k++) label = Math.max(label, ctx.measureText(names[k]).width);
    label = labels ? Math.ceil(label) + 8 : 0;
    left = TREE + label; top = labels ? label : 4;
    var width = left + n * cell + 4, height = top + n * cell + 4;
    canvas.width = Math.round(width * ratio); canvas.height = Math.round(height * ratio);
    canvas.style.width = width + 'px'; canvas.style.height = height + 'px';
    ctx = canvas.getContext('2d');
    ctx.scale(ratio, ratio);
    ctx.fillStyle = '#fff'; ctx.fillRect(0, 0, width, height);
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(pixels, left, top, n * cell, n * cell);
    if (cell >= 6) {
      ctx.strokeStyle = '#fff'; ctx.lineWidth = 1; ctx.beginPath();
      for (var k = 0; k <= n; k++) {
        ctx.moveTo(left + k * cell, top); ctx.lineTo(left + k * cell, top + n * cell);
        ctx.moveTo(left, top + k * cell); ctx.lineTo(left + n * cell, top + k * cell);
      }
      ctx.stroke();
    }
    ctx.fillStyle = '#222'; ctx.font = size + 'px sans-serif';
    if (labels) {
      ctx.textAlign = 'right'; ctx.textBaseline = 'middle';
      for (var k = 0; k < n; k++) ctx.fillText(names[k], left - 4, top + (k + 0.5) * cell);
      ctx.save(); ctx.rotate(-Math.PI / 2); ctx.textAlign = 'left';
      for (var k = 0; k < n; k++) ctx.fillText(names[k], -(top - 4), left + (k + 0.5) * cell);
      ctx.restore();
    }
    if (cell >= 40) {
      ctx.textAlign = 'center'; ctx.textBaseline = 'middle'; ctx.font = '11px sans-serif';
      for (var i = 0; i < n; i++) for (var j = 0; j < n; j++) {
        if (i == j || shares[at(i, j)] === '') continue;
        ctx.fillText((shares[at(i, j)] / 100).toFixed(1) + '%', left + (j + 0.5) * cell, top + (i + 0.5) * cell);
      }
    }
    var heightMax = 1e-9;
    run.tree.forEach(function (s) { heightMax = Math.max(heightMax, s[3]); });
    ctx.strokeStyle = '#333'; ctx.lineWidth = 1; ctx.beginPath();
    run.tree.forEach(function (s) {
      ctx.moveTo(TREE - 6 - s[1] / heightMax * (TREE - 12), top + s[0] * cell);
      ctx.lineTo(TREE - 6 - s[3] / heightMax * (TREE - 12), top + s[2] * cell);
    });
    ctx.stroke();
    zoomValue.textContent = cell + ' px';
    canvas.dataset.left = left; canvas.dataset.top = top; canvas.dataset.cell = cell;
  }
  function cellAt(event) {
    var box = canvas.getBoundingClientRect();
    var j = Math.floor((event.clientX - box.left - left) / cell);
    var i = Math.floor((event.clientY - box.top - top) / cell);
    return (i >= 0 && j >= 0 && i < n && j < n && i != j) ? [i, j] : null;
  }
  function pairName(i, j) {
    var p = at(i, j), a = names[Math.min(i, j)], b = names[Math.max(i, j)];
    return run.swapped.charAt(p) == '1' ? b + '&' + a : a + '&' + b;
  }
  canvas.addEventListener('mousemove', function (event) {
    var c = cellAt(event);
    if (!c) { tip.style.display = 'none'; canvas.style.cursor = 'default'; return; }
    var v = shares[at(c[0], c[1])], text = names[c[0]] + ' & ' + names[c[1]] + ': ';
    if (v === '') text += 'no result files';
    else {
      text += (v / 100).toFixed(2) + '% ' + run.measure;
      if (inversions) text += ', ' + inversions[at(c[0], c[1])] + ' inversions';
    }
    tip.textContent = text; tip.style.display = 'block';
    var box = canvas.getBoundingClientRect();
    tip.style.left = (event.clientX - box.left + 14) + 'px';
    tip.style.top = (event.clientY - box.top + 14) + 'px';
    canvas.style.cursor = v === '' ? 'default' : 'pointer';
  });
  canvas.addEventListener('mouseleave', function () { tip.style.display = 'none'; });
  canvas.addEventListener('click', function (event) {
    var c = cellAt(event);
    if (c && shares[at(c[0], c[1])] !== '')
      window.location.href = 'plots/' + encodeURIComponent(pairName(c[0], c[1]) + '.html');
  });
  zoom.addEventListener('input', function () { cell = +zoom.value; draw(); });
  draw();
})();
"""


def genomes_html(run):
    rows = ["<table class='list'><tr><th>Genome</th><th>Chromosome (bp)</th><th>Origin</th></tr>"]
    for name in sorted(run.sizes):
        origin = run.origins.get(name)
        where = f"{origin[0]:.2f}&deg; ({e(origin[1])})" if origin else ""
        rows.append(f"<tr><td>{e(name)}</td><td class='number'>{e(run.sizes[name])}</td><td>{where}</td></tr>")
    rows.append("</table>")
    return "\n".join(rows)


def settings_html(settings):
    rows = "".join(f"<tr><td>{e(k)}</td><td>{e(v)}</td></tr>" for k, v in settings.items())
    return f"<table class='list settings'><tr><th>Setting</th><th>Value</th></tr>{rows}</table>"


# ---------------------------------------------------------------- pair pages

PAIR_STYLE = """
body { font-family: sans-serif; margin: 2em; color: #222; }
a { color: #1f4e96; }
.pair { display: flex; flex-wrap: wrap; gap: 2em; align-items: flex-start; }
.pair figure { margin: 0; }
.pair img { border: 1px solid #ccc; }
table { border-collapse: collapse; margin: 0 0 1em; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; }
th { background: #f0f0f0; font-weight: 600; }
td.number { text-align: right; }
tr.inverted td { background: #fdebdc; }
"""


def pair_page(view, origins=None):
    """The page of one pair, beside its plot in plots/."""
    origins = origins or {}
    title = f"{view.genome1} & {view.genome2}"
    image = page_link(view.pair, ".png")
    svg = f" &middot; <a href='{e(page_link(view.pair, '.svg'))}'>SVG</a>" if view.has_svg else ""
    body = [
        "<p><a href='../report.html'>&larr; all pairs</a></p>",
        f"<h1>{e(view.genome1)} &amp; {e(view.genome2)}</h1>",
        "<div class='pair'>",
        f"<figure><img src='{e(image)}' alt='{e(title)}: dot plot'>"
        f"<figcaption><a href='{e(image)}'>PNG</a>{svg}</figcaption></figure>",
        numbers_html(view, origins),
        "</div>",
    ]
    if view.blocks is not None:
        inverted = [b for b in view.blocks if b["orientation"] == "-"]
        body.append(f"<h2>{plural(len(inverted), 'inversion')}</h2>")
        body.append("<p>An inversion is <em>symmetric</em> when its axis lies on the "
                    "origin-terminus line of both genomes (within 5&deg;): each gene keeps its "
                    "distance from the origin and moves to the other replichore. Angles run from "
                    "the block's first gene to its last in the first genome.</p>")
        if inverted:
            body.append(blocks_html(view, inverted))
        body.append(f"<details><summary>All {plural(len(view.blocks), 'block')}</summary>"
                    f"{blocks_html(view, view.blocks)}</details>")
    return document(title, PAIR_STYLE, body)


def numbers_html(view, origins):
    """The pair's numbers: (label, value) rows, both already HTML."""
    rows = [("shared COG identifiers", e(view.shared_cogs)),
            ("accepted gene pairs", e(view.accepted_pairs)),
            ("closest pairs within 10&deg;", percent(view.share_near))]
    m = view.measures
    if m:
        rows += [("collinear share", percent(m["collinear_share"])),
                 ("offset of the second genome",
                  "&mdash;" if m["offset"] is None else f"{m['offset']:.2f}&deg;"),
                 ("blocks", e(m["blocks"])),
                 ("inversions", f"{e(m['inversions'])} ({e(m['symmetric_inversions'])} symmetric)"),
                 ("inverted share", percent(m["inverted_share"]))]
    for genome in (view.genome1, view.genome2):
        if genome in origins:
            degrees, how = origins[genome]
            rows.append((f"origin of {e(genome)}", f"{degrees:.2f}&deg; ({e(how)})"))
            rows.append((f"terminus of {e(genome)}", f"{(degrees + 180.0) % 360.0:.2f}&deg;"))
    cells = "".join(f"<tr><th>{label}</th><td>{value}</td></tr>" for label, value in rows)
    return f"<table class='numbers'>{cells}</table>"


def blocks_html(view, blocks):
    head = ("<tr><th>block</th><th>orientation</th>"
            f"<th>{e(view.genome1)} from</th><th>to</th><th>{e(view.genome2)} from</th><th>to</th>"
            "<th>gene pairs</th><th>symmetric</th></tr>")
    rows = []
    for b in blocks:
        kind = " class='inverted'" if b["orientation"] == "-" else ""
        rows.append(f"<tr{kind}><td class='number'>{e(b['block'])}</td><td>{e(b['orientation'])}</td>"
                    + "".join(f"<td class='number'>{b[k]:.2f}&deg;</td>" for k in ("start1", "end1", "start2", "end2"))
                    + f"<td class='number'>{e(b['genes'])}</td><td>{e(b['symmetric'])}</td></tr>")
    return f"<table class='blocks'>{head}{''.join(rows)}</table>"
