#!/usr/bin/env python3
"""Turns an NCBI protein table (.ptt, optionally gzipped) into a circog gene table.

Usage: ptt_to_gene_table.py TABLE.ptt[.gz] OUT.tab
Prints the genome size (the chromosome length from the title line).

Gene table columns (tab-separated, one header line first):
  1 locus tag, 2 gene name, 3 protein identifier (the PID, as in the FASTA
  headers), 4 start position in base pairs, 5 strand, 6 length in amino acids,
  7 COG identifier ("-" when none), 8 location, 9 code, 10 product,
  11 exclusion marker (empty).
The start position is where transcription starts: the low coordinate on the
'+' strand, the high one on the '-' strand.
"""
import gzip
import re
import sys


def read_lines(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", encoding="latin-1") as handle:
        return handle.read().splitlines()


def main():
    source, target = sys.argv[1], sys.argv[2]
    lines = read_lines(source)
    size = re.search(r"- 1\.\.(\d+)\s*$", lines[0]).group(1)
    rows = ["Locus\tGene\tPID\tStart\tStrand\tLength\tCOG\tLocation\tCode\tProduct\tMarker"]
    for line in lines[3:]:
        if not line.strip():
            continue
        location, strand, length, pid, gene, synonym, code, cog, product = line.split("\t")
        low, high = location.split("..")
        start = high if strand == "-" else low
        rows.append("\t".join([synonym, gene, pid, start, strand, length, cog, location,
                               code, product, ""]))
    with open(target, "w", encoding="latin-1", newline="\n") as out:
        out.write("\n".join(rows) + "\n")
    print(size)


if __name__ == "__main__":
    main()
