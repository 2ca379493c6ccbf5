"""The sample sheet, the settings and the pair order."""
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import samples  # noqa: E402
import workdirs  # noqa: E402

HEADER = "name\tannotation\tproteins\tcogs\n"


def sheet(tmp_path, text):
    path = tmp_path / "sheet.tsv"
    path.write_text(text)
    return str(path)


def test_sheet_resolves_paths_from_its_folder_and_keeps_empty_cells_empty(tmp_path):
    text = HEADER + "A\ta.gff\t/abs/a.faa\t\n\nB\tsub/b.gbk\t\temapper.tsv\n"
    genomes = samples.read_sheet(sheet(tmp_path, text))
    assert list(genomes) == ["A", "B"]
    assert genomes["A"] == samples.Genome("A", str(tmp_path / "a.gff"), "/abs/a.faa", "")
    assert genomes["B"] == samples.Genome("B", str(tmp_path / "sub/b.gbk"), "", str(tmp_path / "emapper.tsv"))


@pytest.mark.parametrize("text, message", [
    ("", "is empty"),
    ("name\tannotation\n", ":1: the header lacks the column(s) proteins, cogs"),
    (HEADER + "A\ta.ptt\t\t\nA\tb.ptt\t\t\n", ":3: genome 'A' is listed twice"),
    (HEADER + "A\ta.ptt\t\t\nB&C\tb.ptt\t\t\n", ":3: genome name 'B&C' must start"),
    (HEADER + "A\ta.ptt\t\t\n-B\tb.ptt\t\t\n", ":3: genome name '-B' must start"),
    (HEADER + "A\ta.ptt\t\t\nB\t\t\t\n", ":3: genome 'B' has no annotation file"),
    (HEADER + "A\ta.ptt\t\t\n", "fewer than two genomes"),
])
def test_sheet_errors_name_the_line(tmp_path, text, message):
    with pytest.raises(samples.SheetError) as error:
        samples.read_sheet(sheet(tmp_path, text))
    assert message in str(error.value)


def test_pairs_follow_the_byte_order_of_angle_file_names():
    # "B-x.txt" < "B.txt" < "a.txt" although "B" < "B-x" as plain names
    order = samples.pairs({"a": None, "B": None, "B-x": None})
    assert order == [("B-x", "B"), ("B-x", "a"), ("B", "a")]


@pytest.mark.parametrize("value, flag", [(True, "TRUE"), (False, "FALSE"), ("on", "TRUE"), ("FALSE", "FALSE")])
def test_alignment_flag(value, flag):
    assert samples.alignment_flag(value) == flag


@pytest.mark.parametrize("value, text", [(0.3, "0.3"), ("0.25", "0.25"), (0, "0"), (1, "1")])
def test_similarity_keeps_the_number_as_written(value, text):
    assert samples.similarity_text(value) == text


def test_bad_settings_are_refused():
    with pytest.raises(samples.SheetError):
        samples.alignment_flag("maybe")
    with pytest.raises(samples.SheetError):
        samples.similarity_text(2)
    with pytest.raises(samples.SheetError):
        samples.similarity_text(True)


def test_config_gets_the_settings_in_place_and_other_lines_unchanged(tmp_path):
    template = tmp_path / "config.txt"
    template.write_text("# note\nAlignmentFlag=TRUE\nAnglePath=.\\angle1\\\nSimilarity=0.3\n")
    assert workdirs.config_with_settings(str(template), "FALSE", "0.5") == (
        "# note\nAlignmentFlag=FALSE\nAnglePath=.\\angle1\\\nSimilarity=0.5\n")
    template.write_text("AnglePath=.\\angle1\\\n")
    assert workdirs.config_with_settings(str(template), "TRUE", "0.3") == (
        "AnglePath=.\\angle1\\\nAlignmentFlag=TRUE\nSimilarity=0.3\n")
