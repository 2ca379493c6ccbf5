"""Dot plots and the pair summary table from a finished circog run.

For every pair with result files: plots/NAME1&NAME2.png and .svg (first
genome's angles across, second's up; closest pairs as dots over every
accepted pair in a fainter shade) and one row of plots/summary.tsv.
"""
import io
import os
import sys
from dataclasses import dataclass

from . import workdir as wd
from .inputs import ENCODING, KitError, read_lines

SEPARATOR = (1001.0, 1001.0)  # circog's block separator in _mul.txt, no angle
NEAR_DEGREES = 10.0


@dataclass
class PairResult:
    pair: str
    genome1: str
    genome2: str
    closest: list       # (angle1, angle2) from _sin.txt
    accepted: list      # (angle1, angle2) from _mul.txt
    shared_cogs: int

    @property
    def share_near(self):
        if not self.closest:
            return 0.0
        return sum(circular_distance(a, b) <= NEAR_DEGREES for a, b in self.closest) / len(self.closest)

    def summary_row(self):
        return [self.pair, self.genome1, self.genome2, str(self.shared_cogs),
                str(len(self.accepted)), f"{self.share_near:.4f}"]


def circular_distance(first, second):
    """Degrees between two angles on the circle: 10 and 350 are 20 apart."""
    difference = abs(first - second) % 360.0
    return 360.0 - difference if difference > 180.0 else difference


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
    pairs = []
    for name in names:
        if not (name.startswith(start) and name.endswith("_mul.txt")):
            continue
        pair = name[len(start):-len("_mul.txt")]
        genome1, amp, genome2 = pair.partition("&")
        if not (amp and genome1 and genome2 and pair + "_sin.txt" in names):
            continue
        problem = wd.pair_problem(pair, genome1, genome2)
        if problem:
            print(f"warning: left out {os.path.join(folder, name)}: {problem}",
                  file=progress or sys.stderr)
            continue
        pairs.append((pair, genome1, genome2))
    return pairs


def read_angle_pairs(path, skip_separators=False):
    points = []
    for number, line in enumerate(read_lines(path), start=1):
        fields = line.split("\t")
        try:
            point = (float(fields[0]), float(fields[1]))
        except (ValueError, IndexError):
            raise KitError(path, "expected two angles separated by a tab", number) from None
        if not (skip_separators and point == SEPARATOR):
            points.append(point)
    return points


def load_pair(prefix, pair, genome1, genome2):
    base = prefix + pair
    cog_path = base + "_sin_COG.txt"
    cogs = set()
    if os.path.exists(cog_path):
        cogs = {line.split("\t")[2] for line in read_lines(cog_path) if line.count("\t") >= 2}
    closest = read_angle_pairs(base + "_sin.txt")
    return PairResult(pair, genome1, genome2, closest,
                      read_angle_pairs(base + "_mul.txt", skip_separators=True),
                      len(cogs) if os.path.exists(cog_path) else len(closest))


def draw(result, folder, pyplot):
    figure, axes = pyplot.subplots(figsize=(5.5, 5.5), dpi=100)
    if result.accepted:
        axes.scatter(*zip(*result.accepted), s=3, color="#9aa7b8", alpha=0.35, linewidths=0,
                     rasterized=True, label=f"accepted pairs ({len(result.accepted)})")
    if result.closest:
        size = 5 if len(result.closest) > 500 else 16  # few dots may be larger
        axes.scatter(*zip(*result.closest), s=size, color="#1f4e96", linewidths=0,
                     label=f"closest pair per COG ({len(result.closest)})")
    axes.set_xlim(0, 360)
    axes.set_ylim(0, 360)
    axes.set_xticks(range(0, 361, 60))
    axes.set_yticks(range(0, 361, 60))
    axes.set_aspect("equal")
    axes.set_xlabel(f"{result.genome1} (degrees)")
    axes.set_ylabel(f"{result.genome2} (degrees)")
    axes.set_title(f"{result.genome1} vs {result.genome2}: "
                   f"{result.share_near:.2%} within {NEAR_DEGREES:g}°", fontsize=10)
    if result.accepted or result.closest:
        axes.legend(loc="upper left", fontsize=8, markerscale=3, framealpha=0.9)
    figure.tight_layout()
    base = os.path.join(folder, result.pair)
    images = []
    for suffix, options in ((".png", {}), (".svg", {"metadata": {"Date": None}})):
        image = io.BytesIO()
        figure.savefig(image, format=suffix[1:], **options)
        images.append((base + suffix, image.getvalue()))
    pyplot.close(figure)
    for path, data in images:  # a plot can be drawn again: no need to wait for the disk
        wd.atomic_write(path, data, sync=False)


def plot_workdir(workdir, progress=None):
    """Draws every pair and writes summary.tsv; returns the pair results."""
    progress = progress or sys.stderr
    prefix = result_prefix(workdir)
    pairs = find_pairs(prefix, progress)
    results = [load_pair(prefix, *pair) for pair in pairs]
    folder = os.path.join(workdir, "plots")
    os.makedirs(folder, exist_ok=True)
    import matplotlib
    matplotlib.use("Agg")
    matplotlib.rcParams["svg.hashsalt"] = "circog"  # the same run gives the same SVG
    from matplotlib import pyplot
    for number, result in enumerate(results, start=1):
        print(f"plot {number}/{len(results)}: {result.pair}", file=progress, flush=True)
        draw(result, folder, pyplot)
    rows = [wd.SUMMARY_COLUMNS] + [r.summary_row() for r in results]
    text = "".join("\t".join(row) + "\n" for row in rows)
    wd.atomic_write(os.path.join(folder, "summary.tsv"), text.encode(ENCODING))
    return results
