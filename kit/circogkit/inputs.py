"""Reading the kit's input files: a whole file as lines (gzipped or not), the
error that names a file and line, and identifier spellings shared by the
annotation, protein and COG readers.

Text is decoded as Latin-1 everywhere, so every byte passes through to the
files the kit writes unchanged.
"""
import gzip
import io

ENCODING = "latin-1"


class KitError(Exception):
    """A problem with one file, optionally at one line."""

    def __init__(self, path, message, line=None):
        super().__init__(message)
        self.path = path
        self.line = line
        self.message = message

    def __str__(self):
        where = self.path if self.line is None else f"{self.path}, line {self.line}"
        return f"{where}: {self.message}"


def read_lines(path):
    """Returns the file's lines without line ends; gzip data is recognised by
    its magic bytes, and a CR counts only right before a line feed."""
    try:
        with open(path, "rb") as handle:
            data = handle.read()
    except OSError as error:
        raise KitError(path, f"cannot read ({error.strerror})") from None
    if data[:2] == b"\x1f\x8b":
        data = _gunzip(path, data)
    lines = data.decode(ENCODING).split("\n")
    if lines[-1] == "":
        lines.pop()
    return [line[:-1] if line.endswith("\r") else line for line in lines]


def _gunzip(path, data):
    chunks = []
    with gzip.GzipFile(fileobj=io.BytesIO(data)) as stream:
        try:
            while chunk := stream.read(1 << 20):
                chunks.append(chunk)
        except (EOFError, OSError, gzip.BadGzipFile) as error:
            line = sum(c.count(b"\n") for c in chunks) + 1
            reason = "truncated gzip data" if isinstance(error, EOFError) else f"bad gzip data ({error})"
            raise KitError(path, reason, line) from None
    return b"".join(chunks)


def key_variants(identifier):
    """The identifier and, for a versioned accession, the one without version,
    so WP_000001234.1 and WP_000001234 find each other."""
    base, dot, version = identifier.rpartition(".")
    return (identifier, base) if dot and base and version.isdigit() else (identifier,)
