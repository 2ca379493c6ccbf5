"""Helpers of the workflow tests: genomes written as .ptt files from the
bundled example, the workflow command and its job counts."""
import os
import shutil
import subprocess
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import batches  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(REPO, "example")
SNAKEFILE = os.path.join(REPO, "workflow", "Snakefile")
CIRCOG = os.environ.get("CIRCOG_BINARY", os.path.join(REPO, "build", "release", "circog"))
KIT = os.environ.get("CIRCOG_KIT", os.path.join(REPO, "kit", "circog-kit"))
SNAKEMAKE = shutil.which("snakemake")
PTT_COLUMNS = "Location\tStrand\tLength\tPID\tGene\tSynonym\tCode\tCOG\tProduct"


def example_genes(name):
    """The bundled gene table's rows and the genome's length."""
    with open(os.path.join(EXAMPLE, "genes", name + ".tab"), encoding="latin-1") as handle:
        rows = [line.split("\t") for line in handle.read().splitlines()[1:] if line]
    with open(os.path.join(EXAMPLE, "genome_sizes.txt"), encoding="latin-1") as handle:
        sizes = dict(line.split("\t") for line in handle.read().splitlines() if line)
    return rows, int(sizes[name])


def write_ptt(path, title, length, rows, every=1, shift=0):
    """Writes every `every`-th gene of rows as an NCBI protein table, its
    origin moved `shift` base pairs on; genes that would then span the origin
    are left out."""
    lines = []
    for row in rows[::every]:
        low, high = (int(x) for x in row[7].split(".."))
        low, high = (low - 1 + shift) % length + 1, (high - 1 + shift) % length + 1
        if low > high:
            continue
        synonym, gene, pid, _, strand, size, cog, _, code, product = row[:10]
        lines.append("\t".join([f"{low}..{high}", strand, size, pid, gene, synonym, code, cog, product]))
    header = [f"{title} - 1..{length}", f"{len(lines)} proteins", PTT_COLUMNS]
    with open(path, "w", encoding="latin-1", newline="\n") as out:
        out.write("\n".join(header + lines) + "\n")


# name, example genome it comes from, every n-th gene, origin shift
GENOMES = [
    ("Styphi_CT18", "Styphi_CT18", 1, 0),
    ("Ecoli_K12", "Ecoli_K12", 1, 0),
    ("Ecoli_K12-rot", "Ecoli_K12", 6, 1234567),  # "Ecoli_K12-rot.txt" sorts before "Ecoli_K12.txt"
    ("Styphi_few", "Styphi_CT18", 7, 0),
]


# three small genomes: three pairs
SMALL = [("Ecoli_a", "Ecoli_K12", 9, 0), ("Ecoli_b", "Ecoli_K12", 11, 5000),
         ("Styphi_c", "Styphi_CT18", 10, 0)]


def write_sheet(folder, genomes):
    """Writes the genomes' .ptt files and a sample sheet naming them (paths
    relative to the sheet) into folder; returns the sheet's path."""
    os.makedirs(folder, exist_ok=True)
    lines = ["name\tannotation\tproteins\tcogs"]
    for name, source, every, shift in genomes:
        rows, length = example_genes(source)
        write_ptt(os.path.join(folder, name + ".ptt"), name, length, rows, every, shift)
        shutil.copyfile(os.path.join(EXAMPLE, "angle1", source + ".faa"),
                        os.path.join(folder, name + ".faa"))
        lines.append(f"{name}\t{name}.ptt\t{name}.faa\t")
    path = os.path.join(folder, "samples.tsv")
    with open(path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    return path


def write_config(folder, sheet, outdir, **settings):
    entries = {"samples": sheet, "outdir": outdir, "circog": CIRCOG, "kit": KIT, **settings}
    path = os.path.join(folder, "config.yaml")
    with open(path, "w", encoding="utf-8") as out:
        out.writelines(f"{key}: {value}\n" for key, value in entries.items())
    return path


def snakemake(folder, config, *options, check=True, **popen):
    """Runs the workflow with folder as its working directory."""
    command = [SNAKEMAKE, "-s", SNAKEFILE, "--configfile", config, "--cores", "2", *options]
    result = subprocess.run(command, cwd=folder, capture_output=True, text=True, **popen)
    if check and result.returncode != 0:
        pytest.fail(f"{' '.join(command)} exited with {result.returncode}:\n{result.stderr[-4000:]}")
    return result


def job_counts(snakemake_output):
    """Jobs per rule from Snakemake's "Job stats" table."""
    text = snakemake_output.split("Job stats:", 1)[-1]
    counts = {}
    for line in text.splitlines()[3:]:
        fields = line.split()
        if len(fields) < 2 or not fields[1].isdigit():
            break
        counts[fields[0]] = int(fields[1])
    return counts


def pair_results(outdir):
    """Every pair's result files from a workflow run: file name -> bytes."""
    files = {}
    results = os.path.join(outdir, "results")
    for name in os.listdir(results):
        if not name.startswith("."):
            with open(os.path.join(results, name), "rb") as handle:
                files[name] = handle.read()
    return files


def batch_results(outdir):
    """Each batch's result files: batch -> {file name -> bytes}."""
    found = {}
    for batch in os.listdir(os.path.join(outdir, "batches")):
        out = os.path.join(outdir, "batches", batch, "circog", "out")
        if os.path.isdir(out):
            found[batch] = {}
            for name in os.listdir(out):
                with open(os.path.join(out, name), "rb") as handle:
                    found[batch][name] = handle.read()
    return found


def run_pairs(genomes):
    """Every pair in the order of one circog run over these genomes."""
    return batches.pairs([genome[0] for genome in genomes])


def plan(genomes, pairs_per_job, reference=None):
    """The workflow's batches for these genomes: batch -> pairs."""
    return batches.plan(batches.pairs([genome[0] for genome in genomes], reference), pairs_per_job)


def result_names(pair_list):
    return {f"{a}&{b}{suffix}" for a, b in pair_list for suffix in ("_mul.txt", "_sin.txt", "_sin_COG.txt")}
