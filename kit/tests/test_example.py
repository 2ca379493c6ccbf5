"""The bundled example made again from its NCBI sources, in two formats."""
import filecmp
import os
import subprocess
import sys

import pytest
from conftest import ROOT, read

sys.path.insert(0, os.path.join(ROOT, "bench"))
import make_annotation  # noqa: E402

EXAMPLE = os.path.join(ROOT, "example")
GENOMES = [("Ecoli_K12", "NC_000913"), ("Styphi_CT18", "NC_003198")]


def source(accession, suffix):
    return os.path.join(EXAMPLE, "sources", accession + suffix)


def circog_binary():
    binary = os.environ.get("CIRCOG_BINARY", os.path.join(ROOT, "build", "release", "circog"))
    if not os.access(binary, os.X_OK):
        pytest.skip(f"no circog binary at {binary} (build it, or set CIRCOG_BINARY)")
    return binary


def run_circog(workdir):
    subprocess.run([circog_binary()], cwd=workdir, check=True, stdout=subprocess.DEVNULL)
    expected = os.path.join(EXAMPLE, "expected", "out")
    names = sorted(os.listdir(expected))
    assert sorted(os.listdir(os.path.join(workdir, "out"))) == names
    assert filecmp.cmpfiles(expected, os.path.join(workdir, "out"), names, shallow=False)[0] == names


def test_ptt_import_gives_the_bundled_example_and_its_results(kit, tmp_path):
    for name, accession in GENOMES:
        assert kit("import", tmp_path, name, source(accession, ".ptt"),
                   "--proteins", source(accession, ".faa.gz"))[0] == 0
        for sub, suffix in (("genes", ".tab"), ("angle1", ".faa")):
            path = os.path.join(sub, name + suffix)
            assert read(tmp_path / path) == read(os.path.join(EXAMPLE, path)), path
    for name in ("genome_sizes.txt", "genome_origins.txt"):
        assert read(tmp_path / name) == read(os.path.join(EXAMPLE, name))
    run_circog(tmp_path)


def test_gff3_with_emapper_tables_gives_the_same_results(kit, tmp_path):
    for number, (name, accession) in enumerate(GENOMES):
        prefix = str(tmp_path / accession)
        gff = make_annotation.convert(source(accession, ".ptt"), source(accession, ".faa.gz"), prefix,
                                      compress=number == 0)
        assert kit("import", tmp_path / "run", name, gff, "--proteins", prefix + ".faa",
                   "--cogs", prefix + ".emapper.annotations")[0] == 0
    run_circog(tmp_path / "run")
