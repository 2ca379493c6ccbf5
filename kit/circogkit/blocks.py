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
import functools
import itertools
import math
import os
import sys
import zlib
from dataclasses import dataclass

import numpy as np

from . import plot, results
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
# the numbers of each file's columns, as the readers convert them
PAIR_KINDS = {"block": int, "start1": float, "end1": float, "start2": float, "end2": float, "genes": int}
SUMMARY_KINDS = {"offset": float, "collinear_share": float, "blocks": int, "inversions": int,
                 "symmetric_inversions": int, "inverted_share": float}


# ---------------------------------------------------------------- chains on ranks

# A chain scores GENE per gene pair, less SKIP per rank skipped between
# neighbours, plus a few bits from the pair's identity (its genes' protein
# identifiers), so that chains of equal length and gaps are told apart the
# same way whichever start or strand either genome was deposited with.
GENE = 1 << 44
SKIP = 1 << 26
TIE_BITS = 12


def shared_ranks(angles, used, order=None):
    """Rank on the circle of every gene that has a partner (used[i]), by
    angle, equal angles in file order; -1 for the others. order: the genes
    sorted so, when known. Returns (ranks, n)."""
    order = np.argsort(angles, kind="stable") if order is None else order
    order = order[used[order]]
    ranks = np.full(len(angles), -1, dtype=np.int64)
    ranks[order] = np.arange(len(order))
    return ranks, len(order)


def run_lengths(x, y, n1, n2):
    """Length of the run of strictly adjacent points (next rank in both
    genomes, on their circles) that each point lies in; y already turned to
    the orientation wanted."""
    count = len(x)
    if count == 0:
        return np.zeros(0, dtype=np.int64)
    x, y = np.asarray(x, dtype=np.int64), np.asarray(y, dtype=np.int64)
    # Along a run both ranks grow by one, so y - x (on genome 2's circle)
    # stays put until genome 1's circle closes: a run is a stretch of
    # consecutive x on one diagonal, continued from rank n1 - 1 to rank 0.
    diagonal = (y - x) % n2
    order = np.argsort(diagonal * n1 + x, kind="stable")
    xs, ds = x[order], diagonal[order]
    starts = np.ones(count, dtype=bool)
    starts[1:] = (ds[1:] != ds[:-1]) | (xs[1:] != xs[:-1] + 1)
    segment = np.cumsum(starts) - 1
    first = np.flatnonzero(starts)
    last = np.append(first[1:], count) - 1
    lengths = last - first + 1
    wrapping = np.flatnonzero(xs[last] == n1 - 1)
    if len(wrapping):
        lengths = _join_segments(lengths, wrapping, first, last, xs, ds, n1, n2)
    result = np.empty(count, dtype=np.int64)
    result[order] = lengths[segment]
    return result


def _oriented_runs(x, y, n1, n2, orientation, links):
    """run_lengths with y turned by orientation; links (that orientation's
    from oriented_links) show which points have a next one, so only those
    are sorted."""
    turned = (orientation * y) % n2
    if n1 < 2 or n2 < 2:  # a next rank is then no link
        return run_lengths(x, turned, n1, n2)
    src, tgt, dx, dy = links
    step = (dx == 1) & (dy == 1)
    involved = np.flatnonzero(np.bincount(src[step], minlength=len(x)) + np.bincount(tgt[step], minlength=len(x)))
    lengths = np.ones(len(x), dtype=np.int64)
    lengths[involved] = run_lengths(x[involved], turned[involved], n1, n2)
    return lengths


def _join_segments(lengths, wrapping, first, last, xs, ds, n1, n2):
    """Segments that end at rank n1 - 1 go on in the one starting at rank 0
    a diagonal step further (n1 on genome 2's circle): the lengths of the
    runs they make up, per segment. Runs are paths, or circles."""
    at_zero = {int(ds[first[s]]): s for s in np.flatnonzero(xs[first] == 0).tolist()}
    following = {}
    for s in wrapping.tolist():
        nxt = at_zero.get((int(ds[last[s]]) + n1) % n2)
        if nxt is not None:
            following[s] = nxt
    preceding = {b: a for a, b in following.items()}
    lengths = lengths.copy()
    done = set()
    for s in [s for s in following if s not in preceding] + list(following):
        if s in done:
            continue
        run, at = [], s
        while at is not None and at not in done:
            done.add(at)
            run.append(at)
            at = following.get(at)
        total = int(lengths[run].sum())
        lengths[run] = total
    return lengths


def _grid(values, count, span):
    """Cell of each rank on a circle of count ranks, cells at least span
    ranks wide, so that the span ranks after (or before) a rank lie in its
    cell and the next (previous) one; and the number of cells."""
    cells = max(1, count // span)
    return values * cells // count, cells


def oriented_links(x, y, n1, n2, span):
    """The pairs of points that may be neighbours in a chain, for each
    orientation o (1, -1): (src, tgt, dx, dy) where tgt lies 1 to span ranks
    after src in x on a circle of n1 and, in y turned by o, on a circle of
    n2."""
    empty = np.zeros(0, np.int64)
    span1, span2 = min(span, n1 - 1), min(span, n2 - 1)
    if span1 < 1 or span2 < 1:
        return {o: (empty, empty, empty, empty) for o in (1, -1)}
    # Points fall into cells of at least span1 x span2 ranks; a point's
    # neighbours lie in its own cell, the next one in x, and the next or the
    # previous one in y.
    cx, kx = _grid(x, n1, span1)
    cy, ky = _grid(y, n2, span2)
    cell = cx * ky + cy
    members = np.argsort(cell, kind="stable")
    starts = np.zeros(kx * ky + 1, np.int64)
    np.cumsum(np.bincount(cell, minlength=kx * ky), out=starts[1:])
    across = [cx * ky] + ([(cx + 1) % kx * ky] if kx > 1 else [])
    steps = [0, 1, -1][:min(ky, 3)]
    near = np.stack([a + (cy + s) % ky for a in across for s in steps], axis=1).ravel()
    low, high = starts[near], starts[near + 1]
    ends = np.cumsum(high - low)
    total = int(ends[-1])
    # candidate i comes from the cell of near[slot[i]]
    slot = np.cumsum(np.bincount(ends[:-1], minlength=total + 1)[:total])
    src = slot // (len(across) * len(steps))
    tgt = members[np.arange(total) + (high - ends)[slot]]
    dx = x[tgt] - x[src]
    dx[dx < 0] += n1
    keep = (dx >= 1) & (dx <= span1)
    src, tgt, dx = src[keep], tgt[keep], dx[keep]
    up = y[tgt] - y[src]
    up[up < 0] += n2
    links = {}
    for o, dy in ((1, up), (-1, (n2 - up) % n2)):
        keep = (dy >= 1) & (dy <= span2)
        links[o] = (src[keep], tgt[keep], dx[keep], dy[keep])
    return links


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


def _undominated(point, other, dx, dy, position, span):
    """The links of each point (point[i] to other[i]) in the order its best
    path is worked out (points by position, then dx, dy), less those that
    cannot be its best: a link is beaten by the one to any other point c
    lying strictly between, both ranks closer (a link leads from c on
    along it with two ranks fewer skipped). Returns point, other, skips."""
    # most points have a neighbour one rank off in both genomes, which beats
    # every link farther off in both: those go before sorting
    beside = np.zeros(len(position), dtype=bool)
    beside[point[(dx == 1) & (dy == 1)]] = True
    keep = (dx == 1) | (dy == 1) | ~beside[point]
    point, other, dx, dy = point[keep], other[keep], dx[keep], dy[keep]
    width = span + 1
    order = np.argsort((position[point] * width + dx) * width + dy, kind="stable")
    point, other, dx, dy = point[order], other[order], dx[order], dy[order]
    if len(point) == 0:
        return point, other, dx
    new_point = np.ones(len(point), dtype=bool)
    new_point[1:] = point[1:] != point[:-1]
    new_dx = new_point.copy()
    new_dx[1:] |= dx[1:] != dx[:-1]
    group = np.cumsum(new_point)
    lowest = np.minimum.accumulate(dy - group * width) + group * width  # least dy so far, per point
    run_start = np.flatnonzero(new_dx)[np.cumsum(new_dx) - 1]
    closer = np.where(new_point[run_start], width, lowest[run_start - 1])  # least dy at a smaller dx
    keep = dy <= closer
    return point[keep], other[keep], (dx[keep] + dy[keep] - 2) * SKIP


def _orientation_paths(x, rising, src, tgt, dx, dy, own, alone, span):
    """(through, back, ahead) per point: the best chain through it, and its
    neighbours on that chain; x already opened at the cut, rising the place
    of each point in order of x, own its score alone (a list; alone the
    same as an array)."""
    keep = x[tgt] > x[src]
    src, tgt, dx, dy = src[keep], tgt[keep], dx[keep], dy[keep]
    through = alone.copy()
    neighbours = []
    for point, other, position in ((tgt, src, rising), (src, tgt, len(x) - 1 - rising)):
        after, before, skips = _undominated(point, other, dx, dy, position, span)
        best, link = _best_paths(own, before.tolist(), after.tolist(), skips.tolist())
        # only the points a link reaches score more than alone
        reached = np.flatnonzero(np.bincount(after, minlength=len(x)))
        gained = np.fromiter(map(best.__getitem__, reached.tolist()), np.int64, len(reached))
        through[reached] += gained - alone[reached]
        neighbours.append(link)
    return through, neighbours[0], neighbours[1]


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
    count = len(x)
    point_keys = np.zeros(count, np.int64) if point_keys is None else np.asarray(point_keys)
    rank_keys = range(n1) if rank_keys is None else rank_keys
    span = max_gap + 1
    alone = GENE + (point_keys % (1 << TIE_BITS))
    own = alone.tolist()
    links = oriented_links(x, y, n1, n2, span)
    # A point in a longer run of adjacent genes one way round than the other
    # belongs to that orientation: a block around a short inversion cannot
    # then take the inversion's middle gene, which lies in place.
    runs = {o: _oriented_runs(x, y, n1, n2, o, links[o]) for o in (1, -1)}
    for o in (1, -1):
        allowed = runs[o] >= runs[-o]
        src, tgt, dx, dy = links[o]
        keep = allowed[src] & allowed[tgt]
        links[o] = (src[keep], tgt[keep], dx[keep], dy[keep])
    every = [np.concatenate([links[o][i] for o in (1, -1)]) for i in (0, 2)]
    cut, clean = choose_cut(x, n1, every[0], every[1], rank_keys)
    opened = (x - cut) % n1
    rising = np.empty(count, np.int64)
    rising[np.argsort(opened, kind="stable")] = np.arange(count)
    paths = {o: _orientation_paths(opened, rising, *links[o], own, alone, span) for o in (1, -1)}
    through = np.concatenate([paths[1][0], paths[-1][0]])
    # A chain scores about GENE per point: points on no chain of min_genes
    # need not be tried, unless they may go on across the cut.
    worth = through >= (min_genes - 1) * GENE + GENE // 2
    if not clean:
        worth |= np.tile((opened < span) | (opened >= n1 - span), 2)
    tried = np.flatnonzero(worth)
    point = tried % count
    tried = tried[np.lexsort((tried >= count, point, point_keys[point], -through[tried]))]
    ranks1, ranks2 = x.tolist(), y.tolist()
    used, used1, used2 = [False] * count, [False] * n1, [False] * n2

    def free(point):
        return point != -1 and not (used[point] or used1[ranks1[point]] or used2[ranks2[point]])

    chains = []
    for at in tried.tolist():
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


def _distinct(codes):
    """How many different values codes (small whole numbers) holds."""
    return int(np.count_nonzero(np.bincount(codes))) if len(codes) else 0


class _RankProteins:
    """Genome 1's protein identifier at each rank, looked up when asked."""

    def __init__(self, proteins, genes_by_rank):
        self.proteins, self.genes = proteins, genes_by_rank

    def __getitem__(self, rank):
        return self.proteins[int(self.genes[rank])]


def analyse_pair(first, second, genes1, genes2, origin1, origin2,
                 max_gap=DEFAULT_MAX_GAP, min_genes=DEFAULT_MIN_GENES, names=("", "", "")):
    """Blocks and measures of one pair. first, second: the genomes' angle
    files; genes1, genes2: the gene indices of each accepted pair; origin1,
    origin2: the origins' angles."""
    genes1 = np.asarray(genes1, dtype=np.int64)
    genes2 = np.asarray(genes2, dtype=np.int64)
    ranks1, n1 = shared_ranks(first.angles, first.used(genes1), first.order)
    ranks2, n2 = shared_ranks(second.angles, second.used(genes2), second.order)
    point_keys = (first.gene_keys[genes1] * 65599 + second.gene_keys[genes2]) & 0x7FFFFFFF
    by_rank = first.order[ranks1[first.order] >= 0]
    chains = find_chains(ranks1[genes1], ranks2[genes2], n1, n2, max_gap, min_genes,
                         point_keys, _RankProteins(first.proteins, by_rank))
    in_plus = sum(len(c) for o, c in chains if o == 1)
    dominant = 1 if in_plus * 2 >= sum(len(c) for _, c in chains) else -1
    angles1, angles2, cogs1 = first.angles[genes1], second.angles[genes2], first.cog_codes[genes1]
    blocks, along = [], []
    in_block, inverted = [np.zeros(0, np.int64)], [np.zeros(0, np.int64)]
    for orientation, chain in chains:
        in_block.append(cogs1[chain])
        a1, a2 = angles1[chain], angles2[chain]
        block = Block("+" if orientation == dominant else "-", float(a1[0]), float(a1[-1]),
                      float(a2[0]), float(a2[-1]), len(chain), "")
        if orientation == dominant:
            along.append(a2 - dominant * a1)
        else:
            inverted.append(cogs1[chain])
            # A gene d1 degrees from genome 1's origin lies d2 from genome 2's
            # (counted along the dominant orientation); an inversion about the
            # origin or the terminus moves it to d2 = -d1. Its axis lies
            # (d1 + d2) / 2 from the origin-terminus line.
            turn = circular_median((a1 - origin1) + dominant * (a2 - origin2))
            block.symmetric = "yes" if abs(signed_degrees(turn)) / 2.0 <= SYMMETRY_DEGREES else "no"
        blocks.append(block)
    blocks.sort(key=lambda b: (b.start1, b.start2))
    shared = _distinct(cogs1)
    return PairBlocks(*names, shared_cogs=shared,
                      offset=circular_median(np.concatenate(along)) if along else None,
                      collinear_share=_distinct(np.concatenate(in_block)) / shared if shared else 0.0,
                      inverted_share=_distinct(np.concatenate(inverted)) / shared if shared else 0.0,
                      blocks=blocks)


# ---------------------------------------------------------------- reading a run

# COG identifiers as small numbers, the same in every genome a process reads
_COG_CODES = {}


@dataclass
class AngleFile:
    """A genome's genes in angle-file order, and what the analysis of its
    pairs asks of it again and again, worked out once."""
    path: str
    cogs: list
    texts: list        # each angle as printed, which the result files repeat
    angles: np.ndarray
    proteins: list

    @functools.cached_property
    def order(self):
        """The genes by angle, equal angles in file order."""
        return np.argsort(self.angles, kind="stable")

    @functools.cached_property
    def gene_keys(self):
        """A number per gene from its protein identifier, the same in a
        rotated or mirrored copy of the genome."""
        return np.array([zlib.crc32(p.encode(ENCODING)) for p in self.proteins], dtype=np.int64)

    @functools.cached_property
    def cog_codes(self):
        return np.array([_COG_CODES.setdefault(c, len(_COG_CODES)) for c in self.cogs], dtype=np.int64)

    @functools.cached_property
    def text_index(self):
        """(text id of each printed angle as bytes, with the separator line's
        field as -2; the gene of each text id, -1 where several genes share
        it; the genes of those); None when a gene's angle is printed like
        the separator."""
        ids, genes = {}, []
        for gene, text in enumerate(self.texts):
            number = ids.setdefault(text.encode(ENCODING), len(genes))
            if number == len(genes):
                genes.append([gene])
            else:
                genes[number].append(gene)
        if SEPARATOR.encode() in ids:
            return None
        ids[SEPARATOR.encode()] = -2
        single = np.array([g[0] if len(g) == 1 else -1 for g in genes], dtype=np.int64)
        return ids, single, genes

    def used(self, genes):
        used = np.zeros(len(self.angles), dtype=bool)
        used[genes] = True
        return used


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


def match_plain(tokens, genome1, genome2):
    """match_genes for a _mul.txt written as circog writes it, given its
    fields (two a line, separators included) as bytes: gene arrays
    (genes1, genes2), or None where the file asks for the line-by-line
    reading (an angle of no gene, genes of one COG identifier printed at one
    angle, anything that does not match), which then gives the same genes
    or names the line that is wrong."""
    index1, index2 = genome1.text_index, genome2.text_index
    if index1 is None or index2 is None or len(tokens) % 2:
        return None
    count = len(tokens) // 2
    text1 = np.fromiter(map(index1[0].get, tokens[0::2], itertools.repeat(-1)), np.int64, count)
    text2 = np.fromiter(map(index2[0].get, tokens[1::2], itertools.repeat(-1)), np.int64, count)
    separator = text1 == -2
    if (text1 == -1).any() or (text2 == -1).any() or (separator != (text2 == -2)).any():
        return None
    lines = np.flatnonzero(~separator)
    text1, text2 = text1[lines], text2[lines]
    # an entry (one gene of genome 1) begins after a separator or where the first angle changes
    begins = np.ones(len(lines), dtype=bool)
    begins[1:] = (lines[1:] != lines[:-1] + 1) | (text1[1:] != text1[:-1])
    entry = np.cumsum(begins) - 1
    genes1 = index1[1][text1[begins]]
    genes2 = index2[1][text2]
    codes1, codes2 = genome1.cog_codes, genome2.cog_codes
    for k in np.flatnonzero(genes1 == -1).tolist():  # an angle that several genes of genome 1 share
        last = genes1[k - 1] if k else -1
        partners = text2[entry == k]
        for gene in index1[2][text1[begins][k]]:
            found = _resolved(partners, codes1[gene], index2, codes2) if gene > last else False
            if found is None:
                return None
            if found is not False:
                genes1[k] = gene
                genes2[entry == k] = found
                break
        else:
            return None
    shared = np.flatnonzero(genes2 == -1)  # angles that several genes of genome 2 share
    if len(shared):
        wanted = codes1[genes1[entry[shared]]]
        for line, text, code in zip(shared.tolist(), text2[shared].tolist(), wanted.tolist()):
            genes = [g for g in index2[2][text] if codes2[g] == code]
            if len(genes) != 1:
                return None
            genes2[line] = genes[0]
    genes1 = genes1[entry]
    if ((codes1[genes1] != codes2[genes2]).any() or (np.diff(genes1[begins]) <= 0).any()
            or (np.diff(genes2)[~begins[1:]] <= 0).any()):
        return None
    return genes1, genes2


def _resolved(texts, code, index2, codes2):
    """Genome 2's genes with COG code and these angle texts, rising; False
    when there are none such, None when several genes of that code share
    one of the texts."""
    found = []
    for text in texts.tolist():
        gene = int(index2[1][text])
        genes = [gene] if gene >= 0 else [g for g in index2[2][text] if codes2[g] == code]
        if len(genes) > 1:
            return None
        if not genes or codes2[genes[0]] != code or (found and genes[0] <= found[-1]):
            return False
        found.append(genes[0])
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


class Finder:
    """Finds the blocks of a finished run's pairs one after another, each
    genome's angle file read once (by the first pair that has it)."""

    def __init__(self, workdir, pairs, max_gap=DEFAULT_MAX_GAP, min_genes=DEFAULT_MIN_GENES,
                 progress=None):
        progress = progress or sys.stderr
        self.workdir, self.max_gap, self.min_genes = workdir, max_gap, min_genes
        self.settings = wd.read_config(workdir)
        self.prefix = plot.result_prefix(workdir)
        genomes = sorted({name for _, g1, g2 in pairs for name in (g1, g2)})
        self.origins = origin_angles(workdir, self.settings, genomes,
                                     lambda text: print(text, file=progress, flush=True))
        self.angle_files = {}

    def genome(self, name):
        if name not in self.angle_files:
            self.angle_files[name] = read_angle_file(angle_path(self.workdir, self.settings, name))
        return self.angle_files[name]

    def pair(self, pair, genome1, genome2):
        """The pair's PairBlocks, and its accepted pairs of angles as the
        plot reads them from _mul.txt (None when that file needs reading
        line by line)."""
        first, second = self.genome(genome1), self.genome(genome2)
        mul_path = self.prefix + pair + "_mul.txt"
        fields = results.plain_fields(results.read_bytes(mul_path))
        found = match_plain(fields, first, second) if fields is not None else None
        if found is None:
            genes1, genes2 = match_genes(read_accepted(mul_path), first, second, mul_path)
            accepted = None
        else:
            genes1, genes2 = found
            accepted = results.without_separators(
                np.column_stack((first.angles[genes1], second.angles[genes2])))
        found = analyse_pair(first, second, genes1, genes2, self.origins[genome1],
                             self.origins[genome2], self.max_gap, self.min_genes,
                             (pair, genome1, genome2))
        return found, accepted

    def write(self, found):
        """blocks/: a table per pair and the summary; tables of pairs
        without results now are removed."""
        folder = os.path.join(self.workdir, FOLDER)
        os.makedirs(folder, exist_ok=True)
        # Blocks can be found again: no need to wait for the disk.
        for result in found:
            wd.atomic_write(os.path.join(folder, result.pair + ".tsv"),
                            pair_table(result).encode(ENCODING), sync=False)
        _remove_stale(folder, {r.pair for r in found})
        wd.atomic_write(os.path.join(folder, "summary.tsv"), summary_table(found).encode(ENCODING),
                        sync=False)


def blocks_workdir(workdir, max_gap=DEFAULT_MAX_GAP, min_genes=DEFAULT_MIN_GENES, progress=None):
    """Finds the blocks of every pair with result files and writes
    blocks/; returns the PairBlocks in pair order."""
    progress = progress or sys.stderr
    pairs = plot.find_pairs(plot.result_prefix(workdir), progress)
    finder = Finder(workdir, pairs, max_gap, min_genes, progress)
    found = []
    for number, (pair, genome1, genome2) in enumerate(pairs, start=1):
        print(f"blocks {number}/{len(pairs)}: {pair}", file=progress, flush=True)
        found.append(finder.pair(pair, genome1, genome2)[0])
    finder.write(found)
    return found


def _remove_stale(folder, pairs):
    """A pair table left by an earlier run whose pair has no results now."""
    for name in os.listdir(folder):
        if name.endswith(".tsv") and "&" in name and name[:-4] not in pairs:
            os.remove(os.path.join(folder, name))


def as_read(result):
    """The pair's summary row and block rows as read_block_summary and
    read_pair_blocks give them once written: numbers as the files hold
    them."""
    summary = _typed("", 0, dict(zip(SUMMARY_COLUMNS, summary_row(result).split("\t"))), SUMMARY_KINDS)
    rows = pair_table(result).splitlines()[1:]
    return summary, [_typed("", 0, dict(zip(PAIR_COLUMNS, row.split("\t"))), PAIR_KINDS) for row in rows]


# ---------------------------------------------------------------- readers for plots and reports

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
    rows = []
    for number, row in wd.read_table(path, SUMMARY_COLUMNS):
        problem = wd.pair_problem(row["pair"], row["genome1"], row["genome2"])
        if problem:
            raise KitError(path, problem, number)
        rows.append(_typed(path, number, row, SUMMARY_KINDS))
    return rows


def read_pair_blocks(workdir, pair):
    """The block rows of one pair (blocks/PAIR.tsv) as dicts, numbers
    converted; pair must be a checked pair name (a row of the summary)."""
    path = wd.path_inside(workdir, os.path.join(FOLDER, pair + ".tsv"))
    return [_typed(path, n, r, PAIR_KINDS) for n, r in wd.read_table(path, PAIR_COLUMNS)]


def read_blocks(workdir):
    """{pair: [block rows as dicts]} for every pair of blocks/summary.tsv,
    read from blocks/PAIR.tsv, numbers converted."""
    return {row["pair"]: read_pair_blocks(workdir, row["pair"]) for row in read_block_summary(workdir)}
