#!/usr/bin/python3
"""Related genomes with planted events and their exact truth, made from a
real gene table.

Usage: bench/related_genomes.py OUTDIR [--table TAB] [--size BP] [--proteins FAA]
                                [--invert CENTRE:WIDTH ...] [--loss F] [--length BP]
                                [--rotate DEGREES] [--reverse] [--name NAME]
                                [--count N] [--seed S] [--ptt] [--alignment] [--no-source]

From a gene table (default example/genes/Ecoli_K12.tab, its size from the
genome_sizes.txt one folder up, its proteins from ../angle1/NAME.faa when
there) it derives genomes by these events, applied in this order:
  --invert CENTRE:WIDTH  reverse the genes whose positions lie within WIDTH/2
                         degrees of CENTRE: a number, 'ori' (the origin of
                         replication), 'ter' (origin + 180) or 'ori+D'/'ori-D'
                         (repeatable; each in the coordinates the earlier
                         ones left)
  --loss F               leave out each gene with probability F (seeded)
  --length BP            scale every position to a chromosome of BP base pairs
  --rotate DEGREES       start the sequence that many degrees later
  --reverse              the other strand: position p becomes length + 1 - p
With --count N, N genomes NAME_001... are made instead, each with a random
rotation, the --loss (default 0.05) and one inversion of 5-60 degrees about
the origin (3 in 5), the terminus or elsewhere.

The origin of replication is the start of the gene named dnaA, else of the
gene whose product is the chromosomal replication initiator protein, else
position 1; the events carry it along.

OUTDIR gets the source genome (unless --no-source) and the derived ones,
either as a circog working directory (config.txt, alignment off unless
--alignment, genome_sizes.txt, genome_origins.txt, genes/, angle1/ with the
proteins when aligning, out/) or, with --ptt, as NAME.ptt and NAME.faa
per genome for circog-kit import. OUTDIR/truth.tsv lists every event.
"""
import argparse
import os
import random
import re
import sys
from dataclasses import dataclass, field, replace

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "kit"))
from circogkit.workdir import config_text  # noqa: E402

DEFAULT_TABLE = os.path.join(ROOT, "example", "genes", "Ecoli_K12.tab")
HEADER = "Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker"
PTT_HEADER = "Location\tStrand\tLength\tPID\tGene\tSynonym\tCode\tCOG\tProduct"
INITIATOR = "chromosomal replication initiator protein"
ENCODING = "latin-1"


@dataclass
class Gene:
    source: int        # row of the gene in the source table, from 0
    fields: list       # the 11 gene-table columns as text
    position: int      # column 4: where transcription starts
    low: int           # the extent, low..high (low > high across the origin)
    high: int
    strand: str


@dataclass
class Event:
    kind: str          # invert, loss, length, rotate, reverse
    degrees: float = 0.0    # an inversion's centre, a rotation
    width: float = 0.0
    axis: str = ""     # an inversion's centre: origin, terminus or off-axis
    genes: list = field(default_factory=list)  # source rows inverted (in order) or lost


@dataclass
class Genome:
    name: str
    size: int
    origin: int
    origin_how: str
    genes: list        # in position order
    events: list = field(default_factory=list)
    proteins: dict = None   # identifier -> (description, sequence)

    def angle(self, position):
        return position / self.size * 360.0


# ---------------------------------------------------------------- the source

def read_source(table=DEFAULT_TABLE, size=None, proteins=None, name=None):
    """The genome of a gene table; its size from genome_sizes.txt beside the
    table's folder unless given, its proteins from ../angle1/NAME.faa."""
    name = name or os.path.splitext(os.path.basename(table))[0]
    folder = os.path.dirname(os.path.dirname(os.path.abspath(table)))
    if size is None:
        size = _size_from(os.path.join(folder, "genome_sizes.txt"), name)
    if proteins is None and os.path.exists(os.path.join(folder, "angle1", name + ".faa")):
        proteins = os.path.join(folder, "angle1", name + ".faa")
    with open(table, encoding=ENCODING) as handle:
        rows = [line.rstrip("\n").split("\t") for line in handle][1:]
    genes = []
    for number, fields in enumerate(rows):
        fields = (fields + [""] * 11)[:11]
        low, _, high = fields[7].partition("..")
        position = int(fields[3])
        low, high = (int(low), int(high)) if high else (position, position)
        genes.append(Gene(number, fields, position, low, high, fields[4]))
    origin, how = find_origin(genes)
    genome = Genome(name, size, origin, how, genes)
    if proteins:
        genome.proteins = read_proteins(proteins)
    return _sorted(genome)


def _size_from(path, name):
    with open(path, encoding=ENCODING) as handle:
        for line in handle:
            key, _, value = line.rstrip("\n").partition("\t")
            if key == name:
                return int(value)
    raise SystemExit(f"{path}: no size for {name} (give --size)")


def find_origin(genes):
    """(position, how): the start of dnaA, else of the replication
    initiator by product, else 1."""
    for gene in genes:
        if gene.fields[1] == "dnaA":
            return gene.position, "dnaA"
    for gene in genes:
        if gene.fields[9].lower().startswith(INITIATOR):
            return gene.position, "product"
    return 1, "default"


def read_proteins(path):
    proteins, name, chunks = {}, None, []
    with open(path, encoding=ENCODING) as handle:
        for line in list(handle) + [">"]:
            if line.startswith(">"):
                if name:
                    identifier, _, description = name.partition(" ")
                    proteins.setdefault(identifier, (description, "".join(chunks)))
                name, chunks = line[1:].strip(), []
            else:
                chunks.append(line.strip())
    return proteins


# ---------------------------------------------------------------- events

def _sorted(genome):
    genome.genes.sort(key=lambda g: (g.position, g.source))
    return genome


def _moved(gene, position, low, high, strand):
    fields = list(gene.fields)
    fields[3], fields[4], fields[7] = str(position), strand, f"{low}..{high}"
    return Gene(gene.source, fields, position, low, high, strand)


def _wrap(position, size):
    return (position - 1) % size + 1


def centre_degrees(genome, text):
    """'ori', 'ter', 'ori+D', 'ori-D' or a number, in degrees."""
    found = re.fullmatch(r"(ori|ter)([+-]\d+(?:\.\d*)?)?|(\d+(?:\.\d*)?)", text)
    if not found:
        raise ValueError(f"bad inversion centre '{text}'")
    if found.group(3):
        return float(found.group(3))
    base = genome.angle(genome.origin) + (180.0 if found.group(1) == "ter" else 0.0)
    return (base + float(found.group(2) or 0)) % 360.0


def axis_kind(genome, degrees, tolerance=0.5):
    origin = genome.angle(genome.origin)
    for kind, axis in (("origin", origin), ("terminus", origin + 180.0)):
        if abs((degrees - axis + 180.0) % 360.0 - 180.0) <= tolerance:
            return kind
    return "off-axis"


def invert(genome, centre, width):
    """Reverses the genes within width/2 degrees of centre (their order,
    strands and extents); the origin moves with them when it lies there."""
    middle = round(centre / 360.0 * genome.size)
    half = width / 360.0 * genome.size / 2.0

    def inside(position):
        return abs((position - middle + genome.size / 2.0) % genome.size - genome.size / 2.0) <= half

    def mirror(position):
        return _wrap(2 * middle - position, genome.size)

    def along(gene):  # from the segment's start
        return (gene.position - middle + half) % genome.size

    genes = []
    for gene in genome.genes:
        if inside(gene.position):
            gene = _moved(gene, mirror(gene.position), mirror(gene.high), mirror(gene.low),
                          "-" if gene.strand == "+" else "+")
        genes.append(gene)
    inverted = [g.source for g in sorted((g for g in genome.genes if inside(g.position)), key=along)]
    origin = mirror(genome.origin) if inside(genome.origin) else genome.origin
    event = Event("invert", centre % 360.0, width, axis_kind(genome, centre), inverted)
    return _sorted(replace(genome, genes=genes, origin=origin, events=genome.events + [event]))


def lose(genome, fraction, seed):
    chance = random.Random(seed)
    kept, lost = [], []
    for gene in genome.genes:
        (lost if chance.random() < fraction else kept).append(gene)
    return replace(genome, genes=kept,
                   events=genome.events + [Event("loss", width=fraction, genes=[g.source for g in lost])])


def scale(genome, length):
    def moved(position):
        return (position - 1) * length // genome.size + 1
    genes = [_moved(g, moved(g.position), moved(g.low), moved(g.high), g.strand) for g in genome.genes]
    return _sorted(replace(genome, size=length, genes=genes, origin=moved(genome.origin),
                           events=genome.events + [Event("length", width=length)]))


def rotate(genome, degrees):
    """The sequence starts degrees later: every position moves back."""
    shift = round(degrees / 360.0 * genome.size)

    def moved(position):
        return _wrap(position - shift, genome.size)
    genes = [_moved(g, moved(g.position), moved(g.low), moved(g.high), g.strand) for g in genome.genes]
    return _sorted(replace(genome, genes=genes, origin=moved(genome.origin),
                           events=genome.events + [Event("rotate", degrees)]))


def reverse(genome):
    """The same chromosome read from the other strand."""
    def moved(position):
        return genome.size + 1 - position
    genes = [_moved(g, moved(g.position), moved(g.high), moved(g.low), "-" if g.strand == "+" else "+")
             for g in genome.genes]
    return _sorted(replace(genome, genes=genes, origin=moved(genome.origin),
                           events=genome.events + [Event("reverse")]))


def derive(source, name, inversions=(), loss=0.0, length=None, degrees=0.0, reversed_=False, seed=0):
    """source with the events in the order of the module's usage text;
    inversions are (centre text or degrees, width)."""
    genome = replace(source, name=name, events=[])
    for centre, width in inversions:
        genome = invert(genome, centre_degrees(genome, centre) if isinstance(centre, str) else centre,
                        width)
    if loss:
        genome = lose(genome, loss, seed)
    if length:
        genome = scale(genome, length)
    if degrees:
        genome = rotate(genome, degrees)
    if reversed_:
        genome = reverse(genome)
    return genome


def random_genomes(source, count, loss=0.05, seed=1):
    """count genomes with a random rotation, loss and one inversion each."""
    genomes = []
    for number in range(1, count + 1):
        chance = random.Random(seed * 100003 + number)
        centre = chance.choices(["ori", "ter", f"{chance.uniform(0, 360):.2f}"], [3, 1, 1])[0]
        genomes.append(derive(source, f"{source.name}_{number:03d}",
                              [(centre, round(chance.uniform(5, 60), 2))], loss,
                              degrees=round(chance.uniform(0, 360), 2), seed=chance.randrange(1 << 30)))
    return genomes


# ---------------------------------------------------------------- writing

def gene_table(genome):
    return HEADER + "\n" + "".join("\t".join(g.fields) + "\n" for g in genome.genes)


def ptt_table(genome):
    rows = [f"{genome.name} chromosome, complete genome - 1..{genome.size}",
            f"{len(genome.genes)} proteins", PTT_HEADER]
    for gene in genome.genes:
        f = gene.fields
        rows.append("\t".join([f"{gene.low}..{gene.high}", gene.strand, f[5], f[2], f[1], f[0], "-",
                               f[6], f[9]]))
    return "\n".join(rows) + "\n"


def protein_fasta(genome):
    out = []
    for gene in genome.genes:
        record = (genome.proteins or {}).get(gene.fields[2])
        if record:
            description, sequence = record
            out.append(f">{gene.fields[2]} {description}\n")
            out.extend(sequence[i:i + 70] + "\n" for i in range(0, len(sequence), 70))
    return "".join(out)


def truth_table(genomes, source):
    """Every event: an inversion's centre, width, axis, genes and the locus
    tags of its first and last gene; a rotation's degrees; the share lost;
    the new length."""
    rows = ["genome\tevent\tdegrees\twidth\taxis\tgenes\tfirst\tlast"]
    loci = {gene.source: gene.fields[0] for gene in source.genes}
    for genome in genomes:
        for event in genome.events:
            ends = [loci[event.genes[0]], loci[event.genes[-1]]] if event.kind == "invert" else ["", ""]
            rows.append("\t".join([genome.name, event.kind, f"{event.degrees:.2f}", f"{event.width:.10g}",
                                   event.axis, str(len(event.genes)), *ends]))
    return "\n".join(rows) + "\n"


def _write(path, text):
    with open(path, "w", encoding=ENCODING, newline="\n") as out:
        out.write(text)


def write_workdir(folder, genomes, alignment=False, source=None):
    """A circog working directory holding the genomes (source: the genome
    they derive from, for truth.tsv's locus tags; by default the first)."""
    for sub in ("genes", "angle1", "out"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    _write(os.path.join(folder, "config.txt"), config_text(alignment))
    _write(os.path.join(folder, "genome_sizes.txt"), "".join(f"{g.name}\t{g.size}\n" for g in genomes))
    _write(os.path.join(folder, "genome_origins.txt"),
           "".join(f"{g.name}\t{g.origin}\t{g.origin_how}\n" for g in genomes))
    for genome in genomes:
        _write(os.path.join(folder, "genes", genome.name + ".tab"), gene_table(genome))
        if alignment:
            _write(os.path.join(folder, "angle1", genome.name + ".faa"), protein_fasta(genome))
    if alignment:
        with open(os.path.join(ROOT, "data", "PAM-250.txt"), encoding=ENCODING) as handle:
            _write(os.path.join(folder, "PAM-250.txt"), handle.read())
    _write(os.path.join(folder, "truth.tsv"), truth_table(genomes, source or genomes[0]))


def write_ptt(folder, genomes, source=None):
    """NAME.ptt and NAME.faa per genome, for circog-kit import."""
    os.makedirs(folder, exist_ok=True)
    for genome in genomes:
        _write(os.path.join(folder, genome.name + ".ptt"), ptt_table(genome))
        _write(os.path.join(folder, genome.name + ".faa"), protein_fasta(genome))
    _write(os.path.join(folder, "truth.tsv"), truth_table(genomes, source or genomes[0]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     epilog="See the top of bench/related_genomes.py for details.")
    parser.add_argument("outdir", metavar="OUTDIR")
    parser.add_argument("--table", default=DEFAULT_TABLE, help="source gene table")
    parser.add_argument("--size", type=int, help="source chromosome length in bp")
    parser.add_argument("--proteins", metavar="FAA", help="source protein FASTA")
    parser.add_argument("--invert", action="append", default=[], metavar="CENTRE:WIDTH")
    parser.add_argument("--loss", type=float)
    parser.add_argument("--length", type=int, metavar="BP")
    parser.add_argument("--rotate", type=float, default=0.0, metavar="DEGREES")
    parser.add_argument("--reverse", action="store_true")
    parser.add_argument("--name", help="name of the derived genome (default SOURCE_derived)")
    parser.add_argument("--count", type=int, help="make N random genomes instead")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--ptt", action="store_true", help="write .ptt and .faa files")
    parser.add_argument("--alignment", action="store_true", help="working directory with alignment on")
    parser.add_argument("--no-source", action="store_true", help="leave the source genome out")
    args = parser.parse_args()
    source = read_source(args.table, args.size, args.proteins)
    if args.count:
        genomes = random_genomes(source, args.count, 0.05 if args.loss is None else args.loss, args.seed)
    else:
        try:
            inversions = [(c, float(w)) for c, _, w in (text.rpartition(":") for text in args.invert)]
            inversions = [(float(c) if re.fullmatch(r"[\d.]+", c) else c, w) for c, w in inversions]
        except ValueError:
            parser.error("--invert takes CENTRE:WIDTH, e.g. ori:40")
        genomes = [derive(source, args.name or source.name + "_derived", inversions, args.loss or 0.0,
                          args.length, args.rotate, args.reverse, args.seed)]
    if not args.no_source:
        genomes.insert(0, source)
    if args.ptt:
        write_ptt(args.outdir, genomes, source)
    else:
        write_workdir(args.outdir, genomes, args.alignment, source)
    print(f"{len(genomes)} genomes in {args.outdir}; events in {os.path.join(args.outdir, 'truth.tsv')}",
          file=sys.stderr)


if __name__ == "__main__":
    main()
