"""The working directory's own files: the genome-name rule, table lines,
paths a page may read, and imports that run at once, are killed, or replace
a genome."""
import os
import signal
import subprocess
import time

import pytest
from conftest import ROOT, fixture, forked, killed, read, snapshot, wrap

from circogkit import workdir as wd
from circogkit.inputs import KitError


@pytest.mark.parametrize("name,words", [
    ("Ecoli_K12", None), ("9", None), ("a-b_C", None), ("x" * 100, None),
    ("E.coli", ["must be letters", "up to the first '.'"]),
    ("A&B", ["'A&B' must be"]), ("-x", ["'-x'"]), ("_x", ["'_x'"]), ("", ["''"]),
    ("../x", ["'../x'"]), ("a/b", ["'a/b'"]), ("a b", ["'a b'"]), ("x\0y", ["'x\\x00y'"]),
    ("Müller", ["'M\\xfcller'"]), ("x" * 101, ["longer than 100"]),
])
def test_genome_name_rule(name, words):
    problem = wd.genome_name_problem(name)
    if words is None:
        assert problem is None
    else:
        assert problem.startswith("genome name ") and all(w in problem for w in words)


@pytest.mark.parametrize("data,line,expected", [
    (b"", "X\t5\n", b"X\t5\n"),
    (b"A\t1\nB\t2", "X\t5\n", b"A\t1\nB\t2\nX\t5\n"),           # hand-edited, no final line feed
    (b"A\t1\r\nX\t9\r\nB\t2\r\n", "X\t5\n", b"A\t1\r\nX\t5\nB\t2\r\n"),  # replaced in place
    (b"A\t1\nX\t9\nXY\t3\nX\t8\n", None, b"A\t1\nXY\t3\n"),       # every line of X, only X
])
def test_replace_table_line(data, line, expected):
    assert wd.replace_table_line(data, "X", line) == expected


@pytest.mark.parametrize("relative,inside", [
    ("plots/A&B.png", True), ("plots/../plots/A.png", True),
    ("plots/../../etc/passwd.png", False), ("/etc/passwd", False), ("plots/a\0b.png", False), (".", False),
])
def test_path_inside(tmp_path, relative, inside):
    if inside:
        assert wd.path_inside(str(tmp_path), relative).startswith(str(tmp_path) + os.sep)
    else:
        with pytest.raises(KitError, match="is not a path inside the working directory"):
            wd.path_inside(str(tmp_path), relative)


def test_path_inside_a_working_directory_named_relatively(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    assert wd.path_inside(".", "plots/A&B.png") == os.path.join("plots", "A&B.png")
    assert wd.path_inside("run", "plots/A&B.png") == os.path.join("run", "plots", "A&B.png")
    for relative in ("../x.png", "plots/../../x.png"):
        with pytest.raises(KitError, match="is not a path inside the working directory"):
            wd.path_inside(".", relative)


# ---------------------------------------------------------------- imports at once

def slow_file_system():
    """Widens the gap between looking at the directory and changing it, so
    imports without a lock lose a size line or trip over each other's
    mkdir nearly every time."""
    for name in ("replace", "mkdir", "makedirs"):
        wrap(name, lambda: time.sleep(0.005))


def imports_at_once(jobs):
    return forked([("import", *arguments) for arguments in jobs], slow_file_system)


def sizes_names(workdir):
    return [line.split("\t")[0] for line in read(workdir / "genome_sizes.txt").splitlines()]


@pytest.mark.parametrize("fresh", [False, True], ids=["existing directory", "new directory"])
def test_imports_at_once_each_add_their_genome(kit, tmp_path, fresh):
    for attempt in range(6):
        workdir = tmp_path / f"w{attempt}"
        if not fresh:
            assert kit("import", workdir, "First", fixture("bakta.gff3"))[0] == 0
        statuses = imports_at_once([(workdir, name, fixture("sample.ptt")) for name in ("A", "B")])
        assert statuses == [0, 0]
        assert sorted(sizes_names(workdir)) == ["A", "B"] + ([] if fresh else ["First"])
        assert sorted(line.split("\t")[0] for line in read(workdir / "genome_origins.txt").splitlines()) \
            == sorted(sizes_names(workdir))


def test_a_failed_first_import_does_not_take_the_directory_from_one_waiting(tmp_path, monkeypatch):
    """The first import sets the directory up and fails; the one waiting for
    the lock finds the directory gone and sets it up again."""
    real_stage = wd.Staged.stage

    def slow_failing_stage(self, path, data):
        if os.path.basename(path) == "Bad.faa":
            raise KitError(path, "No space left on device")
        real_stage(self, path, data)
    monkeypatch.setattr(wd.Staged, "stage", slow_failing_stage)
    for attempt in range(4):
        workdir = tmp_path / f"w{attempt}"
        statuses = imports_at_once([(workdir, name, fixture("sample.ptt")) for name in ("Bad", "Good")])
        assert statuses == [1, 0]
        assert sizes_names(workdir) == ["Good"] and os.path.exists(workdir / "config.txt")


# ---------------------------------------------------------------- kills and replacements

def genome_state(workdir, name):
    """'absent' when the size table does not list name, else its files."""
    if name not in sizes_names(workdir):
        return "absent"
    origins = [line for line in read(workdir / "genome_origins.txt").splitlines() if line.startswith(name + "\t")]
    return (read(workdir / "genes" / f"{name}.tab"), read(workdir / "angle1" / f"{name}.faa"),
            [line for line in read(workdir / "genome_sizes.txt").splitlines() if line.startswith(name + "\t")],
            origins)


def circog_sees_whole_genomes(workdir):
    """circog runs to its end (a genome it sees without its protein file
    would stop it), when a built binary is at hand."""
    binary = os.environ.get("CIRCOG_BINARY", os.path.join(ROOT, "build", "release", "circog"))
    if os.access(binary, os.X_OK) and os.path.exists(workdir / "config.txt"):
        done = subprocess.run([binary], cwd=workdir, stdout=subprocess.PIPE, text=True)
        assert done.returncode == 0, done.stdout[-300:]


def test_a_killed_import_leaves_the_genome_whole_or_absent(kit, tmp_path):
    """New directory (set-up, then the genome) and a second genome, killed
    before each rename in turn: circog sees whole genomes only, and the next
    import of the name finishes the job."""
    clean = tmp_path / "clean"
    for name, annotation, proteins in (("A", "sample.ptt", "sample.faa"), ("B", "bakta.gff3", "bakta.faa")):
        assert kit("import", clean, name, fixture(annotation), "--proteins", fixture(proteins))[0] == 0
    whole = {name: genome_state(clean, name) for name in ("A", "B")}
    # set-up (PAM-250.txt, genome_sizes.txt, config.txt); proteins, gene table, origin, size line
    renames = {"A": 7, "B": 4}
    for name, annotation, proteins, before in (("A", "sample.ptt", "sample.faa", []),
                                               ("B", "bakta.gff3", "bakta.faa", ["A"])):
        for stop in range(10):
            workdir = tmp_path / f"{name}{stop}"
            for earlier in before:
                assert kit("import", workdir, earlier, fixture("sample.ptt"), "--proteins", fixture("sample.faa"))[0] == 0
            arguments = ("import", workdir, name, fixture(annotation), "--proteins", fixture(proteins))
            status = killed(stop, *arguments)
            if status == 0:
                break
            assert status == -signal.SIGKILL
            if os.path.exists(workdir / "config.txt"):
                assert genome_state(workdir, name) in ("absent", whole[name])
                circog_sees_whole_genomes(workdir)
            assert kit(*arguments)[0] == 0
            assert genome_state(workdir, name) == whole[name]
            assert not [f for folder, _, files in os.walk(workdir) for f in files if f.endswith(".tmp")]
        assert stop == renames[name]


def test_replace_keeps_the_genome_whole_through_a_kill(kit, tmp_path):
    arguments = lambda w: ("import", w, "A", fixture("sample.ptt"), "--proteins", fixture("sample.faa"))
    old = lambda w: kit("import", w, "A", fixture("bakta.gff3"), "--proteins", fixture("bakta.faa"))
    for stop in range(8):
        workdir = tmp_path / f"w{stop}"
        assert old(workdir)[0] == 0 and kit("import", workdir, "Z", fixture("bakta.gff3"))[0] == 0
        before = genome_state(workdir, "A")
        status = killed(stop, *arguments(workdir), "--replace")
        if status == 0:
            break
        assert genome_state(workdir, "A") in (before, "absent")
        assert kit(*arguments(workdir), "--replace")[0] == 0
        assert sorted(sizes_names(workdir)) == ["A", "Z"] and genome_state(workdir, "A") != before
    assert stop == 5  # the size line out, proteins, gene table, origin, the size line back
    assert read(workdir / "genome_sizes.txt") == "A\t1000\nZ\t500\n"  # in its place


def test_already_imported_is_refused_unless_replaced(kit, tmp_path):
    assert kit("import", tmp_path, "X", fixture("sample.ptt"))[0] == 0
    before = snapshot(tmp_path)
    status, _, err = kit("import", tmp_path, "X", fixture("bakta.gff3"))
    assert status == 1 and err == (f"circog-kit import: {tmp_path}/genome_sizes.txt: genome 'X' is already "
                                   "imported (--replace imports it again)\n")
    assert snapshot(tmp_path) == before
    assert kit("import", tmp_path, "X", fixture("bakta.gff3"), "--replace")[0] == 0
    assert read(tmp_path / "genome_sizes.txt") == "X\t500\n"


def test_a_half_imported_genome_is_replaced_by_the_next_import(kit, tmp_path):
    """Files of a genome without its size line (an import killed before its
    last rename, or by an older kit) are not a genome: importing replaces them."""
    assert kit("import", tmp_path, "X", fixture("bakta.gff3"))[0] == 0
    (tmp_path / "genome_sizes.txt").write_text("")
    (tmp_path / "genes" / ".X.tab.99999.0.tmp").write_text("left by a killed import")
    assert kit("import", tmp_path, "X", fixture("sample.ptt"))[0] == 0
    assert read(tmp_path / "genome_sizes.txt") == "X\t1000\n"
    assert read(tmp_path / "genome_origins.txt") == "X\t1\tdefault\n"
    assert read(tmp_path / "genes" / "X.tab").count("\n") == 4
    assert sorted(os.listdir(tmp_path / "genes")) == ["X.tab"]


def test_a_failed_write_leaves_the_directory_as_it_was(kit, tmp_path, monkeypatch):
    real_stage = wd.Staged.stage

    def disk_full_at_sizes(self, path, data):
        if path.endswith("genome_sizes.txt"):
            raise KitError(path, "No space left on device")
        real_stage(self, path, data)
    assert kit("import", tmp_path / "old", "A", fixture("sample.ptt"))[0] == 0
    before = snapshot(tmp_path / "old")
    monkeypatch.setattr(wd.Staged, "stage", disk_full_at_sizes)
    for workdir in (tmp_path / "new", tmp_path / "old"):
        status, _, err = kit("import", workdir, "B", fixture("bakta.gff3"))
        assert status == 1 and err.endswith("genome_sizes.txt: No space left on device\n")
    assert not os.path.exists(tmp_path / "new")
    assert snapshot(tmp_path / "old") == before


# ---------------------------------------------------------------- working directories of older kits

def test_older_working_directories(kit, tmp_path):
    """No genome_origins.txt (position 1 stands in until --replace records it),
    and a genome named with '.' (which circog cannot run with) gets a line."""
    assert kit("import", tmp_path, "A", fixture("sample.ptt"))[0] == 0
    os.remove(tmp_path / "genome_origins.txt")
    with open(tmp_path / "genome_sizes.txt", "a") as sizes:
        sizes.write("E.coli\t4639675\n")
    assert wd.origins_of(str(tmp_path), ["A"]) == {"A": wd.Origin(1, "default", recorded=False)}
    assert "import --replace" in wd.missing_origin_note("A")
    status, _, err = kit("import", tmp_path, "B", fixture("bakta.gff3"), "--proteins", fixture("bakta.faa"))
    assert status == 0 and err == (f"circog-kit import: warning: {tmp_path}/genome_sizes.txt, line 2: genome "
                                   "name 'E.coli' must be letters, digits, '_' and '-', starting with a letter "
                                   "or digit (circog takes a genome's name from its file name up to the first "
                                   "'.'): circog cannot run with it; remove its line (and its files)\n")
    assert kit("import", tmp_path, "A", fixture("prokka.gff3"), "--replace")[0] == 0
    assert wd.origins_of(str(tmp_path), ["A", "B"]) == {"A": wd.Origin(21, "dnaA"), "B": wd.Origin(1, "default")}
    status, _, err = kit("import", tmp_path, "E.coli", fixture("sample.ptt"), "--replace")
    assert status == 1 and "up to the first '.'" in err
