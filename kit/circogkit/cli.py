"""Command line: circog-kit import | plot | blocks | report.

A missing or wrong argument prints the usage and exits with status 2
(argparse's convention); a failure prints one line naming the file and exits
with status 1.
"""
import argparse
import sys

from .inputs import KitError
from .workdir import NAME_RULE

# blocks.py's defaults, repeated so that building the parser needs no numpy
# (a test keeps them equal).
BLOCKS_MAX_GAP = 8
BLOCKS_MIN_GENES = 5


def run_import(args):
    from . import importer
    files = importer.build_genome(args.name, args.annotation, args.proteins, args.cogs,
                                  args.replicon, args.origin)
    for warning in importer.write_genome(args.workdir, files, args.replace):
        print(f"circog-kit import: {warning}", file=sys.stderr)
    print(files.summary)


def run_plot(args):
    from . import plot, workdir
    if not args.blocks and (args.max_gap, args.min_genes) != (None, None):
        args.usage.error("--max-gap and --min-genes go with --blocks")
    find_blocks = None
    if args.blocks:
        find_blocks = (BLOCKS_MAX_GAP if args.max_gap is None else args.max_gap,
                       BLOCKS_MIN_GENES if args.min_genes is None else args.min_genes)
    results = plot.plot_workdir(args.workdir, svg=args.svg, find_blocks=find_blocks)
    if not results:
        print(f"circog-kit plot: no pair to plot: {workdir.explain_no_pairs(args.workdir)}",
              file=sys.stderr)
    if args.blocks:
        print(blocks_line(len(results), args.workdir))
    print(f"plotted {len(results)} genome pair(s); table in {args.workdir}/plots/summary.tsv")


def blocks_line(count, workdir):
    return f"blocks of {count} genome pair(s) in {workdir}/blocks/; table in {workdir}/blocks/summary.tsv"


def run_blocks(args):
    from . import blocks, workdir
    results = blocks.blocks_workdir(args.workdir, args.max_gap, args.min_genes)
    if not results:
        print(f"circog-kit blocks: no pair to find blocks in: {workdir.explain_no_pairs(args.workdir)}",
              file=sys.stderr)
    print(blocks_line(len(results), args.workdir))


def positive_count(text):
    value = int(text)
    if value < 1:
        raise ValueError(text)
    return value


def gap_count(text):
    value = int(text)
    if value < 0:
        raise ValueError(text)
    return value


def gap_options(command, given):
    """--max-gap and --min-genes; given None: they default to None (and
    apply with --blocks)."""
    extra = "" if given is not None else "; with --blocks"
    command.add_argument("--max-gap", type=gap_count, metavar="GENES",
                         default=BLOCKS_MAX_GAP if given is not None else None,
                         help="most genes skipped between neighbours of a block, in either genome, "
                              f"counting genes with a partner in the pair (default {BLOCKS_MAX_GAP}"
                              f"{extra})")
    command.add_argument("--min-genes", type=positive_count, metavar="N",
                         default=BLOCKS_MIN_GENES if given is not None else None,
                         help=f"fewest gene pairs in a block (default {BLOCKS_MIN_GENES}{extra})")


def run_report(args):
    from . import report
    print(report.write_report(args.workdir))


def parser():
    top = argparse.ArgumentParser(
        prog="circog-kit",
        description="Prepare circog working directories from genome annotations, "
                    "and plot and report a finished run.",
        epilog="A wrong or missing argument exits with status 2, a failure with status 1.")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    imp = commands.add_parser(
        "import", help="add one genome to a working directory",
        description="Add genome NAME to WORKDIR (created on first use): genes/NAME.tab, "
                    "angle1/NAME.faa, its line in genome_sizes.txt and its origin of "
                    "replication in genome_origins.txt. ANNOTATION is GFF3, GenBank or an "
                    "NCBI .ptt table, optionally gzipped. Imports into one WORKDIR wait for "
                    "each other.")
    imp.add_argument("workdir", metavar="WORKDIR")
    imp.add_argument("name", metavar="NAME", help=f"genome name: {NAME_RULE}")
    imp.add_argument("annotation", metavar="ANNOTATION")
    imp.add_argument("--proteins", metavar="FAA",
                     help="protein FASTA, matched by protein identifier, ID, Name or locus tag")
    imp.add_argument("--cogs", metavar="TABLE",
                     help="eggNOG-mapper annotations or COG 2020 table; replaces the "
                          "annotation's COG identifiers")
    imp.add_argument("--replicon", metavar="ID",
                     help="sequence to use as the chromosome (default: the longest)")
    imp.add_argument("--origin", metavar="GENE|POSITION",
                     help="origin of replication: a gene name, locus tag or position in bp "
                          "(default: the start of dnaA, else of the gene whose product is the "
                          "chromosomal replication initiator protein, else 1)")
    imp.add_argument("--replace", action="store_true",
                     help="import NAME again, replacing the genome of that name")
    imp.set_defaults(run=run_import)
    plot = commands.add_parser(
        "plot", help="dot plots and plots/summary.tsv after a circog run",
        description="Draw plots/NAME1&NAME2.png for every pair with result files (with its "
                    "blocks when circog-kit blocks has run, and the origin and terminus of each "
                    "genome with a recorded origin) and write plots/summary.tsv; says why when "
                    "there is no pair.")
    plot.add_argument("workdir", metavar="WORKDIR")
    plot.add_argument("--svg", action="store_true",
                      help="also write plots/NAME1&NAME2.svg (without it, an SVG of an earlier "
                           "plot is removed)")
    plot.add_argument("--blocks", action="store_true",
                      help="find every pair's collinear blocks first, as circog-kit blocks does "
                           "(writing blocks/), and draw them: one pass over the result files "
                           "instead of two")
    gap_options(plot, None)
    plot.set_defaults(run=run_plot, usage=plot)
    blocks = commands.add_parser(
        "blocks", help="collinear blocks and inversions after a circog run",
        description="Find the collinear blocks of every pair with result files: runs of genes "
                    "in the same order in both genomes, the same way round (+) or inverted (-), "
                    "on the circle, whatever either sequence's start and strand. Writes "
                    "blocks/NAME1&NAME2.tsv (one row per block, with each inversion's symmetry "
                    "about the origin of replication from genome_origins.txt) and "
                    "blocks/summary.tsv (one row per pair); says why when there is no pair.")
    blocks.add_argument("workdir", metavar="WORKDIR")
    gap_options(blocks, "")
    blocks.set_defaults(run=run_blocks)
    report = commands.add_parser(
        "report", help="write report.html, a page per pair, the tree and the distances",
        description="Write WORKDIR/report.html (the genome-by-genome matrix in clustering "
                    "order with its tree), plots/NAME1&NAME2.html for every pair, tree.nwk and "
                    "distances.tsv, from config.txt, plots/ (run plot first) and blocks/ when "
                    "circog-kit blocks has run.")
    report.add_argument("workdir", metavar="WORKDIR")
    report.set_defaults(run=run_report)
    return top


def main(argv=None):
    args = parser().parse_args(argv)
    try:
        args.run(args)
    except KitError as error:
        print(f"circog-kit {args.command}: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        where = f"{error.filename}: " if error.filename else ""
        print(f"circog-kit {args.command}: {where}{error.strerror or error}", file=sys.stderr)
        return 1
    return 0
