"""Result files read into arrays: circog's own files in one pass, anything
else line by line, with the same answers and the same errors."""
import numpy as np
import pytest

from circogkit import results
from circogkit.inputs import KitError

CASES = [
    # (file text, expected points, with _mul.txt's separators dropped)
    ("1001\t1001\n5\t14\n5\t200\n1001\t1001\n", [(5, 14), (5, 200)]),
    ("0.0261484\t272.078\n359.9\t1e-05", [(0.0261484, 272.078), (359.9, 1e-05)]),   # no last line end
    ("5\t14\r\n10\t350\r\n", [(5, 14), (10, 350)]),                                  # CRLF
    ("5\t14\tCOG0001\n", [(5, 14)]),                                                 # a third column
    (" 5\t14 \n", [(5, 14)]),
    ("", []),
]


@pytest.mark.parametrize("text,expected", CASES)
def test_angle_pairs_are_read_from_any_layout_the_kit_accepted(tmp_path, text, expected):
    path = tmp_path / "A&B_mul.txt"
    path.write_bytes(text.encode("latin-1"))
    points = results.read_angle_pairs(str(path), skip_separators=True)
    assert points.shape == (len(expected), 2)
    assert np.array_equal(points, np.array(expected, dtype=float).reshape(-1, 2))


@pytest.mark.parametrize("text,line", [("5\t14\n1e\t3\n", 2), ("5\t14\n\n", 2), ("5 14\n", 1),
                                       ("5\t14\n7\n", 2), ("1--2\t3\n", 1)])
def test_a_bad_line_is_named(tmp_path, text, line):
    path = tmp_path / "A&B_sin.txt"
    path.write_text(text)
    with pytest.raises(KitError) as error:
        results.read_angle_pairs(str(path))
    assert error.value.line == line and "expected two angles" in str(error.value)


def test_a_missing_file_is_named(tmp_path):
    with pytest.raises(KitError, match="A&B_sin.txt: cannot read"):
        results.read_angle_pairs(str(tmp_path / "A&B_sin.txt"))


def test_share_near_counts_across_zero_and_the_bound_itself():
    points = np.array([(5, 14), (10, 350), (359, 3), (100, 110), (0, 180)], dtype=float)
    assert results.share_near(points) == pytest.approx(3 / 5)  # 9, 4 and exactly 10 degrees apart
    assert results.share_near(np.zeros((0, 2))) == 0.0
