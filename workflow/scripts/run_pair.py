#!/usr/bin/python3
"""Runs circog over two imported genomes in a working directory of their own.

Usage: run_pair.py --circog BIN --alignment TRUE|FALSE --similarity S
                   --scratch DIR GENOME_DIR_A GENOME_DIR_B OUTPUT LOG

Each GENOME_DIR is one genome's import (genes/NAME.tab, angle1/NAME.faa,
genome_sizes.txt with its one line, config.txt, PAM-250.txt). circog runs in
DIR, which becomes OUTPUT after circog exits with 0 (results in out/); circog's
console goes to LOG. On failure OUTPUT is not made and the exit status is
circog's.
"""
import argparse
import os
import sys

import workdirs


def size_line(genome_dir):
    name = os.path.basename(os.path.normpath(genome_dir))
    with open(os.path.join(genome_dir, "genome_sizes.txt"), encoding="utf-8") as handle:
        for line in handle.read().splitlines():
            if line.split("\t", 1)[0] == name:
                return line + "\n"
    raise SystemExit(f"{genome_dir}/genome_sizes.txt has no line for {name}")


def prepare(genome_dirs, scratch, alignment, similarity):
    own = ("config.txt", "genome_sizes.txt")
    for genome_dir in genome_dirs:
        workdirs.link_tree(genome_dir, scratch, skip=own)
    os.makedirs(os.path.join(scratch, "out"), exist_ok=True)
    config = workdirs.config_with_settings(
        os.path.join(genome_dirs[0], "config.txt"), alignment, similarity)
    workdirs.write_text(os.path.join(scratch, "config.txt"), config)
    workdirs.write_text(os.path.join(scratch, "genome_sizes.txt"),
                        "".join(size_line(genome_dir) for genome_dir in genome_dirs))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--circog", required=True)
    parser.add_argument("--alignment", required=True, choices=("TRUE", "FALSE"))
    parser.add_argument("--similarity", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("genome_dirs", nargs=2)
    parser.add_argument("output")
    parser.add_argument("log")
    args = parser.parse_args()
    scratch = workdirs.fresh_scratch(args.scratch)
    prepare(args.genome_dirs, scratch, args.alignment, args.similarity)
    status = workdirs.run_logged([os.path.abspath(args.circog)], args.log, cwd=scratch)
    return workdirs.finish(scratch, args.output, status)


if __name__ == "__main__":
    sys.exit(main())
