"""The sample sheet and the settings."""
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


def test_sheet_saved_with_a_byte_order_mark_and_without_optional_columns_is_read(tmp_path):
    path = tmp_path / "sheet.tsv"
    path.write_bytes("\ufeffname\tannotation\tnote\nA\ta.gff\tfirst\nB-2\tb.gff\t\n".encode())
    genomes = samples.read_sheet(str(path))
    assert genomes["B-2"] == samples.Genome("B-2", str(tmp_path / "b.gff"), "", "")


def test_sheet_not_in_utf8_gets_one_line_naming_it_and_the_line(tmp_path):
    path = tmp_path / "sheet.tsv"
    path.write_bytes((HEADER + "A\ta.gff\t\t\nSt\xe9\tb.gff\t\t\n").encode("latin-1"))
    with pytest.raises(samples.SheetError) as error:
        samples.read_sheet(str(path))
    assert str(error.value) == f"{path}:3: the sample sheet is not UTF-8 text (byte 0xe9); save it as UTF-8"


NAME_RULE = "must be letters, digits, '_' and '-', starting with a letter or digit"


@pytest.mark.parametrize("text, message", [
    ("", "is empty"),
    ("name\tproteins\n", ":1: the header lacks the column(s) annotation"),
    (HEADER + "A\ta.ptt\t\t\nA\tb.ptt\t\t\n", ":3: genome 'A' is listed twice"),
    (HEADER + "A\ta.ptt\t\t\nB&C\tb.ptt\t\t\n", f":3: genome name 'B&C' {NAME_RULE}"),
    (HEADER + "A\ta.ptt\t\t\n-B\tb.ptt\t\t\n", f":3: genome name '-B' {NAME_RULE}"),
    # circog keys a genome on its file name up to the first '.'; "A.part" was
    # also where the import of "A" worked
    (HEADER + "A\ta.ptt\t\t\nA.part\tb.ptt\t\t\n", f":3: genome name 'A.part' {NAME_RULE} (circog takes"),
    (HEADER + "A\ta.ptt\t\t\n" + "B" * 101 + "\tb.ptt\t\t\n", ":3: genome name 'BBBBBBBBBBBBBBBBBBBB...' is longer"),
    (HEADER + "A\ta.ptt\t\t\nB\t\t\t\n", ":3: 'annotation' must be the annotation file"),
    (HEADER + "A\ta.ptt\t\t\n\ta.ptt\t\t\n", ":3: 'name' must be a genome name, not ''"),
    (HEADER + "A\ta.ptt\t\t\n", "fewer than two genomes"),
])
def test_sheet_errors_name_the_line(tmp_path, text, message):
    with pytest.raises(samples.SheetError) as error:
        samples.read_sheet(sheet(tmp_path, text))
    assert message in str(error.value)


def test_settings_get_their_defaults_and_texts_as_circog_reads_them():
    config = samples.check_settings({"samples": "s.tsv", "outdir": "out"})
    assert (config["alignment"], config["similarity"], config["pair_threads"]) == (True, 0.3, 1)
    assert samples.alignment_flag(config["alignment"]) == "TRUE"
    assert samples.alignment_flag(False) == "FALSE"
    assert [samples.similarity_text(value) for value in (0.3, 0.25, 0, 1)] == ["0.3", "0.25", "0", "1"]


@pytest.mark.parametrize("settings, message", [
    ({"outdir": ""}, "'outdir' must be a non-empty folder path other than /, not ''"),
    ({"outdir": "/"}, "not '/'"),
    ({"outdir": "/.."}, "not '/..'"),
    ({"outdir": None}, "'outdir' must be a non-empty folder path other than /, not None"),
    ({"outdir": 5}, "'outdir' must be a non-empty folder path other than /, not 5"),
    ({"pair_threads": "two"}, "'pair_threads' must be a whole number of CPUs, 1 or more, not 'two'"),
    ({"pair_threads": 0}, "'pair_threads' must be a whole number"),
    ({"similarity": 2}, "'similarity' must be a number from 0 to 1, not 2"),
    ({"similarity": "high"}, "'similarity' must be a number from 0 to 1, not 'high'"),
    ({"alignment": "maybe"}, "'alignment' must be true or false, not 'maybe'"),
    ({"pair_thread": 2}, "unknown key(s) 'pair_thread'"),
    ({"samples": None}, "'samples' must be the sample sheet's path, not None"),
])
def test_settings_of_the_wrong_type_get_one_line_naming_the_key(settings, message):
    config = {"samples": "s.tsv", "outdir": "out", **settings}
    with pytest.raises(samples.SheetError) as error:
        samples.check_settings(config, "my.yaml")
    assert str(error.value).startswith("my.yaml: ") and message in str(error.value)
    assert "\n" not in str(error.value)


def test_missing_settings_are_named():
    with pytest.raises(samples.SheetError, match="my.yaml: the key 'outdir' is missing"):
        samples.check_settings({"samples": "s.tsv"}, "my.yaml")


def test_config_gets_the_settings_in_place_and_other_lines_unchanged(tmp_path):
    template = tmp_path / "config.txt"
    template.write_text("# note\nAlignmentFlag=TRUE\nAnglePath=.\\angle1\\\nSimilarity=0.3\n")
    assert workdirs.config_with_settings(str(template), {"AlignmentFlag": "FALSE", "Similarity": "0.5"}) == (
        "# note\nAlignmentFlag=FALSE\nAnglePath=.\\angle1\\\nSimilarity=0.5\n")
    template.write_text("AnglePath=.\\angle1\\\n")
    assert workdirs.config_with_settings(str(template), {"AlignmentFlag": "TRUE", "Similarity": "0.3"}) == (
        "AnglePath=.\\angle1\\\nAlignmentFlag=TRUE\nSimilarity=0.3\n")
