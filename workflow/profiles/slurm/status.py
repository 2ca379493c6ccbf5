#!/usr/bin/python3
"""Tells Snakemake how a SLURM job stands: prints running, success or failed.

Called as `status.py JOBID`. Asks sacct, then scontrol while sacct knows
nothing yet; a job SLURM cannot report on counts as running until it can.
"""
import subprocess
import sys

RUNNING = {"PENDING", "RUNNING", "CONFIGURING", "COMPLETING", "REQUEUED", "RESIZING",
           "SUSPENDED", "UNKNOWN"}


def output_of(command):
    try:
        return subprocess.run(command, capture_output=True, text=True, timeout=60).stdout
    except (OSError, subprocess.TimeoutExpired):
        return ""


def slurm_state(jobid):
    # sacct prints e.g. "CANCELLED by 1234"; scontrol "... JobState=RUNNING ..."
    words = output_of(["sacct", "-j", jobid, "-X", "-n", "-P", "-o", "State"]).split()
    if words:
        return words[0].rstrip("+")
    for word in output_of(["scontrol", "show", "job", "-o", jobid]).split():
        if word.startswith("JobState="):
            return word[len("JobState="):]
    return "UNKNOWN"


def verdict(state):
    if state == "COMPLETED":
        return "success"
    return "running" if state in RUNNING else "failed"


if __name__ == "__main__":
    print(verdict(slurm_state(sys.argv[1])))
