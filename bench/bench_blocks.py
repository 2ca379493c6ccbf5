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
   and one inversion; alignment off), 45 pairs as in a batch of the
   workflow: the whole commands (`blocks`, `plot`, and `plot --blocks`,
   which finds the blocks and draws in one pass), and in one process the
   CPU time a pair costs after start-up, split into its steps (each
   genome's angle file read and ranked once for all its pairs).
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
from circogkit import blocks, plot, results, workdir as wd  # noqa: E402
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


def best_call(function, repeat, clock=time.perf_counter):
    best = None
    for _ in range(repeat):
        start = clock()
        value = function()
        elapsed = clock() - start
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
    steps["read _mul.txt and find each accepted pair's genes"], (genes1, genes2) = best_call(
        lambda: blocks.match_plain(results.plain_fields(results.read_bytes(mul)), first, second), repeat)
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
    runs = max(1, repeat // 3)
    for label, args in (("blocks", ["blocks"]), ("plot", ["plot"]), ("plot --blocks", ["plot", "--blocks"])):
        wall, cpu = best_run([sys.executable, KIT, *args, workdir], runs)
        print(f"45 related pairs, circog-kit {label}, the whole command: {wall:.2f} s wall, {cpu:.2f} s CPU")
    quiet = open(os.devnull, "w")
    cpu, _ = best_call(lambda: blocks.blocks_workdir(workdir, progress=quiet), runs, time.process_time)
    print(f"45 related pairs, blocks in one process after start-up: {cpu / 45 * 1000:.1f} ms CPU a pair")
    steps = {"read and rank the angle files (once a genome)": 0.0,
             "read _mul.txt and find each accepted pair's genes": 0.0,
             "the analysis (ranks, chains, measures)": 0.0, "write blocks/": 0.0}
    for _ in range(runs):
        clock = time.process_time
        pairs = plot.find_pairs(plot.result_prefix(workdir), quiet)
        finder = blocks.Finder(workdir, pairs, progress=quiet)
        taken = dict.fromkeys(steps, 0.0)
        found = []
        for pair, genome1, genome2 in pairs:
            start = clock()
            first, second = finder.genome(genome1), finder.genome(genome2)
            first.text_index, second.text_index, first.order, second.order  # noqa: B018
            first.gene_keys, second.gene_keys, first.cog_codes, second.cog_codes  # noqa: B018
            middle = clock()
            mul = finder.prefix + pair + "_mul.txt"
            genes1, genes2 = blocks.match_plain(results.plain_fields(results.read_bytes(mul)), first, second)
            matched = clock()
            found.append(blocks.analyse_pair(first, second, genes1, genes2, finder.origins[genome1],
                                             finder.origins[genome2], names=(pair, genome1, genome2)))
            done = clock()
            for label, seconds in zip(steps, (middle - start, matched - middle, done - matched)):
                taken[label] += seconds
        start = clock()
        finder.write(found)
        taken["write blocks/"] = clock() - start
        steps = {label: min(steps[label], taken[label]) if steps[label] else taken[label] for label in steps}
    for label, seconds in steps.items():
        print(f"45 related pairs, {label}: {seconds / 45 * 1000:.1f} ms CPU a pair")


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
