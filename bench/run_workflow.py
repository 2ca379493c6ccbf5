#!/usr/bin/python3
"""Benchmark: the Snakemake workflow against one circog run over the same genomes.

Usage: bench/run_workflow.py flow [--genomes N] [--cores C] [--alignment] [--pairs-per-job P] [--no-blocks]
                                  [--no-one-pass]
       bench/run_workflow.py dry-run [--genomes N]

Genomes are N related genomes made by bench/related_genomes.py from E. coli
K-12's gene table (example/genes; 4.6 Mb, 4,145 genes): each with a random
rotation, 5% of its genes lost and one planted inversion, written as .ptt and
protein FASTA. Everything goes under build/workflow-bench.

  flow       one circog run over all N genomes (each imported with the kit
             first), then `circog-kit blocks` and `circog-kit plot` over it,
             and `circog-kit plot --blocks` (both in one pass); then the
             workflow from imports to report with --cores C. Prints wall and
             CPU time of each, the workflow's pairs a second and its time
             against the single run's, and checks that its result files,
             pictures, plot and block tables equal the single run's.
             --no-one-pass leaves out the single run's plot --blocks. Alignment off unless --alignment; with
             --no-blocks the workflow leaves blocks out (and is set against
             circog and plot alone).
  dry-run    Snakemake's dry run (-n) over a sheet of N genomes.
CPU time is user + system of the command and everything it waited for.
CIRCOG_BINARY and CIRCOG_KIT name other builds of circog and the kit.
"""
import argparse
import filecmp
import os
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.environ.get("CIRCOG_KIT", os.path.join(ROOT, "kit", "circog-kit"))
CIRCOG = os.environ.get("CIRCOG_BINARY", os.path.join(ROOT, "build", "release", "circog"))
BASE = os.path.join(ROOT, "build", "workflow-bench")


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


def make_genomes(count):
    """N related genomes as .ptt and .faa, and a sample sheet naming them."""
    folder = os.path.join(BASE, f"genomes-{count}")
    if not os.path.exists(os.path.join(folder, "samples.tsv")):
        shutil.rmtree(folder, ignore_errors=True)
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "related_genomes.py"), folder,
                        "--count", str(count), "--ptt", "--no-source"], check=True, stdout=subprocess.DEVNULL)
        names = sorted(name[:-len(".ptt")] for name in os.listdir(folder) if name.endswith(".ptt"))
        with open(os.path.join(folder, "samples.tsv"), "w", encoding="utf-8") as out:
            out.write("name\tannotation\tproteins\tcogs\n")
            out.writelines(f"{name}\t{name}.ptt\t{name}.faa\t\n" for name in names)
    with open(os.path.join(folder, "samples.tsv"), encoding="utf-8") as handle:
        names = [line.split("\t")[0] for line in handle.read().splitlines()[1:]]
    return folder, names


def set_alignment(workdir, on):
    path = os.path.join(workdir, "config.txt")
    with open(path, encoding="utf-8") as handle:
        text = handle.read()
    with open(path, "w", encoding="utf-8") as handle:
        handle.write(text.replace("AlignmentFlag=TRUE", "AlignmentFlag=" + ("TRUE" if on else "FALSE")))


def single_run(folder, names, alignment, blocks=True, one_pass=True):
    """Imports, circog, blocks and plot over all genomes in one folder; the
    timings are kept there (timings.txt) and reused by the next call."""
    workdir = os.path.join(BASE, f"single-{len(names)}{'-aligned' if alignment else ''}")
    kept = os.path.join(workdir, "timings.txt")
    if os.path.exists(kept):
        with open(kept, encoding="utf-8") as handle:
            return workdir, {step: Timing(float(wall), float(cpu))
                             for step, wall, cpu in (line.split() for line in handle)}
    shutil.rmtree(workdir, ignore_errors=True)
    imports = sum((timed([KIT, "import", workdir, name, os.path.join(folder, name + ".ptt"),
                          "--proteins", os.path.join(folder, name + ".faa")]) for name in names), Timing())
    set_alignment(workdir, alignment)
    steps = {"imports": imports}
    steps["circog"] = timed([CIRCOG], cwd=workdir)
    if blocks:
        steps["blocks"] = timed([KIT, "blocks", workdir])
    steps["plot"] = timed([KIT, "plot", workdir])
    if blocks and one_pass:  # writes what blocks then plot wrote
        steps["plot --blocks"] = timed([KIT, "plot", "--blocks", workdir])
    with open(kept, "w", encoding="utf-8") as out:
        out.writelines(f"{step} {timing.wall} {timing.cpu}\n" for step, timing in steps.items())
    return workdir, steps


def workflow_config(name, settings):
    path = os.path.join(BASE, name + ".yaml")
    with open(path, "w", encoding="utf-8") as out:
        out.writelines(f"{key}: {value}\n" for key, value in settings.items())
    return path


def snakemake(config, *options):
    return ["snakemake", "-s", os.path.join(ROOT, "workflow", "Snakefile"), "--configfile", config, *options]


def same_files(first, second, names=None):
    names = names if names is not None else sorted(n for n in os.listdir(first) if not n.startswith("."))
    if sorted(n for n in os.listdir(second) if not n.startswith(".")) != sorted(names):
        return False
    _, mismatch, errors = filecmp.cmpfiles(first, second, names, shallow=False)
    return not mismatch and not errors


def flow(args):
    folder, names = make_genomes(args.genomes)
    pairs = len(names) * (len(names) - 1) // 2
    print(f"{len(names)} genomes, {pairs} pairs, alignment {'on' if args.alignment else 'off'},"
          f" --cores {args.cores}; load before: {os.getloadavg()[0]:.1f}")
    single, steps = single_run(folder, names, args.alignment, blocks=not args.no_blocks,
                               one_pass=not args.no_one_pass)
    for step, timing in steps.items():
        print(f"single run, {step}: {timing}")
    outdir = os.path.join(BASE, f"flow-{len(names)}")
    shutil.rmtree(outdir, ignore_errors=True)
    settings = {"samples": os.path.join(folder, "samples.tsv"), "outdir": outdir, "circog": CIRCOG,
                "kit": KIT, "alignment": str(args.alignment).lower()}
    if args.pairs_per_job:
        settings["pairs_per_job"] = args.pairs_per_job
    if args.no_blocks:
        settings["blocks"] = "false"
    whole = timed(snakemake(workflow_config("flow", settings), "--cores", str(args.cores)), cwd=BASE)
    print(f"workflow, imports to report: {whole}; {pairs / whole.wall:.1f} pairs a second")
    against = {"its plots": steps["circog"] + steps["plot"]}
    if not args.no_blocks:
        against["its blocks and plots"] = steps["circog"] + steps["blocks"] + steps["plot"]
    if "plot --blocks" in steps:
        against["plot --blocks"] = steps["circog"] + steps["plot --blocks"]
    for what, base in against.items():
        print(f"workflow against one circog run and {what} ({base}): {whole.wall / base.wall:.2f}x wall")
    report = os.path.join(outdir, "report")
    print("results equal the single run's:", same_files(os.path.join(single, "out"), os.path.join(outdir, "results")))
    plotted = sorted(os.listdir(os.path.join(single, "plots")))
    _, mismatch, errors = filecmp.cmpfiles(os.path.join(single, "plots"), os.path.join(report, "plots"), plotted,
                                           shallow=False)
    print(f"pictures and plot table equal ({len(plotted)} files):", not mismatch and not errors)
    if not args.no_blocks:
        print("block tables equal:", same_files(os.path.join(single, "blocks"), os.path.join(report, "blocks")))
    print(f"load after: {os.getloadavg()[0]:.1f}")


def dry_run(args):
    folder, names = make_genomes(args.genomes)
    pairs = len(names) * (len(names) - 1) // 2
    config = workflow_config("dry-run", {"samples": os.path.join(folder, "samples.tsv"),
                                         "outdir": os.path.join(BASE, "dry-run"), "circog": CIRCOG})
    result = timed(snakemake(config, "-n", "--quiet"), cwd=BASE)
    print(f"{len(names)} genomes, {pairs} pairs: dry run {result}; load {os.getloadavg()[0]:.1f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("flow", help="the workflow against one circog run")
    one.add_argument("--genomes", type=int, default=60)
    one.add_argument("--cores", type=int, default=2)
    one.add_argument("--alignment", action="store_true")
    one.add_argument("--pairs-per-job", type=int)
    one.add_argument("--no-blocks", action="store_true", help="the workflow with blocks: false")
    one.add_argument("--no-one-pass", action="store_true", help="leave out the single run's plot --blocks")
    one.set_defaults(run=flow)
    dry = commands.add_parser("dry-run", help="Snakemake's dry run")
    dry.add_argument("--genomes", type=int, default=500)
    dry.set_defaults(run=dry_run)
    args = parser.parse_args()
    os.makedirs(BASE, exist_ok=True)
    args.run(args)


if __name__ == "__main__":
    sys.exit(main())
