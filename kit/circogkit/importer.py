"""Adds one genome to a circog working directory: its gene table
genes/NAME.tab, its proteins angle1/NAME.faa, its line in genome_sizes.txt
and the origin of replication in genome_origins.txt.

Everything is built in memory first. The files are then written to
temporaries under the directory's lock and renamed into place with the size
line last: circog and the kit count a genome as imported only once its size
line is there, so a kill at any moment leaves it complete or absent.
"""
import os
import re
from dataclasses import dataclass

from . import workdir as wd
from .annotations import check_positions, read_annotation
from .cogtables import read_cog_table
from .fasta import read_proteins
from .inputs import ENCODING, KitError, key_variants

GENE_TABLE_HEADER = "Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker"
FASTA_WIDTH = 70
MAX_DESCRIPTION = 300  # circog's protein reader wants header lines under 500 characters
PAM_TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "data", "PAM-250.txt")
# DnaA's product in NCBI, Prokka and Bakta annotations; not its regulators
# ("replication initiation inhibitor", "DNA replication initiation factor").
INITIATOR = re.compile(r"chromosom(?:e|al) replication initiat(?:or|ion) (?:protein|dnaa)", re.I)


@dataclass
class GenomeFiles:
    name: str
    gene_table: str
    proteins: str
    size_line: str
    origin_line: str
    summary: str
    with_protein: int


def build_genome(name, annotation_path, proteins_path=None, cogs_path=None, replicon=None,
                 origin=None):
    """Reads the inputs and returns the texts to write, or raises KitError."""
    wd.check_genome_name(name)
    annotation = read_annotation(annotation_path)
    chosen = choose_replicon(annotation, replicon)
    check_positions(annotation, chosen)
    length = annotation.replicons[chosen]
    genes = [g for g in annotation.genes if g.replicon == chosen]
    elsewhere = len(annotation.genes) - len(genes)
    kind = _primary_key(genes)
    if proteins_path:
        kind = attach_proteins(genes, proteins_path, annotation_path)
    if cogs_path:
        attach_cogs(genes, cogs_path, annotation_path)
    position, how, said = find_origin(genes, length, origin, annotation_path, chosen)
    rows = [GENE_TABLE_HEADER] + [gene_row(g, kind, length) for g in genes]
    with_protein = sum(g.protein is not None for g in genes)
    summary = (f"{name}: {len(genes)} genes on {chosen} ({length} bp), "
               f"{sum(g.cog != '-' for g in genes)} with a COG identifier, "
               f"{with_protein} with a protein, "
               f"{elsewhere} on other replicons, {_skipped_text(annotation.skipped)}, "
               f"origin at {position} ({said})")
    return GenomeFiles(name, "\n".join(rows) + "\n", protein_text(genes, kind),
                       f"{name}\t{length}\n", wd.origin_line(name, position, how), summary,
                       with_protein)


def choose_replicon(annotation, wanted):
    """The replicon named by wanted, else the longest one."""
    if not annotation.replicons:
        raise KitError(annotation.path, "no sequence length found (no ##sequence-region, "
                                        "region row or ##FASTA sequence)")
    if wanted is None:
        return max(annotation.replicons, key=lambda r: annotation.replicons[r])
    found = wanted if wanted in annotation.replicons else annotation.aliases.get(wanted)
    if found is None:
        raise KitError(annotation.path, f"no replicon '{wanted}' (found: "
                                        f"{', '.join(annotation.replicons)})")
    return found


def find_origin(genes, length, wanted, path, replicon):
    """(position, how, text for the summary): --origin (a number is a
    position; otherwise a gene by locus tag, name or identifier), else the gene named dnaA, else the
    gene whose product is the chromosomal replication initiator protein,
    else position 1. A gene's position is its start, as in the gene table."""
    if wanted is not None:
        return _wanted_origin(genes, length, wanted, path, replicon)
    for gene in genes:
        if gene.name.lower() == "dnaa":
            return _start(gene, length), "dnaA", f"dnaA, {gene.locus}"
    for gene in genes:
        if INITIATOR.search(gene.product):
            return _start(gene, length), "product", f"product '{gene.product}', {gene.locus}"
    return 1, "default", "default: no gene named dnaA or with a replication initiator product; " \
                         "--origin sets it"


def _wanted_origin(genes, length, wanted, path, replicon):
    how = f"--origin {wanted}"
    if not wanted or re.search(r"[\t\r\n]", wanted):
        raise KitError(path, "--origin must be a position, a gene name or a locus tag")
    if wanted.isdigit():
        if not 1 <= int(wanted) <= length:
            raise KitError(path, f"--origin {wanted} lies outside '{replicon}' (1..{length})")
        return int(wanted), how, how
    found = [g for g in genes if wanted in (g.locus, g.name) or wanted in g.keys.values()]
    if not found:
        raise KitError(path, f"--origin: no gene on '{replicon}' has the name, locus tag or "
                             f"identifier '{wanted}'")
    if len(found) > 1:
        tags = ", ".join(g.locus for g in found[:5])
        raise KitError(path, f"--origin: {len(found)} genes are named '{wanted}' ({tags}); "
                             "give a locus tag")
    return _start(found[0], length), how, how


def _start(gene, length):
    return transcription_start(gene.parts, gene.strand, length)[0]


def _skipped_text(skipped):
    if not skipped:
        return "0 skipped"
    reasons = ", ".join(f"{count} {reason}" for reason, count in sorted(skipped.items()))
    return f"{sum(skipped.values())} skipped ({reasons})"


def _primary_key(genes):
    """Without a protein file, column 3 holds the first identifier kind the
    annotation offers (protein_id, PID, ...)."""
    for gene in genes:
        return next(iter(gene.keys))
    return None


def attach_proteins(genes, path, annotation_path):
    """Gives each gene its record and returns the identifier kind the file
    uses: the one that finds the most genes."""
    proteins = read_proteins(path)
    hits = {}
    for gene in genes:
        for kind, value in gene.keys.items():
            if any(v in proteins for v in key_variants(value)):
                hits[kind] = hits.get(kind, 0) + 1
    if not hits:
        raise KitError(path, f"no protein record matches a gene of {annotation_path} "
                             "(by protein identifier, ID, Name or locus tag)")
    kind = max(hits, key=lambda k: hits[k])
    for gene in genes:
        value = gene.keys.get(kind)
        record = next((proteins[v] for v in key_variants(value or "") if v in proteins), None)
        gene.protein = record[0] if record else None
        gene.description = record[1] if record else ""
    return kind


def attach_cogs(genes, path, annotation_path):
    """Replaces the annotation's COG identifiers with the table's, matched by
    any identifier of the gene."""
    table = read_cog_table(path)
    matched = 0
    for gene in genes:
        gene.cog = next((table[v] for value in gene.keys.values()
                         for v in key_variants(value) if v in table), "-")
        matched += gene.cog != "-"
    if matched == 0:
        raise KitError(path, f"no entry matches a gene of {annotation_path} "
                             "(by protein identifier or locus tag)")


def transcription_start(parts, strand, length):
    """(position, location): where transcription starts (the low end on '+',
    the high one on '-') and the 'left..right' extent; a gene whose parts lie
    on both sides of the origin starts in the half it is read from."""
    lows = [low for low, _ in parts]
    highs = [high for _, high in parts]
    left, right = min(lows), max(highs)
    if len(parts) > 1 and right - left + 1 > length / 2:
        left = min(low for low in lows if low > length / 2)
        right = max(high for high in highs if high <= length / 2)
    position = left if strand == "+" else right
    if position > length:  # one row past the end: coordinates run on across the origin
        position -= length
    return position, f"{left}..{right}"


def gene_row(gene, kind, length):
    position, location = transcription_start(gene.parts, gene.strand, length)
    if gene.aa_length is not None:
        aa_length, location = gene.aa_length, gene.location
    elif gene.protein:
        aa_length = str(len(gene.protein.rstrip("*")))
    else:
        aa_length = str(max(sum(h - l + 1 for l, h in gene.parts) // 3 - 1, 0))
    fields = [gene.locus, gene.name, identifier(gene, kind), str(position), gene.strand,
              aa_length, gene.cog, location, "-", gene.product, ""]
    return "\t".join(_clean(f) for f in fields)


def identifier(gene, kind):
    """Column 3 and the protein header's first word, so no blank inside."""
    return re.sub(r"\s", "_", gene.keys.get(kind) or next(iter(gene.keys.values())))


def _clean(text):
    return re.sub(r"[\t\r\n]", " ", text) if text else text


def protein_text(genes, kind):
    """FASTA with headers '>IDENTIFIER description' and no '|', so circog
    takes the first word; one record per identifier, in gene order."""
    out, seen = [], set()
    for gene in genes:
        ident = identifier(gene, kind)
        if gene.protein is None or ident in seen:
            continue
        seen.add(ident)
        description = gene.description or (gene.product if gene.product != "-" else "")
        description = _clean(description).replace("|", " ")
        description = description[:MAX_DESCRIPTION].strip()
        out.append(f">{ident} {description}\n" if description else f">{ident}\n")
        sequence = gene.protein
        out.extend(sequence[i:i + FASTA_WIDTH] + "\n" for i in range(0, len(sequence), FASTA_WIDTH))
    return "".join(out)


# ---------------------------------------------------------------- writing

def write_genome(workdir, files, replace=False):
    """Writes the genome's files under the working directory's lock, setting
    the directory up when it has no config.txt yet. A genome whose size line
    is there is refused unless replace; one without (a killed import) is
    replaced. Returns warning lines for standard error."""
    existed = os.path.isdir(workdir)
    with wd.locked(workdir):
        created, staged = [], wd.Staged()
        for path in [*_paths(workdir, files.name).values(), *wd.set_up_paths(workdir)]:
            wd.remove_stale_temporaries(path)
        try:
            if not os.path.exists(os.path.join(workdir, wd.CONFIG)):
                wd.set_up(workdir, PAM_TABLE, created)
            warnings = _commit(workdir, files, replace, staged)
        except BaseException:
            staged.discard()
            wd.undo_set_up(workdir, created, existed)
            raise
    return warnings


def _paths(workdir, name):
    return {"sizes": os.path.join(workdir, wd.SIZES), "origins": os.path.join(workdir, wd.ORIGINS),
            "table": os.path.join(workdir, "genes", name + ".tab"),
            "proteins": os.path.join(workdir, "angle1", name + ".faa")}


def _commit(workdir, files, replace, staged):
    for sub in ("genes", "angle1"):
        folder = os.path.join(workdir, sub)
        if not os.path.isdir(folder):
            raise KitError(folder, "not a directory (is this a circog working directory?)")
    paths = _paths(workdir, files.name)
    sizes = _read_bytes(paths["sizes"])
    present = wd.table_has(sizes, files.name)
    if present and not replace:
        raise KitError(paths["sizes"], f"genome '{files.name}' is already imported "
                                       "(--replace imports it again)")
    if present:  # out of the run first, so no run sees old and new files mixed
        staged.stage(paths["sizes"], wd.replace_table_line(sizes, files.name))
    staged.stage(paths["proteins"], files.proteins.encode(ENCODING))
    staged.stage(paths["table"], files.gene_table.encode(ENCODING))
    staged.stage(paths["origins"], wd.replace_table_line(_read_bytes(paths["origins"]), files.name,
                                                         files.origin_line))
    staged.stage(paths["sizes"], wd.replace_table_line(sizes, files.name, files.size_line))
    staged.commit()
    return _warnings(workdir, files, paths["sizes"])


def _warnings(workdir, files, sizes_path):
    warnings = []
    if files.with_protein == 0 and wd.alignment_on(wd.read_config(workdir)):
        warnings.append(f"warning: {files.name} has no protein, and {workdir}/config.txt has "
                        "AlignmentFlag=TRUE: its genes will find no partner; import it again with "
                        "--proteins FAA --replace, or set AlignmentFlag=FALSE")
    for number, name in wd.sizes_lines(sizes_path):
        problem = wd.genome_name_problem(name)
        if problem:
            warnings.append(f"warning: {sizes_path}, line {number}: {problem}: circog cannot "
                            "run with it; remove its line (and its files)")
    return warnings


def _read_bytes(path):
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except FileNotFoundError:
        return b""
    except OSError as error:
        raise KitError(path, f"cannot read ({error.strerror})") from None
