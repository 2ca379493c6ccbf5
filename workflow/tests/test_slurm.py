"""The SLURM profile against a one-node SLURM cluster started for the tests
(the stand-in sbatch where none can start): every job through sbatch with its
resources, exact results, a job that fails, a job cancelled with scancel."""
import os
import shutil
import subprocess
import time

import pytest

from flowtest import (CIRCOG, REPO, SMALL, SNAKEFILE, SNAKEMAKE, job_counts, pair_results, plan,
                      snakemake, write_config, write_sheet)

if SNAKEMAKE is None:
    pytest.skip("snakemake is not installed (Debian package snakemake)", allow_module_level=True)

PROFILE = os.path.join(REPO, "workflow", "profiles", "slurm")
EXAMPLE_SHEET = os.path.join(REPO, "workflow", "example", "samples.tsv")
EXAMPLE_RESULTS = os.path.join(REPO, "example", "expected", "out")


def profile_command(config, *options):
    return [SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--profile", PROFILE, *options]


def run_profile(slurm, folder, config, *options):
    # CI=true makes Snakemake ask for job states every second instead of every ten
    return subprocess.run(profile_command(config, *options), cwd=folder, capture_output=True,
                          text=True, env={**slurm.env, "CI": "true"}, timeout=900)


def submitted(slurm, outdir):
    """The jobs of this run, found through SLURM's logs under outdir:
    job id -> (rule, CPUs, memory in MB, minutes, state)."""
    logs = os.path.join(outdir, "logs", "slurm")
    ids = {log[:-len(".out")]: rule for rule in os.listdir(logs)
           for log in os.listdir(os.path.join(logs, rule))}
    known = {job[0]: job[1:] for job in slurm.jobs()}
    return {job: (rule, *known[job][1:]) for job, rule in ids.items()}


def test_slurm_profile_dry_run_shows_jobs_and_resources(tools, tmp_path):
    sheet = write_sheet(str(tmp_path / "in"), SMALL)
    config = write_config(str(tmp_path), sheet, "results", pair_threads=2)
    result = subprocess.run(profile_command(config, "-n"), cwd=tmp_path, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    text = result.stdout + result.stderr
    assert job_counts(text) == {"all": 1, "compare_batch": 1, "import_genome": 3,
                                "plot_batch": 1, "report": 1, "results": 1, "total": 8}
    jobs = text.split("\nrule ")
    # three pairs with alignment: ten minutes and two seconds a pair, rounded up
    compare = next(job for job in jobs if job.startswith("compare_batch:"))
    assert "threads: 2" in compare and "mem_mb=1024" in compare and "runtime=11" in compare
    imports = next(job for job in jobs if job.startswith("import_genome:"))
    assert "mem_mb=2048" in imports and "runtime=30" in imports
    assert not (tmp_path / "results").exists()


def test_slurm_profile_runs_the_example_through_sbatch_with_exact_results(slurm, tools, tmp_path):
    config = write_config(str(tmp_path), EXAMPLE_SHEET, "results", pair_threads=2)
    result = run_profile(slurm, tmp_path, config)
    assert result.returncode == 0, result.stderr[-4000:]
    results = tmp_path / "results"
    expected = {}
    for name in os.listdir(EXAMPLE_RESULTS):
        with open(os.path.join(EXAMPLE_RESULTS, name), "rb") as handle:
            expected[name] = handle.read()
    assert pair_results(str(results)) == expected
    assert (results / "report" / "report.html").is_file()
    jobs = sorted(submitted(slurm, str(results)).values())
    assert jobs == [("compare_batch", 2, 1024, 11, "COMPLETED"),
                    ("import_genome", 1, 2048, 30, "COMPLETED"),
                    ("import_genome", 1, 2048, 30, "COMPLETED"),
                    ("plot_batch", 1, 2048, 11, "COMPLETED")]
    # SLURM's own logs live under outdir, none in the folder Snakemake ran from
    assert not (tmp_path / "slurm-logs").exists()
    assert sorted(os.listdir(tmp_path)) == [".snakemake", "config.yaml", "results"]


def test_failing_cluster_job_is_reported_and_a_rerun_redoes_only_it(slurm, three_genomes, tmp_path):
    sheet, expected = three_genomes.sheet, three_genomes.results
    config = write_config(str(tmp_path), sheet, "results", pairs_per_job=1)
    snakemake(str(tmp_path), config, "--until", "import_genome")
    proteins = tmp_path / "results" / "genomes" / "Styphi_c" / "angle1" / "Styphi_c.faa"
    kept = tmp_path / "kept.faa"
    shutil.move(proteins, kept)

    failed = run_profile(slurm, tmp_path, config)
    assert failed.returncode != 0
    assert "Error in rule compare_batch" in failed.stderr
    states = sorted(job[::4] for job in submitted(slurm, str(tmp_path / "results")).values())
    assert states == [("compare_batch", "COMPLETED"), ("compare_batch", "FAILED"), ("compare_batch", "FAILED"),
                      ("plot_batch", "COMPLETED")]
    failing = next(batch for batch, pairs in plan(SMALL, 1).items() if ("Ecoli_a", "Styphi_c") in pairs)
    log = (tmp_path / "results" / "logs" / "circog" / (failing + ".log")).read_text()
    assert log.endswith("[SYS]\tFail to Open Protein file \n")
    assert not (tmp_path / "results" / "batches" / failing / "circog").exists()

    shutil.move(kept, proteins)
    rerun = run_profile(slurm, tmp_path, config)
    assert rerun.returncode == 0, rerun.stderr[-4000:]
    counts = job_counts(rerun.stdout + rerun.stderr)
    assert counts["compare_batch"] == 2 and counts["plot_batch"] == 2 and "import_genome" not in counts
    assert pair_results(str(tmp_path / "results")) == expected


HOLDING_CIRCOG = """#!/bin/sh
# circog that, comparing a batch (not transforming a genome), waits while the hold file exists
while [ -e pairs.txt ] && [ -e {hold} ]; do sleep 0.2; done
exec {circog} "$@"
"""


def test_job_cancelled_with_scancel_fails_and_a_rerun_redoes_only_it(slurm, three_genomes, tmp_path):
    if not slurm.real:
        pytest.skip(f"no SLURM cluster to cancel a job in: {slurm.reason}")
    sheet, expected = three_genomes.sheet, three_genomes.results
    hold, wrapper = tmp_path / "hold", tmp_path / "circog"
    wrapper.write_text(HOLDING_CIRCOG.format(hold=hold, circog=CIRCOG))
    wrapper.chmod(0o755)
    config = write_config(str(tmp_path), sheet, "results", circog=wrapper, pairs_per_job=1)
    snakemake(str(tmp_path), config, "--until", "import_genome")
    hold.touch()
    run = subprocess.Popen(profile_command(config), cwd=tmp_path, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, text=True, env={**slurm.env, "CI": "true"})
    try:
        cancelled = wait_for_running(slurm, "circog-compare_batch-")
        assert slurm.run("scancel", cancelled).returncode == 0
        wait_for_state(slurm, cancelled, "CANCELLED")
        hold.unlink()
        _, errors = run.communicate(timeout=600)
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()
    assert run.returncode != 0
    assert "Error in rule compare_batch" in errors and cancelled in errors
    assert len(list((tmp_path / "results" / "batches").glob("*/circog"))) == 2

    rerun = run_profile(slurm, tmp_path, config)
    assert rerun.returncode == 0, rerun.stderr[-4000:]
    counts = job_counts(rerun.stdout + rerun.stderr)
    assert counts["compare_batch"] == 1 and counts["plot_batch"] == 1
    assert pair_results(str(tmp_path / "results")) == expected


def wait_for_running(slurm, prefix, seconds=120):
    """The id of the first job whose name starts with prefix once it runs."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for job_id, name, *_, state in slurm.jobs():
            if name.startswith(prefix) and state == "RUNNING":
                return job_id
        time.sleep(0.5)
    pytest.fail(f"no job {prefix}* ran within {seconds} s")


def wait_for_state(slurm, job_id, wanted, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if any(job[0] == job_id and job[-1] == wanted for job in slurm.jobs()):
            return
        time.sleep(0.5)
    pytest.fail(f"job {job_id} was not {wanted} within {seconds} s")
