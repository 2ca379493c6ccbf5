#!/usr/bin/python3
"""Writes a genome given as an NCBI .ptt table and legacy protein FASTA again
in today's formats: an NCBI-style GFF3, an eggNOG-mapper annotations table
and a protein FASTA with '>ACCESSION description' headers.

Usage: bench/make_annotation.py PTT FAA OUTPUT_PREFIX [--length BP] [--rotate BP] [--fasta] [--gzip]
                                 [--genbank]

--length BP scales every position to a chromosome of BP base pairs (a
larger genome for benchmarks); --rotate BP moves the origin (a gene that then
spans it is written as a CDS in two rows); --fasta appends a ##FASTA section with a
made-up chromosome sequence of that length; --gzip compresses the GFF3;
--genbank also writes PREFIX.gbk (that sequence, CDS features with
/translation and /db_xref="COG:...").
Writes PREFIX.gff3[.gz], PREFIX.emapper.annotations and PREFIX.faa.
"""
import argparse
import gzip
import os
import random
import re
import sys
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "kit"))
from circogkit import cogtables, inputs  # noqa: E402
from circogkit.fasta import fasta_records  # noqa: E402

EMAPPER_COLUMNS = ["query", "seed_ortholog", "evalue", "score", "eggNOG_OGs", "max_annot_lvl",
                   "COG_category", "Description", "Preferred_name", "GOs", "EC", "KEGG_ko", "PFAMs"]


def gff_escape(text):
    return urllib.parse.quote(text, safe=" ()[]/:'+-_.,", encoding=inputs.ENCODING).replace(",", "%2C")


def legacy_proteins(path):
    """gi number -> (accession, description, sequence)."""
    proteins = {}
    for header, sequence, _ in fasta_records(path, inputs.read_lines(path)):
        first, _, description = header.partition(" ")
        fields = first.split("|")
        proteins.setdefault(fields[1], (fields[3], description, sequence))
    return proteins


def convert(ptt, faa, prefix, length=None, with_fasta=False, compress=False, rotate=0, genbank=False):
    lines = inputs.read_lines(ptt)
    original = int(re.search(r"1\.\.(\d+)\s*$", lines[0]).group(1))
    length = length or original
    seqid = os.path.basename(ptt).split(".")[0]
    proteins = legacy_proteins(faa)
    gff = ["##gff-version 3", f"##sequence-region {seqid} 1 {length}"]
    emapper = ["## emapper-2.1.12", "#" + "\t".join(EMAPPER_COLUMNS)]
    fasta, features = [], []
    for line in lines[3:]:
        location, strand, _, pid, gene, locus, _, cog, product = line.split("\t")
        low, high = ((int(v) * length // original + rotate - 1) % length + 1 for v in location.split(".."))
        accession, description, sequence = proteins.get(pid, (f"XP_{pid}.1", product, None))
        attributes = [f"ID=cds-{accession}", f"Parent=gene-{locus}", f"Name={accession}",
                      f"gene={gff_escape(gene)}" if gene != "-" else None, f"locus_tag={locus}",
                      f"product={gff_escape(product)}", f"protein_id={accession}"]
        rows = [(low, high)] if low <= high else [(low, length), (1, high)]
        for start, end in rows:
            gff.append("\t".join([seqid, "RefSeq", "CDS", str(start), str(end), ".", strand, "0",
                                  ";".join(a for a in attributes if a)]))
        if sequence is not None:
            fasta.append(f">{accession} {description}\n{sequence}\n")
        bare = cogtables.bare_cog(cog)
        features.append((rows, strand, locus, product, accession, sequence, bare))
        if bare != "-":
            emapper.append("\t".join([accession, "511145.b0002", "1e-100", "500.0",
                                      f"{bare}@1|root,{bare}@2|Bacteria,1MVM4@1224|Proteobacteria",
                                      "1224|Proteobacteria", cog[len(bare):] or "-", product,
                                      gene, "-", "-", "-", "-"]))
    chromosome = "".join(random.Random(length).choices("ACGT", k=length)) if with_fasta or genbank else ""
    if with_fasta:
        gff.append("##FASTA")
        gff.append(f">{seqid}")
        gff.extend(chromosome[i:i + 80] for i in range(0, length, 80))
    if genbank:
        write_genbank(prefix + ".gbk", seqid, chromosome, features)
    text = ("\n".join(gff) + "\n").encode(inputs.ENCODING)
    gff_path = prefix + (".gff3.gz" if compress else ".gff3")
    with open(gff_path, "wb") as out:
        out.write(gzip.compress(text, mtime=0) if compress else text)
    with open(prefix + ".emapper.annotations", "w", encoding=inputs.ENCODING, newline="\n") as out:
        out.write("\n".join(emapper) + "\n")
    with open(prefix + ".faa", "w", encoding=inputs.ENCODING, newline="\n") as out:
        out.writelines(fasta)
    return gff_path


def write_genbank(path, seqid, chromosome, features):
    from Bio import SeqIO
    from Bio.Seq import Seq
    from Bio.SeqFeature import CompoundLocation, SeqFeature, SimpleLocation
    from Bio.SeqRecord import SeqRecord
    record = SeqRecord(Seq(chromosome), id=seqid + ".1", name=seqid, description="made from a .ptt table")
    record.annotations["molecule_type"] = "DNA"
    for rows, strand, locus, product, accession, sequence, cog in features:
        parts = [SimpleLocation(start - 1, end, 1 if strand == "+" else -1) for start, end in rows]
        qualifiers = {"locus_tag": [locus], "product": [product], "protein_id": [accession]}
        if sequence:
            qualifiers["translation"] = [sequence]
        if cog != "-":
            qualifiers["db_xref"] = [f"COG:{cog}"]
        location = parts[0] if len(parts) == 1 else CompoundLocation(parts)
        record.features.append(SeqFeature(location, type="CDS", qualifiers=qualifiers))
    SeqIO.write(record, path, "genbank")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("ptt")
    parser.add_argument("faa")
    parser.add_argument("prefix")
    parser.add_argument("--length", type=int)
    parser.add_argument("--rotate", type=int, default=0)
    parser.add_argument("--fasta", action="store_true")
    parser.add_argument("--gzip", action="store_true")
    parser.add_argument("--genbank", action="store_true")
    args = parser.parse_args()
    print(convert(args.ptt, args.faa, args.prefix, args.length, args.fasta, args.gzip, args.rotate,
                  args.genbank))


if __name__ == "__main__":
    main()
