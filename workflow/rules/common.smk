# Settings, genomes and pairs, shared by every rule. The settings and the
# sample sheet are checked against schemas/*.schema.yaml first.
import os
import sys

from snakemake.exceptions import WorkflowError

sys.path.insert(0, os.path.join(workflow.basedir, "scripts"))
import assemble_report  # noqa: E402
import samples as sheet  # noqa: E402

REPO = os.path.dirname(os.path.abspath(workflow.basedir))
HELPERS = os.path.join(workflow.basedir, "scripts")
DEFAULT_CIRCOG = os.path.join(REPO, "build", "release", "circog")
PYTHON = "/usr/bin/python3"

try:
    sheet.check_settings(config, ", ".join(workflow.overwrite_configfiles) or "config")
    GENOMES = sheet.read_sheet(config["samples"])
except sheet.SheetError as error:
    raise WorkflowError(str(error))
ALIGNMENT = sheet.alignment_flag(config["alignment"])
SIMILARITY = sheet.similarity_text(config["similarity"])

OUT = os.path.normpath(config["outdir"])
# a job works in a folder of its own under here, renamed to its output only
# when the job succeeds; no output lives under it, so no genome's name can meet it
SCRATCH = f"{OUT}/tmp"
# SLURM's own output of each cluster job (see profiles/slurm/config.yaml)
SLURM_LOGS = f"{OUT}/logs/slurm"
CIRCOG = os.path.abspath(config.get("circog", DEFAULT_CIRCOG))
KIT = os.path.abspath(config.get("kit", os.path.join(REPO, "kit", "circog-kit")))
PAIR_THREADS = config["pair_threads"]
PAIRS = sheet.pairs(GENOMES)

wildcard_constraints:
    name=sheet.NAME_PATTERN,
    a=sheet.NAME_PATTERN,
    b=sheet.NAME_PATTERN,

localrules: all, build_circog, report
