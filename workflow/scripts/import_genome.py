#!/usr/bin/python3
"""Imports one genome into a working directory of its own and writes its angle file.

Usage: import_genome.py --kit KIT --circog BIN --scratch DIR NAME ANNOTATION
                        [--proteins FAA] [--cogs TABLE] OUTPUT LOG

A shell job rather than a script job: genomes are the workflow's most
numerous jobs, and a script job spends half a second of CPU loading
Snakemake. See jobs.prepare_genome.
"""
import argparse
import sys

import jobs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--kit", "--circog", "--scratch"):
        parser.add_argument(option, required=True)
    parser.add_argument("--proteins", default="")
    parser.add_argument("--cogs", default="")
    for argument in ("name", "annotation", "output", "log"):
        parser.add_argument(argument)
    args = parser.parse_args()
    status = jobs.prepare_genome(args.kit, args.circog, args.name, args.annotation, args.proteins,
                                 args.cogs, args.scratch, args.output, args.log)
    if status != 0:
        print(f"importing {args.name} failed with status {status}, see {args.log}", file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
