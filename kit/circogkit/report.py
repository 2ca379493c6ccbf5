"""report.html: one self-contained page for a plotted run.

Reads only config.txt, plots/summary.tsv, the PNG of every pair it lists
and, when present, genome_sizes.txt (to list genomes that have no pair, and
to check that every pair is two of the run's genomes). The PNGs are
embedded, so the page opens from anywhere without a network. Every value
taken from a file is escaped.
"""
import base64
import os
import urllib.parse

from . import workdir as wd
from .inputs import ENCODING, KitError
from .workdir import html_text

STYLE = """
body { font-family: sans-serif; margin: 2em; color: #222; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: right; }
th { background: #f0f0f0; }
td.self { background: #eee; color: #888; text-align: center; }
td a { color: #111; text-decoration: none; display: block; }
.settings td { text-align: left; font-family: monospace; }
.pair { display: inline-block; vertical-align: top; margin: 0 1.5em 1.5em 0; }
.pair img { width: 440px; border: 1px solid #ccc; }
"""


def share_colour(share):
    """From red (0) through yellow to green (1)."""
    return f"hsl({120 * max(0.0, min(share, 1.0)):.0f}, 65%, 72%)"


def genomes_of(rows, sizes):
    names = set(sizes)
    for row in rows:
        names.update((row["genome1"], row["genome2"]))
    return sorted(names, key=lambda n: n.encode(ENCODING))


def matrix_html(genomes, by_pair):
    lines = ["<table class='matrix'><tr><th></th>"
             + "".join(f"<th>{html_text(g)}</th>" for g in genomes) + "</tr>"]
    for first in genomes:
        cells = []
        for second in genomes:
            row = by_pair.get((first, second)) or by_pair.get((second, first))
            if first == second:
                cells.append("<td class='self'>&mdash;</td>")
            elif row is None:
                cells.append("<td></td>")
            else:
                cells.append(f"<td style='background:{share_colour(row['share'])}'>"
                             f"<a href='#{_anchor(row['pair'])}'>{row['share']:.2%}</a></td>")
        lines.append(f"<tr><th>{html_text(first)}</th>{''.join(cells)}</tr>")
    return "\n".join(lines + ["</table>"])


def _anchor(pair):
    return html_text("pair-" + pair)


def pair_html(row, image, has_svg):
    svg = html_text(urllib.parse.quote(row["pair"] + ".svg"))
    link = f" (<a href='plots/{svg}'>SVG</a>)" if has_svg else ""
    return (f"<div class='pair' id='{_anchor(row['pair'])}'>"
            f"<h3>{html_text(row['genome1'])} &amp; {html_text(row['genome2'])}</h3>"
            f"<img alt='{html_text(row['pair'])} dot plot' "
            f"src='data:image/png;base64,{image}'>"
            f"<p>{html_text(row['shared_cogs'])} shared COG identifiers, "
            f"{html_text(row['accepted_pairs'])} accepted pairs, "
            f"{row['share']:.2%} of closest pairs within 10&deg;{link}</p></div>")


def _count(number, noun):
    return f"{number} {noun}" + ("" if number == 1 else "s")


def settings_html(settings):
    rows = "".join(f"<tr><td>{html_text(k)}</td><td>{html_text(v)}</td></tr>"
                   for k, v in settings.items())
    return f"<table class='settings'><tr><th>Setting</th><th>Value</th></tr>{rows}</table>"


def read_image(path):
    try:
        with open(path, "rb") as handle:
            return base64.b64encode(handle.read()).decode("ascii")
    except OSError as error:
        raise KitError(path, f"cannot read the pair's plot ({error.strerror})") from None


def checked_rows(workdir, summary_path, sizes):
    """The summary's rows, each pair two genomes of the run (of sizes, when
    the run has a size table) with its image inside workdir."""
    rows = wd.read_summary(summary_path)
    for row in rows:
        problem = wd.pair_problem(row["pair"], row["genome1"], row["genome2"], sizes or None)
        if problem:
            raise KitError(summary_path, problem, row["line"])
        row["image"] = wd.path_inside(workdir, os.path.join("plots", row["pair"] + ".png"))
    return rows


def write_report(workdir):
    """Writes WORKDIR/report.html and returns its path."""
    settings = wd.read_config(workdir)
    sizes_path = os.path.join(workdir, wd.SIZES)
    sizes = wd.read_genome_sizes(sizes_path) if os.path.exists(sizes_path) else {}
    rows = checked_rows(workdir, os.path.join(workdir, "plots", "summary.tsv"), sizes)
    images = [read_image(row["image"]) for row in rows]
    by_pair = {(row["genome1"], row["genome2"]): row for row in rows}
    genomes = genomes_of(rows, sizes)
    body = [
        "<h1>circog run</h1>",
        f"<p>{_count(len(genomes), 'genome')}, {_count(len(rows), 'pair')}. Each cell is the share of a pair's closest "
        "gene pairs (one per shared COG identifier) that lie within 10&deg; of each other on the "
        "circle; click it for the pair's dot plot.</p>",
        matrix_html(genomes, by_pair),
        "<h2>Pairs</h2>",
        *([] if rows else ["<p>No pair has results to show: <code>circog-kit plot</code> on the "
                           "run's working directory says why.</p>"]),
        *(pair_html(row, image, os.path.exists(os.path.join(workdir, "plots", row["pair"] + ".svg")))
          for row, image in zip(rows, images)),
        "<h2>Settings</h2>",
        settings_html(settings),
    ]
    page = ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>circog run</title><style>{STYLE}</style></head><body>\n"
            + "\n".join(body) + "\n</body></html>\n")
    path = os.path.join(workdir, "report.html")
    wd.atomic_write(path, page.encode("utf-8"))
    return path
