#!/usr/bin/python3
"""Benchmark: a run over many strains of two species, where most proteins
recur exactly from genome to genome and the alignment cache pays.

Usage: bench/run_strains.py [--genomes N] [--mutated SHARE] [--rounds R]
                            [--cpus C] [PROGRAM ...]

Derives N genomes (default 20, N(N-1)/2 pairs) from the example's E. coli
K-12 and S. Typhi CT18 (gene tables and proteomes in example/): copy k of a
species has its origin moved k/10 of the chromosome on and a share of its
proteins (default 0.1) mutated, each at about 2% of its residues (one at
least), so that those proteins differ from every other copy's. Runs each
PROGRAM (default: this tree's build/release/circog) over the same working
directory, taking turns, R rounds (default 2), on the first C CPUs (default:
all), and reports wall and CPU time (best of the rounds), that every program
wrote the same console output and files, what the first program takes with
alignment off, and what the alignment cache did (bench_cache_replay:
candidates, alignments made, share from the cache, the CPU time of making
just those alignments).
Everything lands in build/strains-bench.
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
EXAMPLE = os.path.join(ROOT, "example")
CIRCOG = os.path.join(ROOT, "build", "release", "circog")
REPLAY = os.path.join(ROOT, "build", "release", "bench", "bench_cache_replay")
SPECIES = ["Ecoli_K12", "Styphi_CT18"]
RESIDUES = "ACDEFGHIKLMNPQRSTVWY"


def read_fasta(path):
    records, header, lines = [], None, []
    with open(path) as handle:
        for line in handle:
            line = line.rstrip("\n")
            if line.startswith(">"):
                if header is not None:
                    records.append((header, "".join(lines)))
                header, lines = line, []
            else:
                lines.append(line)
    if header is not None:
        records.append((header, "".join(lines)))
    return records


def mutated(sequence, rng):
    residues = list(sequence)
    for _ in range(max(1, len(residues) // 50)):
        at = rng.randrange(len(residues))
        residues[at] = rng.choice(RESIDUES.replace(residues[at], ""))
    return "".join(residues)


def derive(workdir, species, copy, share, sizes):
    """Writes copy `copy` of a species: gene table with its origin moved, and
    its proteome with a share of the proteins mutated."""
    name = f"{species}_s{copy:02d}"
    length = sizes[species]
    shift = length * copy // 10
    with open(os.path.join(EXAMPLE, "genes", species + ".tab")) as source:
        lines = source.read().splitlines()
    rows = [lines[0]]
    for line in lines[1:]:
        fields = line.split("\t")
        if len(fields) > 3 and fields[3].isdigit():
            fields[3] = str((int(fields[3]) - 1 + shift) % length + 1)
        rows.append("\t".join(fields))
    with open(os.path.join(workdir, "genes", name + ".tab"), "w") as out:
        out.write("\n".join(rows) + "\n")
    rng = random.Random(f"{species}-{copy}")
    with open(os.path.join(workdir, "angle1", name + ".faa"), "w") as out:
        for header, sequence in read_fasta(os.path.join(EXAMPLE, "angle1", species + ".faa")):
            if sequence and rng.random() < share:
                sequence = mutated(sequence, rng)
            out.write(f"{header}\n{sequence}\n")
    return name, length


def make_workdir(path, genomes, share):
    shutil.rmtree(path, ignore_errors=True)
    for folder in ("genes", "angle1", "out"):
        os.makedirs(os.path.join(path, folder))
    for name in ("config.txt", "PAM-250.txt"):
        shutil.copy(os.path.join(EXAMPLE, name), path)
    sizes = {}
    with open(os.path.join(EXAMPLE, "genome_sizes.txt")) as handle:
        for line in handle:
            name, size = line.split("\t")
            sizes[name] = int(size)
    entries = [derive(path, SPECIES[k % 2], k // 2, share, sizes) for k in range(genomes)]
    with open(os.path.join(path, "genome_sizes.txt"), "w") as out:
        out.writelines(f"{name}\t{length}\n" for name, length in entries)


def timed_run(program, workdir, cpus):
    """Wall and CPU time of one run, its console kept as console.txt."""
    command = [program] if cpus is None else ["taskset", "-c", f"0-{cpus - 1}", program]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(os.path.join(workdir, "console.txt"), "wb") as console:
        subprocess.run(command, cwd=workdir, stdout=console, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def same_output(one, other):
    if not filecmp.cmp(os.path.join(one, "console.txt"), os.path.join(other, "console.txt"), shallow=False):
        return False
    names = sorted(os.listdir(os.path.join(one, "out")))
    if names != sorted(os.listdir(os.path.join(other, "out"))):
        return False
    return all(filecmp.cmp(os.path.join(one, "out", name), os.path.join(other, "out", name), shallow=False)
               for name in names)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--genomes", type=int, default=20)
    parser.add_argument("--mutated", type=float, default=0.1)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--cpus", type=int, default=None)
    parser.add_argument("programs", nargs="*", default=[CIRCOG])
    args = parser.parse_args()
    base = os.path.join(ROOT, "build", "strains-bench")
    template = os.path.join(base, "template")
    make_workdir(template, args.genomes, args.mutated)
    programs = [os.path.abspath(program) for program in args.programs]
    workdirs = []
    for k in range(len(programs)):
        workdir = os.path.join(base, f"program{k}")
        shutil.rmtree(workdir, ignore_errors=True)
        shutil.copytree(template, workdir)
        workdirs.append(workdir)
    pairs = args.genomes * (args.genomes - 1) // 2
    cpus = "all CPUs" if args.cpus is None else f"{args.cpus} CPU(s)"
    print(f"{args.genomes} genomes ({pairs} pairs), {args.mutated:.0%} of each copy's proteins mutated, "
          f"{args.rounds} rounds on {cpus}")
    times = {program: [] for program in programs}
    for _ in range(args.rounds):
        for program, workdir in zip(programs, workdirs):
            times[program].append(timed_run(program, workdir, args.cpus))
    for program, workdir in zip(programs, workdirs):
        wall = min(t[0] for t in times[program])
        cpu = min(t[1] for t in times[program])
        print(f"{program}: best {wall:.2f} s wall, {cpu:.2f} s CPU; all rounds: "
              + ", ".join(f"{w:.2f}/{c:.2f}" for w, c in times[program]))
    same = all(same_output(workdirs[0], other) for other in workdirs[1:])
    print(f"console and files the same for every program: {'yes' if same else 'NO'}")
    # What the run costs without alignment: gene tables, angle files, mappings, result files.
    unaligned = os.path.join(base, "alignment-off")
    shutil.rmtree(unaligned, ignore_errors=True)
    shutil.copytree(template, unaligned)
    with open(os.path.join(unaligned, "config.txt")) as handle:
        config = handle.read().replace("AlignmentFlag=TRUE", "AlignmentFlag=FALSE")
    with open(os.path.join(unaligned, "config.txt"), "w") as out:
        out.write(config)
    off = [timed_run(programs[0], unaligned, args.cpus) for _ in range(args.rounds)]
    print(f"{programs[0]} with alignment off: best {min(t[0] for t in off):.2f} s wall, "
          f"{min(t[1] for t in off):.2f} s CPU")
    if os.path.exists(REPLAY):
        subprocess.run([REPLAY, workdirs[0]], check=True)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
