"""Readers for the files the kit meets: annotations (GFF3, GenBank, .ptt),
protein FASTA, COG tables (eggNOG-mapper, COG 2020) and a circog working
directory's own text files.

Text is decoded as Latin-1 everywhere, so every byte passes through to the
files the kit writes unchanged.
"""
import csv
import gzip
import io
import os
import re
import urllib.parse
from dataclasses import dataclass, field

ENCODING = "latin-1"
COG_PATTERN = re.compile(r"(?<![A-Za-z])COG\d{4}")


class KitError(Exception):
    """A problem with one input file, optionally at one line."""

    def __init__(self, path, message, line=None):
        super().__init__(message)
        self.path = path
        self.line = line
        self.message = message

    def __str__(self):
        where = self.path if self.line is None else f"{self.path}, line {self.line}"
        return f"{where}: {self.message}"


def read_lines(path):
    """Returns the file's lines without line ends; gzip data is recognised by
    its magic bytes, and a CR counts only right before a line feed."""
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise KitError(path, f"cannot read ({error.strerror})") from None
    if data[:2] == b"\x1f\x8b":
        data = _gunzip(path, data)
    lines = data.decode(ENCODING).split("\n")
    if lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


def _gunzip(path, data):
    chunks = []
    with gzip.GzipFile(fileobj=io.BytesIO(data)) as stream:
        try:
            while chunk := stream.read(1 << 20):
                chunks.append(chunk)
        except (EOFError, OSError, gzip.BadGzipFile) as error:
            line = sum(c.count(b"\n") for c in chunks) + 1
            reason = "truncated gzip data" if isinstance(error, EOFError) else f"bad gzip data ({error})"
            raise KitError(path, reason, line) from None
    return b"".join(chunks)


def bare_cog(text):
    """The first COG identifier in text in its bare form (COG0527E gives
    COG0527), or '-' when there is none."""
    found = COG_PATTERN.search(text or "")
    return found.group(0) if found else "-"


def key_variants(identifier):
    """The identifier and, for a versioned accession, the one without version,
    so WP_000001234.1 and WP_000001234 find each other."""
    base, dot, version = identifier.rpartition(".")
    return (identifier, base) if dot and base and version.isdigit() else (identifier,)


# ---------------------------------------------------------------- annotations

@dataclass
class Gene:
    """One protein-coding gene as read from an annotation."""
    replicon: str
    parts: list            # (low, high) 1-based, inclusive
    strand: str            # '+' or '-'
    keys: dict             # identifier kind -> value, in order of preference
    line: int
    locus: str = "-"
    name: str = "-"
    product: str = "-"
    cog: str = "-"
    protein: str = None
    aa_length: str = None  # as the annotation gives it (.ptt)
    location: str = None   # as the annotation gives it (.ptt)
    description: str = ""  # the protein record's header text after its identifier


@dataclass
class Annotation:
    path: str
    kind: str
    replicons: dict        # name -> length, in order of appearance
    genes: list
    skipped: dict = field(default_factory=dict)   # reason -> count
    aliases: dict = field(default_factory=dict)   # other replicon name -> name

    def skip(self, reason):
        self.skipped[reason] = self.skipped.get(reason, 0) + 1


def detect_annotation(path, lines):
    for line in lines:
        if not line.strip():
            continue
        if line.startswith("##gff-version") or line.count("\t") == 8:
            return "gff3"
        if line.startswith("LOCUS"):
            return "genbank"
        break
    if len(lines) >= 3 and lines[2].startswith("Location\tStrand"):
        return "ptt"
    raise KitError(path, "unknown annotation format (expected GFF3, GenBank or .ptt)", 1)


def read_annotation(path):
    lines = read_lines(path)
    kind = detect_annotation(path, lines)
    return {"gff3": parse_gff3, "genbank": parse_genbank, "ptt": parse_ptt}[kind](path, lines)


def parse_ptt(path, lines):
    """An NCBI protein table: title line ending in '- 1..LENGTH', a count
    line, a column header, then one protein per line."""
    title = re.search(r"^(.*?)\s*- 1\.\.(\d+)\s*$", lines[0])
    if not title:
        raise KitError(path, "title line does not end with '- 1..LENGTH'", 1)
    replicon = title.group(1)
    accession = os.path.basename(path).split(".")[0]
    result = Annotation(path, "ptt", {replicon: int(title.group(2))}, [],
                        aliases={accession: replicon})
    for number, line in enumerate(lines[3:], start=4):
        if not line.strip():
            continue
        fields = line.split("\t")
        if len(fields) != 9:
            raise KitError(path, f"expected 9 tab-separated columns, found {len(fields)}", number)
        location, strand, length, pid, gene, synonym, code, cog, product = fields
        low, dots, high = location.partition("..")
        if not (dots and low.isdigit() and high.isdigit()) or strand not in "+-":
            raise KitError(path, f"bad location or strand '{location}' '{strand}'", number)
        result.genes.append(Gene(
            replicon, [(int(low), int(high))], strand,
            {"PID": pid, "locus_tag": synonym, "gene": gene}, number,
            locus=synonym, name=gene, product=product, cog=bare_cog(cog),
            aa_length=length, location=location))
    return result


def _gff_attributes(text):
    attributes = {}
    for item in text.split(";"):
        key, equals, value = item.strip().partition("=")
        if equals:
            attributes[key] = urllib.parse.unquote(value, encoding=ENCODING)
    return attributes


def _xref_cog(values):
    for value in values:
        for item in (value or "").split(","):
            if item.strip().startswith("COG:"):
                cog = bare_cog(item)
                if cog != "-":
                    return cog
    return "-"


def parse_gff3(path, lines):
    """GFF3: CDS rows are genes (rows sharing an ID are one gene); lengths
    from ##sequence-region, 'region' rows or the ##FASTA section."""
    result = Annotation(path, "gff3", {}, [])
    by_id = {}
    for number, line in enumerate(lines, start=1):
        if line.startswith("##FASTA"):
            _gff_fasta_lengths(result, lines[number:], number + 1)
            break
        if line.startswith("##sequence-region"):
            words = line.split()
            if len(words) == 4 and words[3].isdigit():
                result.replicons.setdefault(words[1], int(words[3]))
            continue
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 9:
            raise KitError(path, f"expected 9 tab-separated columns, found {len(fields)}", number)
        seqid, _, kind, start, end, _, strand, _, attributes = fields
        if not (start.isdigit() and end.isdigit()):
            raise KitError(path, f"start and end must be numbers ('{start}', '{end}')", number)
        if kind == "region" and seqid not in result.replicons:
            result.replicons[seqid] = int(end)
        if kind != "CDS":
            continue
        attrs = _gff_attributes(attributes)
        part = (int(start), int(end))
        gene_id = attrs.get("ID")
        if gene_id and (seqid, gene_id) in by_id:
            if by_id[(seqid, gene_id)] is not None:  # None: the gene's first row was skipped
                by_id[(seqid, gene_id)].parts.append(part)
            continue
        keys = {k: attrs[k] for k in ("protein_id", "ID", "Name", "locus_tag") if attrs.get(k)}
        reason = ("pseudogene" if attrs.get("pseudo") == "true" or "pseudogene" in attrs
                  else "no strand" if strand not in ("+", "-")
                  else "no identifier" if not keys else None)
        if reason:
            result.skip(reason)
            by_id[(seqid, gene_id)] = None
            continue
        gene = Gene(seqid, [part], strand, keys, number,
                    locus=attrs.get("locus_tag", "-"), name=attrs.get("gene", "-"),
                    product=attrs.get("product", "-"),
                    cog=_xref_cog([attrs.get("Dbxref"), attrs.get("db_xref")]))
        result.genes.append(gene)
        if gene_id:
            by_id[(seqid, gene_id)] = gene
    return result


def _gff_fasta_lengths(result, lines, first_line):
    for name, sequence, _ in fasta_records(result.path, lines, first_line):
        result.replicons.setdefault(name.split()[0] if name else name, len(sequence))


def parse_genbank(path, lines):
    """GenBank flat file, one record per replicon; CDS features are genes."""
    from Bio import SeqIO  # Biopython is slow to import; only GenBank needs it
    result = Annotation(path, "genbank", {}, [])
    try:
        records = list(SeqIO.parse(io.StringIO("\n".join(lines) + "\n"), "genbank"))
    except Exception as error:  # the parser signals bad input with assorted exception types
        raise KitError(path, f"not a readable GenBank file ({error})") from None
    for record in records:
        result.replicons[record.id] = len(record.seq)
        result.aliases[record.name] = record.id
        result.aliases[record.id.split(".")[0]] = record.id
        for feature in record.features:
            if feature.type == "CDS":
                _genbank_gene(result, record.id, feature)
    return result


def _genbank_gene(result, replicon, feature):
    q = {key: values[0] for key, values in feature.qualifiers.items() if values}
    if "pseudo" in feature.qualifiers or "pseudogene" in feature.qualifiers:
        result.skip("pseudogene")
        return
    if feature.location is None:
        result.skip("no coordinates")
        return
    strand = {1: "+", -1: "-"}.get(feature.location.strand)
    parts = [(int(p.start) + 1, int(p.end)) for p in feature.location.parts]
    keys = {k: q[k] for k in ("protein_id", "locus_tag", "gene") if q.get(k)}
    if strand is None or not keys:
        result.skip("no strand" if strand is None else "no identifier")
        return
    cog = _xref_cog(feature.qualifiers.get("db_xref", []))
    if cog == "-":
        cog = bare_cog(" ".join(feature.qualifiers.get("note", [])))
    result.genes.append(Gene(replicon, parts, strand, keys, None,
                             locus=q.get("locus_tag", "-"), name=q.get("gene", "-"),
                             product=q.get("product", "-"), cog=cog,
                             protein=q.get("translation", "").replace(" ", "") or None))


# ---------------------------------------------------------------- FASTA

def fasta_records(path, lines, first_line=1):
    """(header without '>', sequence, line number) for each record."""
    records = []
    header, chunks, start = None, [], 0
    for number, line in enumerate(lines, start=first_line):
        if line.startswith(">"):
            if header is not None:
                records.append((header, "".join(chunks), start))
            header, chunks, start = line[1:], [], number
        elif header is not None:
            chunks.append(line.strip())
        elif line.strip():
            raise KitError(path, "sequence line before the first '>' header", number)
    if header is not None:
        records.append((header, "".join(chunks), start))
    return records


def read_proteins(path):
    """Protein records by every identifier their header offers: the first
    word, and each field of a 'gi|N|ref|ACC|' first word."""
    records = fasta_records(path, read_lines(path))
    if not records:
        raise KitError(path, "no FASTA records ('>' header lines)")
    by_key = {}
    for header, sequence, _ in records:
        first, _, description = header.partition(" ")
        keys = [first] + [f for f in first.split("|") if f] if "|" in first else [first]
        for key in keys:
            for variant in key_variants(key):
                by_key.setdefault(variant, (sequence, description.strip()))
    return by_key


# ---------------------------------------------------------------- COG tables

def read_cog_table(path):
    """identifier -> bare COG identifier from an eggNOG-mapper annotations
    table or an NCBI COG 2020 table; a protein listed twice keeps its first."""
    lines = read_lines(path)
    header = next((n for n, line in enumerate(lines) if line.startswith("#query")), None)
    if header is not None:
        return _emapper(path, lines, header)
    first = next((line for line in lines if line.strip()), "")
    fields = next(csv.reader([first]), [])
    if len(fields) >= 7 and COG_PATTERN.fullmatch(fields[6].strip()):
        return _cog2020(path, lines)
    raise KitError(path, "unknown COG table format (expected eggNOG-mapper annotations "
                         "or a COG 2020 table)", 1)


def _emapper(path, lines, header):
    columns = lines[header][1:].split("\t")
    ogs = next((columns.index(c) for c in ("eggNOG_OGs", "eggNOG OGs", "OGs") if c in columns), None)
    category = columns.index("COG_category") if "COG_category" in columns else None
    if ogs is None and category is None:
        raise KitError(path, "header has no eggNOG_OGs or COG_category column", header + 1)
    needed = max(c for c in (ogs, category) if c is not None) + 1
    cogs = {}
    for number, line in enumerate(lines[header + 1:], start=header + 2):
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) < needed:
            raise KitError(path, f"expected at least {needed} tab-separated columns, "
                                 f"found {len(fields)}", number)
        cog = bare_cog(fields[ogs]) if ogs is not None else "-"
        if cog == "-" and category is not None:
            cog = bare_cog(fields[category])
        if cog != "-":
            cogs.setdefault(fields[0], cog)
    return cogs


def _cog2020(path, lines):
    cogs = {}
    for number, fields in enumerate(csv.reader(lines), start=1):
        if not fields:
            continue
        if len(fields) < 7:
            raise KitError(path, f"expected at least 7 comma-separated columns, found {len(fields)}",
                           number)
        cog = bare_cog(fields[6])
        if cog != "-":
            cogs.setdefault(fields[2].strip(), cog)
    return cogs


# ---------------------------------------------------------------- working directory

CONFIG_TEXT = """GenomeSizePath=.\\genome_sizes.txt
TranformDataDir=.\\genes\\
TranformDataFormat=.tab
TranformDataSubFormat=
TranformDataOutPath=.\\angle1\\
AnglePath=.\\angle1\\
AngleFormat=.txt
AlignmentFlag=TRUE
PairOutputPath=.\\out\\
Similarity=0.3
"""
SUMMARY_COLUMNS = ["pair", "genome1", "genome2", "shared_cogs", "accepted_pairs",
                   "share_within_10deg"]


def read_config(workdir):
    """Settings of config.txt in file order, read as circog reads them:
    Key=Value, nothing trimmed, '#' lines and lines without '=' skipped."""
    path = os.path.join(workdir, "config.txt")
    settings = {}
    for line in read_lines(path):
        if line.startswith("#") or "=" not in line:
            continue
        key, _, value = line.partition("=")
        settings.setdefault(key, value)
    return settings


def config_path(workdir, value):
    """A directory or file setting as a path below workdir ('\\' means '/')."""
    return os.path.join(workdir, value.replace("\\", "/"))


def read_genome_sizes(path):
    sizes = {}
    for number, line in enumerate(read_lines(path), start=1):
        if not line.strip():
            continue
        name, tab, length = line.partition("\t")
        if not tab:
            raise KitError(path, "expected NAME<TAB>LENGTH", number)
        sizes[name] = length
    return sizes


def read_summary(path):
    lines = read_lines(path)
    if not lines or lines[0].split("\t") != SUMMARY_COLUMNS:
        raise KitError(path, "header must be: " + " ".join(SUMMARY_COLUMNS), 1)
    rows = []
    for number, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(SUMMARY_COLUMNS):
            raise KitError(path, f"expected {len(SUMMARY_COLUMNS)} columns", number)
        row = dict(zip(SUMMARY_COLUMNS, fields))
        try:
            row["share"] = float(row["share_within_10deg"])
        except ValueError:
            raise KitError(path, "share_within_10deg is not a number", number) from None
        rows.append(row)
    return rows
