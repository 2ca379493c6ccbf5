"""report.html: one self-contained page for a plotted run.

Reads only config.txt, plots/summary.tsv, the PNG of every pair it lists
and, when present, genome_sizes.txt (to list genomes that have no pair).
The PNGs are embedded, so the page opens from anywhere without a network.
"""
import base64
import html
import os
import urllib.parse

from . import formats
from .formats import KitError

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
    return sorted(names, key=lambda n: n.encode(formats.ENCODING))


def matrix_html(genomes, by_pair):
    lines = ["<table class='matrix'><tr><th></th>"
             + "".join(f"<th>{html.escape(g)}</th>" for g in genomes) + "</tr>"]
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
        lines.append(f"<tr><th>{html.escape(first)}</th>{''.join(cells)}</tr>")
    return "\n".join(lines + ["</table>"])


def _anchor(pair):
    return html.escape("pair-" + pair, quote=True)


def pair_html(row, image, has_svg):
    svg = urllib.parse.quote(row["pair"] + ".svg")
    link = f" (<a href='plots/{svg}'>SVG</a>)" if has_svg else ""
    return (f"<div class='pair' id='{_anchor(row['pair'])}'>"
            f"<h3>{html.escape(row['genome1'])} &amp; {html.escape(row['genome2'])}</h3>"
            f"<img alt='{html.escape(row['pair'], quote=True)} dot plot' "
            f"src='data:image/png;base64,{image}'>"
            f"<p>{row['shared_cogs']} shared COG identifiers, {row['accepted_pairs']} accepted pairs, "
            f"{row['share']:.2%} of closest pairs within 10&deg;{link}</p></div>")


def _count(number, noun):
    return f"{number} {noun}" + ("" if number == 1 else "s")


def settings_html(settings):
    rows = "".join(f"<tr><td>{html.escape(k)}</td><td>{html.escape(v)}</td></tr>"
                   for k, v in settings.items())
    return f"<table class='settings'><tr><th>Setting</th><th>Value</th></tr>{rows}</table>"


def read_image(path):
    try:
        with open(path, "rb") as handle:
            return base64.b64encode(handle.read()).decode("ascii")
    except OSError as error:
        raise KitError(path, f"cannot read the pair's plot ({error.strerror})") from None


def write_report(workdir):
    """Writes WORKDIR/report.html and returns its path."""
    settings = formats.read_config(workdir)
    rows = formats.read_summary(os.path.join(workdir, "plots", "summary.tsv"))
    sizes_path = os.path.join(workdir, "genome_sizes.txt")
    sizes = formats.read_genome_sizes(sizes_path) if os.path.exists(sizes_path) else {}
    images = [read_image(os.path.join(workdir, "plots", row["pair"] + ".png")) for row in rows]
    by_pair = {(row["genome1"], row["genome2"]): row for row in rows}
    genomes = genomes_of(rows, sizes)
    body = [
        "<h1>circog run</h1>",
        f"<p>{_count(len(genomes), 'genome')}, {_count(len(rows), 'pair')}. Each cell is the share of a pair's closest "
        "gene pairs (one per shared COG identifier) that lie within 10&deg; of each other on the "
        "circle; click it for the pair's dot plot.</p>",
        matrix_html(genomes, by_pair),
        "<h2>Pairs</h2>",
        *(pair_html(row, image, os.path.exists(os.path.join(workdir, "plots", row["pair"] + ".svg")))
          for row, image in zip(rows, images)),
        "<h2>Settings</h2>",
        settings_html(settings),
    ]
    page = ("<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>"
            f"<title>circog run</title><style>{STYLE}</style></head><body>\n"
            + "\n".join(body) + "\n</body></html>\n")
    path = os.path.join(workdir, "report.html")
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write(page)
    return path
