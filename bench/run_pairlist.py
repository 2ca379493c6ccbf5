#!/usr/bin/python3
"""Benchmark: circog with a PairList of one reference against the others, and a run over every pair.

Usage: bench/run_pairlist.py [CIRCOG_BINARY] [--genomes N] [--repeat R] [--full-repeat F] [--keep]

Derives N genomes (default 200) from the repository's gene tables of E. coli
K-12 and S. Typhi CT18 (example/genes): the two real tables and, for each,
N/2 - 1 copies with the origin moved k/(N/2) of the chromosome on and a tenth
of the genes left out at random (seeded by k). Alignment off. In one working
directory under build/pairlist-bench it runs circog (console to /dev/null):
  - with an empty pair list: the gene tables transformed, no pair compared;
  - over every pair, N(N-1)/2 of them;
  - with a PairList of one reference against the N - 1 others, the reference
    first in the list of genomes (Ecoli_K12) and in its middle (Styphi_CT18);
and checks that each chosen pair's three result files equal the full run's,
byte for byte, and that no other result file is written. Every run transforms
the N gene tables first. Reports the best wall time and the CPU time of that
run (user + system) for each; the list runs are repeated R times (default 5),
in turn with the empty list, the full run F times (default 1).
The full run writes about 6 GB of result files; they are removed at the end
unless --keep is given.
"""
import argparse
import filecmp
import os
import random
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "kit"))
from circogkit.workdir import config_text  # noqa: E402

SOURCES = [("Ecoli_K12", 4639675), ("Styphi_CT18", 4809037)]


def derive_table(lines, length, copy, copies):
    """The gene table with its origin moved copy/copies of the chromosome on
    and every gene kept with probability 0.9."""
    shift, chance = length * copy // copies, random.Random(copy)
    rows = [lines[0]]
    for line in lines[1:]:
        fields = line.split("\t")
        if chance.random() < 0.9:
            fields[3] = str((int(fields[3]) + shift) % length)
            rows.append("\t".join(fields))
    return "\n".join(rows) + "\n"


def make_workdir(path, genomes):
    shutil.rmtree(path, ignore_errors=True)
    for sub in ("genes", "angle1", "out"):
        os.makedirs(os.path.join(path, sub))
    sizes, names = [], []
    copies = genomes // len(SOURCES)
    for name, length in SOURCES:
        with open(os.path.join(ROOT, "example", "genes", name + ".tab"), encoding="latin-1") as handle:
            lines = handle.read().splitlines()
        for copy in range(copies):
            genome = name if copy == 0 else f"{name}_c{copy:03d}"
            with open(os.path.join(path, "genes", genome + ".tab"), "w", encoding="latin-1") as out:
                out.write("\n".join(lines) + "\n" if copy == 0 else derive_table(lines, length, copy, copies))
            sizes.append(f"{genome}\t{length}\n")
            names.append(genome)
    with open(os.path.join(path, "genome_sizes.txt"), "w") as out:
        out.writelines(sizes)
    return sorted(names)


def run(binary, workdir, pair_list):
    """Runs circog with pair_list (lines of pairs, or None for no PairList);
    returns wall and CPU seconds."""
    with open(os.path.join(workdir, "config.txt"), "w") as out:
        out.write(config_text(alignment=False) + ("PairList=.\\pairs.txt\n" if pair_list is not None else ""))
    if pair_list is not None:
        with open(os.path.join(workdir, "pairs.txt"), "w") as out:
            out.writelines(pair_list)
    shutil.rmtree(os.path.join(workdir, "out"))
    os.mkdir(os.path.join(workdir, "out"))
    before, start = resource.getrusage(resource.RUSAGE_CHILDREN), time.perf_counter()
    status = subprocess.run([binary], cwd=workdir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if status != 0:
        sys.exit(f"circog failed in {workdir} with status {status}")
    return wall, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def same_as_full(workdir, full_out, pairs):
    """True when out/ holds exactly the chosen pairs' result files, each equal to the full run's."""
    expected = sorted(f"{a}&{b}{suffix}" for a, b in pairs for suffix in ("_mul.txt", "_sin.txt", "_sin_COG.txt"))
    written = sorted(os.listdir(os.path.join(workdir, "out")))
    if written != expected:
        return False
    _, mismatch, errors = filecmp.cmpfiles(os.path.join(workdir, "out"), full_out, written, shallow=False)
    return not mismatch and not errors


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default=os.path.join(ROOT, "build", "release", "circog"))
    parser.add_argument("--genomes", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--full-repeat", type=int, default=1)
    parser.add_argument("--keep", action="store_true", help="keep the working directory")
    args = parser.parse_args()
    base = os.path.join(ROOT, "build", "pairlist-bench")
    workdir = os.path.join(base, "work")
    names = make_workdir(workdir, args.genomes)
    print(f"{len(names)} genomes, {len(names) * (len(names) - 1) // 2} pairs, alignment off, {args.binary}")

    full = min(run(args.binary, workdir, None) for _ in range(args.full_repeat))
    full_out = os.path.join(base, "full-out")
    shutil.rmtree(full_out, ignore_errors=True)
    os.rename(os.path.join(workdir, "out"), full_out)
    os.mkdir(os.path.join(workdir, "out"))
    print(f"every pair: {full[0]:.2f} s wall, {full[1]:.2f} s CPU")

    lists = {}
    for reference in ("Ecoli_K12", "Styphi_CT18"):
        index = names.index(reference)
        # Either order, as a user would write them.
        lines = [f"{reference}\t{other}\n" if k % 2 else f"{other}\t{reference}\n"
                 for k, other in enumerate(n for n in names if n != reference)]
        pairs = [(reference, other) if index < names.index(other) else (other, reference)
                 for other in names if other != reference]
        lists[f"{reference} (number {index}) against the others"] = (lines, pairs)
    best = {label: None for label in ["empty list", *lists]}
    for _ in range(args.repeat):
        for label in best:
            lines = [] if label == "empty list" else lists[label][0]
            timing = run(args.binary, workdir, lines)
            if label != "empty list" and not same_as_full(workdir, full_out, lists[label][1]):
                sys.exit(f"{label}: result files differ from the full run's")
            best[label] = timing if best[label] is None else min(best[label], timing)
    for label, (wall, cpu) in best.items():
        print(f"PairList, {label}: {wall:.3f} s wall, {cpu:.3f} s CPU")
    print("chosen pairs' result files equal the full run's: True")
    if not args.keep:
        shutil.rmtree(base)


if __name__ == "__main__":
    sys.exit(main())
