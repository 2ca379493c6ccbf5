"""The workflow's jobs, run by Snakemake's script directive: the rule's name
picks what to do, with the job's inputs, parameters and log (the object
`snakemake` that Snakemake puts before this script). A script job is one
Python process, where a run directive would read the whole workflow again
in a process of its own. A failure says where its log is and exits with the
status of the command that failed.
"""
import sys

import assemble_report
import jobs

job = snakemake  # noqa: F821 (given by Snakemake)
where = job.log[0] if job.log else None


def compare_batch():
    return jobs.compare_batch(job.input.circog, job.params.settings, list(job.input.genomes), job.params.pairs,
                              job.params.scratch, job.output[0], where)


def plot_batch():
    outputs = {folder: job.output[folder] for folder in job.output.keys()}
    return jobs.plot_batch(job.params.kit, list(job.params.options), job.input.run, job.params.scratch,
                           outputs, where)


def results():
    assemble_report.gather_results(list(job.input.runs), job.params.batches, job.params.scratch, job.output[0])
    return 0


def report():
    return assemble_report.assemble(job.params.kit, job.params.settings, list(job.input.genomes),
                                    job.params.folders, job.params.scratch, job.output[0], where)


RULES = {"compare_batch": compare_batch, "plot_batch": plot_batch, "results": results, "report": report}

status = RULES[job.rule]()
if status != 0:
    print(f"{job.rule} failed with status {status}" + (f", see {where}" if where else ""), file=sys.stderr)
    sys.exit(status)
