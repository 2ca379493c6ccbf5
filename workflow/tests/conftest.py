"""Fixtures of the workflow tests: the tools and a reference run of circog."""
import os
import subprocess

import pytest

from flowtest import CIRCOG, GENOMES, KIT, write_sheet


@pytest.fixture(scope="session")
def tools():
    for path, what in ((CIRCOG, "circog (build/release/circog or CIRCOG_BINARY)"), (KIT, "kit/circog-kit")):
        if not os.access(path, os.X_OK):
            pytest.fail(f"{what} is missing: {path}")


@pytest.fixture(scope="session")
def four_genomes(tmp_path_factory, tools):
    """The four genomes' sample sheet and the result files of one circog run
    over all of them (file name -> bytes)."""
    folder = str(tmp_path_factory.mktemp("genomes"))
    sheet = write_sheet(folder, GENOMES)
    reference = os.path.join(folder, "reference")
    for name, *_ in GENOMES:
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
