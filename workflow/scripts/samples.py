"""The workflow's inputs: the sample sheet, the run settings and the pair order."""
import csv
import os
import re
import shlex
from dataclasses import dataclass

# Genome names become file names and wildcards; '&' joins two of them in a
# pair's name, so it may not appear inside one.
NAME_PATTERN = r"[A-Za-z0-9][A-Za-z0-9._-]*"
COLUMNS = ("name", "annotation", "proteins", "cogs")
ANGLE_FORMAT = ".txt"

quote = shlex.quote


class SheetError(Exception):
    """A sample sheet or setting the workflow cannot use; the text names the file and line."""


@dataclass
class Genome:
    name: str
    annotation: str
    proteins: str
    cogs: str


def read_sheet(path):
    """Reads the sample sheet (TSV, header line with the COLUMNS) into an
    insertion-ordered dict name -> Genome. Relative file paths are taken from
    the sheet's own folder; empty proteins and cogs cells mean none."""
    try:
        with open(path, newline="", encoding="utf-8") as handle:
            lines = handle.read().splitlines()
    except OSError as error:
        raise SheetError(f"{path}: cannot read the sample sheet ({error.strerror})")
    rows = list(csv.reader(lines, delimiter="\t", quoting=csv.QUOTE_NONE))
    if not rows:
        raise SheetError(f"{path}: the sample sheet is empty")
    header = [cell.strip() for cell in rows[0]]
    missing = [column for column in COLUMNS if column not in header]
    if missing:
        raise SheetError(f"{path}:1: the header lacks the column(s) {', '.join(missing)}")
    base = os.path.dirname(os.path.abspath(path))
    genomes = {}
    for number, row in enumerate(rows[1:], start=2):
        if not any(cell.strip() for cell in row):
            continue
        cells = dict(zip(header, (cell.strip() for cell in row)))
        genome = _genome(cells, base, f"{path}:{number}")
        if genome.name in genomes:
            raise SheetError(f"{path}:{number}: genome '{genome.name}' is listed twice")
        genomes[genome.name] = genome
    if len(genomes) < 2:
        raise SheetError(f"{path}: the sample sheet lists fewer than two genomes")
    return genomes


def _genome(cells, base, where):
    name = cells.get("name", "")
    if not re.fullmatch(NAME_PATTERN, name):
        raise SheetError(f"{where}: genome name '{name}' must start with a letter or digit"
                         " and hold only letters, digits, '.', '_' and '-'")
    if not cells.get("annotation"):
        raise SheetError(f"{where}: genome '{name}' has no annotation file")

    def resolve(column):
        value = cells.get(column, "")
        return os.path.join(base, value) if value else ""

    return Genome(name, resolve("annotation"), resolve("proteins"), resolve("cogs"))


def pairs(genomes):
    """Every pair (a, b) in the order one circog run over all genomes compares
    them: genomes are numbered by their angle files' names in byte order."""
    ordered = sorted(genomes, key=lambda name: (name + ANGLE_FORMAT).encode())
    return [(a, b) for i, a in enumerate(ordered) for b in ordered[i + 1:]]


def alignment_flag(value):
    """The AlignmentFlag text for the config value: TRUE or FALSE."""
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    text = str(value).strip().lower()
    if text in ("true", "yes", "on", "1"):
        return "TRUE"
    if text in ("false", "no", "off", "0"):
        return "FALSE"
    raise SheetError(f"alignment: '{value}' is neither true nor false")


def similarity_text(value):
    """The Similarity text for the config value, as written (0.3 stays 0.3)."""
    text = str(value).strip()
    try:
        number = float(text)
    except ValueError:
        number = None
    if isinstance(value, bool) or number is None or not 0 <= number <= 1:
        raise SheetError(f"similarity: '{value}' is not a number from 0 to 1")
    return text
