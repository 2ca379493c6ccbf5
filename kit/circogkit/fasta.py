"""FASTA: records of any FASTA text, and protein files looked up by every
identifier their headers offer."""
import string

from .inputs import ENCODING, KitError, key_variants, read_lines

NUCLEOTIDES = "ACGTUN"
# Proteins hold about a quarter of these letters; gene (.ffn) or genome files
# nearly nothing else.
NUCLEOTIDE_SHARE = 0.9


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


def nucleotide_share(sequences):
    """The share of letters that are A, C, G, T, U or N (either case), or 0
    when there is no letter."""
    data = "".join(sequences).upper().encode(ENCODING, "replace")
    letters = len(data) - len(data.translate(None, string.ascii_uppercase.encode()))
    nucleotides = len(data) - len(data.translate(None, NUCLEOTIDES.encode()))
    return nucleotides / letters if letters else 0.0


def read_proteins(path):
    """Protein records by every identifier their header offers: the first
    word, and each field of a 'gi|N|ref|ACC|' first word. A file of
    nucleotide sequences (genes, a genome) is refused."""
    records = fasta_records(path, read_lines(path))
    if not records:
        raise KitError(path, "no FASTA records ('>' header lines)")
    share = nucleotide_share(sequence for _, sequence, _ in records)
    if share >= NUCLEOTIDE_SHARE:
        raise KitError(path, f"holds nucleotide sequences ({share:.0%} of its letters are A, C, G, "
                             "T, U or N), not proteins: give the protein FASTA (.faa), not the "
                             "genes' (.ffn) or the genome's")
    by_key = {}
    for header, sequence, _ in records:
        first, _, description = header.partition(" ")
        keys = [first] + [f for f in first.split("|") if f] if "|" in first else [first]
        for key in keys:
            for variant in key_variants(key):
                by_key.setdefault(variant, (sequence, description.strip()))
    return by_key
