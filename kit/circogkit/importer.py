"""Adds one genome to a circog working directory: its gene table
genes/NAME.tab, its proteins angle1/NAME.faa and its line in
genome_sizes.txt.

Everything is built in memory first; files are then written to temporaries
and renamed, so a failed import leaves the directory as it was.
"""
import os
import re
import shutil
from dataclasses import dataclass

from . import formats
from .formats import KitError

GENE_TABLE_HEADER = "Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker"
SAFE_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]*")
FASTA_WIDTH = 70
MAX_DESCRIPTION = 300  # circog's protein reader wants header lines under 500 characters
PAM_TABLE = os.path.join(os.path.dirname(__file__), "..", "..", "data", "PAM-250.txt")


@dataclass
class GenomeFiles:
    name: str
    gene_table: str
    proteins: str
    size_line: str
    summary: str


def build_genome(name, annotation_path, proteins_path=None, cogs_path=None, replicon=None):
    """Reads the inputs and returns the texts to write, or raises KitError."""
    if not SAFE_NAME.fullmatch(name):
        raise KitError(name, "genome name must be letters, digits, '.', '_' or '-', "
                             "starting with a letter or digit")
    annotation = formats.read_annotation(annotation_path)
    chosen = choose_replicon(annotation, replicon)
    length = annotation.replicons[chosen]
    genes = [g for g in annotation.genes if g.replicon == chosen]
    elsewhere = len(annotation.genes) - len(genes)
    kind = _primary_key(genes)
    if proteins_path:
        kind = attach_proteins(genes, proteins_path, annotation_path)
    if cogs_path:
        attach_cogs(genes, cogs_path, annotation_path)
    rows = [GENE_TABLE_HEADER] + [gene_row(g, kind, length) for g in genes]
    summary = (f"{name}: {len(genes)} genes on {chosen} ({length} bp), "
               f"{sum(g.cog != '-' for g in genes)} with a COG identifier, "
               f"{sum(g.protein is not None for g in genes)} with a protein, "
               f"{elsewhere} on other replicons, {_skipped_text(annotation.skipped)}")
    return GenomeFiles(name, "\n".join(rows) + "\n", protein_text(genes, kind),
                       f"{name}\t{length}\n", summary)


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
    proteins = formats.read_proteins(path)
    hits = {}
    for gene in genes:
        for kind, value in gene.keys.items():
            if any(v in proteins for v in formats.key_variants(value)):
                hits[kind] = hits.get(kind, 0) + 1
    if not hits:
        raise KitError(path, f"no protein record matches a gene of {annotation_path} "
                             "(by protein identifier, ID, Name or locus tag)")
    kind = max(hits, key=lambda k: hits[k])
    for gene in genes:
        value = gene.keys.get(kind)
        record = next((proteins[v] for v in formats.key_variants(value or "") if v in proteins), None)
        gene.protein = record[0] if record else None
        gene.description = record[1] if record else ""
    return kind


def attach_cogs(genes, path, annotation_path):
    """Replaces the annotation's COG identifiers with the table's, matched by
    any identifier of the gene."""
    table = formats.read_cog_table(path)
    matched = 0
    for gene in genes:
        gene.cog = next((table[v] for value in gene.keys.values()
                         for v in formats.key_variants(value) if v in table), "-")
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

def write_genome(workdir, files):
    """Writes the genome's files, setting the directory up when it has no
    config.txt yet; on any failure undoes what it did."""
    created, written = [], []
    sizes_path = os.path.join(workdir, "genome_sizes.txt")
    try:
        if not os.path.exists(os.path.join(workdir, "config.txt")):
            created = _set_up(workdir)
        _check_new(workdir, files.name, sizes_path)
        old_sizes = _read_bytes(sizes_path)
        if old_sizes and not old_sizes.endswith(b"\n"):
            old_sizes += b"\n"
        targets = [(os.path.join(workdir, "genes", files.name + ".tab"), files.gene_table),
                   (os.path.join(workdir, "angle1", files.name + ".faa"), files.proteins)]
        for path, text in targets:
            _replace(path, text.encode(formats.ENCODING))
            written.append(path)
        _replace(sizes_path, old_sizes + files.size_line.encode(formats.ENCODING))
    except BaseException:
        for path in written:
            os.remove(path)
        for path in reversed(created):
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        raise


def _set_up(workdir):
    """Creates what a working directory needs and is missing; returns the
    paths created, deepest last."""
    created = []
    if not os.path.isdir(workdir):
        os.makedirs(workdir)
        created.append(workdir)
    for sub in ("genes", "angle1", "out"):
        path = os.path.join(workdir, sub)
        if not os.path.isdir(path):
            os.mkdir(path)
            created.append(path)
    for name, source in (("PAM-250.txt", PAM_TABLE), ("config.txt", None), ("genome_sizes.txt", None)):
        path = os.path.join(workdir, name)
        if os.path.exists(path):
            continue
        if source:
            shutil.copyfile(source, path)
        else:
            with open(path, "w", encoding=formats.ENCODING, newline="\n") as out:
                out.write(formats.CONFIG_TEXT if name == "config.txt" else "")
        created.append(path)
    return created


def _check_new(workdir, name, sizes_path):
    """Refuses a genome that has a size line or either of its files."""
    found = [path for path in (os.path.join(workdir, "genes", name + ".tab"),
                               os.path.join(workdir, "angle1", name + ".faa")) if os.path.exists(path)]
    if os.path.exists(sizes_path) and name in formats.read_genome_sizes(sizes_path):
        found.insert(0, sizes_path)
    if found:
        raise KitError(found[0], f"genome '{name}' is already imported")
    for sub in ("genes", "angle1"):
        folder = os.path.join(workdir, sub)
        if not os.path.isdir(folder):
            raise KitError(folder, "not a directory (is this a circog working directory?)")


def _read_bytes(path):
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as handle:
        return handle.read()


def _replace(path, data):
    temporary = path + ".circog-kit.tmp"
    try:
        with open(temporary, "wb") as out:
            out.write(data)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise
