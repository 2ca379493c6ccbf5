#!/usr/bin/env python3
"""End-to-end benchmark: circog with alignment on over real genomes.

Usage: bench/run_genomes.py GENOME_DATA_DIR [CIRCOG_BINARY] [--repeat N]

GENOME_DATA_DIR holds the public annotations below (NCBI protein tables and
protein FASTA files), which the repository does not carry. Builds a working
directory under build/genomes-bench from them:
E. coli K-12 MG1655 (two annotation releases of the same genome), Salmonella
Typhi CT18 (closely related to K-12) and E. coli CFT073 (no COG identifiers, so
its pairs have no candidates). Runs circog on one CPU (taskset) and on all,
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
GENOMES = [  # name, protein table, protein FASTA
    ("Ecoli_K12", "ecoli_k12_mg1655/NC_000913.ptt", "ecoli_k12_mg1655/NC_000913.faa"),
    ("Ecoli_K12_course", "ecoli_k12_mg1655/E_coli_K12_MG1655.ptt.gz", "ecoli_k12_mg1655/NC_000913.faa"),
    ("Styphi_CT18", "salmonella_typhi_ct18/NC_003198.ptt", "salmonella_typhi_ct18/NC_003198.faa"),
    ("Ecoli_CFT073", "ecoli_cft073/NC_004431.ptt", "ecoli_cft073/NC_004431.faa"),
]
CONFIG = """GenomeSizePath=.\\genome_sizes.txt
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


def make_workdir(path, data):
    shutil.rmtree(path, ignore_errors=True)
    for sub in ("genes", "angle1", "out"):
        os.makedirs(os.path.join(path, sub))
    sizes = []
    for name, table, fasta in GENOMES:
        size = subprocess.check_output(
            [sys.executable, os.path.join(ROOT, "scripts", "ptt_to_gene_table.py"),
             os.path.join(data, table), os.path.join(path, "genes", name + ".tab")], text=True)
        sizes.append(f"{name}\t{size.strip()}\n")
        shutil.copyfile(os.path.join(data, fasta), os.path.join(path, "angle1", name + ".faa"))
    with open(os.path.join(path, "genome_sizes.txt"), "w") as out:
        out.writelines(sizes)
    with open(os.path.join(path, "config.txt"), "w") as out:
        out.write(CONFIG)
    shutil.copyfile(os.path.join(ROOT, "data", "PAM-250.txt"), os.path.join(path, "PAM-250.txt"))


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
    if not args:
        sys.exit(__doc__)
    data = os.path.abspath(args[0])
    binary = os.path.abspath(args[1] if len(args) > 1 else os.path.join(ROOT, "build", "release", "app", "circog"))
    base = os.path.join(ROOT, "build", "genomes-bench")
    print(f"binary: {binary}")
    results = {}
    for label, cpus in (("1 thread", "0"), ("all threads", None)):
        workdir = os.path.join(base, label.replace(" ", "-"))
        best = None
        for _ in range(repeat):
            make_workdir(workdir, data)
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
