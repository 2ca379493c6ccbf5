"""The workflow end to end: pair results equal to one circog run over all
genomes, resuming after a kill, a failing pair, settings it refuses."""
import os
import shutil
import signal
import subprocess

import pytest

from flowtest import (GENOMES, SMALL, SNAKEFILE, SNAKEMAKE, job_counts, pair_results,
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
        assert pair in page or pair.replace("&", "&amp;") in page
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


@pytest.mark.parametrize("setting, line", [
    ('outdir: ""', "'outdir' must be a non-empty folder path other than /, not ''"),
    ("outdir: /", "'outdir' must be a non-empty folder path other than /, not '/'"),
    ("pair_threads: two", "'pair_threads' must be a whole number of CPUs, 1 or more, not 'two'"),
])
def test_refused_settings_stop_the_workflow_with_one_line_before_any_job(tools, tmp_path, setting, line):
    sheet = write_sheet(str(tmp_path / "in"), SMALL)
    config = write_config(str(tmp_path), sheet, "results")
    with open(config, "a", encoding="utf-8") as handle:
        handle.write(setting + "\n")  # the later key wins
    result = snakemake(str(tmp_path), config, "-n", check=False)
    assert result.returncode != 0
    output = result.stdout + result.stderr
    assert f"{config}: {line}" in output.splitlines()
    assert "Traceback" not in output
