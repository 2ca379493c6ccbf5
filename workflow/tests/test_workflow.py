"""The workflow end to end: pair results equal to one circog run over all
genomes, resuming after a kill, a failing pair, the SLURM profile."""
import os
import shutil
import signal
import subprocess
import urllib.parse

import pytest

from flowtest import (GENOMES, REPO, SNAKEFILE, SNAKEMAKE, job_counts, pair_results,
                      snakemake, write_config, write_sheet)

if SNAKEMAKE is None:
    pytest.skip("snakemake is not installed (Debian package snakemake)", allow_module_level=True)

PAIR_COUNT = len(GENOMES) * (len(GENOMES) - 1) // 2


def test_pairs_equal_one_run_over_all_genomes_and_report_names_every_pair(four_genomes, tmp_path):
    sheet, expected = four_genomes
    config = write_config(str(tmp_path), sheet, "results")
    snakemake(str(tmp_path), config)
    results = tmp_path / "results"
    assert pair_results(str(results)) == expected
    assert len(expected) == 3 * PAIR_COUNT
    summary = (results / "report" / "plots" / "summary.tsv").read_text().splitlines()
    pairs = sorted(name[: -len("_mul.txt")] for name in expected if name.endswith("_mul.txt"))
    assert sorted(row.split("\t")[0] for row in summary[1:]) == pairs
    page = (results / "report" / "report.html").read_text()
    for pair in pairs:
        assert f"href='plots/{urllib.parse.quote(pair)}.html'" in page   # the pair's own page
        assert (results / "report" / "plots" / (pair + ".html")).is_file()
        assert (results / "report" / "plots" / (pair + ".png")).is_file()
    assert not list(results.rglob("*.part"))


def kill_after_first_pair(run):
    """Kills the whole workflow (engine and jobs) once it reports its first
    finished circog job."""
    pair_jobs, current_rule = set(), None
    for line in run.stderr:
        line = line.strip()
        if line.startswith(("rule ", "localrule ")):
            current_rule = line.split()[1].rstrip(":")
        elif line.startswith("jobid:") and current_rule == "compare_pair":
            pair_jobs.add(line.split()[1])
        elif line.startswith("Finished job ") and line.split()[2].rstrip(".") in pair_jobs:
            break
    try:
        os.killpg(run.pid, signal.SIGKILL)
    except ProcessLookupError:  # already over: the count check below fails
        pass
    run.wait()


def test_killed_workflow_resumes_and_redoes_only_what_is_missing(four_genomes, tmp_path):
    sheet, expected = four_genomes
    config = write_config(str(tmp_path), sheet, "results")
    command = [SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--cores", "1"]
    run = subprocess.Popen(command, cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           text=True, start_new_session=True)
    kill_after_first_pair(run)
    finished = len(list((tmp_path / "results" / "pairs").glob("*/circog")))
    assert 1 <= finished < PAIR_COUNT

    snakemake(str(tmp_path), config, "--unlock")
    rerun = snakemake(str(tmp_path), config, "--rerun-incomplete")
    assert job_counts(rerun.stdout + rerun.stderr)["compare_pair"] == PAIR_COUNT - finished
    assert pair_results(str(tmp_path / "results")) == expected
    assert not list((tmp_path / "results").rglob("*.part"))


SMALL = [("Ecoli_a", "Ecoli_K12", 9, 0), ("Ecoli_b", "Ecoli_K12", 11, 5000),
         ("Styphi_c", "Styphi_CT18", 10, 0)]


def test_failing_pair_fails_with_circog_line_and_rerun_redoes_only_failed_or_changed_pairs(tools, tmp_path):
    sheet = write_sheet(str(tmp_path / "in"), SMALL)
    config = write_config(str(tmp_path), sheet, "results")
    snakemake(str(tmp_path), config, "--until", "import_genome")
    proteins = tmp_path / "results" / "genomes" / "Ecoli_b" / "angle1" / "Ecoli_b.faa"
    kept = tmp_path / "kept.faa"
    shutil.move(proteins, kept)

    failed = snakemake(str(tmp_path), config, "--keep-going", check=False)
    assert failed.returncode != 0
    assert "Error in rule compare_pair" in failed.stderr
    logs = tmp_path / "results" / "logs" / "circog"
    for pair in ("Ecoli_a&Ecoli_b", "Ecoli_b&Styphi_c"):
        assert "[SYS]\tFail to Open Protein file" in (logs / (pair + ".log")).read_text()
        assert not (tmp_path / "results" / "pairs" / pair / "circog").exists()
    assert (tmp_path / "results" / "pairs" / "Ecoli_a&Styphi_c" / "plots").is_dir()
    assert not list((tmp_path / "results").rglob("*.part"))

    shutil.move(kept, proteins)
    rerun = snakemake(str(tmp_path), config)
    counts = job_counts(rerun.stdout + rerun.stderr)
    assert counts["compare_pair"] == 2 and counts["plot_pair"] == 2 and "import_genome" not in counts
    assert (tmp_path / "results" / "report" / "report.html").is_file()

    (tmp_path / "stricter").mkdir()
    stricter = write_config(str(tmp_path / "stricter"), sheet, "results", similarity=0.5)
    planned = job_counts(snakemake(str(tmp_path), stricter, "-n").stdout)
    assert planned["compare_pair"] == 3 and "import_genome" not in planned


def test_slurm_profile_dry_run_shows_jobs_and_resources(tools, tmp_path):
    sheet = write_sheet(str(tmp_path / "in"), SMALL)
    config = write_config(str(tmp_path), sheet, "results", pair_threads=2)
    profile = os.path.join(REPO, "workflow", "profiles", "slurm")
    result = subprocess.run([SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--profile", profile, "-n"],
                            cwd=tmp_path, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    text = result.stdout + result.stderr
    assert job_counts(text) == {"all": 1, "compare_pair": 3, "import_genome": 3, "plot_pair": 3,
                                "report": 1, "total": 11}
    jobs = text.split("\nrule ")
    compare = next(job for job in jobs if job.startswith("compare_pair:"))
    assert "threads: 2" in compare and "mem_mb=1024" in compare and "runtime=60" in compare
    imports = next(job for job in jobs if job.startswith("import_genome:"))
    assert "mem_mb=2048" in imports and "runtime=30" in imports
    assert not (tmp_path / "results").exists()


FAKE_SBATCH = """#!/bin/bash
# Runs the job script at once in the background; keeps the command line and exit status.
id=$(( $(ls "$FAKE_SLURM" | grep -c 'args$') + 1000 ))
printf '%s\\n' "$@" > "$FAKE_SLURM/$id.args"
( bash "${@: -1}" > "$FAKE_SLURM/$id.out" 2>&1; echo $? > "$FAKE_SLURM/$id.exit" ) &
echo "$id"
"""
FAKE_SACCT = """#!/bin/bash
# Called as: sacct -j ID ...
if [ ! -f "$FAKE_SLURM/$2.exit" ]; then echo RUNNING
elif [ "$(cat "$FAKE_SLURM/$2.exit")" = 0 ]; then echo COMPLETED
else echo FAILED; fi
"""


def test_slurm_profile_submits_each_job_with_its_resources(tools, tmp_path):
    bin_dir, state = tmp_path / "bin", tmp_path / "slurm"
    bin_dir.mkdir()
    state.mkdir()
    for name, text in (("sbatch", FAKE_SBATCH), ("sacct", FAKE_SACCT)):
        (bin_dir / name).write_text(text)
        (bin_dir / name).chmod(0o755)
    sheet = write_sheet(str(tmp_path / "in"), SMALL[:2])
    config = write_config(str(tmp_path), sheet, "results", pair_threads=2)
    profile = os.path.join(REPO, "workflow", "profiles", "slurm")
    # CI=true makes Snakemake ask for job states every second instead of every ten
    env = {**os.environ, "PATH": f"{bin_dir}:{os.environ['PATH']}", "FAKE_SLURM": str(state), "CI": "true"}
    result = subprocess.run([SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--profile", profile],
                            cwd=tmp_path, capture_output=True, text=True, env=env, timeout=600)
    assert result.returncode == 0, result.stderr[-4000:]
    assert (tmp_path / "results" / "report" / "report.html").is_file()
    submitted = set()
    for args in state.glob("*.args"):
        lines = args.read_text().splitlines()
        rule = next(line for line in lines if line.startswith("--job-name=")).split("=")[1].split("-")[1]
        asked = (line for line in lines if line.split("=")[0] in ("--cpus-per-task", "--mem", "--time"))
        submitted.add((rule, *asked))
    assert submitted == {("import_genome", "--cpus-per-task=1", "--mem=2048", "--time=30"),
                         ("compare_pair", "--cpus-per-task=2", "--mem=1024", "--time=60"),
                         ("plot_pair", "--cpus-per-task=1", "--mem=2048", "--time=30")}
