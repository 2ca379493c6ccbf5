"""The workflow end to end: batches whose result files equal one circog run
over all genomes, a reference genome, resuming after a kill, a failing
batch, a genome added, settings it refuses."""
import os
import shutil
import signal
import subprocess
import urllib.parse

import pytest

from flowtest import (GENOMES, SMALL, SNAKEFILE, SNAKEMAKE, batch_results, job_counts, pair_results,
                      plan, result_names, run_pairs, snakemake, write_config, write_sheet)

if SNAKEMAKE is None:
    pytest.skip("snakemake is not installed (Debian package snakemake)", allow_module_level=True)

PAIR_COUNT = len(GENOMES) * (len(GENOMES) - 1) // 2


def test_batches_equal_one_run_over_all_genomes_and_report_holds_every_pair(four_genomes, tmp_path):
    sheet, expected = four_genomes.sheet, four_genomes.results
    config = write_config(str(tmp_path), sheet, "results", pairs_per_job=2)
    run = snakemake(str(tmp_path), config)
    planned = plan(GENOMES, 2)
    assert len(planned) > 1 and job_counts(run.stderr)["compare_batch"] == len(planned)
    results = tmp_path / "results"
    assert len(expected) == 3 * PAIR_COUNT
    assert pair_results(str(results)) == expected
    # each batch wrote exactly its own pairs, through angle files made once per genome
    for batch, files in batch_results(str(results)).items():
        assert set(files) == result_names(planned[batch])
        angle_files = (results / "batches" / batch / "circog" / "angle1").iterdir()
        assert all(path.is_symlink() and path.exists() for path in angle_files)
    assert not list((results / "batches").glob("*/circog/genes/*"))
    report = results / "report"
    # plotted and blocks found batch by batch in one pass, the tables and pictures equal those of
    # circog-kit blocks and plot over one run of every pair
    plots = {path.name: path.read_bytes() for path in (report / "plots").iterdir() if path.suffix != ".html"}
    assert plots == four_genomes.plots and len(plots) == PAIR_COUNT + 1
    blocks = {path.name: path.read_bytes() for path in (report / "blocks").iterdir()}
    assert blocks == four_genomes.blocks
    page = (report / "report.html").read_text()
    for a, b in run_pairs(GENOMES):
        assert f"href='plots/{urllib.parse.quote(f'{a}&{b}')}.html'" in page   # the pair's own page
        assert (report / "plots" / f"{a}&{b}.html").is_file()
    assert (report / "genome_sizes.txt").read_text().count("\n") == len(GENOMES)
    assert not list((results / "tmp").rglob("*.*"))


def test_reference_compares_every_genome_with_it_alone_and_blocks_can_be_left_out(four_genomes, tmp_path):
    sheet, expected = four_genomes.sheet, four_genomes.results
    config = write_config(str(tmp_path), sheet, "results", reference="Ecoli_K12", blocks="false")
    run = snakemake(str(tmp_path), config)
    assert job_counts(run.stderr)["plot_batch"] >= 1
    assert not (tmp_path / "results" / "report" / "blocks").exists()
    chosen = {name: data for name, data in expected.items() if "Ecoli_K12&" in name or "&Ecoli_K12_" in name}
    assert len(chosen) == 3 * (len(GENOMES) - 1)
    assert pair_results(str(tmp_path / "results")) == chosen
    summary = (tmp_path / "results" / "report" / "plots" / "summary.tsv").read_text().splitlines()
    assert len(summary) == len(GENOMES)


def kill_after_first_batch(run):
    """Kills the whole workflow (engine and jobs) once it reports its first
    finished circog job."""
    batch_jobs, current_rule = set(), None
    for line in run.stderr:
        line = line.strip()
        if line.startswith(("rule ", "localrule ")):
            current_rule = line.split()[1].rstrip(":")
        elif line.startswith("jobid:") and current_rule == "compare_batch":
            batch_jobs.add(line.split()[1])
        elif line.startswith("Finished job ") and line.split()[2].rstrip(".") in batch_jobs:
            break
    try:
        os.killpg(run.pid, signal.SIGKILL)
    except ProcessLookupError:  # already over: the count check below fails
        pass
    run.wait()


def test_killed_workflow_resumes_and_redoes_only_what_is_missing(four_genomes, tmp_path):
    sheet, expected = four_genomes.sheet, four_genomes.results
    config = write_config(str(tmp_path), sheet, "results", pairs_per_job=2)
    command = [SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--cores", "1"]
    run = subprocess.Popen(command, cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           text=True, start_new_session=True)
    kill_after_first_batch(run)
    batch_count = len(plan(GENOMES, 2))
    finished = len(list((tmp_path / "results" / "batches").glob("*/circog")))
    assert 1 <= finished < batch_count

    snakemake(str(tmp_path), config, "--unlock")
    rerun = snakemake(str(tmp_path), config, "--rerun-incomplete")
    assert job_counts(rerun.stdout + rerun.stderr)["compare_batch"] == batch_count - finished
    assert pair_results(str(tmp_path / "results")) == expected


def test_failing_batch_fails_with_circog_line_and_rerun_redoes_only_failed_or_changed_batches(
        three_genomes, tmp_path):
    sheet, expected = three_genomes.sheet, three_genomes.results
    config = write_config(str(tmp_path), sheet, "results", pairs_per_job=1)
    snakemake(str(tmp_path), config, "--until", "import_genome")
    proteins = tmp_path / "results" / "genomes" / "Ecoli_b" / "angle1" / "Ecoli_b.faa"
    kept = tmp_path / "kept.faa"
    shutil.move(proteins, kept)

    failed = snakemake(str(tmp_path), config, "--keep-going", check=False)
    assert failed.returncode != 0
    assert "Error in rule compare_batch" in failed.stderr
    planned = plan(SMALL, 1)
    for batch, pairs in planned.items():
        done = (tmp_path / "results" / "batches" / batch / "circog").exists()
        log = (tmp_path / "results" / "logs" / "circog" / (batch + ".log")).read_text()
        if ("Ecoli_a", "Styphi_c") in pairs:
            assert done and (tmp_path / "results" / "batches" / batch / "plots").is_dir()
        else:
            assert not done and log.endswith("[SYS]\tFail to Open Protein file \n")
    assert not list((tmp_path / "results" / "tmp").rglob("*.*"))

    shutil.move(kept, proteins)
    rerun = snakemake(str(tmp_path), config)
    counts = job_counts(rerun.stdout + rerun.stderr)
    assert counts["compare_batch"] == 2 and counts["plot_batch"] == 2 and "import_genome" not in counts
    assert pair_results(str(tmp_path / "results")) == expected

    (tmp_path / "stricter").mkdir()
    stricter = write_config(str(tmp_path / "stricter"), sheet, "results", similarity=0.5, pairs_per_job=1)
    planned_jobs = job_counts(snakemake(str(tmp_path), stricter, "-n").stdout)
    assert planned_jobs["compare_batch"] == 3 and "import_genome" not in planned_jobs


def test_added_genome_redoes_only_the_batches_it_joins(four_genomes, tmp_path):
    expected = four_genomes.results
    added = "Ecoli_K12-rot"
    first = [genome for genome in GENOMES if genome[0] != added]
    sheet = write_sheet(str(tmp_path / "in"), GENOMES)
    every_line = open(sheet, encoding="utf-8").read()
    with open(sheet, "w", encoding="utf-8") as handle:
        handle.writelines(line + "\n" for line in every_line.splitlines() if not line.startswith(added))
    config = write_config(str(tmp_path), sheet, "results", pairs_per_job=1)
    snakemake(str(tmp_path), config)
    before, after = plan(first, 1), plan(GENOMES, 1)
    redone = set(after) - set(before)
    assert 0 < len(redone) < len(after)

    with open(sheet, "w", encoding="utf-8") as handle:
        handle.write(every_line)
    # a batch's name changes with its pairs, so even a rerun that looks at
    # file times alone redoes the batches the new genome joins
    rerun = snakemake(str(tmp_path), config, "--rerun-triggers", "mtime")
    assert job_counts(rerun.stderr)["compare_batch"] == len(redone)
    assert pair_results(str(tmp_path / "results")) == expected
    assert sorted(os.listdir(tmp_path / "results" / "batches")) == sorted(after)


@pytest.mark.parametrize("setting, line", [
    ('outdir: ""', "'outdir' must be a non-empty folder path other than /, not ''"),
    ("outdir: /", "'outdir' must be a non-empty folder path other than /, not '/'"),
    ("pair_threads: two", "'pair_threads' must be a whole number of CPUs, 1 or more, not 'two'"),
    ("reference: Nobody", "'reference' must be a genome of the sample sheet, not 'Nobody'"),
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
