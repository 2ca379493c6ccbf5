"""Clustering, its exports, the front page and the pair pages."""
import csv
import io
import json
import re

import numpy as np
import pytest
from Bio import Phylo
from conftest import chromium, needs_chromium

from circogkit import clustering, overview
from circogkit.overview import PairView

# two close genomes, two fairly close ones, a pair between them far apart, and C without any pair
SHARES = {("A1", "A2"): 0.9, ("B1", "B2"): 0.8, ("A1", "B1"): 0.3, ("A1", "B2"): 0.3,
          ("A2", "B1"): 0.3, ("B2", "A2"): 0.3}
NAMES = ["B2", "A1", "C", "B1", "A2"]


def leaf_distance(tree, first, second):
    return tree.distance(next(tree.find_clades(name=first)), next(tree.find_clades(name=second)))


def test_related_genomes_sit_together_and_the_newick_tree_keeps_their_distances():
    tree = clustering.cluster(NAMES, SHARES)
    order = [tree.names[i] for i in tree.order]
    assert order[0] == "C" or order[4] == "C"
    others = [name for name in order if name != "C"]
    assert {frozenset(others[0:2]), frozenset(others[2:4])} == {frozenset({"A1", "A2"}), frozenset({"B1", "B2"})}
    parsed = Phylo.read(io.StringIO(clustering.newick(tree)), "newick")
    assert sorted(leaf.name for leaf in parsed.get_terminals()) == sorted(NAMES)
    # average linkage: A's at 0.1, B's at 0.2, the two groups at 0.7, C at 1
    assert leaf_distance(parsed, "A1", "A2") == pytest.approx(0.1)
    assert leaf_distance(parsed, "B2", "B1") == pytest.approx(0.2)
    assert leaf_distance(parsed, "A2", "B1") == pytest.approx(0.7)
    assert leaf_distance(parsed, "C", "A1") == pytest.approx(1.0)
    assert [leaf.name for leaf in parsed.get_terminals()] == order


def test_distance_table_reads_back_in_name_order():
    tree = clustering.cluster(NAMES, SHARES)
    rows = list(csv.reader(io.StringIO(clustering.distances_tsv(tree)), delimiter="\t"))
    assert rows[0] == ["genome", "A1", "A2", "B1", "B2", "C"]
    table = {row[0]: dict(zip(rows[0][1:], row[1:])) for row in rows[1:]}
    assert table["A1"]["A2"] == table["A2"]["A1"] == "0.1000"
    assert table["B2"]["A2"] == "0.7000" and table["C"]["B1"] == "1.0000" and table["C"]["C"] == "0.0000"


def test_odd_names_are_quoted_in_newick():
    names = ["a (b)", "plain_name-1.2", "x,y:z"]
    tree = clustering.cluster(names, {(names[0], names[1]): 0.5})
    text = clustering.newick(tree)
    assert "'a (b)'" in text and "'x,y:z'" in text and "plain_name-1.2:" in text
    parsed = Phylo.read(io.StringIO(text), "newick")
    assert sorted(leaf.name for leaf in parsed.get_terminals()) == sorted(names)
    assert clustering.newick_name("it's") == "'it''s'"   # a quote inside quotes is doubled


@pytest.mark.parametrize("names,expected", [([], ";\n"), (["Solo"], "Solo;\n")])
def test_runs_of_fewer_than_two_genomes_still_give_a_tree(names, expected):
    tree = clustering.cluster(names, {})
    assert clustering.newick(tree) == expected and tree.order == list(range(len(names)))
    assert clustering.dendrogram(tree) == []


def test_dendrogram_joins_each_merge_midway_at_its_height():
    tree = clustering.cluster(["A1", "A2", "B1", "B2"], SHARES)
    segments = clustering.dendrogram(tree)
    assert len(segments) == 3 * 3
    top = max(segments[2::3], key=lambda s: s[3])                          # the joins
    assert top[3] == pytest.approx(0.7) and sorted((top[0], top[2])) == [1.0, 3.0]
    assert all(p0 == p1 for p0, _, p1, _ in segments[0::3])                 # risers are upright


# ---------------------------------------------------------------- pages

HOSTILE = "Evil<script>alert(1)</script>&'\""


def views(shares, with_blocks=False):
    found = {}
    for (first, second), share in shares.items():
        measures = None
        if with_blocks:
            measures = {"collinear_share": share, "offset": 12.5, "blocks": 4, "inversions": 2,
                        "symmetric_inversions": 1, "inverted_share": 0.125}
        found[(first, second)] = PairView(f"{first}&{second}", first, second, "1858", "12729",
                                          share - 0.2, measures)
    return found


def make_run(shares, names, with_blocks=False):
    pairs = views(shares, with_blocks)
    tree = clustering.cluster(names, {key: view.measure for key, view in pairs.items()})
    return overview.Run(tree, pairs, {"PairOutputPath": ".\\out\\", "Key<b>": "v&lue"},
                        sizes={name: "4639675" for name in names},
                        origins={"A1": (301.25, "dnaA")}, with_blocks=with_blocks,
                        files=[("tree.nwk", "the tree")])


def test_front_page_links_every_pair_and_holds_no_image():
    page = overview.front_page(make_run(SHARES, NAMES, with_blocks=True))
    assert "<img" not in page and "base64" not in page
    links = re.findall(r"href='plots/([^']*)\.html'", page)
    assert sorted(set(links)) == sorted(f"{a}%26{b}" for a, b in SHARES)
    assert len(links) == 2 * len(SHARES)                                    # both halves of the matrix
    assert ">90.00%<small>2 inv.</small>" in page and "collinear share" in page
    assert page.count("<td class='none'") == 2 * 4                          # C has no pair
    assert "<td>Key&lt;b&gt;</td><td>v&amp;lue</td>" in page
    assert "301.25&deg; (dnaA)" in page and "<path d='M" in page


def test_every_value_reaching_a_page_is_escaped():
    shares = {(HOSTILE, "A1"): 0.5}
    run = make_run(shares, [HOSTILE, "A1"], with_blocks=True)
    run.pairs[(HOSTILE, "A1")].shared_cogs = "<b>1</b>"
    for page in (overview.front_page(run),
                 overview.pair_page(run.pairs[(HOSTILE, "A1")], {HOSTILE: (1.0, "<i>how</i>")})):
        assert "<script>alert" not in page and "<b>1" not in page and "<i>how" not in page
        assert "Evil&lt;script&gt;alert(1)&lt;/script&gt;&amp;&#x27;&quot;" in page


def canvas_data(page):
    text = re.search(r"<script type='application/json' id='run-data'>(.*?)</script>", page, re.S).group(1)
    return json.loads(text)


def test_many_genomes_are_drawn_from_compact_numbers(monkeypatch):
    monkeypatch.setattr(overview, "TABLE_LIMIT", 3)
    shares = dict(SHARES)
    shares[("A1", HOSTILE)] = 0.25
    page = overview.front_page(make_run(shares, NAMES + [HOSTILE], with_blocks=True))
    assert "<table class='matrix'>" not in page and "<canvas id='matrix' " in page
    data = canvas_data(page)
    names = data["names"]
    assert sorted(names) == sorted(NAMES + [HOSTILE])
    values = data["shares"].split(",")
    assert len(values) == len(names) * (len(names) - 1) // 2 == len(data["swapped"])

    def at(first, second):
        i, j = sorted((names.index(first), names.index(second)))
        return i * len(names) - i * (i + 1) // 2 + (j - i - 1)
    assert values[at("A1", "A2")] == "9000" and values[at("C", "A1")] == ""
    assert values[at(HOSTILE, "A1")] == "2500" and data["inversions"].split(",")[at("A1", "A2")] == "2"
    # the pair's name says which genome comes first: B2&A2 is stored with B2 first
    swapped = data["swapped"][at("B2", "A2")] == "1"
    assert swapped == (names.index("A2") < names.index("B2"))


def test_pair_page_lists_inversions_with_their_symmetry():
    view = views({("A1", "A2"): 0.9}, with_blocks=True)[("A1", "A2")]
    view.blocks = [
        {"block": "1", "orientation": "+", "start1": 0.0, "end1": 250.0, "start2": 1.0, "end2": 251.0,
         "genes": "2900", "symmetric": ""},
        {"block": "2", "orientation": "-", "start1": 270.5, "end1": 330.25, "start2": 330.0,
         "end2": 271.0, "genes": "300", "symmetric": "yes"}]
    view.has_svg = True
    page = overview.pair_page(view, {"A1": (301.25, "dnaA"), "A2": (5.0, "default")})
    assert "<img src='A1%26A2.png'" in page and "href='A1%26A2.svg'" in page
    assert "href='../report.html'" in page
    inversions = page[page.index("<h2>1 inversion</h2>"):page.index("<details>")]
    assert "270.50&deg;" in inversions and ">yes<" in inversions and "250.00" not in inversions
    assert "All 2 blocks" in page and "90.00%" in page and "12.50&deg;" in page
    assert "301.25&deg; (dnaA)</td></tr><tr><th>terminus of A1</th><td>121.25&deg;" in page


@needs_chromium
def test_front_page_in_a_browser_looks_like_a_coloured_matrix_with_its_tree(tmp_path):
    (tmp_path / "report.html").write_text(overview.front_page(make_run(SHARES, NAMES, with_blocks=True)))
    shot = tmp_path / "shot.png"
    chromium(tmp_path / "profile", f"--screenshot={shot}", "--window-size=900,700",
             f"file://{tmp_path / 'report.html'}")
    from PIL import Image
    pixels = np.asarray(Image.open(shot).convert("RGB")).astype(int)
    coloured = (pixels.max(axis=2) - pixels.min(axis=2) > 40) & (pixels.min(axis=2) > 90)  # pale cells
    green = coloured & (pixels[:, :, 1] > pixels[:, :, 0] + 40)
    assert green.sum() > 4 * 1500 and (coloured & ~green).sum() > 8 * 1500  # cells near and far
    rows = np.nonzero(coloured.any(axis=1))[0]
    rows = max(np.split(rows, np.nonzero(np.diff(rows) > 5)[0] + 1), key=len)   # the matrix's rows
    left = np.nonzero(coloured[rows].any(axis=0))[0].min()
    assert (pixels[rows.min():rows.max(), :left - 60].sum(axis=2) < 450).sum() > 200   # the tree's lines


HOVER = """<script>
window.addEventListener('load', function () {  // location.hash: #row,column[,click]
  var c = document.getElementById('matrix'), box = c.getBoundingClientRect(), at = location.hash.slice(1).split(',');
  var cell = +c.dataset.cell, x = box.left + +c.dataset.left + (+at[1] + 0.5) * cell;
  var y = box.top + +c.dataset.top + (+at[0] + 0.5) * cell;
  c.dispatchEvent(new MouseEvent('mousemove', {clientX: x, clientY: y, bubbles: true}));
  document.body.setAttribute('data-tip', document.getElementById('tip').textContent);
  if (at[2]) c.dispatchEvent(new MouseEvent('click', {clientX: x, clientY: y, bubbles: true}));
});
</script></body>"""


@needs_chromium
def test_a_canvas_cell_names_its_pair_and_opens_its_page(tmp_path, monkeypatch):
    monkeypatch.setattr(overview, "TABLE_LIMIT", 3)
    run = make_run(SHARES, NAMES, with_blocks=True)
    page = overview.front_page(run)
    (tmp_path / "plots").mkdir()
    for view in run.pairs.values():
        (tmp_path / "plots" / f"{view.pair}.html").write_text(overview.pair_page(view))
    (tmp_path / "report.html").write_text(page.replace("</body>", HOVER))
    names = [run.tree.names[i] for i in run.tree.order]
    row, column = next((i, j) for i in range(5) for j in range(5) if run.pair_of(names[i], names[j])
                       and i != j and names[i] > names[j])          # one whose name is the other way round
    url = f"file://{tmp_path / 'report.html'}#{row},{column}"
    dom = chromium(tmp_path / "p1", "--dump-dom", url).stdout
    tip = re.search(r'data-tip="([^"]*)"', dom).group(1).replace("&amp;", "&")
    view = run.pair_of(names[row], names[column])
    assert tip == f"{names[row]} & {names[column]}: {view.measure * 100:.2f}% collinear, 2 inversions"
    dom = chromium(tmp_path / "p2", "--dump-dom", url + ",click").stdout
    assert f"<h1>{view.genome1} &amp; {view.genome2}</h1>" in dom
    dom = chromium(tmp_path / "p3", "--dump-dom", url.replace(f"#{row},{column}", f"#{row},{row}")).stdout
    assert 'data-tip=""' in dom                                       # the diagonal is no pair
