"""Fixtures of the workflow tests: the tools, reference runs of circog and a
SLURM cluster (a real one-node cluster where one can start)."""
import os
import subprocess
from dataclasses import dataclass

import pytest

from flowtest import CIRCOG, GENOMES, KIT, SMALL, write_sheet
from slurmcluster import ClusterError, LocalSlurm, StandIn


def pytest_configure(config):
    # Snakemake 7 imports a module that Python 3.11 deprecates; not ours to mend.
    config.addinivalue_line("filterwarnings",
                            "ignore:module 'sre_constants' is deprecated:DeprecationWarning")


@pytest.fixture(scope="session")
def tools():
    for path, what in ((CIRCOG, "circog (build/release/circog or CIRCOG_BINARY)"), (KIT, "kit/circog-kit")):
        if not os.access(path, os.X_OK):
            pytest.fail(f"{what} is missing: {path}")


@dataclass
class Reference:
    sheet: str      # the genomes' sample sheet
    results: dict   # one circog run's result files: name -> bytes
    blocks: dict    # circog-kit blocks over that run: name -> bytes
    plots: dict     # circog-kit plot over that run: plots/summary.tsv and the pictures, name -> bytes


def read_folder(folder):
    files = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as handle:
            files[name] = handle.read()
    return files


def reference_run(folder, genomes):
    """Writes the genomes' sample sheet into folder, runs circog once over
    all of them and circog-kit blocks and plot after it."""
    sheet = write_sheet(folder, genomes)
    reference = os.path.join(folder, "reference")
    for name, *_ in genomes:
        subprocess.run([KIT, "import", reference, name, os.path.join(folder, name + ".ptt"),
                        "--proteins", os.path.join(folder, name + ".faa")],
                       check=True, capture_output=True)
    subprocess.run([CIRCOG], cwd=reference, check=True, capture_output=True)
    subprocess.run([KIT, "blocks", reference], check=True, capture_output=True)
    subprocess.run([KIT, "plot", reference], check=True, capture_output=True)
    return Reference(sheet, read_folder(os.path.join(reference, "out")),
                     read_folder(os.path.join(reference, "blocks")),
                     read_folder(os.path.join(reference, "plots")))


@pytest.fixture(scope="session")
def four_genomes(tmp_path_factory, tools):
    return reference_run(str(tmp_path_factory.mktemp("genomes")), GENOMES)


@pytest.fixture(scope="session")
def three_genomes(tmp_path_factory, tools):
    return reference_run(str(tmp_path_factory.mktemp("small")), SMALL)


@pytest.fixture(scope="session")
def slurm(tmp_path_factory):
    """A one-node SLURM cluster, started here and stopped after the session;
    the stand-in sbatch where none can start (the reason is in .reason)."""
    folder = tmp_path_factory.mktemp("slurm")
    reason = LocalSlurm.unavailable()
    cluster = None
    if reason is None:
        cluster = LocalSlurm(folder / "cluster")
        try:
            cluster.start()
        except (ClusterError, OSError, subprocess.SubprocessError) as error:
            cluster.stop()
            cluster, reason = None, f"the one-node cluster did not start: {error}"
    if cluster is None:
        cluster = StandIn(folder / "stand-in", reason)
    try:
        yield cluster
    finally:
        cluster.stop()
