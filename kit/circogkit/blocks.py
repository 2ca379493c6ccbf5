"""Collinear blocks, inversions and their symmetry about the origin of
replication, for every pair of a finished circog run.

A block is a run of genes whose positions follow each other in both
genomes, the same way round or reversed, with small gaps allowed, found on
each genome's circle whatever its start and strand. Genes are counted by
rank: the genes of a genome that have an accepted partner in the pair,
sorted by angle. The analysis works on those ranks alone (pure functions
on arrays), then the blocks are described in degrees again.

Writes blocks/NAME1&NAME2.tsv (one row per block) and blocks/summary.tsv
(one row per pair).
"""
import math
import os
import sys
import zlib
from dataclasses import dataclass

import numpy as np

from . import plot
from . import workdir as wd
from .inputs import ENCODING, KitError, read_lines

DEFAULT_MAX_GAP = 8
DEFAULT_MIN_GENES = 5
SYMMETRY_DEGREES = 5.0
FOLDER = "blocks"
SEPARATOR = "1001"
PAIR_COLUMNS = ["block", "orientation", "start1", "end1", "start2", "end2", "genes", "symmetric"]
SUMMARY_COLUMNS = ["pair", "genome1", "genome2", "offset", "collinear_share", "blocks",
                   "inversions", "symmetric_inversions", "inverted_share"]


# ---------------------------------------------------------------- chains on ranks

# A chain scores GENE per gene pair, less SKIP per rank skipped between
# neighbours, plus a few bits from the pair's identity (its genes' protein
# identifiers), so that chains of equal length and gaps are told apart the
# same way whichever start or strand either genome was deposited with.
GENE = 1 << 44
SKIP = 1 << 26
TIE_BITS = 12


def shared_ranks(angles, used):
    """Rank on the circle of every gene that has a partner (used[i]), by
    angle, equal angles in file order; -1 for the others. Returns (ranks, n)."""
    order = np.argsort(angles, kind="stable")
    order = order[used[order]]
    ranks = np.full(len(angles), -1, dtype=np.int64)
    ranks[order] = np.arange(len(order))
    return ranks, len(order)


def circular_links(x, y, n1, n2, span):
    """Every pair of points (src, tgt) that may be neighbours in a chain:
    tgt lies 1 to span ranks after src in x on a circle of n1, and in y on a
    circle of n2. Returns arrays src, tgt, dx, dy."""
    width = 2 * n2
    # Each point twice, at y and y + n2, so a range of y through rank 0 is one range.
    keys = np.concatenate([x * width + y, x * width + y + n2])
    order = np.argsort(keys, kind="stable")
    keys = keys[order]
    owner = order % len(x)
    found = []
    for dx in range(1, min(span, n1 - 1) + 1):
        base = (x + dx) % n1 * width + y
        low = np.searchsorted(keys, base + 1, "left")
        counts = np.searchsorted(keys, base + min(span, n2 - 1), "right") - low
        if counts.any():
            src = np.repeat(np.arange(len(x)), counts)
            at = np.arange(int(counts.sum())) - np.repeat(np.cumsum(counts) - counts, counts)
            found.append((src, owner[at + np.repeat(low, counts)], dx))
    if not found:
        empty = np.zeros(0, np.int64)
        return empty, empty, empty, empty
    src = np.concatenate([s for s, _, _ in found])
    tgt = np.concatenate([t for _, t, _ in found])
    dx = np.concatenate([np.full(len(s), d, np.int64) for s, _, d in found])
    return src, tgt, dx, (y[tgt] - y[src]) % n2


def run_lengths(x, y, n1, n2):
    """Length of the run of strictly adjacent points (next rank in both
    genomes, on their circles) that each point lies in; y already turned to
    the orientation wanted."""
    count = len(x)
    keys = x * n2 + y
    order = np.argsort(keys, kind="stable")
    wanted = (x + 1) % n1 * n2 + (y + 1) % n2
    at = np.minimum(np.searchsorted(keys[order], wanted), count - 1)
    # Each point has at most one next and one previous point: runs are
    # paths, or circles. Steps to a run's ends by doubling the jumps.
    nexts = np.where(keys[order][at] == wanted, order[at], count)
    previous = np.full(count + 1, count)
    previous[nexts[nexts < count]] = np.flatnonzero(nexts < count)
    length = np.ones(count, dtype=np.int64)
    for jumps in (np.append(nexts, count), previous):
        steps = np.append((jumps[:count] < count).astype(np.int64), 0)
        for _ in range(max(1, count.bit_length())):
            steps = steps + steps[jumps]
            jumps = jumps[jumps]
        length += steps[:count]
    circling = np.flatnonzero(jumps[:count] < count)  # never reached an end
    length[circling] = _circle_lengths(circling, nexts)
    return length


def _circle_lengths(points, nexts):
    lengths, seen = {}, set()
    for start in points.tolist():
        if start in seen:
            continue
        circle, point = [start], int(nexts[start])
        while point != start:
            circle.append(point)
            point = int(nexts[point])
        seen.update(circle)
        lengths.update(dict.fromkeys(circle, len(circle)))
    return np.array([lengths[p] for p in points.tolist()], dtype=np.int64)


def choose_cut(x, n1, src, dx, rank_keys):
    """The rank where genome 1's circle is opened: right after a place that
    no link crosses (between two blocks) when there is one, else after one
    that the fewest cross; among those, the place whose flanking genes have
    the smallest keys, so it is the same place whatever the start and
    strand. Returns (rank, whether no link crosses)."""
    ends = x[src] + dx
    cover = np.cumsum(np.bincount(x[src], minlength=2 * n1) - np.bincount(ends, minlength=2 * n1))
    cover = cover[:n1] + cover[n1:2 * n1]  # place r lies between ranks r and r + 1
    fewest = cover.min()
    places = np.flatnonzero(cover == fewest).tolist()
    place = min(places, key=lambda r: sorted((rank_keys[r], rank_keys[(r + 1) % n1])))
    return (place + 1) % n1, fewest == 0


def _best_paths(own, before, after, skipped):
    """Best chain score at each point reaching it from one side, and the
    neighbour on that side (-1 at a chain's end). Links come ordered so
    that every before point is final when its links are used."""
    best = list(own)
    link = [-1] * len(own)
    for b, a, k in zip(before, after, skipped):
        score = best[b] + own[a] - k
        if score > best[a]:
            best[a] = score
            link[a] = b
    return best, link


def _orientation_paths(x, y, n2, src, tgt, dx, dy, own):
    """(through, back, ahead) per point: the best chain through it, and its
    neighbours on that chain; x already opened at the cut."""
    keep = x[tgt] > x[src]
    src, tgt, dx, dy = src[keep], tgt[keep], dx[keep], dy[keep]
    skips = (dx + dy - 2) * SKIP
    forward = np.lexsort((dy, dx, x[tgt]))
    backward = np.lexsort((dy, dx, -x[src]))
    up, back = _best_paths(own, src[forward].tolist(), tgt[forward].tolist(), skips[forward].tolist())
    down, ahead = _best_paths(own, tgt[backward].tolist(), src[backward].tolist(),
                              skips[backward].tolist())
    through = [u + d - o for u, d, o in zip(up, down, own)]
    return through, back, ahead


def find_chains(x, y, n1, n2, max_gap, min_genes, point_keys=None, rank_keys=None):
    """Chains of points (x, y: ranks of each point's genes on circles of n1
    and n2) that follow each other in both genomes with at most max_gap
    ranks skipped between neighbours, in either orientation, a gene in at
    most one chain. point_keys (ints) and rank_keys (genome 1's ranks,
    comparable) name points and genes the same way in a rotated or
    mirrored copy; by default their positions do.
    Returns [(orientation +1 or -1, point indices in genome 1's order)] for
    chains of at least min_genes points, best chains first; a chain may run
    through rank 0 of genome 1, or round the whole circle."""
    if len(x) == 0:
        return []
    x = np.asarray(x, dtype=np.int64)
    y = np.asarray(y, dtype=np.int64)
    point_keys = np.zeros(len(x), np.int64) if point_keys is None else np.asarray(point_keys)
    rank_keys = list(range(n1)) if rank_keys is None else rank_keys
    span = max_gap + 1
    own = (GENE + (point_keys % (1 << TIE_BITS))).tolist()
    # A point in a longer run of adjacent genes one way round than the other
    # belongs to that orientation: a block around a short inversion cannot
    # then take the inversion's middle gene, which lies in place.
    runs = {o: run_lengths(x, (o * y) % n2, n1, n2) for o in (1, -1)}
    links = {}
    for o in (1, -1):
        allowed = runs[o] >= runs[-o]
        src, tgt, dx, dy = circular_links(x, (o * y) % n2, n1, n2, span)
        keep = allowed[src] & allowed[tgt]
        links[o] = (src[keep], tgt[keep], dx[keep], dy[keep])
    every = [np.concatenate([links[o][i] for o in (1, -1)]) for i in (0, 2)]
    cut, clean = choose_cut(x, n1, every[0], every[1], rank_keys)
    opened = (x - cut) % n1
    paths = {o: _orientation_paths(opened, (o * y) % n2, n2, *links[o], own) for o in (1, -1)}
    through = np.array(paths[1][0] + paths[-1][0], dtype=np.int64)
    count = len(x)
    order = np.lexsort((np.repeat([0, 1], count), np.tile(np.arange(count), 2),
                        np.tile(point_keys, 2), -through))
    # A chain scores about GENE per point: points on no chain of min_genes
    # need not be tried, unless they may go on across the cut.
    worth = through[order] >= (min_genes - 1) * GENE + GENE // 2
    if not clean:
        worth |= np.tile((opened < span) | (opened >= n1 - span), 2)[order]
    ranks1, ranks2 = x.tolist(), y.tolist()
    used, used1, used2 = [False] * count, [False] * n1, [False] * n2

    def free(point):
        return point != -1 and not (used[point] or used1[ranks1[point]] or used2[ranks2[point]])

    chains = []
    for at in order[worth].tolist():
        point, orientation = (at, 1) if at < count else (at - count, -1)
        if not free(point):
            continue
        _, back, ahead = paths[orientation]
        chain = [point]
        while free(back[chain[-1]]):
            chain.append(back[chain[-1]])
        chain.reverse()
        while free(ahead[chain[-1]]):
            chain.append(ahead[chain[-1]])
        # Without a clean cut, short chains beside it may go on across it.
        if len(chain) >= min_genes or (not clean and (opened[chain[0]] < span or
                                                      opened[chain[-1]] >= n1 - span)):
            chains.append((orientation, chain))
            for point in chain:
                used[point] = used1[ranks1[point]] = used2[ranks2[point]] = True
    if not clean:
        chains = _join_across_cut(chains, opened, y, n1, n2, span, cut)
    return [(o, c) for o, c in chains if len(c) >= min_genes]


def _join_across_cut(chains, x, y, n1, n2, span, cut):
    """Joins a chain ending just before the cut with one starting just after
    it when their ends may follow each other; a chain that follows itself
    runs round the whole circle."""
    heads = [i for i, (_, c) in enumerate(chains) if x[c[0]] < span]
    tails = [i for i, (_, c) in enumerate(chains) if x[c[-1]] >= n1 - span]
    candidates = []
    for t in tails:
        orientation, last = chains[t][0], chains[t][1][-1]
        for h in heads:
            first = chains[h][1][0]
            dy = (orientation * (y[first] - y[last])) % n2
            if chains[h][0] == orientation and 1 <= x[first] + n1 - x[last] <= span and 1 <= dy <= span:
                candidates.append((-(len(chains[t][1]) + len(chains[h][1])), t, h))
    following, preceding = {}, {}
    for _, t, h in sorted(candidates):
        if t not in following and h not in preceding:
            following[t], preceding[h] = h, t
    joined, seen = [], set()
    starts = [i for i in range(len(chains)) if i not in preceding]
    rings = sorted((i for i in preceding if i in following), key=lambda i: x[chains[i][1][0]])
    for start in starts + rings:
        if start in seen:
            continue
        points, i = [], start
        while i is not None and i not in seen:
            seen.add(i)
            points.extend(chains[i][1])
            i = following.get(i)
        if i is not None:  # round the whole circle: from genome 1's first gene
            first = min(range(len(points)), key=lambda k: (x[points[k]] + cut) % n1)
            points = points[first:] + points[:first]
        joined.append((chains[start][0], points))
    return joined


# ---------------------------------------------------------------- measures in degrees

def circular_median(values):
    """Median of angles in degrees, taken on the half circle either side of
    their mean direction; in [0, 360)."""
    values = np.asarray(values, dtype=float)
    radians = np.radians(values)
    centre = math.degrees(math.atan2(np.sin(radians).mean(), np.cos(radians).mean()))
    spread = (values - centre + 180.0) % 360.0 - 180.0
    return float((centre + np.median(spread)) % 360.0)


def signed_degrees(value):
    """An angle difference folded into [-180, 180)."""
    return (value + 180.0) % 360.0 - 180.0


@dataclass
class Block:
    orientation: str   # '+' with the pair's dominant orientation, '-' against it
    start1: float
    end1: float
    start2: float
    end2: float
    genes: int
    symmetric: str     # 'yes' or 'no' for '-' blocks, '' for '+' ones


@dataclass
class PairBlocks:
    pair: str
    genome1: str
    genome2: str
    shared_cogs: int
    offset: float      # None without a block
    collinear_share: float
    inverted_share: float
    blocks: list

    @property
    def inversions(self):
        return sum(b.orientation == "-" for b in self.blocks)

    @property
    def symmetric_inversions(self):
        return sum(b.symmetric == "yes" for b in self.blocks)


def _gene_keys(genome):
    """A number per gene from its protein identifier, the same in a rotated
    or mirrored copy of the genome."""
    return np.array([zlib.crc32(p.encode(ENCODING)) for p in genome.proteins], dtype=np.int64)


def analyse_pair(first, second, genes1, genes2, origin1, origin2,
                 max_gap=DEFAULT_MAX_GAP, min_genes=DEFAULT_MIN_GENES, names=("", "", "")):
    """Blocks and measures of one pair. first, second: the genomes' angle
    files; genes1, genes2: the gene indices of each accepted pair; origin1,
    origin2: the origins' angles."""
    genes1 = np.asarray(genes1, dtype=np.int64)
    genes2 = np.asarray(genes2, dtype=np.int64)
    ranks1, n1 = shared_ranks(first.angles, np.bincount(genes1, minlength=len(first.angles)) > 0)
    ranks2, n2 = shared_ranks(second.angles, np.bincount(genes2, minlength=len(second.angles)) > 0)
    point_keys = (_gene_keys(first)[genes1] * 65599 + _gene_keys(second)[genes2]) & 0x7FFFFFFF
    rank_keys = [""] * n1
    for gene in np.flatnonzero(ranks1 >= 0).tolist():
        rank_keys[ranks1[gene]] = first.proteins[gene]
    chains = find_chains(ranks1[genes1], ranks2[genes2], n1, n2, max_gap, min_genes,
                         point_keys, rank_keys)
    in_plus = sum(len(c) for o, c in chains if o == 1)
    dominant = 1 if in_plus * 2 >= sum(len(c) for _, c in chains) else -1
    angles1, angles2, cogs1 = first.angles[genes1], second.angles[genes2], first.cogs
    blocks, in_block, inverted, along = [], set(), set(), []
    for orientation, chain in chains:
        cogs = {cogs1[g] for g in genes1[chain].tolist()}
        in_block |= cogs
        a1, a2 = angles1[chain], angles2[chain]
        block = Block("+" if orientation == dominant else "-", float(a1[0]), float(a1[-1]),
                      float(a2[0]), float(a2[-1]), len(chain), "")
        if orientation == dominant:
            along.append(a2 - dominant * a1)
        else:
            inverted |= cogs
            # A gene d1 degrees from genome 1's origin lies d2 from genome 2's
            # (counted along the dominant orientation); an inversion about the
            # origin or the terminus moves it to d2 = -d1. Its axis lies
            # (d1 + d2) / 2 from the origin-terminus line.
            turn = circular_median((a1 - origin1) + dominant * (a2 - origin2))
            block.symmetric = "yes" if abs(signed_degrees(turn)) / 2.0 <= SYMMETRY_DEGREES else "no"
        blocks.append(block)
    blocks.sort(key=lambda b: (b.start1, b.start2))
    shared = len({cogs1[g] for g in genes1.tolist()})
    return PairBlocks(*names, shared_cogs=shared,
                      offset=circular_median(np.concatenate(along)) if along else None,
                      collinear_share=len(in_block) / shared if shared else 0.0,
                      inverted_share=len(inverted) / shared if shared else 0.0,
                      blocks=blocks)


# ---------------------------------------------------------------- reading a run

@dataclass
class AngleFile:
    """A genome's genes in angle-file order."""
    path: str
    cogs: list
    texts: list        # each angle as printed, which the result files repeat
    angles: np.ndarray
    proteins: list


def angle_file(cogs, angles, proteins=None, path=""):
    """An AngleFile from values (angles printed like circog's %g)."""
    texts = [f"{a:g}" for a in angles]
    return AngleFile(path, list(cogs), texts, np.array(texts, dtype=float),
                     list(proteins) if proteins is not None else [str(i) for i in range(len(texts))])


def read_angle_file(path):
    cogs, texts, proteins = [], [], []
    for number, line in enumerate(read_lines(path), start=1):
        fields = line.split("\t")
        if len(fields) < 2:
            raise KitError(path, "expected COG identifier, angle and protein identifier", number)
        cogs.append(fields[0])
        texts.append(fields[1])
        proteins.append(fields[2] if len(fields) > 2 else "")
    try:
        angles = np.array(texts, dtype=float)
    except ValueError:
        number = next(n for n, t in enumerate(texts, start=1) if not _is_number(t))
        raise KitError(path, f"angle '{texts[number - 1]}' is not a number", number) from None
    return AngleFile(path, cogs, texts, angles, proteins)


def _is_number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def read_accepted(path):
    """The accepted pairs of _mul.txt grouped by first-genome gene:
    [(line, angle1 text, [angle2 texts])]."""
    pairs = [line.split("\t") for line in read_lines(path)]
    entries, current = [], None
    for number, pair in enumerate(pairs, start=1):
        if len(pair) != 2:
            raise KitError(path, "expected two angles separated by a tab", number)
        first, second = pair
        if first == SEPARATOR and second == SEPARATOR:
            current = None
        elif current is not None and current[1] == first:
            current[2].append(second)
        else:
            current = (number, first, [second])
            entries.append(current)
    return entries


def match_genes(entries, genome1, genome2, mul_path):
    """Gene indices (genes1, genes2) of every accepted pair. Entries follow
    genome 1's angle file, each partner list genome 2's among the genes of
    the same COG identifier, so genes at one printed angle are told apart
    by order and identifier."""
    by_text = {}
    for index, text in enumerate(genome1.texts):
        by_text.setdefault(text, []).append(index)
    by_cog = {}  # COG identifier -> (genome 2's genes with it, their angle texts)
    for index, (cog, text) in enumerate(zip(genome2.cogs, genome2.texts)):
        genes, texts = by_cog.setdefault(cog, ([], []))
        genes.append(index)
        texts.append(text)
    genes1, genes2, last = [], [], -1
    for number, text, partners in entries:
        for gene in by_text.get(text, ()):
            if gene <= last:
                continue
            found = _partners(by_cog.get(genome1.cogs[gene], ((), ())), partners)
            if found is not None:
                break
        else:
            raise KitError(mul_path, f"angle {text} and its partners match no gene of "
                                     f"{genome1.path} and {genome2.path} (run circog again?)", number)
        last = gene
        genes1.extend([gene] * len(found))
        genes2.extend(found)
    return genes1, genes2


def _partners(candidates, partners):
    """The candidates, in order, whose angle texts are the partners' texts."""
    genes, texts = candidates
    found, position = [], 0
    try:
        for text in partners:
            position = texts.index(text, position) + 1
            found.append(genes[position - 1])
    except ValueError:
        return None
    return found


def origin_angles(workdir, settings, names, warn):
    """Origin angle of every named genome, from genome_origins.txt and the
    size table; a genome without a recorded origin gets position 1 and a
    note through warn."""
    sizes_path = wd.config_path(workdir, settings.get("GenomeSizePath", ".\\" + wd.SIZES))
    sizes = wd.read_genome_sizes(sizes_path) if names else {}
    angles = {}
    for name, origin in wd.origins_of(workdir, names).items():
        if not origin.recorded:
            warn(wd.missing_origin_note(name))
        if not sizes.get(name, "").isdigit() or int(sizes[name]) == 0:
            raise KitError(sizes_path, f"no length for genome {name}" if name not in sizes
                           else f"length of genome {name} is not a whole number above 0")
        angles[name] = origin.position / int(sizes[name]) * 360.0
    return angles


# ---------------------------------------------------------------- writing

def degrees_text(value):
    text = f"{round(value % 360.0, 2) + 0.0:.2f}"
    return "0.00" if text == "360.00" else text


def share_text(value):
    return f"{value:.4f}"


def pair_table(result):
    rows = ["\t".join(PAIR_COLUMNS)]
    for number, b in enumerate(result.blocks, start=1):
        rows.append("\t".join([str(number), b.orientation, degrees_text(b.start1), degrees_text(b.end1),
                               degrees_text(b.start2), degrees_text(b.end2), str(b.genes), b.symmetric]))
    return "\n".join(rows) + "\n"


def summary_row(result):
    return "\t".join([result.pair, result.genome1, result.genome2,
                      "" if result.offset is None else degrees_text(result.offset),
                      share_text(result.collinear_share), str(len(result.blocks)),
                      str(result.inversions), str(result.symmetric_inversions),
                      share_text(result.inverted_share)])


def summary_table(results):
    return "".join(line + "\n" for line in ["\t".join(SUMMARY_COLUMNS)] + [summary_row(r) for r in results])


# ---------------------------------------------------------------- the command

def angle_path(workdir, settings, name):
    for key in ("AnglePath", "AngleFormat"):
        if key not in settings:
            raise KitError(os.path.join(workdir, "config.txt"), f"no {key} setting")
    return wd.config_path(workdir, settings["AnglePath"]) + name + settings["AngleFormat"]


def blocks_workdir(workdir, max_gap=DEFAULT_MAX_GAP, min_genes=DEFAULT_MIN_GENES, progress=None):
    """Finds the blocks of every pair with result files and writes
    blocks/; returns the PairBlocks in pair order."""
    progress = progress or sys.stderr
    settings = wd.read_config(workdir)
    prefix = plot.result_prefix(workdir)
    pairs = plot.find_pairs(prefix, progress)
    genomes = sorted({name for _, g1, g2 in pairs for name in (g1, g2)})
    origins = origin_angles(workdir, settings, genomes,
                            lambda text: print(text, file=progress, flush=True))
    angle_files = {}
    results = []
    for number, (pair, genome1, genome2) in enumerate(pairs, start=1):
        print(f"blocks {number}/{len(pairs)}: {pair}", file=progress, flush=True)
        for name in (genome1, genome2):
            if name not in angle_files:
                angle_files[name] = read_angle_file(angle_path(workdir, settings, name))
        first, second = angle_files[genome1], angle_files[genome2]
        mul_path = prefix + pair + "_mul.txt"
        genes1, genes2 = match_genes(read_accepted(mul_path), first, second, mul_path)
        results.append(analyse_pair(first, second, genes1, genes2, origins[genome1],
                                    origins[genome2], max_gap, min_genes, (pair, genome1, genome2)))
    folder = os.path.join(workdir, FOLDER)
    os.makedirs(folder, exist_ok=True)
    # Blocks can be found again: no need to wait for the disk.
    for result in results:
        wd.atomic_write(os.path.join(folder, result.pair + ".tsv"), pair_table(result).encode(ENCODING),
                        sync=False)
    _remove_stale(folder, {r.pair for r in results})
    wd.atomic_write(os.path.join(folder, "summary.tsv"), summary_table(results).encode(ENCODING),
                    sync=False)
    return results


def _remove_stale(folder, pairs):
    """A pair table left by an earlier run whose pair has no results now."""
    for name in os.listdir(folder):
        if name.endswith(".tsv") and "&" in name and name[:-4] not in pairs:
            os.remove(os.path.join(folder, name))


# ---------------------------------------------------------------- readers for plots and reports

def _read_table(path, columns):
    lines = read_lines(path)
    if not lines or lines[0].split("\t") != columns:
        raise KitError(path, "header must be: " + " ".join(columns), 1)
    rows = []
    for number, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(columns):
            raise KitError(path, f"expected {len(columns)} columns, found {len(fields)}", number)
        rows.append((number, dict(zip(columns, fields))))
    return rows


def _typed(path, number, row, kinds):
    for key, kind in kinds.items():
        if key == "offset" and row[key] == "":  # a pair without blocks
            row[key] = None
            continue
        try:
            row[key] = kind(row[key])
        except ValueError:
            raise KitError(path, f"{key} '{row[key]}' is not a number", number) from None
    return row


def read_block_summary(workdir):
    """Rows of blocks/summary.tsv as dicts, numbers converted (offset None
    for a pair without blocks)."""
    path = os.path.join(workdir, FOLDER, "summary.tsv")
    kinds = {"offset": float, "collinear_share": float, "blocks": int, "inversions": int,
             "symmetric_inversions": int, "inverted_share": float}
    rows = []
    for number, row in _read_table(path, SUMMARY_COLUMNS):
        problem = wd.pair_problem(row["pair"], row["genome1"], row["genome2"])
        if problem:
            raise KitError(path, problem, number)
        rows.append(_typed(path, number, row, kinds))
    return rows


def read_pair_blocks(workdir, pair):
    """The block rows of one pair (blocks/PAIR.tsv) as dicts, numbers
    converted; pair must be a checked pair name (a row of the summary)."""
    kinds = {"block": int, "start1": float, "end1": float, "start2": float, "end2": float,
             "genes": int}
    path = wd.path_inside(workdir, os.path.join(FOLDER, pair + ".tsv"))
    return [_typed(path, n, r, kinds) for n, r in _read_table(path, PAIR_COLUMNS)]


def read_blocks(workdir):
    """{pair: [block rows as dicts]} for every pair of blocks/summary.tsv,
    read from blocks/PAIR.tsv, numbers converted."""
    return {row["pair"]: read_pair_blocks(workdir, row["pair"]) for row in read_block_summary(workdir)}
