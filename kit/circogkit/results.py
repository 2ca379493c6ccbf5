"""circog's result files of one pair read into numpy arrays, and the numbers
the plot and the summary table give for them.

A file as circog writes it (two plain decimal angles and a tab on every line)
is converted in one pass; anything else goes through the line-by-line reader,
which accepts what it always accepted and names the line it cannot read.
"""
import re

import numpy as np

from .inputs import KitError, read_lines

SEPARATOR = 1001.0  # circog's block separator in _mul.txt ("1001\t1001"), no angle
NEAR_DEGREES = 10.0
PLAIN_LINES = re.compile(rb"(?:[0-9.eE+-]+\t[0-9.eE+-]+\n)*")


def read_bytes(path):
    try:
        with open(path, "rb") as handle:
            return handle.read()
    except OSError as error:
        raise KitError(path, f"cannot read ({error.strerror})") from None


def plain_fields(data):
    """The fields of a result file written as circog writes it (two plain
    decimal angles and a tab on every line), as bytes in file order; None
    for anything else."""
    if data and not data.endswith(b"\n"):
        data += b"\n"
    return data.split() if PLAIN_LINES.fullmatch(data) else None


def without_separators(points):
    """The rows of an (n, 2) array of angle pairs that are no separator."""
    if len(points) == 0:
        return points
    return points[~((points[:, 0] == SEPARATOR) & (points[:, 1] == SEPARATOR))]


def read_angle_pairs(path, skip_separators=False):
    """The (angle1, angle2) lines of a _sin.txt or _mul.txt file as an array of
    shape (n, 2); skip_separators drops _mul.txt's 1001 lines."""
    fields = plain_fields(read_bytes(path))
    points = None
    if fields is not None:
        try:
            points = np.array(fields, dtype=np.float64).reshape(-1, 2)
        except ValueError:  # a token like "1e" or "--": let the line reader name it
            points = None
    if points is None:
        points = _read_lines(path)
    return without_separators(points) if skip_separators else points


def _read_lines(path):
    points = []
    for number, line in enumerate(read_lines(path), start=1):
        fields = line.split("\t")
        try:
            points.append((float(fields[0]), float(fields[1])))
        except (ValueError, IndexError):
            raise KitError(path, "expected two angles separated by a tab", number) from None
    return np.array(points, dtype=np.float64).reshape(-1, 2)


def count_cogs(path):
    """Distinct COG identifiers (third column) of a _sin_COG.txt file."""
    return len({line.split("\t")[2] for line in read_lines(path) if line.count("\t") >= 2})


def circular_distance(first, second):
    """Degrees between angles on the circle: 10 and 350 are 20 apart."""
    difference = np.abs(np.asarray(first) - np.asarray(second)) % 360.0
    return np.where(difference > 180.0, 360.0 - difference, difference)


def share_near(points, degrees=NEAR_DEGREES):
    """Share of the pairs whose two angles lie at most `degrees` apart."""
    if len(points) == 0:
        return 0.0
    return float(np.count_nonzero(circular_distance(points[:, 0], points[:, 1]) <= degrees)) / len(points)
