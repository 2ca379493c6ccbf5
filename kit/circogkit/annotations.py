"""Genome annotations: GFF3 (NCBI, Prokka, Bakta), GenBank and NCBI .ptt
tables, told apart by content, read into one list of protein-coding genes
with the lengths of the replicons they lie on."""
import io
import os
import re
import urllib.parse
from dataclasses import dataclass, field

from .cogtables import bare_cog
from .fasta import fasta_records
from .inputs import ENCODING, KitError, read_lines


@dataclass
class Gene:
    """One protein-coding gene as read from an annotation."""
    replicon: str
    parts: list            # (low, high) 1-based, inclusive; low > high spans the origin (.ptt)
    strand: str            # '+' or '-'
    keys: dict             # identifier kind -> value, in order of preference
    line: int              # where the gene starts in the file (None when unknown)
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
    replicon_lines: dict = field(default_factory=dict)  # name -> line that gives its length

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


def check_positions(annotation, replicon):
    """Refuses a replicon of length 0 and a gene of it that lies outside it.
    A gene may span the origin: as parts on both sides (GenBank join), as a
    .ptt location whose low end is the higher number, or, in GFF3, as one row
    whose end runs on past the replicon's end."""
    length = annotation.replicons[replicon]
    if length <= 0:
        raise KitError(annotation.path, f"replicon '{replicon}' has length {length}",
                       annotation.replicon_lines.get(replicon))
    for gene in annotation.genes:
        if gene.replicon != replicon:
            continue
        for low, high in gene.parts:
            if annotation.kind == "gff3" and high > length:
                inside = high - length < low <= length
            else:
                inside = 1 <= low <= length and 1 <= high <= length
            if not inside:
                raise KitError(annotation.path, f"gene at {low}..{high} lies outside '{replicon}' "
                                                f"(1..{length})", gene.line)


def parse_ptt(path, lines):
    """An NCBI protein table: title line ending in '- 1..LENGTH', a count
    line, a column header, then one protein per line."""
    title = re.search(r"^(.*?)\s*- 1\.\.(\d+)\s*$", lines[0])
    if not title:
        raise KitError(path, "title line does not end with '- 1..LENGTH'", 1)
    replicon = title.group(1)
    accession = os.path.basename(path).split(".")[0]
    result = Annotation(path, "ptt", {replicon: int(title.group(2))}, [],
                        aliases={accession: replicon}, replicon_lines={replicon: 1})
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
                _add_replicon(result, words[1], int(words[3]), number)
            continue
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 9:
            raise KitError(path, f"expected 9 tab-separated columns, found {len(fields)}", number)
        seqid, _, kind, start, end, _, strand, _, attributes = fields
        if not (start.isdigit() and end.isdigit()):
            raise KitError(path, f"start and end must be numbers ('{start}', '{end}')", number)
        if int(start) > int(end):
            raise KitError(path, f"start {start} lies after end {end} (a feature across the origin "
                                 "ends past the sequence's length)", number)
        if kind == "region":
            _add_replicon(result, seqid, int(end), number)
        if kind != "CDS":
            continue
        _gff_cds(result, by_id, number, seqid, (int(start), int(end)), strand,
                 _gff_attributes(attributes))
    return result


def _add_replicon(result, name, length, number):
    if name not in result.replicons:
        result.replicons[name] = length
        result.replicon_lines[name] = number


def _gff_cds(result, by_id, number, seqid, part, strand, attrs):
    gene_id = attrs.get("ID")
    if gene_id and (seqid, gene_id) in by_id:
        if by_id[(seqid, gene_id)] is not None:  # None: the gene's first row was skipped
            by_id[(seqid, gene_id)].parts.append(part)
        return
    keys = {k: attrs[k] for k in ("protein_id", "ID", "Name", "locus_tag") if attrs.get(k)}
    reason = ("pseudogene" if attrs.get("pseudo") == "true" or "pseudogene" in attrs
              else "no strand" if strand not in ("+", "-")
              else "no identifier" if not keys else None)
    if reason:
        result.skip(reason)
        by_id[(seqid, gene_id)] = None
        return
    gene = Gene(seqid, [part], strand, keys, number,
                locus=attrs.get("locus_tag", "-"), name=attrs.get("gene", "-"),
                product=attrs.get("product", "-"),
                cog=_xref_cog([attrs.get("Dbxref"), attrs.get("db_xref")]))
    result.genes.append(gene)
    if gene_id:
        by_id[(seqid, gene_id)] = gene


def _gff_fasta_lengths(result, lines, first_line):
    for name, sequence, number in fasta_records(result.path, lines, first_line):
        _add_replicon(result, name.split()[0] if name else name, len(sequence), number)


def parse_genbank(path, lines):
    """GenBank flat file, one record per replicon; CDS features are genes."""
    from Bio import SeqIO  # Biopython is slow to import; only GenBank needs it
    result = Annotation(path, "genbank", {}, [])
    try:
        records = list(SeqIO.parse(io.StringIO("\n".join(lines) + "\n"), "genbank"))
    except Exception as error:  # the parser signals bad input with assorted exception types
        raise KitError(path, f"not a readable GenBank file ({error})") from None
    locus_lines, cds_lines = _genbank_lines(lines)
    for index, record in enumerate(records):
        result.replicons[record.id] = len(record.seq)
        result.aliases[record.name] = record.id
        result.aliases[record.id.split(".")[0]] = record.id
        starts = cds_lines[index] if index < len(cds_lines) else []
        if index < len(locus_lines):
            result.replicon_lines[record.id] = locus_lines[index]
        cds = (f for f in record.features if f.type == "CDS")
        for number, feature in enumerate(cds):
            _genbank_gene(result, record.id, feature, starts[number] if number < len(starts) else None)
    return result


def _genbank_lines(lines):
    """The LOCUS line of every record and, per record, the line where each
    CDS feature starts, in file order (the parser gives no line numbers)."""
    locus_lines, cds_lines = [], []
    for number, line in enumerate(lines, start=1):
        if line.startswith("LOCUS"):
            locus_lines.append(number)
            cds_lines.append([])
        elif line.startswith("     CDS ") and cds_lines:
            cds_lines[-1].append(number)
    return locus_lines, cds_lines


def _genbank_gene(result, replicon, feature, line):
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
    result.genes.append(Gene(replicon, parts, strand, keys, line,
                             locus=q.get("locus_tag", "-"), name=q.get("gene", "-"),
                             product=q.get("product", "-"), cog=cog,
                             protein=q.get("translation", "").replace(" ", "") or None))
