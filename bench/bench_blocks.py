#!/usr/bin/python3
"""Benchmark of circog-kit blocks.

Usage: bench/bench_blocks.py [CIRCOG_BINARY] [--repeat N]

1. The bundled example (E. coli K-12 against S. Typhi CT18, alignment on):
   the whole command as a user runs it, Python's and numpy's start-up
   apart, and in one process the steps of the pair: reading both angle
   files, reading _mul.txt, finding each accepted pair's genes, and the
   analysis itself (ranks, chains, measures).
2. Ten related genomes made by bench/related_genomes.py from K-12 (the
   source and nine copies, each with a random rotation, 5% of its genes lost
   and one inversion; alignment off): the whole command over 45 pairs.
Everything is written under build/blocks-bench. Prints the best times of N
runs (default 15), wall and CPU, and the machine's load before and after.
"""
import os
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.path.join(ROOT, "kit", "circog-kit")
sys.path.insert(0, os.path.join(ROOT, "kit"))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from circogkit import blocks, workdir as wd  # noqa: E402
import related_genomes  # noqa: E402

def best_run(command, repeat):
    """Best wall and best CPU (children's user + system) seconds of a command."""
    walls, cpus = [], []
    for _ in range(repeat):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpus.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    return min(walls), min(cpus)


def best_call(function, repeat):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        value = function()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None or elapsed < best else best
    return best, value


def circog_run(workdir, binary):
    with open(os.path.join(workdir, "console.txt"), "wb") as console:
        subprocess.run([binary], cwd=workdir, stdout=console, check=True)


def bench_example(base, binary, repeat):
    workdir = os.path.join(base, "example")
    shutil.rmtree(workdir, ignore_errors=True)
    shutil.copytree(os.path.join(ROOT, "example"), workdir)
    circog_run(workdir, binary)
    python = sys.executable
    for label, command in (("python3 start-up", [python, "-c", "pass"]),
                           ("python3 start-up with numpy", [python, "-c", "import numpy"]),
                           ("circog-kit blocks, the whole command", [python, KIT, "blocks", workdir])):
        wall, cpu = best_run(command, repeat)
        print(f"example, {label}: {wall * 1000:.0f} ms wall, {cpu * 1000:.0f} ms CPU")
    settings = wd.read_config(workdir)
    pair, first_name, second_name = "Ecoli_K12&Styphi_CT18", "Ecoli_K12", "Styphi_CT18"
    mul = os.path.join(workdir, "out", pair + "_mul.txt")
    steps = {}
    steps["read both angle files"], (first, second) = best_call(
        lambda: [blocks.read_angle_file(blocks.angle_path(workdir, settings, n))
                 for n in (first_name, second_name)], repeat)
    steps["read _mul.txt"], entries = best_call(lambda: blocks.read_accepted(mul), repeat)
    steps["find the genes of each accepted pair"], (genes1, genes2) = best_call(
        lambda: blocks.match_genes(entries, first, second, mul), repeat)
    steps["the analysis (ranks, chains, measures)"], result = best_call(
        lambda: blocks.analyse_pair(first, second, genes1, genes2, 301.19, 284.85), repeat)
    for label, seconds in steps.items():
        print(f"example, {label}: {seconds * 1000:.1f} ms")
    print(f"example: {len(genes1)} accepted pairs, {len(result.blocks)} blocks, "
          f"{result.inversions} inversions")


def bench_related(base, binary, repeat):
    workdir = os.path.join(base, "related")
    shutil.rmtree(workdir, ignore_errors=True)
    source = related_genomes.read_source()
    related_genomes.write_workdir(workdir, [source] + related_genomes.random_genomes(source, 9))
    circog_run(workdir, binary)
    wall, cpu = best_run([sys.executable, KIT, "blocks", workdir], max(1, repeat // 3))
    print(f"10 related genomes, 45 pairs (alignment off): {wall:.2f} s wall, {cpu:.2f} s CPU, "
          f"{wall / 45 * 1000:.0f} ms a pair")


def main():
    args = sys.argv[1:]
    repeat = 15
    if "--repeat" in args:
        at = args.index("--repeat")
        repeat = int(args[at + 1])
        del args[at:at + 2]
    binary = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "release", "circog"))
    base = os.path.join(ROOT, "build", "blocks-bench")
    os.makedirs(base, exist_ok=True)
    print(f"load before: {os.getloadavg()[0]:.2f}")
    bench_example(base, binary, repeat)
    bench_related(base, binary, repeat)
    print(f"load after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
