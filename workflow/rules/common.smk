# Settings, genomes, pairs and batches, shared by every rule. The settings
# and the sample sheet are checked against schemas/*.schema.yaml first.
import os
import shlex
import sys

from snakemake.exceptions import WorkflowError

sys.path.insert(0, os.path.join(workflow.basedir, "scripts"))
import batches as plan  # noqa: E402
import samples as sheet  # noqa: E402

REPO = os.path.dirname(os.path.abspath(workflow.basedir))
DEFAULT_CIRCOG = os.path.join(REPO, "build", "release", "circog")
HELPERS = os.path.join(workflow.basedir, "scripts")
PYTHON = "/usr/bin/python3"
CONFIG_FILES = ", ".join(workflow.overwrite_configfiles) or "config"

try:
    sheet.check_settings(config, CONFIG_FILES)
    GENOMES = sheet.read_sheet(config["samples"])
except sheet.SheetError as error:
    raise WorkflowError(str(error))
REFERENCE = config.get("reference")
if REFERENCE is not None and REFERENCE not in GENOMES:
    raise WorkflowError(f"{CONFIG_FILES}: 'reference' must be a genome of the sample sheet,"
                        f" not {REFERENCE!r}")
SETTINGS = {"AlignmentFlag": sheet.alignment_flag(config["alignment"]),
            "Similarity": sheet.similarity_text(config["similarity"])}

OUT = os.path.normpath(config["outdir"])
# a job works in a folder of its own under here, renamed to its output only
# when the job succeeds; no output lives under it, so no genome's name can meet it
SCRATCH = f"{OUT}/tmp"
# SLURM's own output of each cluster job (see profiles/slurm/config.yaml)
SLURM_LOGS = f"{OUT}/logs/slurm"
CIRCOG = os.path.abspath(config.get("circog", DEFAULT_CIRCOG))
KIT = os.path.abspath(config.get("kit", os.path.join(REPO, "kit", "circog-kit")))
PAIR_THREADS = config["pair_threads"]
# the batches' folders the report gathers: plots/ always, blocks/ unless turned off
BATCH_FOLDERS = ["blocks", "plots"] if config["blocks"] else ["plots"]

PAIRS = plan.pairs(GENOMES, REFERENCE)
PAIRS_PER_JOB = config.get("pairs_per_job") or plan.default_pairs_per_job(len(PAIRS))
BATCHES = plan.plan(PAIRS, PAIRS_PER_JOB)


def batch_genomes(wildcards):
    return [f"{OUT}/genomes/{name}" for name in plan.genomes_of(BATCHES[wildcards.batch])]


def batch_minutes(pair_seconds):
    """A batch job's time limit: ten minutes and pair_seconds a pair."""
    return lambda wildcards: 10 + -(-len(BATCHES[wildcards.batch]) * pair_seconds // 60)


wildcard_constraints:
    name=sheet.NAME_PATTERN,
    batch=r"\d+-\d+-[0-9a-f]{8}",

localrules: all, build_circog, results, report
