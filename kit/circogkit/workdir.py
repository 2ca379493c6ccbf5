"""A circog working directory's own files, as every kit command meets them:
the genome-name rule, config.txt, genome_sizes.txt, genome_origins.txt,
plots/summary.tsv, the lock an import holds, files written whole or not at
all, the checks that keep what a page shows inside the directory, and why a
run gave no pair.
"""
import contextlib
import fcntl
import html
import itertools
import os
import re
import shutil
from dataclasses import dataclass

from .inputs import ENCODING, KitError, read_lines

# ---------------------------------------------------------------- genome names

# circog keys a genome by its gene table's file name up to the first '.', and
# joins two names with '&' in a pair's file names; a name is one path part.
NAME_PATTERN = r"[A-Za-z0-9][A-Za-z0-9_-]*"
NAME_RULE = "letters, digits, '_' and '-', starting with a letter or digit"
MAX_NAME = 100  # two names and a suffix make a pair's file names, at most 255 bytes
_NAME = re.compile(NAME_PATTERN)


def genome_name_problem(name):
    """Why name cannot be a genome's name, or None when it can."""
    if _NAME.fullmatch(name) and len(name) <= MAX_NAME:
        return None
    if len(name) > MAX_NAME:
        return f"genome name '{name[:20]}...' is longer than {MAX_NAME} characters"
    shown = name.encode("unicode_escape").decode("ascii")
    why = (" (circog takes a genome's name from its file name up to the first '.')"
           if "." in name else "")
    return f"genome name '{shown}' must be {NAME_RULE}{why}"


def check_genome_name(name, path=None, line=None):
    """Raises KitError (naming path and line, else the name) unless name
    follows the rule."""
    problem = genome_name_problem(name)
    if problem:
        raise KitError(path or name, problem, line)


# ---------------------------------------------------------------- config.txt

CONFIG_TEXT = """GenomeSizePath=.\\genome_sizes.txt
TranformDataDir=.\\genes\\
TranformDataFormat=.tab
TranformDataSubFormat=
TranformDataOutPath=.\\angle1\\
AnglePath=.\\angle1\\
AngleFormat=.txt
AlignmentFlag=TRUE
PairOutputPath=.\\out\\
Similarity=0.3
"""
CONFIG = "config.txt"


def config_text(alignment=True):
    """config.txt of the kit's layout, alignment on or off."""
    return CONFIG_TEXT if alignment else CONFIG_TEXT.replace("AlignmentFlag=TRUE", "AlignmentFlag=FALSE")

SIZES = "genome_sizes.txt"
ORIGINS = "genome_origins.txt"
LOCK = ".circog-kit.lock"


def read_config(workdir):
    """Settings of config.txt in file order, read as circog reads them:
    Key=Value, nothing trimmed, '#' lines and lines without '=' skipped."""
    settings = {}
    for line in read_lines(os.path.join(workdir, CONFIG)):
        if line.startswith("#") or "=" not in line:
            continue
        key, _, value = line.partition("=")
        settings.setdefault(key, value)
    return settings


def config_path(workdir, value):
    """A directory or file setting as a path below workdir ('\\' means '/';
    a leading './' is dropped, so messages show plain paths)."""
    value = value.replace("\\", "/")
    return os.path.join(workdir, value[2:] if value.startswith("./") else value)


def alignment_on(settings):
    return settings.get("AlignmentFlag") == "TRUE"


# ---------------------------------------------------------------- sizes and origins

def read_genome_sizes(path):
    """name -> length text, in file order."""
    sizes = {}
    for number, line in enumerate(read_lines(path), start=1):
        if not line.strip():
            continue
        name, tab, length = line.partition("\t")
        if not tab:
            raise KitError(path, "expected NAME<TAB>LENGTH", number)
        sizes.setdefault(name, length)
    return sizes


def sizes_lines(path):
    """(line number, name) of every genome of a size table, in file order."""
    return [(number, line.partition("\t")[0])
            for number, line in enumerate(read_lines(path), start=1) if line.strip()]


@dataclass
class Origin:
    """Where a genome's chromosome starts replicating, in the gene table's
    coordinates (angle = position / length x 360), and how it was found:
    '--origin VALUE', 'dnaA', 'product' or 'default'. recorded is False for
    a genome imported before origins were recorded (position 1 stands in)."""
    position: int
    how: str
    recorded: bool = True


def origin_line(name, position, how):
    return f"{name}\t{position}\t{how}\n"


def read_origins(workdir):
    """name -> Origin from genome_origins.txt (none when it is missing)."""
    path = os.path.join(workdir, ORIGINS)
    if not os.path.exists(path):
        return {}
    origins = {}
    for number, line in enumerate(read_lines(path), start=1):
        if not line.strip():
            continue
        fields = line.split("\t")
        if len(fields) != 3 or not fields[1].isdigit():
            raise KitError(path, "expected NAME<TAB>POSITION<TAB>HOW", number)
        origins.setdefault(fields[0], Origin(int(fields[1]), fields[2]))
    return origins


def origins_of(workdir, names):
    """name -> Origin for each of names; a genome without a recorded origin
    gets position 1 (see missing_origin_note)."""
    recorded = read_origins(workdir)
    return {name: recorded.get(name, Origin(1, "default", False)) for name in names}


def missing_origin_note(name):
    return (f"note: genome '{name}' has no recorded origin (imported before origins were "
            f"recorded); position 1 stands in: 'circog-kit import --replace' records it")


def replace_table_line(data, name, line=None):
    """A name<TAB>... table (bytes) without name's lines and, when line is
    given, with line in the place of name's first one (at the end when name
    was missing). Other lines keep their bytes."""
    key = name.encode(ENCODING) + b"\t"
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    kept, at = [], None
    for text in lines:
        if text.startswith(key):
            at = len(kept) if at is None else at
        else:
            kept.append(text + b"\n")
    if line is not None:
        kept.insert(len(kept) if at is None else at, line.encode(ENCODING))
    return b"".join(kept)


def table_has(data, name):
    key = name.encode(ENCODING) + b"\t"
    return any(text.startswith(key) for text in data.split(b"\n"))


# ---------------------------------------------------------------- summary

SUMMARY_COLUMNS = ["pair", "genome1", "genome2", "shared_cogs", "accepted_pairs",
                   "share_within_10deg"]


def read_table(path, columns):
    """The rows of a tab-separated table whose header line is columns, each
    as (line number, {column: text})."""
    lines = read_lines(path)
    if not lines or lines[0].split("\t") != columns:
        raise KitError(path, "header must be: " + " ".join(columns), 1)
    rows = []
    for number, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(columns):
            raise KitError(path, f"expected {len(columns)} columns, found {len(fields)}", number)
        rows.append((number, dict(zip(columns, fields))))
    return rows


def read_summary(path):
    """The rows of a plots/summary.tsv, each with its line number and the
    share as a number; counts must be whole numbers, the share 0 to 1."""
    rows = []
    for number, fields in read_table(path, SUMMARY_COLUMNS):
        row = dict(fields, line=number)
        for column in ("shared_cogs", "accepted_pairs"):
            if not row[column].isdigit():
                raise KitError(path, f"{column} is not a whole number", number)
        try:
            row["share"] = float(row["share_within_10deg"])
        except ValueError:
            row["share"] = None
        if row["share"] is None or not 0.0 <= row["share"] <= 1.0:
            raise KitError(path, "share_within_10deg is not a number from 0 to 1", number)
        rows.append(row)
    return rows


def pair_problem(pair, genome1, genome2, genomes=None):
    """Why a summary row's pair is not one of the run's, or None: both names
    follow the rule, differ, make the pair's name, and (when genomes is
    given) are genomes of the run."""
    for name in (genome1, genome2):
        problem = genome_name_problem(name)
        if problem:
            return problem
    if genome1 == genome2 or pair != f"{genome1}&{genome2}":
        return f"pair '{_shown(pair)}' is not two genomes '{genome1}&{genome2}'"
    missing = [name for name in (genome1, genome2) if genomes is not None and name not in genomes]
    if missing:
        return f"genome '{missing[0]}' is not in {SIZES}"
    return None


def _shown(text):
    return text.encode("unicode_escape").decode("ascii")


# ---------------------------------------------------------------- what a page may show

def html_text(value):
    """Any value as text safe inside an HTML element or a quoted attribute."""
    return html.escape(str(value), quote=True)


def path_inside(workdir, relative):
    """workdir/relative, or KitError when relative is absolute, holds a NUL
    or climbs out of workdir ('..')."""
    if "\0" in relative or os.path.isabs(relative):
        raise KitError(_shown(relative), "is not a path inside the working directory")
    root = os.path.normpath(workdir)
    full = os.path.normpath(os.path.join(root, relative))
    # compared as absolute paths: a relative workdir such as '.' has no common part with its files
    absolute_root, absolute = os.path.abspath(root), os.path.abspath(full)
    if os.path.commonpath([absolute_root, absolute]) != absolute_root or absolute == absolute_root:
        raise KitError(_shown(relative), "is not a path inside the working directory")
    return full


# ---------------------------------------------------------------- writing whole files

_serial = itertools.count()


def _temporary(path):
    """A new hidden file beside path, opened for writing (no scan of circog
    or of the kit lists names starting with '.')."""
    folder, base = os.path.split(path)
    while True:
        temporary = os.path.join(folder, f".{base}.{os.getpid()}.{next(_serial)}.tmp")
        try:
            return temporary, os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC,
                                      0o666)
        except FileExistsError:
            continue


def write_temporary(path, data, sync=True):
    """Writes data into a new temporary beside path and returns its name;
    on failure removes it and raises KitError naming path."""
    try:
        temporary, descriptor = _temporary(path)
    except OSError as error:
        raise KitError(path, error.strerror) from None
    try:
        with open(descriptor, "wb") as out:
            out.write(data)
            out.flush()
            if sync:
                os.fsync(out.fileno())
    except BaseException as error:
        with contextlib.suppress(OSError):
            os.remove(temporary)
        if isinstance(error, OSError):
            raise KitError(path, error.strerror) from None
        raise
    return temporary


def _target(path):
    """Writing over a symbolic link replaces the file it points to."""
    return os.path.realpath(path) if os.path.islink(path) else path


def atomic_write(path, data, sync=True):
    """Replaces path with data whole or not at all: a failed write or a kill
    leaves the earlier file as it was (and at worst a hidden temporary)."""
    target = _target(path)
    temporary = write_temporary(target, data, sync)
    try:
        os.replace(temporary, target)
    except OSError as error:
        with contextlib.suppress(OSError):
            os.remove(temporary)
        raise KitError(path, error.strerror) from None
    if sync:
        sync_folder(target)


def sync_folder(path):
    """Makes the renames in path's folder durable."""
    with contextlib.suppress(OSError):
        descriptor = os.open(os.path.dirname(path) or ".", os.O_RDONLY)
        try:
            os.fsync(descriptor)
        finally:
            os.close(descriptor)


class Staged:
    """Files written to temporaries first and then renamed into place in the
    order they were staged, so the last rename decides when all are there."""

    def __init__(self):
        self.pending = []  # (temporary, target)

    def stage(self, path, data):
        self.pending.append((write_temporary(_target(path), data), _target(path)))

    def commit(self):
        folders = []
        while self.pending:
            temporary, target = self.pending[0]
            try:
                os.replace(temporary, target)
            except OSError as error:
                raise KitError(target, error.strerror) from None
            self.pending.pop(0)
            folders += [target] if os.path.dirname(target) not in map(os.path.dirname, folders) else []
        for target in folders:
            sync_folder(target)

    def discard(self):
        for temporary, _ in self.pending:
            with contextlib.suppress(OSError):
                os.remove(temporary)
        self.pending = []


def remove_stale_temporaries(path):
    """Removes temporaries of path that a killed writer left (callers hold
    the lock, so no live writer owns one)."""
    folder, base = os.path.split(path)
    pattern = re.compile(r"\." + re.escape(base) + r"\.\d+\.\d+\.tmp")
    with contextlib.suppress(OSError):
        for name in os.listdir(folder or "."):
            if pattern.fullmatch(name):
                with contextlib.suppress(OSError):
                    os.remove(os.path.join(folder, name))


# ---------------------------------------------------------------- the import lock

@contextlib.contextmanager
def locked(workdir):
    """Holds WORKDIR/.circog-kit.lock (flock), creating the directory when it
    is missing; a second holder waits. A lock file removed while waiting (a
    failed first import takes its new directory away) is taken anew."""
    path = os.path.join(workdir, LOCK)
    while True:
        try:
            os.makedirs(workdir, exist_ok=True)
            descriptor = os.open(path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
        except FileNotFoundError:
            continue
        except (FileExistsError, NotADirectoryError):
            raise KitError(workdir, "is not a directory") from None
        except OSError as error:
            raise KitError(error.filename or workdir, error.strerror) from None
        try:
            fcntl.flock(descriptor, fcntl.LOCK_EX)
            if _same_file(descriptor, path):
                break
        except BaseException:
            os.close(descriptor)
            raise
        os.close(descriptor)
    try:
        yield
    finally:
        os.close(descriptor)


def _same_file(descriptor, path):
    try:
        named = os.stat(path)
    except FileNotFoundError:
        return False
    held = os.fstat(descriptor)
    return (named.st_dev, named.st_ino) == (held.st_dev, held.st_ino)


SET_UP_FILES = ("PAM-250.txt", SIZES, CONFIG)


def set_up_paths(workdir):
    return [os.path.join(workdir, name) for name in SET_UP_FILES]


def set_up(workdir, pam_table, created):
    """Creates what a working directory lacks (genes/, angle1/, out/,
    PAM-250.txt, an empty genome_sizes.txt, config.txt last, so a directory
    with a config.txt is complete), recording each path in created."""
    for sub in ("genes", "angle1", "out"):
        path = os.path.join(workdir, sub)
        if not os.path.isdir(path):
            os.mkdir(path)
            created.append(path)
    for name, text in zip(SET_UP_FILES, (None, "", CONFIG_TEXT)):
        path = os.path.join(workdir, name)
        if os.path.exists(path):
            continue
        if text is None:
            with open(pam_table, "rb") as handle:
                text = handle.read().decode(ENCODING)
        atomic_write(path, text.encode(ENCODING))
        created.append(path)


def undo_set_up(workdir, created, workdir_existed):
    """Removes what set_up created and, for a directory this import made,
    the lock file and the directory when nothing else is left in it."""
    for path in reversed(created):
        with contextlib.suppress(OSError):
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    if workdir_existed or not created:
        return
    with contextlib.suppress(OSError):
        if os.listdir(workdir) == [LOCK]:
            os.remove(os.path.join(workdir, LOCK))
            os.rmdir(workdir)


# ---------------------------------------------------------------- a run without pairs

def _names(names, most=5):
    shown = ", ".join(names[:most])
    return shown + (f" and {len(names) - most} more" if len(names) > most else "")


def _has_protein(path):
    try:
        with open(path, "rb") as handle:
            return any(line.startswith(b">") for line in handle)
    except OSError:
        return False


def explain_no_pairs(workdir):
    """Why a run in workdir has no pair with result files, in one sentence:
    too few genomes, circog not run (since an import), genomes without a
    COG identifier, and, with alignment on, genomes without proteins."""
    settings = read_config(workdir)
    sizes_path = config_path(workdir, settings.get("GenomeSizePath", ".\\" + SIZES))
    if not os.path.exists(sizes_path):
        return f"no genome is imported yet ({sizes_path} is missing)"
    names = list(read_genome_sizes(sizes_path))
    if len(names) < 2:
        count = "1 genome" if names else "no genome"
        return f"{count} in {sizes_path}: circog compares pairs of genomes, import at least two"
    angle_dir = config_path(workdir, settings.get("AnglePath", ".\\angle1\\"))
    angles = {name: angle_dir + name + settings.get("AngleFormat", ".txt") for name in names}
    tables = {name: config_path(workdir, settings.get("TranformDataDir", ".\\genes\\")) + name
              + settings.get("TranformDataSubFormat", "") + settings.get("TranformDataFormat", ".tab")
              for name in names}
    ran = [name for name in names if os.path.isfile(angles[name])]
    if not ran:
        return f"circog has not run in {workdir} yet (no angle files in {angle_dir}): run it there"
    reasons = []
    stale = [name for name in names if name not in ran or (
             os.path.exists(tables[name]) and os.path.getmtime(tables[name]) > os.path.getmtime(angles[name]))]
    if stale:
        verb = "was" if len(stale) == 1 else "were"
        reasons.append(f"circog has not run since {_names(stale)} {verb} imported: run it again")
    no_cogs = [name for name in ran if os.path.getsize(angles[name]) == 0]
    if no_cogs:
        reasons.append(f"{len(no_cogs)} of {len(names)} genomes have no gene with a COG identifier "
                       f"({_names(no_cogs)})")
    if alignment_on(settings):
        bare = [name for name in names if not _has_protein(angles[name][:-4] + ".faa")]
        if bare:
            reasons.append(f"{len(bare)} of {len(names)} genomes have no protein ({_names(bare)}) and "
                           "with AlignmentFlag=TRUE a gene without a protein finds no partner: "
                           "import them again with --proteins and --replace, or set "
                           "AlignmentFlag=FALSE in config.txt")
    return "circog found no accepted pair" + ("; " + "; ".join(reasons) if reasons else "")
