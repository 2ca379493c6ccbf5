"""Collinear blocks: hand-worked pairs, the command's files and messages,
genomes with planted events run through circog, and the bundled example."""
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest
from conftest import ROOT, read
from test_example import circog_binary

from circogkit import blocks, cli

sys.path.insert(0, os.path.join(ROOT, "bench"))
import related_genomes  # noqa: E402

PAIR_HEADER = "block\torientation\tstart1\tend1\tstart2\tend2\tgenes\tsymmetric\n"
SUMMARY_HEADER = ("pair\tgenome1\tgenome2\toffset\tcollinear_share\tblocks\tinversions\t"
                  "symmetric_inversions\tinverted_share\n")


# ---------------------------------------------------------------- pure functions

def chains_of(x, y, n1, n2, max_gap=2, min_genes=3):
    found = blocks.find_chains(np.array(x), np.array(y), n1, n2, max_gap, min_genes)
    return sorted((o, [(x[p], y[p]) for p in c]) for o, c in found)


def test_a_run_is_found_whatever_the_start_and_strand_of_genome_2():
    x = list(range(10))
    assert chains_of(x, [(r + 7) % 10 for r in x], 10, 10) == [(1, [(r, (r + 7) % 10) for r in x])]
    assert chains_of(x, [(6 - r) % 10 for r in x], 10, 10) == [(-1, [(r, (6 - r) % 10) for r in x])]


def test_blocks_end_where_the_order_breaks_and_may_run_through_rank_0():
    # ranks 8, 9, 0, 1, 2 follow each other; 3-7 are reversed and elsewhere
    x = [8, 9, 0, 1, 2, 3, 4, 5, 6, 7]
    y = [0, 1, 2, 3, 4, 9, 8, 7, 6, 5]
    assert chains_of(x, y, 10, 10) == [(-1, [(3, 9), (4, 8), (5, 7), (6, 6), (7, 5)]),
                                       (1, [(8, 0), (9, 1), (0, 2), (1, 3), (2, 4)])]


def test_gaps_and_a_second_copy_do_not_break_a_block():
    # rank 3 of genome 1 pairs far away; genome 2 has a second copy of rank 5's
    # gene right beside the first (y 6 and 7): either copy, but not both
    x = [0, 1, 2, 3, 4, 5, 5, 6, 7]
    y = [0, 1, 2, 15, 4, 6, 7, 8, 9]
    found = chains_of(x, y, 8, 16, max_gap=2)
    assert len(found) == 1 and found[0][0] == 1 and len(found[0][1]) == 7
    assert [p[0] for p in found[0][1]] == [0, 1, 2, 4, 5, 6, 7]
    assert chains_of(x, y, 8, 16, max_gap=0) == [(1, [(0, 0), (1, 1), (2, 2)]),
                                                  (1, [(5, 7), (6, 8), (7, 9)])]


def test_a_short_inversion_keeps_its_middle_gene():
    # ranks 8-12 reversed: rank 10 stays in place, within reach of ranks 7 and 13
    x = list(range(20))
    y = [20 - r if 8 <= r <= 12 else r for r in x]
    assert chains_of(x, y, 20, 20, max_gap=4) == [
        (-1, [(r, 20 - r) for r in range(8, 13)]),
        (1, [(r, r) for r in list(range(13, 20)) + list(range(8))])]


@pytest.mark.parametrize("x, y, n1, n2, lengths", [
    ([0, 1, 2, 5, 6, 3], [0, 1, 2, 9, 0, 7], 7, 10, [3, 3, 3, 2, 2, 1]),  # a run through y's 0
    ([2, 0, 1], [2, 0, 1], 3, 3, [3, 3, 3]),                            # round the whole circle
    ([0], [0], 1, 1, [1]),
])
def test_run_lengths(x, y, n1, n2, lengths):
    assert blocks.run_lengths(np.array(x), np.array(y), n1, n2).tolist() == lengths


def test_nothing_shared_gives_no_chain():
    assert blocks.find_chains(np.array([], dtype=int), np.array([], dtype=int), 0, 0, 8, 5) == []
    assert chains_of([0, 5, 10, 15], [3, 30, 12, 21], 40, 40) == []


@pytest.mark.parametrize("values, median", [([350, 10, 5], 5.0), ([90], 90.0), ([359, 1], 0.0),
                                            ([170, 190, 200], 190.0)])
def test_circular_median(values, median):
    assert abs(blocks.signed_degrees(blocks.circular_median(values) - median)) < 1e-9


@pytest.mark.parametrize("value, text", [(0.0, "0.00"), (359.996, "0.00"), (-0.001, "0.00"),
                                         (12.345, "12.35"), (-10.0, "350.00")])
def test_degrees_text(value, text):
    assert blocks.degrees_text(value) == text


# ---------------------------------------------------------------- the command on hand-made files

HAND_TABLE = (PAIR_HEADER +
              "1\t-\t127.50\t202.50\t302.50\t227.50\t6\tyes\n"
              "2\t+\t217.50\t112.50\t317.50\t212.50\t18\t\n")
HAND_SUMMARY = SUMMARY_HEADER + "A&B\tA\tB\t100.00\t1.0000\t2\t1\t1\t0.2500\n"


def hand_made(folder):
    """A of 24 genes 15 degrees apart (7.5, 22.5, ...); B is A turned by 100
    degrees with genes 9-14 (127.5-202.5) reversed about their middle, 165,
    which is A's origin; B's origin lies at 265. B twice A's length."""
    a = {i: 15 * i - 7.5 for i in range(1, 25)}
    b = {i: ((127.5 + 202.5 - a[i]) if 9 <= i <= 14 else a[i]) + 100 for i in a}
    b = {i: angle % 360 for i, angle in b.items()}
    (folder / "angle1").mkdir(parents=True)
    (folder / "out").mkdir()
    (folder / "config.txt").write_text("AnglePath=.\\angle1\\\nAngleFormat=.txt\nPairOutputPath=.\\out\\\n")
    (folder / "genome_sizes.txt").write_text("A\t3600\nB\t7200\n")
    (folder / "genome_origins.txt").write_text("A\t1650\tdnaA\nB\t5300\tproduct\n")
    (folder / "angle1" / "A.txt").write_text("".join(f"COG{i:04d}\t{a[i]:g}\tpa{i}\n" for i in a))
    (folder / "angle1" / "B.txt").write_text(
        "".join(f"COG{i:04d}\t{b[i]:g}\tpb{i}\n" for i in sorted(b, key=b.get)))
    (folder / "out" / "A&B_mul.txt").write_text(
        "1001\t1001\n" + "".join(f"{a[i]:g}\t{b[i]:g}\n1001\t1001\n" for i in a))
    (folder / "out" / "A&B_sin.txt").write_text("".join(f"{a[i]:g}\t{b[i]:g}\n" for i in a))
    return folder


def test_hand_made_pair_gives_its_blocks_to_the_byte(kit, tmp_path):
    folder = hand_made(tmp_path)
    status, out, err = kit("blocks", folder, "--max-gap", "2", "--min-genes", "3")
    assert status == 0, err
    assert out == f"blocks of 1 genome pair(s) in {folder}/blocks/; table in {folder}/blocks/summary.tsv\n"
    assert err == "blocks 1/1: A&B\n"
    assert read(folder / "blocks" / "A&B.tsv") == HAND_TABLE
    assert read(folder / "blocks" / "summary.tsv") == HAND_SUMMARY
    assert sorted(os.listdir(folder / "blocks")) == ["A&B.tsv", "summary.tsv"]
    assert blocks.read_block_summary(folder) == [
        {"pair": "A&B", "genome1": "A", "genome2": "B", "offset": 100.0, "collinear_share": 1.0,
         "blocks": 2, "inversions": 1, "symmetric_inversions": 1, "inverted_share": 0.25}]
    rows = blocks.read_blocks(folder)["A&B"]
    assert rows[0] == {"block": 1, "orientation": "-", "start1": 127.5, "end1": 202.5, "start2": 302.5,
                       "end2": 227.5, "genes": 6, "symmetric": "yes"}
    assert rows[1]["symmetric"] == "" and rows[1]["start1"] > rows[1]["end1"]  # through 0


def test_an_inversion_off_the_origin_terminus_line_is_not_symmetric(kit, tmp_path):
    folder = hand_made(tmp_path)
    (folder / "genome_origins.txt").write_text("A\t1650\tdnaA\nB\t5540\tdnaA\n")  # 277: axis 6 degrees off
    assert kit("blocks", folder, "--max-gap", "2", "--min-genes", "3")[0] == 0
    assert "\t6\tno\n" in read(folder / "blocks" / "A&B.tsv")
    (folder / "genome_origins.txt").write_text("A\t3450\tdnaA\nB\t1700\tdnaA\n")  # both termini: 345, 85
    assert kit("blocks", folder, "--max-gap", "2", "--min-genes", "3")[0] == 0
    assert "\t6\tyes\n" in read(folder / "blocks" / "A&B.tsv")


def test_genomes_without_an_origin_get_position_1_with_a_note(kit, tmp_path):
    folder = hand_made(tmp_path)
    (folder / "genome_origins.txt").write_text("B\t5300\tproduct\n")
    status, _, err = kit("blocks", folder, "--max-gap", "2", "--min-genes", "3")
    assert status == 0
    assert "note: genome 'A' has no recorded origin" in err and "'B'" not in err
    assert "\t6\tno\n" in read(folder / "blocks" / "A&B.tsv")
    os.remove(folder / "genome_origins.txt")
    status, _, err = kit("blocks", folder)
    assert status == 0 and err.count("has no recorded origin") == 2


def test_a_pair_without_a_shared_identifier_and_stale_tables(kit, tmp_path):
    folder = hand_made(tmp_path)
    (folder / "angle1" / "C.txt").write_text("COG0100\t12.5\tpc1\n")
    (folder / "genome_sizes.txt").write_text("A\t3600\nB\t7200\nC\t100\n")
    for name, text in (("A&C_mul.txt", "1001\t1001\n"), ("A&C_sin.txt", "")):
        (folder / "out" / name).write_text(text)
    (folder / "blocks").mkdir()
    (folder / "blocks" / "A&D.tsv").write_text("left by an earlier run\n")
    (folder / "blocks" / "notes.tsv").write_text("the user's\n")
    assert kit("blocks", folder)[0] == 0
    assert read(folder / "blocks" / "A&C.tsv") == PAIR_HEADER
    assert read(folder / "blocks" / "summary.tsv").endswith("A&C\tA\tC\t\t0.0000\t0\t0\t0\t0.0000\n")
    assert sorted(os.listdir(folder / "blocks")) == ["A&B.tsv", "A&C.tsv", "notes.tsv", "summary.tsv"]
    assert blocks.read_block_summary(folder)[1]["offset"] is None


def test_an_empty_result_file_is_a_pair_without_blocks(kit, tmp_path):
    folder = hand_made(tmp_path)
    (folder / "out" / "A&B_mul.txt").write_text("")
    assert kit("blocks", folder)[0] == 0
    assert read(folder / "blocks" / "summary.tsv") == SUMMARY_HEADER + "A&B\tA\tB\t\t0.0000\t0\t0\t0\t0.0000\n"


@pytest.mark.parametrize("summary, message", [
    ("A&B\tA\tB\t100.00\t1.0000\t2\t1\t1\t0.2500\textra\n", "line 2: expected 9 columns, found 10"),
    ("A&B\tA\tB\t100.00\t1.0000\t\t1\t1\t0.2500\n", "line 2: blocks '' is not a number"),
    ("../x&B\t../x\tB\t\t1.0000\t2\t1\t1\t0.2500\n", "line 2: genome name '../x' must be"),
])
def test_readers_name_a_bad_row(kit, tmp_path, summary, message):
    folder = hand_made(tmp_path)
    assert kit("blocks", folder)[0] == 0
    (folder / "blocks" / "summary.tsv").write_text(SUMMARY_HEADER + summary)
    with pytest.raises(blocks.KitError, match=message):
        blocks.read_blocks(folder)


def test_a_run_without_pairs_writes_an_empty_summary(kit, tmp_path):
    folder = hand_made(tmp_path)
    shutil.rmtree(folder / "out")
    (folder / "out").mkdir()
    status, out, err = kit("blocks", folder)
    assert status == 0 and out.startswith("blocks of 0 genome pair(s)")
    assert err == "circog-kit blocks: no pair to find blocks in: circog found no accepted pair\n"
    assert read(folder / "blocks" / "summary.tsv") == SUMMARY_HEADER


@pytest.mark.parametrize("change, message", [
    (("out/A&B_mul.txt", "1001\t1001\n7.5\t107.5\n7.5\n"), "A&B_mul.txt, line 3: expected two angles"),
    (("out/A&B_mul.txt", "1001\t1001\n7.6\t107.5\n"), "A&B_mul.txt, line 2: angle 7.6 and its partners "
                                                      "match no gene"),
    (("angle1/B.txt", "COG0001\tx\tpb1\n"), "B.txt, line 1: angle 'x' is not a number"),
    (("genome_origins.txt", "A\t1650\tdnaA\n B\n"), "genome_origins.txt, line 2: expected NAME<TAB>POSITION"),
    (("genome_origins.txt", "A\tnan\tdnaA\n"), "genome_origins.txt, line 1: expected NAME<TAB>POSITION"),
    (("genome_sizes.txt", "A\t3600\n"), "genome_sizes.txt: no length for genome B"),
])
def test_bad_inputs_are_named_with_their_line(kit, tmp_path, change, message):
    folder = hand_made(tmp_path)
    (folder / change[0]).write_text(change[1])
    status, _, err = kit("blocks", folder)
    last = err.splitlines()[-1]
    assert status == 1 and last.startswith("circog-kit blocks: ") and message in last
    assert not (folder / "blocks").exists()


def test_blocks_command_line(kit, capsys):
    with pytest.raises(SystemExit):
        cli.main(["blocks", "--help"])
    assert "--max-gap GENES" in capsys.readouterr().out
    for option in (["--max-gap", "-1"], ["--min-genes", "0"]):
        with pytest.raises(SystemExit) as stop:
            cli.main(["blocks", "x", *option])
        assert stop.value.code == 2
    assert (cli.BLOCKS_MAX_GAP, cli.BLOCKS_MIN_GENES) == (blocks.DEFAULT_MAX_GAP, blocks.DEFAULT_MIN_GENES)


# ---------------------------------------------------------------- planted events, through circog

@pytest.fixture(scope="module")
def planted(tmp_path_factory):
    """E. coli K-12 (example/genes) as A; B with three inversions (about the
    origin, about the terminus, and off the axis through 0 degrees) and a
    tenth of its genes lost; C is B started 90 degrees later, D is B on the
    other strand; E keeps two fifths of the genes, one inversion about the
    origin, on a 1.5-Mb chromosome started 200 degrees later."""
    folder = tmp_path_factory.mktemp("planted")
    source = related_genomes.read_source()
    a = related_genomes.replace(source, name="A")
    b = related_genomes.derive(source, "B", [("ori", 40), ("ter", 30), (5.0, 20)], loss=0.1, seed=7)
    c = related_genomes.rotate(related_genomes.replace(b, name="C"), 90)
    d = related_genomes.reverse(related_genomes.replace(b, name="D"))
    e = related_genomes.derive(source, "E", [("ori", 40)], loss=0.6, length=1500000, degrees=200, seed=3)
    related_genomes.write_workdir(folder, [a, b, c, d, e])
    subprocess.run([circog_binary()], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    assert cli.main(["blocks", str(folder)]) == 0
    summary = {row["pair"]: row for row in blocks.read_block_summary(folder)}
    return folder, source, b, summary, blocks.read_blocks(folder)


def test_planted_inversions_are_found_at_their_boundaries(planted):
    folder, source, b, _, tables = planted
    angles = blocks.read_angle_file(folder / "angle1" / "A.txt")
    order = sorted(range(len(angles.angles)), key=lambda i: angles.angles[i])
    rank_of = {angles.proteins[g]: r for r, g in enumerate(order)}
    protein = {gene.source: gene.fields[2] for gene in source.genes}
    lost = set(b.events[-1].genes)
    found = [row for row in tables["A&B"] if row["orientation"] == "-"]
    assert len(found) == 3
    for event in (e for e in b.events if e.kind == "invert"):
        # the inverted genes in A's order that B kept and that carry a COG identifier
        ranks = [rank_of[protein[g]] for g in event.genes if g not in lost and protein[g] in rank_of]
        (row,) = [r for r in found if near(rank_at(angles, order, r["start1"]), ranks[0], len(order))]
        assert near(rank_at(angles, order, row["end1"]), ranks[-1], len(order))
        assert row["symmetric"] == ("no" if event.axis == "off-axis" else "yes"), event
    through_zero = [row for row in found if row["start1"] > row["end1"]]
    assert len(through_zero) == 1 and through_zero[0]["symmetric"] == "no"


def rank_at(angles, order, degrees):
    """Rank of the gene of A at the angle a table gives (2 decimals)."""
    return min(range(len(order)), key=lambda r: abs(angles.angles[order[r]] - degrees))


def near(rank, wanted, size):
    """Within two genes of each other on the circle."""
    return min((rank - wanted) % size, (wanted - rank) % size) <= 2


MEASURES = ["collinear_share", "blocks", "inversions", "symmetric_inversions", "inverted_share"]


def test_rotation_and_strand_change_no_measure(planted):
    summary = planted[3]
    a_b = [summary["A&B"][m] for m in MEASURES]
    assert a_b == [1.0, 6, 3, 2, a_b[-1]]
    for pair in ("A&C", "A&D"):
        assert [summary[pair][m] for m in MEASURES] == a_b, pair
    for pair in ("C&E", "D&E"):  # the turned and mirrored copies as the first genome
        assert [summary[pair][m] for m in MEASURES] == [summary["B&E"][m] for m in MEASURES], pair
    assert [summary["B&E"][m] for m in MEASURES[1:4]] == [4, 2, 1]  # two inversions B has, E not
    assert (summary["A&B"]["offset"], summary["A&C"]["offset"], summary["B&C"]["offset"]) == (0, 270, 270)


def test_a_copy_is_one_block_round_the_whole_circle(planted):
    tables, summary = planted[4], planted[3]
    for pair in ("B&C", "B&D", "C&D"):
        assert [summary[pair][m] for m in MEASURES] == [1.0, 1, 0, 0, 0.0]
        (row,) = tables[pair]
        assert row["orientation"] == "+" and row["genes"] > 3000


def test_plot_with_blocks_writes_what_blocks_then_plot_write(kit, planted, tmp_path):
    """One pass over the planted pairs (copies A and E of very different
    length among them), with options and a stale table to remove."""
    written = {}
    for way, commands in (("two", [["blocks", "--max-gap", "4"], ["plot"]]),
                          ("one", [["plot", "--blocks", "--max-gap", "4"]])):
        folder = tmp_path / way
        shutil.copytree(planted[0], folder)
        (folder / "blocks" / "X&Y.tsv").write_text(PAIR_HEADER)
        outputs = [kit(command[0], folder, *command[1:]) for command in commands]
        assert all(status == 0 for status, _, _ in outputs), outputs
        written[way] = {folder_name: {name: (folder / folder_name / name).read_bytes()
                                      for name in os.listdir(folder / folder_name)}
                        for folder_name in ("blocks", "plots")}
        written[way + " out"] = "".join(out for _, out, _ in outputs).replace(str(folder), "W")
    assert written["one"] == written["two"] and len(written["one"]["plots"]) == 11
    assert written["one out"] == written["two out"]
    assert "X&Y.tsv" not in written["one"]["blocks"]
    with pytest.raises(SystemExit) as stop:
        cli.main(["plot", str(tmp_path / "one"), "--min-genes", "3"])   # without --blocks
    assert stop.value.code == 2


def test_genomes_of_very_different_length(planted):
    summary, tables = planted[3], planted[4]
    assert [summary["A&E"][m] for m in MEASURES[:4]] == [1.0, 2, 1, 1]
    (inversion,) = [row for row in tables["A&E"] if row["orientation"] == "-"]
    assert 280 < inversion["start1"] < 284 and 319 < inversion["end1"] < 322


# ---------------------------------------------------------------- the bundled example

def test_the_example_shows_its_inversion_about_the_origin(kit, tmp_path):
    folder = tmp_path / "example"
    shutil.copytree(os.path.join(ROOT, "example"), folder)
    subprocess.run([circog_binary()], cwd=folder, check=True, stdout=subprocess.DEVNULL)
    # dnaA of K-12 (NC_000913.ptt) and CT18's replication initiator (NC_003198.ptt, by product)
    assert read(folder / "genome_origins.txt") == "Ecoli_K12\t3881752\tdnaA\nStyphi_CT18\t3805127\tproduct\n"
    status, _, err = kit("blocks", folder)
    assert status == 0 and "note" not in err
    (summary,) = blocks.read_block_summary(folder)
    assert summary["collinear_share"] > 0.9 and summary["symmetric_inversions"] >= 1
    inversions = [row for row in blocks.read_blocks(folder)["Ecoli_K12&Styphi_CT18"]
                  if row["orientation"] == "-"]
    largest = max(inversions, key=lambda row: row["genes"])
    assert largest["symmetric"] == "yes" and largest["genes"] > 200
    assert 260 < largest["start1"] < largest["end1"] < 335
    inside = [row for row in inversions if 260 < row["start1"] < 330]
    assert sum(row["genes"] for row in inside) > 0.8 * sum(row["genes"] for row in inversions)


def test_related_genomes_as_ptt_import_to_their_gene_tables(kit, tmp_path):
    """The workflow's benchmarks feed these files through import."""
    source = related_genomes.read_source()
    genome = related_genomes.derive(source, "K12_var", [("ori", 30)], loss=0.05, degrees=120,
                                    reversed_=True, seed=2)
    related_genomes.write_ptt(tmp_path / "ptt", [genome], source)
    assert kit("import", tmp_path / "run", "K12_var", tmp_path / "ptt" / "K12_var.ptt",
               "--proteins", tmp_path / "ptt" / "K12_var.faa")[0] == 0
    assert read(tmp_path / "run" / "genes" / "K12_var.tab") == related_genomes.gene_table(genome)
    truth = read(tmp_path / "ptt" / "truth.tsv").splitlines()
    assert truth[1].split("\t")[:5] == ["K12_var", "invert", "301.19", "30", "origin"]
    assert [line.split("\t")[1] for line in truth[2:]] == ["loss", "rotate", "reverse"]
