"""Which pairs are compared, and how they are grouped into jobs.

Genomes fall into buckets by a checksum of their names; a batch holds the
pairs whose two genomes lie in one pair of buckets (a tile of the
genome-by-genome matrix). Adding a genome changes only the batches of its
own bucket, so a rerun redoes those and keeps the others, and a batch loads
only the genomes of its two buckets. A batch's name is its tile and a
checksum of its pairs, so a batch whose pairs change is a new batch to
Snakemake whatever it is told to look at.
"""
import math
import zlib

ANGLE_FORMAT = ".txt"
# at most about this many batches unless pairs_per_job asks for more
MAX_BATCHES = 1000
MIN_PAIRS_PER_JOB = 100


def run_order(names):
    """Genomes in the order one circog run numbers them: by their angle
    files' names in byte order."""
    return sorted(names, key=lambda name: (name + ANGLE_FORMAT).encode())


def pairs(names, reference=None):
    """Every pair (a, b) in the order one circog run compares them, or with a
    reference only the pairs that hold it."""
    ordered = run_order(names)
    every = ((a, b) for i, a in enumerate(ordered) for b in ordered[i + 1:])
    if reference is None:
        return list(every)
    return [pair for pair in every if reference in pair]


def default_pairs_per_job(pair_count):
    """Enough pairs a job that a run makes about MAX_BATCHES batches at
    most, and at least MIN_PAIRS_PER_JOB, since each job costs a start."""
    return max(MIN_PAIRS_PER_JOB, math.ceil(pair_count / MAX_BATCHES))


def checksums(names):
    return {name: zlib.crc32(name.encode()) for name in names}


def tiles(pair_list, sums, buckets):
    """Each pair's tile: its two genomes' buckets, the lower first."""
    for a, b in pair_list:
        first, second = sums[a] % buckets, sums[b] % buckets
        yield (first, second) if first <= second else (second, first)


def bucket_count(pair_list, sums, pairs_per_job):
    """The most buckets (a power of two) whose non-empty tiles hold
    pairs_per_job pairs or more on average; buckets stop doubling once every
    pair has a tile of its own."""
    chosen, buckets = 1, 2
    while buckets <= 64 * len(sums):
        count = len(set(tiles(pair_list, sums, buckets)))
        if len(pair_list) < pairs_per_job * count:
            break
        chosen, buckets = buckets, buckets * 2
        if count == len(pair_list):
            break
    return chosen


def plan(pair_list, pairs_per_job):
    """Batch name ("3-12-0a1b2c3d": its tile and the checksum of its pair
    list) -> its pairs in run order; batches in tile order."""
    sums = checksums(genomes_of(pair_list))
    buckets = bucket_count(pair_list, sums, pairs_per_job)
    batches = {}
    for pair, (first, second) in zip(pair_list, tiles(pair_list, sums, buckets)):
        batches.setdefault((first, second), []).append(pair)
    return {f"{first}-{second}-{zlib.crc32(pair_list_text(batch).encode()):08x}": batch
            for (first, second), batch in sorted(batches.items())}


def genomes_of(pair_list):
    """The genomes of these pairs, in run order."""
    return run_order({name for pair in pair_list for name in pair})


def pair_list_text(pair_list):
    """The batch's PairList file: NAME1<TAB>NAME2 a line."""
    return "".join(f"{a}\t{b}\n" for a, b in pair_list)
