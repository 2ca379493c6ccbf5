import os
import sys

import pytest

KIT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(KIT)
FIXTURES = os.path.join(KIT, "tests", "fixtures")
sys.path.insert(0, KIT)

from circogkit import cli  # noqa: E402


def fixture(name):
    return os.path.join(FIXTURES, name)


def snapshot(path):
    """Every file below path with its bytes, to see that a command changed nothing."""
    found = {}
    for folder, _, files in os.walk(path):
        found[folder] = None
        for name in files:
            with open(os.path.join(folder, name), "rb") as handle:
                found[os.path.join(folder, name)] = handle.read()
    return found


def read(path):
    with open(path, encoding="latin-1", newline="") as handle:
        return handle.read()


@pytest.fixture
def kit(capsys):
    """Runs a circog-kit command in this process: (status, stdout, stderr)."""
    def run(*argv):
        status = cli.main([str(a) for a in argv])
        out, err = capsys.readouterr()
        return status, out, err
    return run
