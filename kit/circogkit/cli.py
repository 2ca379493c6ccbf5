"""Command line: circog-kit import | plot | report."""
import argparse
import sys

from .formats import KitError


def run_import(args):
    from . import importer
    files = importer.build_genome(args.name, args.annotation, args.proteins, args.cogs, args.replicon)
    importer.write_genome(args.workdir, files)
    print(files.summary)


def run_plot(args):
    from . import plot
    results = plot.plot_workdir(args.workdir)
    print(f"plotted {len(results)} genome pair(s); table in {args.workdir}/plots/summary.tsv")


def run_report(args):
    from . import report
    print(report.write_report(args.workdir))


def parser():
    top = argparse.ArgumentParser(
        prog="circog-kit",
        description="Prepare circog working directories from genome annotations, "
                    "and plot and report a finished run.")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    imp = commands.add_parser(
        "import", help="add one genome to a working directory",
        description="Add genome NAME to WORKDIR (created on first use): genes/NAME.tab, "
                    "angle1/NAME.faa and a line in genome_sizes.txt. ANNOTATION is GFF3, "
                    "GenBank or an NCBI .ptt table, optionally gzipped.")
    imp.add_argument("workdir", metavar="WORKDIR")
    imp.add_argument("name", metavar="NAME", help="genome name (letters, digits, '.', '_', '-')")
    imp.add_argument("annotation", metavar="ANNOTATION")
    imp.add_argument("--proteins", metavar="FAA",
                     help="protein FASTA, matched by protein identifier, ID, Name or locus tag")
    imp.add_argument("--cogs", metavar="TABLE",
                     help="eggNOG-mapper annotations or COG 2020 table; replaces the "
                          "annotation's COG identifiers")
    imp.add_argument("--replicon", metavar="ID",
                     help="sequence to use as the chromosome (default: the longest)")
    imp.set_defaults(run=run_import)
    plot = commands.add_parser(
        "plot", help="dot plots and plots/summary.tsv after a circog run",
        description="Draw plots/NAME1&NAME2.png and .svg for every pair with result files "
                    "and write plots/summary.tsv.")
    plot.add_argument("workdir", metavar="WORKDIR")
    plot.set_defaults(run=run_plot)
    report = commands.add_parser(
        "report", help="write report.html from the plots",
        description="Write WORKDIR/report.html from config.txt and plots/ (run plot first).")
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
        print(f"circog-kit {args.command}: {error.filename}: {error.strerror}", file=sys.stderr)
        return 1
    return 0
