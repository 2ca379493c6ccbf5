"""Gathers every pair's plots into one report directory and writes the report.

Called from the workflow's report rule (as a function: with thousands of pairs
the list of plot folders outgrows a command line). The output directory gets
config.txt (the runs' settings), genome_sizes.txt (every genome), plots/ with
every pair's images and one summary.tsv holding every pair's rows in the order
the plot folders are given; then `KIT report OUTPUT` adds report.html.
"""
import os
import shutil

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


def assemble(kit, alignment, similarity, genome_dirs, plot_dirs, scratch, output, log):
    """Builds output in a scratch folder renamed on success; returns the
    report command's exit status."""
    workdirs.fresh_scratch(scratch)
    config = workdirs.config_with_settings(
        os.path.join(genome_dirs[0], "config.txt"), alignment, similarity)
    workdirs.write_text(os.path.join(scratch, "config.txt"), config)
    sizes = [line for genome_dir in genome_dirs
             for line in read_lines(os.path.join(genome_dir, "genome_sizes.txt")) if line]
    workdirs.write_text(os.path.join(scratch, "genome_sizes.txt"), "".join(s + "\n" for s in sizes))
    summary = gather_plots(plot_dirs, os.path.join(scratch, "plots"))
    workdirs.write_text(os.path.join(scratch, "plots", SUMMARY), "\n".join(summary) + "\n")
    status = workdirs.run_logged([kit, "report", scratch], log)
    return workdirs.finish(scratch, output, status)
