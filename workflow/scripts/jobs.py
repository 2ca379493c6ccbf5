"""What the workflow's jobs do: import a genome and transform its gene table,
compare a batch of pairs with one circog run, plot a batch and find its
collinear blocks in one pass.

Each job works in a scratch folder (under outdir/tmp, at the same depth as
its output, so relative links made there still hold after the move) that
becomes its output only when every command exited with 0; the consoles of
its commands go to its log. Each returns the exit status of its first
failing command, or 0.
"""
import os
import shutil

import batches
import workdirs

PAIR_LIST = "pairs.txt"
SIZES, ORIGINS = "genome_sizes.txt", "genome_origins.txt"


def prepare_genome(kit, circog, name, annotation, proteins, cogs, scratch, output, log):
    """`kit import` of one genome into a working directory of its own, then
    circog there, which writes the genome's angle file (angle1/NAME.txt) and
    compares nothing: every batch links that file instead of transforming
    the gene table again."""
    workdirs.fresh_scratch(scratch)
    os.rmdir(scratch)  # the kit sets the folder up itself
    options = []
    for option, value in (("--proteins", proteins), ("--cogs", cogs)):
        if value:
            options += [option, value]
    with open(log, "w", encoding="utf-8") as console:
        status = workdirs.run_logged([kit, "import", scratch, name, annotation, *options], console)
        if status == 0:
            status = workdirs.run_logged([circog], console, cwd=scratch)
    return workdirs.finish(scratch, output, status)


def genome_files(genome_dir):
    """The files of an imported genome that a comparison reads."""
    name = os.path.basename(os.path.normpath(genome_dir))
    return [os.path.join("angle1", name + batches.ANGLE_FORMAT), os.path.join("angle1", name + ".faa")]


def genome_line(genome_dir, table):
    """The genome's line of one of its tables (genome_sizes.txt,
    genome_origins.txt); empty when an older import left no such table."""
    name = os.path.basename(os.path.normpath(genome_dir))
    path = os.path.join(genome_dir, table)
    if table != SIZES and not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8") as handle:
        for line in handle.read().splitlines():
            if line.split("\t", 1)[0] == name:
                return line + "\n"
    raise workdirs.JobError(f"{path} has no line for {name}")


def prepare_batch(genome_dirs, pair_list, settings, scratch):
    """A circog working directory for the batch: the genomes' angle and
    protein files linked, no gene tables (the angle files are made), the
    run's settings (config.txt keys -> texts) and PairList naming the
    batch's pairs."""
    for genome_dir in genome_dirs:
        workdirs.link_files(genome_dir, genome_files(genome_dir), scratch)
    workdirs.link_files(genome_dirs[0], ["PAM-250.txt"], scratch)
    for folder in ("genes", "out"):
        os.makedirs(os.path.join(scratch, folder), exist_ok=True)
    config = workdirs.config_with_settings(os.path.join(genome_dirs[0], "config.txt"),
                                           {**settings, "PairList": PAIR_LIST})
    workdirs.write_text(os.path.join(scratch, "config.txt"), config)
    for table in (SIZES, ORIGINS):
        lines = "".join(genome_line(genome_dir, table) for genome_dir in genome_dirs)
        if lines or table == SIZES:
            workdirs.write_text(os.path.join(scratch, table), lines)
    workdirs.write_text(os.path.join(scratch, PAIR_LIST), batches.pair_list_text(pair_list))


def compare_batch(circog, settings, genome_dirs, pair_list, scratch, output, log):
    """One circog run over the batch's pairs; its working directory, with
    the result files in out/, becomes output."""
    workdirs.fresh_scratch(scratch)
    with open(log, "w", encoding="utf-8") as console:
        try:
            prepare_batch(genome_dirs, pair_list, settings, scratch)
        except (OSError, workdirs.JobError) as error:
            console.write(f"cannot set up {scratch}: {error}\n")
            return workdirs.finish(scratch, output, 1)
        status = workdirs.run_logged([os.path.abspath(circog)], console, cwd=scratch)
    return workdirs.finish(scratch, output, status)


def plot_batch(kit, options, run_dir, scratch, outputs, log):
    """`kit plot OPTIONS` (with --blocks, which finds the blocks too) in a
    linked copy of the batch's circog run; the folders it writes (plots/,
    and blocks/ with --blocks: files per pair and a summary.tsv) become
    outputs (folder name -> output)."""
    workdirs.fresh_scratch(scratch)
    workdirs.link_tree(run_dir, scratch)
    with open(log, "w", encoding="utf-8") as console:
        status = workdirs.run_logged([kit, "plot", *options, scratch], console)
    if status == 0:
        for folder, output in outputs.items():
            made = os.path.join(scratch, folder)
            os.makedirs(made, exist_ok=True)
            os.rename(made, output)
    shutil.rmtree(scratch, ignore_errors=True)
    return status
