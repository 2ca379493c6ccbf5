"""Gathers every batch's work into the folders a user reads: results/ (every
pair's result files, as one circog run over all genomes leaves its out/) and
report/ (what `circog-kit report` reads, and the report it writes).

Called from the workflow's local rules as functions: with hundreds of batches
the lists of folders outgrow a command line. Files are hard-linked where the
file system allows it (outdir is one folder tree), copied elsewhere.
"""
import os
import shutil

import workdirs

SUMMARY = "summary.tsv"
GENOME_FILES = ("genome_sizes.txt", "genome_origins.txt")


def read_lines(path):
    with open(path, encoding="utf-8") as handle:
        return handle.read().splitlines()


def place(origin, target):
    try:
        os.link(origin, target)
    except OSError:
        shutil.copyfile(origin, target)


def gather_results(run_dirs, batches_dir, scratch, output):
    """Every batch's out/ files into one folder (scratch, renamed to output);
    folders in batches_dir that hold none of run_dirs (an earlier plan's
    batches) are removed."""
    current = {os.path.normpath(os.path.join(run_dir, os.pardir)) for run_dir in run_dirs}
    for name in os.listdir(batches_dir):
        if os.path.normpath(os.path.join(batches_dir, name)) not in current:
            shutil.rmtree(os.path.join(batches_dir, name))
    workdirs.fresh_scratch(scratch)
    for run_dir in run_dirs:
        out = os.path.join(run_dir, "out")
        for name in os.listdir(out):
            if not name.startswith("."):
                place(os.path.join(out, name), os.path.join(scratch, name))
    workdirs.finish(scratch, output, 0)


def result_order(row):
    """A summary row's place in the kit's own order: its pair's result file
    names in byte order."""
    return (row.split("\t", 1)[0] + "_mul.txt").encode()


def gather_tables(folders, target):
    """Links every file of folders into target except their summary.tsv,
    whose rows make one table (written into target) in the order the kit
    gives a run's pairs."""
    os.makedirs(target)
    header, rows = None, []
    for folder in folders:
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if name.startswith("."):
                continue
            if name != SUMMARY:
                place(path, os.path.join(target, name))
                continue
            lines = read_lines(path)
            if lines:
                header = lines[0]
                rows += [line for line in lines[1:] if line]
    rows.sort(key=result_order)
    if header is not None:
        workdirs.write_text(os.path.join(target, SUMMARY), "".join(line + "\n" for line in [header] + rows))


def genome_tables(genome_dirs, scratch):
    """genome_sizes.txt and, where the imports wrote it, genome_origins.txt
    over every genome, in the sample sheet's order."""
    for table in GENOME_FILES:
        paths = [os.path.join(genome_dir, table) for genome_dir in genome_dirs]
        present = [path for path in paths if os.path.exists(path)]
        if present:
            lines = [line for path in present for line in read_lines(path) if line]
            workdirs.write_text(os.path.join(scratch, table), "".join(line + "\n" for line in lines))


def assemble(kit, settings, genome_dirs, batch_folders, scratch, output, log):
    """Builds the report folder in scratch, renamed to output when the
    report command succeeds; batch_folders maps a folder of the report
    (plots, blocks) to the batches' folders gathered there. Returns the
    report command's exit status."""
    workdirs.fresh_scratch(scratch)
    config = workdirs.config_with_settings(os.path.join(genome_dirs[0], "config.txt"), settings)
    workdirs.write_text(os.path.join(scratch, "config.txt"), config)
    genome_tables(genome_dirs, scratch)
    for folder, batch_dirs in batch_folders.items():
        gather_tables(batch_dirs, os.path.join(scratch, folder))
    with open(log, "w", encoding="utf-8") as console:
        status = workdirs.run_logged([kit, "report", scratch], console)
    return workdirs.finish(scratch, output, status)
