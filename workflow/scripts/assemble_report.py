#!/usr/bin/python3
"""Gathers every pair's plots into one report directory and writes the report.

Usage: assemble_report.py --kit KIT --alignment A --similarity S
                          --genomes DIR... --plots DIR... OUTPUT LOG

OUTPUT gets config.txt (the runs' settings), genome_sizes.txt (every genome),
plots/ with every pair's images and one summary.tsv holding every pair's rows
in the order the plot folders are given, then `KIT report OUTPUT` adds
report.html.
"""
import argparse
import os
import shutil
import sys

import workdirs

SUMMARY = "summary.tsv"
SUMMARY_HEADER = "pair\tgenome1\tgenome2\tshared_cogs\taccepted_pairs\tshare_within_10deg"


def read_lines(path):
    with open(path, encoding="utf-8") as handle:
        return handle.read().splitlines()


def gather_plots(plot_dirs, target):
    """Copies the images into target and returns summary.tsv's lines."""
    os.makedirs(target)
    header, rows = SUMMARY_HEADER, []
    for plot_dir in plot_dirs:
        for name in sorted(os.listdir(plot_dir)):
            path = os.path.join(plot_dir, name)
            if name.startswith("."):
                continue
            if name != SUMMARY:
                shutil.copyfile(path, os.path.join(target, name))
                continue
            lines = read_lines(path)
            if lines:
                header = lines[0]
                rows += [line for line in lines[1:] if line]
    return [header] + rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kit", required=True)
    parser.add_argument("--alignment", required=True)
    parser.add_argument("--similarity", required=True)
    parser.add_argument("--genomes", nargs="+", required=True)
    parser.add_argument("--plots", nargs="*", default=[])
    parser.add_argument("output")
    parser.add_argument("log")
    args = parser.parse_args()
    scratch = workdirs.fresh_scratch(args.output)
    config = workdirs.config_with_settings(
        os.path.join(args.genomes[0], "config.txt"), args.alignment, args.similarity)
    workdirs.write_text(os.path.join(scratch, "config.txt"), config)
    sizes = [line for genome_dir in args.genomes
             for line in read_lines(os.path.join(genome_dir, "genome_sizes.txt")) if line]
    workdirs.write_text(os.path.join(scratch, "genome_sizes.txt"), "".join(s + "\n" for s in sizes))
    summary = gather_plots(args.plots, os.path.join(scratch, "plots"))
    workdirs.write_text(os.path.join(scratch, "plots", SUMMARY), "\n".join(summary) + "\n")
    status = workdirs.run_logged([args.kit, "report", scratch], args.log)
    return workdirs.finish(scratch, args.output, status)


if __name__ == "__main__":
    sys.exit(main())
