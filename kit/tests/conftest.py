import os
import signal
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


def forked(jobs, prepare=None):
    """Runs each argument list as a circog-kit command in a forked child,
    all released at once, prepare() run first in each child. Returns the
    exit statuses (negative when killed)."""
    release_read, release_write = os.pipe()
    children = []
    for arguments in jobs:
        pid = os.fork()
        if pid == 0:  # the child: wait for the start, run, leave without cleanup
            status = 3
            try:
                os.close(release_write)
                os.read(release_read, 1)
                null = os.open(os.devnull, os.O_WRONLY)
                os.dup2(null, 1)
                os.dup2(null, 2)
                if prepare:
                    prepare()
                status = cli.main(list(map(str, arguments)))
            finally:
                os._exit(status)
        children.append(pid)
    os.close(release_read)
    os.close(release_write)
    return [os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) for pid in children]


def wrap(name, before):
    """Makes os.NAME call before() first (in a forked child only)."""
    real = getattr(os, name)

    def wrapped(*arguments, **options):
        before()
        return real(*arguments, **options)
    setattr(os, name, wrapped)


def killed(stop, *arguments):
    """Runs circog-kit killed before its rename number stop (from 0)."""
    renames = [0]

    def count_or_die():
        if renames[0] == stop:
            os.kill(os.getpid(), signal.SIGKILL)
        renames[0] += 1
    return forked([arguments], lambda: wrap("replace", count_or_die))[0]


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
