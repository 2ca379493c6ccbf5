"""report.html, a front page holding no pictures, and one page per pair.

Reads only, inside the working directory: config.txt, genome_sizes.txt and
genome_origins.txt when present, plots/summary.tsv (checking that each of its
pairs is two of the run's genomes with its PNG beside it) and, when `blocks`
has run, blocks/summary.tsv and each pair's blocks/NAME1&NAME2.tsv. Writes
report.html, plots/NAME1&NAME2.html beside each plot, tree.nwk (the
clustering tree) and distances.tsv (1 - the measure, genome by genome). The
measure is the collinear share when blocks/summary.tsv is there, else the
share of closest pairs within 10 degrees.
"""
import os
import sys

from . import clustering, overview
from . import workdir as wd
from .inputs import ENCODING, KitError
from .plot import BLOCKS, PairBlocks

TREE = "tree.nwk"
DISTANCES = "distances.tsv"
PROGRESS_EVERY = 5000


def checked_rows(workdir, summary_path, sizes):
    """The summary's rows, each pair two genomes of the run (of sizes, when
    the run has a size table) whose plot lies inside workdir."""
    rows = wd.read_summary(summary_path)
    for row in rows:
        problem = wd.pair_problem(row["pair"], row["genome1"], row["genome2"], sizes or None)
        if problem:
            raise KitError(summary_path, problem, row["line"])
        image = wd.path_inside(workdir, os.path.join("plots", row["pair"] + ".png"))
        if not os.path.isfile(image):
            raise KitError(image, "the pair's plot is missing (run circog-kit plot)")
    return rows


def genomes_of(rows, sizes):
    names = set(sizes)
    for row in rows:
        names.update((row["genome1"], row["genome2"]))
    return sorted(names, key=lambda n: n.encode(ENCODING))


def origin_angles(workdir, sizes):
    """genome -> (origin angle, how found) for recorded origins of genomes
    with a known size."""
    return {name: (origin.position / int(sizes[name]) * 360.0, origin.how)
            for name, origin in wd.read_origins(workdir).items()
            if sizes.get(name, "").isdigit() and int(sizes[name]) > 0}


def pair_views(workdir, rows, found_blocks):
    """A PairView per summary row; with blocks every pair must have its row."""
    summary_path = os.path.join(workdir, BLOCKS, "summary.tsv")
    views = {}
    for row in rows:
        measures = None
        if found_blocks.rows:
            measures = found_blocks.rows.get(row["pair"])
            if measures is None:
                raise KitError(summary_path, f"no row for pair {row['pair']} of plots/summary.tsv "
                                             "(run circog-kit blocks again)")
            for share in ("collinear_share", "inverted_share"):
                if not 0.0 <= measures[share] <= 1.0:
                    raise KitError(summary_path, f"{share} of pair {row['pair']} is not a number "
                                                 "from 0 to 1")
        svg = os.path.isfile(os.path.join(workdir, "plots", row["pair"] + ".svg"))
        views[(row["genome1"], row["genome2"])] = overview.PairView(
            row["pair"], row["genome1"], row["genome2"], row["shared_cogs"], row["accepted_pairs"],
            row["share"], measures, has_svg=svg)
    return views


def write_report(workdir, progress=None):
    """Writes WORKDIR/report.html with its pair pages and exports; returns
    the front page's path."""
    progress = progress or sys.stderr
    settings = wd.read_config(workdir)
    sizes_path = os.path.join(workdir, wd.SIZES)
    sizes = wd.read_genome_sizes(sizes_path) if os.path.exists(sizes_path) else {}
    rows = checked_rows(workdir, os.path.join(workdir, "plots", "summary.tsv"), sizes)
    found_blocks = PairBlocks(workdir)
    views = pair_views(workdir, rows, found_blocks)
    genomes = genomes_of(rows, sizes)
    tree = clustering.cluster(genomes, {key: view.measure for key, view in views.items()})
    origins = origin_angles(workdir, sizes)
    files = [(TREE, "the clustering tree, Newick"),
             (DISTANCES, "1 &minus; the share, genome by genome, tab-separated"),
             ("plots/summary.tsv", "each pair's counts")]
    if found_blocks.rows:
        files.append((f"{BLOCKS}/summary.tsv", "each pair's blocks and inversions"))
    for number, view in enumerate(views.values(), start=1):
        if found_blocks.rows:
            _, view.blocks = found_blocks.of(view.pair)
        page = overview.pair_page(view, origins)
        view.blocks = None  # the front page needs only the numbers
        path = wd.path_inside(workdir, os.path.join("plots", view.pair + ".html"))
        wd.atomic_write(path, page.encode("utf-8"), sync=False)
        if number % PROGRESS_EVERY == 0 or number == len(views):
            print(f"report: {number}/{len(views)} pair pages", file=progress, flush=True)
    wd.atomic_write(os.path.join(workdir, TREE), clustering.newick(tree).encode(ENCODING))
    wd.atomic_write(os.path.join(workdir, DISTANCES), clustering.distances_tsv(tree).encode(ENCODING))
    run = overview.Run(tree, views, settings, sizes, origins, bool(found_blocks.rows), files)
    path = os.path.join(workdir, "report.html")
    wd.atomic_write(path, overview.front_page(run).encode("utf-8"))
    return path
