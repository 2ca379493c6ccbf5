#!/usr/bin/python3
"""Plots one pair's circog results with the kit.

Usage: plot_pair.py --kit KIT --scratch DIR PAIR_RUN_DIR OUTPUT LOG

`KIT plot` runs in DIR, a scratch copy of PAIR_RUN_DIR (files linked, not
copied); its plots/ folder (PNG, SVG, summary.tsv) becomes OUTPUT.
"""
import argparse
import os
import shutil
import sys

import workdirs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kit", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("run_dir")
    parser.add_argument("output")
    parser.add_argument("log")
    args = parser.parse_args()
    scratch = workdirs.fresh_scratch(args.scratch)
    workdirs.link_tree(args.run_dir, scratch)
    status = workdirs.run_logged([args.kit, "plot", scratch], args.log)
    if status == 0:
        plots = os.path.join(scratch, "plots")
        os.makedirs(plots, exist_ok=True)
        os.rename(plots, args.output)
    shutil.rmtree(scratch, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
