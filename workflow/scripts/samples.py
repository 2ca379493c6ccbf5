"""The workflow's inputs: the settings and the sample sheet.

Both the settings and each row of the sheet are checked against the schemas in
workflow/schemas/; a value that does not fit gets one line naming the key (or
the sheet's file and line) and what it must be.
"""
import csv
import os
import sys
from dataclasses import dataclass

from snakemake.exceptions import WorkflowError
from snakemake.utils import validate

WORKFLOW = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# the genome-name rule has one home, the kit's working-directory module
sys.path.insert(0, os.path.join(os.path.dirname(WORKFLOW), "kit"))
from circogkit.workdir import NAME_PATTERN, genome_name_problem  # noqa: E402,F401 (NAME_PATTERN: the wildcards)

SCHEMAS = os.path.join(WORKFLOW, "schemas")
CONFIG_SCHEMA = os.path.join(SCHEMAS, "config.schema.yaml")
SHEET_SCHEMA = os.path.join(SCHEMAS, "samples.schema.yaml")
COLUMNS = ("name", "annotation", "proteins", "cogs")
REQUIRED_COLUMNS = ("name", "annotation")


class SheetError(Exception):
    """A sample sheet or setting the workflow cannot use; the text names the file and line."""


@dataclass
class Genome:
    name: str
    annotation: str
    proteins: str
    cogs: str


def _schema_problem(error):
    """A schema violation as (where: the path of keys and indexes to the
    value, what: one line saying which key, what it must be, what it is)."""
    cause = error.__context__
    if cause is None or not hasattr(cause, "validator"):
        return [], str(error).splitlines()[0]
    path = list(cause.path)
    if cause.validator == "required":
        return path, f"the key '{cause.message.split(chr(39))[1]}' is missing"
    if cause.validator == "additionalProperties":
        extra = sorted(set(cause.instance) - set(cause.schema.get("properties", {})))
        return path, f"unknown key(s) {', '.join(map(repr, extra))}"
    key = path[-1] if path else "?"
    expected = cause.schema.get("description", cause.message)
    return path[:-1], f"'{key}' must be {expected}, not {cause.instance!r}"


def check_settings(config, where="config"):
    """Checks the workflow's settings (the parsed config file) against its
    schema and fills in the defaults; raises SheetError with one line."""
    try:
        validate(config, CONFIG_SCHEMA)
    except WorkflowError as error:
        raise SheetError(f"{where}: {_schema_problem(error)[1]}")
    if os.path.abspath(config["outdir"]) == "/":  # "/.", "/..": the root all the same
        raise SheetError(f"{where}: 'outdir' must be a non-empty folder path other than /,"
                         f" not {config['outdir']!r}")
    return config


def _sheet_lines(path):
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise SheetError(f"{path}: cannot read the sample sheet ({error.strerror})")
    try:
        # a byte-order mark, as spreadsheet programs write it, is no part of the header
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        line = data.count(b"\n", 0, error.start) + 1
        raise SheetError(f"{path}:{line}: the sample sheet is not UTF-8 text"
                         f" (byte 0x{data[error.start]:02x}); save it as UTF-8")
    return text.splitlines()


def read_sheet(path):
    """Reads the sample sheet (TSV, header line naming at least the columns
    name and annotation) into an insertion-ordered dict name -> Genome.
    Relative file paths are taken from the sheet's own folder; empty or
    missing proteins and cogs cells mean none; other columns are ignored."""
    rows = list(csv.reader(_sheet_lines(path), delimiter="\t", quoting=csv.QUOTE_NONE))
    if not rows:
        raise SheetError(f"{path}: the sample sheet is empty")
    header = [cell.strip() for cell in rows[0]]
    missing = [column for column in REQUIRED_COLUMNS if column not in header]
    if missing:
        raise SheetError(f"{path}:1: the header lacks the column(s) {', '.join(missing)}")
    numbers, cells = [], []
    for number, row in enumerate(rows[1:], start=2):
        if any(cell.strip() for cell in row):
            numbers.append(number)
            cells.append({key: value.strip() for key, value in zip(header, row) if key in COLUMNS})
    try:
        validate({"rows": cells}, SHEET_SCHEMA, set_default=False)
    except WorkflowError as error:
        where, problem = _schema_problem(error)
        line = numbers[where[1]] if len(where) > 1 else 1
        raise SheetError(f"{path}:{line}: {problem.replace('the key', 'the column', 1)}")
    base = os.path.dirname(os.path.abspath(path))

    def resolve(value):
        return os.path.join(base, value) if value else ""

    genomes = {}
    for number, row in zip(numbers, cells):
        name = row["name"]
        problem = genome_name_problem(name)
        if problem:
            raise SheetError(f"{path}:{number}: {problem}")
        if name in genomes:
            raise SheetError(f"{path}:{number}: genome '{name}' is listed twice")
        genomes[name] = Genome(name, resolve(row["annotation"]), resolve(row.get("proteins", "")),
                               resolve(row.get("cogs", "")))
    if len(genomes) < 2:
        raise SheetError(f"{path}: the sample sheet lists fewer than two genomes")
    return genomes


def alignment_flag(value):
    """The AlignmentFlag text for the (checked) setting."""
    return "TRUE" if value else "FALSE"


def similarity_text(value):
    """The Similarity text for the (checked) setting, as written (0.3 stays 0.3)."""
    return str(value)
