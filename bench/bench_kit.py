#!/usr/bin/python3
"""Benchmark of circog-kit: import of a 5-Mb genome with an eggNOG-mapper
table, and plot plus report for a run over 10 genomes (45 pairs).

Usage: bench/bench_kit.py [CIRCOG_BINARY] [--repeat N]

The 5-Mb genome is S. Typhi CT18 (example/sources) with its positions scaled
to 5,000,000 bp, written by bench/make_annotation.py as gzipped NCBI-style
GFF3 with a ##FASTA section, an eggNOG-mapper table and a protein FASTA, and
as a GenBank file. The
10 genomes are K-12 and CT18, each with its origin moved to five places.
Everything is written under build/kit-bench. Prints the best wall times.
"""
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import make_annotation  # noqa: E402

KIT = os.path.join(ROOT, "kit", "circog-kit")
SOURCES = [("Ecoli_K12", "NC_000913", 4639675), ("Styphi_CT18", "NC_003198", 4809037)]


def best_time(command, repeat, before=None):
    best = None
    for _ in range(repeat):
        if before:
            before()
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None or elapsed < best else best
    return best


def source(accession, suffix):
    return os.path.join(ROOT, "example", "sources", accession + suffix)


def bench_import(base, repeat):
    prefix = os.path.join(base, "typhi5mb")
    gff = make_annotation.convert(source("NC_003198", ".ptt"), source("NC_003198", ".faa.gz"),
                                  prefix, length=5_000_000, with_fasta=True, compress=True, genbank=True)
    workdir = os.path.join(base, "import")
    for label, arguments in (
            ("gzipped GFF3 with ##FASTA, eggNOG-mapper table, protein FASTA",
             [gff, "--proteins", prefix + ".faa", "--cogs", prefix + ".emapper.annotations"]),
            ("GenBank with /translation and /db_xref", [prefix + ".gbk"])):
        seconds = best_time([KIT, "import", workdir, "Typhi5Mb", *arguments], repeat,
                            lambda: shutil.rmtree(workdir, ignore_errors=True))
        print(f"import of a 5-Mb genome ({label}): {seconds:.2f} s")


def make_run(base, binary):
    workdir = os.path.join(base, "ten")
    shutil.rmtree(workdir, ignore_errors=True)
    for name, accession, length in SOURCES:
        for step in range(5):
            prefix = os.path.join(base, f"{name}_{step}")
            gff = make_annotation.convert(source(accession, ".ptt"), source(accession, ".faa.gz"),
                                          prefix, rotate=step * length // 5)
            subprocess.run([KIT, "import", workdir, f"{name}_{step}", gff, "--proteins",
                            prefix + ".faa", "--cogs", prefix + ".emapper.annotations"],
                           check=True, stdout=subprocess.DEVNULL)
    start = time.perf_counter()
    with open(os.path.join(workdir, "console.txt"), "wb") as console:
        subprocess.run([binary], cwd=workdir, stdout=console, check=True)
    print(f"circog on 10 genomes: {time.perf_counter() - start:.1f} s")
    return workdir


def main():
    args = sys.argv[1:]
    repeat = 3
    if "--repeat" in args:
        at = args.index("--repeat")
        repeat = int(args[at + 1])
        del args[at:at + 2]
    binary = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "release", "circog"))
    base = os.path.join(ROOT, "build", "kit-bench")
    os.makedirs(base, exist_ok=True)
    bench_import(base, repeat)
    workdir = make_run(base, binary)
    plot = best_time([KIT, "plot", workdir], repeat)
    pairs = sum(1 for _ in open(os.path.join(workdir, "plots", "summary.tsv"))) - 1
    print(f"plot: {plot:.2f} s for {pairs} pairs, {plot / pairs:.3f} s a pair")
    report = best_time([KIT, "report", workdir], repeat)
    size = os.path.getsize(os.path.join(workdir, "report.html")) / 1e6
    print(f"report: {report:.2f} s ({size * 1000:.0f} kB front page)")


if __name__ == "__main__":
    main()
