#!/usr/bin/env python3
"""End-to-end benchmark: circog with alignment on over real genomes.

Usage: bench/run_genomes.py [CIRCOG_BINARY] [--repeat N]

Builds a working directory under build/genomes-bench with circog-kit import
from the repository's NCBI files (example/sources, bench/data): E. coli K-12
MG1655 (two annotation releases of the same genome), Salmonella Typhi CT18
(closely related to K-12) and E. coli CFT073 (no COG identifiers, so its pairs
have no candidates). Runs circog on one CPU (taskset) and on all,
checks that both runs give the same console output and files, and reports wall
time, candidate alignments and peak memory.
"""
import filecmp
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.path.join(ROOT, "kit", "circog-kit")
GENOMES = [  # name, protein table, protein FASTA
    ("Ecoli_K12", "example/sources/NC_000913.ptt", "example/sources/NC_000913.faa.gz"),
    ("Ecoli_K12_course", "bench/data/E_coli_K12_MG1655.ptt.gz", "example/sources/NC_000913.faa.gz"),
    ("Styphi_CT18", "example/sources/NC_003198.ptt", "example/sources/NC_003198.faa.gz"),
    ("Ecoli_CFT073", "bench/data/NC_004431.ptt.gz", "bench/data/NC_004431.faa.gz"),
]


def make_workdir(path):
    shutil.rmtree(path, ignore_errors=True)
    for name, table, fasta in GENOMES:
        subprocess.run([KIT, "import", path, name, os.path.join(ROOT, table),
                        "--proteins", os.path.join(ROOT, fasta)], check=True, stdout=subprocess.DEVNULL)


def run(binary, workdir, cpus):
    command = [binary] if cpus is None else ["taskset", "-c", cpus, binary]
    start = time.perf_counter()
    with open(os.path.join(workdir, "console.txt"), "wb") as console:
        child = subprocess.Popen(command, cwd=workdir, stdout=console)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"circog failed in {workdir}")
    with open(os.path.join(workdir, "console.txt"), "rb") as console:
        candidates = sum(1 for line in console if line[:1].isdigit() and b"/" in line and b":" in line)
    return wall, candidates, usage.ru_maxrss / 1024.0


def same_results(first, second):
    for sub in (".", "angle1", "out"):
        names = sorted(os.listdir(os.path.join(first, sub)))
        if names != sorted(os.listdir(os.path.join(second, sub))):
            return False
        files = [n for n in names if os.path.isfile(os.path.join(first, sub, n))]
        _, mismatch, errors = filecmp.cmpfiles(os.path.join(first, sub), os.path.join(second, sub),
                                               files, shallow=False)
        if mismatch or errors:
            return False
    return True


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    repeat = int(sys.argv[sys.argv.index("--repeat") + 1]) if "--repeat" in sys.argv else 3
    if "--repeat" in sys.argv:
        args.remove(str(repeat))
    binary = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "release", "circog"))
    base = os.path.join(ROOT, "build", "genomes-bench")
    print(f"binary: {binary}")
    results = {}
    for label, cpus in (("1 thread", "0"), ("all threads", None)):
        workdir = os.path.join(base, label.replace(" ", "-"))
        best = None
        for _ in range(repeat):
            make_workdir(workdir)
            measured = run(binary, workdir, cpus)
            best = measured if best is None or measured[0] < best[0] else best
        results[label] = (workdir, best)
        wall, candidates, peak = best
        print(f"{label:12s} wall {wall:7.2f} s  candidate alignments {candidates}  peak memory {peak:6.1f} MiB")
    one, every = results["1 thread"], results["all threads"]
    print(f"speed-up: {one[1][0] / every[1][0]:.2f}x on {os.cpu_count()} hardware threads")
    print("outputs identical:", same_results(one[0], every[0]))


if __name__ == "__main__":
    main()
