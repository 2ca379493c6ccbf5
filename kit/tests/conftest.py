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


CHROMIUM = "/usr/bin/chromium"
needs_chromium = pytest.mark.skipif(not os.path.exists(CHROMIUM),
                                    reason="chromium is not installed (scripts/install-deps.sh)")


def chromium(profile, *arguments, budget=5000):
    """Headless Chromium with a fresh profile; returns the finished process."""
    import subprocess
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", f"--user-data-dir={profile}", f"--virtual-time-budget={budget}",
               *arguments]
    return subprocess.run(command, capture_output=True, text=True, timeout=120)
