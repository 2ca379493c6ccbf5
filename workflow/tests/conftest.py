"""Fixtures of the workflow tests: the tools, reference runs of circog and a
SLURM cluster (a real one-node cluster where one can start)."""
import os
import subprocess

import pytest

from flowtest import CIRCOG, GENOMES, KIT, SMALL, write_sheet
from slurmcluster import ClusterError, LocalSlurm, StandIn


@pytest.fixture(scope="session")
def tools():
    for path, what in ((CIRCOG, "circog (build/release/circog or CIRCOG_BINARY)"), (KIT, "kit/circog-kit")):
        if not os.access(path, os.X_OK):
            pytest.fail(f"{what} is missing: {path}")


def reference_run(folder, genomes):
    """Writes the genomes' sample sheet into folder and runs circog once over
    all of them; returns the sheet and the result files (file name -> bytes)."""
    sheet = write_sheet(folder, genomes)
    reference = os.path.join(folder, "reference")
    for name, *_ in genomes:
        subprocess.run([KIT, "import", reference, name, os.path.join(folder, name + ".ptt"),
                        "--proteins", os.path.join(folder, name + ".faa")],
                       check=True, capture_output=True)
    subprocess.run([CIRCOG], cwd=reference, check=True, capture_output=True)
    out = os.path.join(reference, "out")
    expected = {}
    for name in os.listdir(out):
        with open(os.path.join(out, name), "rb") as handle:
            expected[name] = handle.read()
    return sheet, expected


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
