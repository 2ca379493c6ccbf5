"""Dot plots and the pair summary table from a finished circog run.

For every pair with result files: plots/NAME1&NAME2.png (first genome's
angles across, second's up; closest pairs as dots over every accepted pair in
a fainter shade; with `blocks` run first, the pair's collinear and inverted
blocks beneath them; the origin and terminus of each genome with a recorded
origin), .svg on request, and one row of plots/summary.tsv. Pairs are drawn
one after another in one process; nothing of a pair is kept once it is drawn.
"""
import contextlib
import os
import sys
from dataclasses import dataclass

from . import dotplot, results
from . import workdir as wd
from .inputs import ENCODING, KitError

NEAR_DEGREES = results.NEAR_DEGREES
BLOCKS = "blocks"


@dataclass
class PairSummary:
    """One row of plots/summary.tsv."""
    pair: str
    genome1: str
    genome2: str
    shared_cogs: int
    accepted_pairs: int
    share_near: float

    def summary_row(self):
        return [self.pair, self.genome1, self.genome2, str(self.shared_cogs),
                str(self.accepted_pairs), f"{self.share_near:.4f}"]


def result_prefix(workdir):
    settings = wd.read_config(workdir)
    if "PairOutputPath" not in settings:
        raise KitError(os.path.join(workdir, "config.txt"), "no PairOutputPath setting")
    return wd.config_path(workdir, settings["PairOutputPath"])


def find_pairs(prefix, progress=None):
    """(pair, genome1, genome2) for every NAME1&NAME2_mul.txt with its
    _sin.txt beside it, in byte order; results whose names are not two
    genome names are left out with a warning."""
    folder, start = os.path.split(prefix)
    folder = folder or "."
    try:
        names = sorted(os.listdir(folder))
    except OSError as error:
        raise KitError(folder, f"cannot list the result directory ({error.strerror})") from None
    present = set(names)
    pairs = []
    for name in names:
        if not (name.startswith(start) and name.endswith("_mul.txt")):
            continue
        pair = name[len(start):-len("_mul.txt")]
        genome1, amp, genome2 = pair.partition("&")
        if not (amp and genome1 and genome2 and pair + "_sin.txt" in present):
            continue
        problem = wd.pair_problem(pair, genome1, genome2)
        if problem:
            print(f"warning: left out {os.path.join(folder, name)}: {problem}",
                  file=progress or sys.stderr)
            continue
        pairs.append((pair, genome1, genome2))
    return pairs


def load_pair(prefix, pair, genome1, genome2, accepted=None):
    """The pair's closest and accepted angle pairs and its summary; accepted
    when _mul.txt was read already."""
    base = prefix + pair
    closest = results.read_angle_pairs(base + "_sin.txt")
    if accepted is None:
        accepted = results.read_angle_pairs(base + "_mul.txt", skip_separators=True)
    cog_path = base + "_sin_COG.txt"
    shared = results.count_cogs(cog_path) if os.path.exists(cog_path) else len(closest)
    summary = PairSummary(pair, genome1, genome2, shared, len(accepted), results.share_near(closest))
    return closest, accepted, summary


def recorded_origins(workdir):
    """Origin angle of every genome whose origin is recorded and whose size
    is known; none without genome_origins.txt or a size table."""
    settings = wd.read_config(workdir)
    sizes_path = wd.config_path(workdir, settings.get("GenomeSizePath", ".\\" + wd.SIZES))
    origins = wd.read_origins(workdir)
    if not origins or not os.path.exists(sizes_path):
        return {}
    sizes = wd.read_genome_sizes(sizes_path)
    return {name: origin.position / int(sizes[name]) * 360.0 for name, origin in origins.items()
            if sizes.get(name, "").isdigit() and int(sizes[name]) > 0}


class PairBlocks:
    """The blocks `circog-kit blocks` found, when it has run: the summary row
    and the block table of each pair."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.rows = {}
        if os.path.exists(os.path.join(workdir, BLOCKS, "summary.tsv")):
            from . import blocks
            self.rows = {row["pair"]: row for row in blocks.read_block_summary(workdir)}

    def of(self, pair):
        """(summary row, block rows) of the pair, or (None, None)."""
        row = self.rows.get(pair)
        if row is None:
            return None, None
        from . import blocks
        return row, blocks.read_pair_blocks(self.workdir, pair)


def title(summary, measures):
    if measures is None:
        return (f"{summary.genome1} vs {summary.genome2}: "
                f"{summary.share_near:.2%} within {NEAR_DEGREES:g}°")
    inversions = measures["inversions"]
    return (f"{summary.genome1} vs {summary.genome2}: {measures['collinear_share']:.2%} collinear, "
            f"{inversions} inversion{'' if inversions == 1 else 's'}")


def plot_workdir(workdir, progress=None, svg=False, renderer=None, find_blocks=None):
    """Draws every pair and writes summary.tsv; returns the PairSummary of
    each pair. Without svg an SVG left by an earlier plot is removed, so no
    picture outlives the one that replaced it. find_blocks, (max_gap,
    min_genes), finds each pair's blocks first, as `circog-kit blocks` does
    and writing what it writes, in the same pass: the pair's result files
    and each genome's angle file are read once for both."""
    progress = progress or sys.stderr
    prefix = result_prefix(workdir)
    pairs = find_pairs(prefix, progress)
    finder, found = None, []
    if find_blocks is not None:
        from . import blocks
        finder = blocks.Finder(workdir, pairs, *find_blocks, progress=progress)
    folder = os.path.join(workdir, "plots")
    os.makedirs(folder, exist_ok=True)
    origins = recorded_origins(workdir)
    found_blocks = PairBlocks(workdir) if finder is None else None
    renderer = renderer or dotplot.Renderer()
    summaries = []
    for number, (pair, genome1, genome2) in enumerate(pairs, start=1):
        print(f"{'blocks and ' if finder else ''}plot {number}/{len(pairs)}: {pair}", file=progress,
              flush=True)
        accepted = None
        if finder is None:
            measures, block_rows = found_blocks.of(pair)
        else:
            result, accepted = finder.pair(pair, genome1, genome2)
            found.append(result)
            measures, block_rows = blocks.as_read(result)
        closest, accepted, summary = load_pair(prefix, pair, genome1, genome2, accepted)
        scene = dotplot.Scene(genome1, genome2, title(summary, measures), closest, accepted,
                              dotplot.blocks_from_rows(block_rows or []),
                              origins.get(genome1), origins.get(genome2))
        base = wd.path_inside(workdir, os.path.join("plots", pair))
        # a plot can be drawn again: no need to wait for the disk
        wd.atomic_write(base + ".png", renderer.png(scene), sync=False)
        if svg:
            wd.atomic_write(base + ".svg", renderer.svg(scene).encode("utf-8"), sync=False)
        else:
            with contextlib.suppress(FileNotFoundError):
                os.remove(base + ".svg")
        summaries.append(summary)
    if finder is not None:
        finder.write(found)
    rows = [wd.SUMMARY_COLUMNS] + [s.summary_row() for s in summaries]
    text = "".join("\t".join(row) + "\n" for row in rows)
    wd.atomic_write(os.path.join(folder, "summary.tsv"), text.encode(ENCODING))
    return summaries
