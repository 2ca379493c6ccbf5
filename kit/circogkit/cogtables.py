"""COG identifiers: their bare form, and the tables that assign them to
proteins (eggNOG-mapper annotations, NCBI's COG 2020 table)."""
import csv
import re

from .inputs import KitError, read_lines

COG_PATTERN = re.compile(r"(?<![A-Za-z])COG\d{4}")


def bare_cog(text):
    """The first COG identifier in text in its bare form (COG0527E gives
    COG0527), or '-' when there is none."""
    found = COG_PATTERN.search(text or "")
    return found.group(0) if found else "-"


def read_cog_table(path):
    """identifier -> bare COG identifier from an eggNOG-mapper annotations
    table or an NCBI COG 2020 table; a protein listed twice keeps its first."""
    lines = read_lines(path)
    header = next((n for n, line in enumerate(lines) if line.startswith("#query")), None)
    if header is not None:
        return _emapper(path, lines, header)
    first = next((line for line in lines if line.strip()), "")
    fields = next(csv.reader([first]), [])
    if len(fields) >= 7 and COG_PATTERN.fullmatch(fields[6].strip()):
        return _cog2020(path, lines)
    raise KitError(path, "unknown COG table format (expected eggNOG-mapper annotations "
                         "or a COG 2020 table)", 1)


def _emapper(path, lines, header):
    columns = lines[header][1:].split("\t")
    ogs = next((columns.index(c) for c in ("eggNOG_OGs", "eggNOG OGs", "OGs") if c in columns), None)
    category = columns.index("COG_category") if "COG_category" in columns else None
    if ogs is None and category is None:
        raise KitError(path, "header has no eggNOG_OGs or COG_category column", header + 1)
    needed = max(c for c in (ogs, category) if c is not None) + 1
    cogs = {}
    for number, line in enumerate(lines[header + 1:], start=header + 2):
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) < needed:
            raise KitError(path, f"expected at least {needed} tab-separated columns, "
                                 f"found {len(fields)}", number)
        cog = bare_cog(fields[ogs]) if ogs is not None else "-"
        if cog == "-" and category is not None:
            cog = bare_cog(fields[category])
        if cog != "-":
            cogs.setdefault(fields[0], cog)
    return cogs


def _cog2020(path, lines):
    cogs = {}
    for number, fields in enumerate(csv.reader(lines), start=1):
        if not fields:
            continue
        if len(fields) < 7:
            raise KitError(path, f"expected at least 7 comma-separated columns, found {len(fields)}",
                           number)
        cog = bare_cog(fields[6])
        if cog != "-":
            cogs.setdefault(fields[2].strip(), cog)
    return cogs
