#!/usr/bin/python3
"""Benchmark: the Snakemake workflow against one circog run over the same genomes.

Usage: bench/run_workflow.py [--genomes N] [--cores C] [--pair-threads T] [--scheduler S]

Derives N genomes (default 20, so N(N-1)/2 pairs) from the repository's E. coli
K-12 and S. Typhi CT18 tables (example/sources): copy k of each has its origin
moved k tenths of the chromosome on and a tenth of its genes left out at
random (seeded by k). Alignment on. Measures, under build/workflow-bench:
  - one circog run over all N genomes (their circog-kit imports timed apart);
  - the workflow with --cores C (Snakemake's greedy scheduler unless
    --scheduler ilp), phase by phase: imports, circog pairs, plots
    with the report;
  - the workflow's own cost per job: the pair jobs again with a circog that
    exits at once (/bin/true), on the same imported genomes.
Checks that every pair's result files equal those of the single run.
"""
import argparse
import gzip
import os
import random
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.path.join(ROOT, "kit", "circog-kit")
CIRCOG = os.path.join(ROOT, "build", "release", "circog")
SOURCES = [("Ecoli_K12", "example/sources/NC_000913.ptt", "example/sources/NC_000913.faa.gz"),
           ("Styphi_CT18", "example/sources/NC_003198.ptt", "example/sources/NC_003198.faa.gz")]


def derive_ptt(source, target, copy):
    """Writes source's table with the origin moved copy/10 of the chromosome
    on and every gene kept with probability 0.9 (genes then spanning the
    origin are left out)."""
    opener = gzip.open if source.endswith(".gz") else open
    with opener(source, "rt", encoding="latin-1") as handle:
        lines = handle.read().splitlines()
    length = int(lines[0].rsplit("..", 1)[1])
    shift, chance = length * copy // 10, random.Random(copy)
    rows = []
    for line in lines[3:]:
        fields = line.split("\t")
        low, high = ((int(x) - 1 + shift) % length + 1 for x in fields[0].split(".."))
        if chance.random() < 0.9 and low <= high:
            rows.append("\t".join([f"{low}..{high}"] + fields[1:]))
    with open(target, "w", encoding="latin-1") as out:
        out.write("\n".join([lines[0], f"{len(rows)} proteins", lines[2]] + rows) + "\n")


def make_inputs(folder, count):
    os.makedirs(folder)
    sheet = ["name\tannotation\tproteins\tcogs"]
    for copy in range(count):
        name, table, proteins = SOURCES[copy % 2]
        genome = f"{name}_c{copy // 2}"
        derive_ptt(os.path.join(ROOT, table), os.path.join(folder, genome + ".ptt"), copy // 2)
        sheet.append(f"{genome}\t{genome}.ptt\t{os.path.join(ROOT, proteins)}\t")
    with open(os.path.join(folder, "samples.tsv"), "w") as out:
        out.write("\n".join(sheet) + "\n")
    return [line.split("\t") for line in sheet[1:]]


class Timing:
    """Wall time and CPU time (user + system, the command and everything it waited for)."""

    def __init__(self, wall=0.0, cpu=0.0):
        self.wall, self.cpu = wall, cpu

    def __add__(self, other):
        return Timing(self.wall + other.wall, self.cpu + other.cpu)

    def __str__(self):
        return f"{self.wall:.1f} s wall, {self.cpu:.1f} s CPU"


def timed(command, **options):
    before, start = resource.getrusage(resource.RUSAGE_CHILDREN), time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **options)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    return Timing(time.perf_counter() - start, cpu)


def single_run(base, inputs, rows):
    workdir = os.path.join(base, "single")
    imports = sum((timed([KIT, "import", workdir, name, os.path.join(inputs, table), "--proteins", proteins])
                   for name, table, proteins, _ in rows), Timing())
    return workdir, imports, timed([CIRCOG], cwd=workdir)


def workflow(base, name, settings, *options):
    config = os.path.join(base, name + ".yaml")
    with open(config, "w") as out:
        out.writelines(f"{key}: {value}\n" for key, value in settings.items())
    command = ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", config,
               *options]
    return timed(command, cwd=base)


def same_pairs(single, outdir):
    expected = sorted(os.listdir(os.path.join(single, "out")))
    seen = []
    for pair in os.listdir(os.path.join(outdir, "pairs")):
        out = os.path.join(outdir, "pairs", pair, "circog", "out")
        for name in os.listdir(out):
            seen.append(name)
            with open(os.path.join(out, name), "rb") as a, open(os.path.join(single, "out", name), "rb") as b:
                if a.read() != b.read():
                    return False
    return sorted(seen) == expected


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--genomes", type=int, default=20)
    parser.add_argument("--cores", type=int, default=2)
    parser.add_argument("--pair-threads", type=int, default=1)
    parser.add_argument("--scheduler", default="greedy", choices=("greedy", "ilp"))
    args = parser.parse_args()
    base = os.path.join(ROOT, "build", "workflow-bench")
    shutil.rmtree(base, ignore_errors=True)
    inputs = os.path.join(base, "inputs")
    rows = make_inputs(inputs, args.genomes)
    pairs = args.genomes * (args.genomes - 1) // 2
    print(f"{args.genomes} genomes, {pairs} pairs, --cores {args.cores}, pair_threads {args.pair_threads},"
          f" {args.scheduler} scheduler")

    single, imports, circog = single_run(base, inputs, rows)
    print(f"one circog run: imports {imports}; circog {circog}")

    settings = {"samples": os.path.join(inputs, "samples.tsv"), "outdir": "flow", "circog": CIRCOG,
                "pair_threads": args.pair_threads}
    cores = ["--cores", str(args.cores), "--scheduler", args.scheduler]
    phases = [("imports", "--until", "import_genome"), ("circog pairs", "--until", "compare_pair"),
              ("plots and report",)]
    total = Timing()
    for label, *until in phases:
        timing = workflow(base, "flow", settings, *cores, *until)
        total += timing
        print(f"workflow {label}: {timing}")
    print(f"workflow total: {total}; pair results equal the single run's: "
          f"{same_pairs(single, os.path.join(base, 'flow'))}")

    shutil.copytree(os.path.join(base, "flow", "genomes"), os.path.join(base, "bare", "genomes"), symlinks=True)
    bare = workflow(base, "bare", {**settings, "outdir": "bare", "circog": "/bin/true"},
                    *cores, "--until", "compare_pair")
    print(f"{pairs} pair jobs with a circog that exits at once: {bare}; per job "
          f"{bare.wall / pairs * 1000:.0f} ms wall, {bare.cpu / pairs * 1000:.0f} ms CPU")


if __name__ == "__main__":
    sys.exit(main())
