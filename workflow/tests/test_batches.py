"""Which pairs the workflow compares and how it groups them into batches."""
import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import batches  # noqa: E402

NAMES = [f"strain_{number:03d}" for number in range(200)]


def test_pairs_follow_the_byte_order_of_angle_file_names():
    # "B-x.txt" < "B.txt" < "a.txt" although "B" < "B-x" as plain names
    assert batches.pairs(["a", "B", "B-x"]) == [("B-x", "B"), ("B-x", "a"), ("B", "a")]
    assert batches.pairs(["a", "B", "B-x"], reference="B") == [("B-x", "B"), ("B", "a")]


@pytest.mark.parametrize("names, reference, pairs_per_job", [
    (NAMES, None, None), (NAMES, None, 1), (NAMES, None, 700), (NAMES, "strain_042", None),
    (NAMES, "strain_042", 7), (NAMES[:2], None, None), (NAMES[:5], None, 1),
])
def test_every_pair_is_in_one_batch_in_run_order(names, reference, pairs_per_job):
    pair_list = batches.pairs(names, reference)
    planned = batches.plan(pair_list, pairs_per_job or batches.default_pairs_per_job(len(pair_list)))
    order = {pair: index for index, pair in enumerate(pair_list)}
    assert sorted(pair for batch in planned.values() for pair in batch) == sorted(pair_list)
    for batch in planned.values():
        assert [order[pair] for pair in batch] == sorted(order[pair] for pair in batch)


def test_batches_by_default_are_at_most_about_a_thousand_and_hold_a_hundred_pairs_or_more():
    for count in (60, 200, 500):
        names = [f"g{number}" for number in range(count)]
        pair_list = batches.pairs(names)
        planned = batches.plan(pair_list, batches.default_pairs_per_job(len(pair_list)))
        assert len(planned) <= 1000
        assert len(pair_list) / len(planned) >= 100
    one_reference = batches.pairs(NAMES, reference="strain_000")
    assert len(batches.plan(one_reference, batches.default_pairs_per_job(len(one_reference)))) <= 2


def test_an_added_genome_leaves_most_batches_as_they_were():
    before = batches.plan(batches.pairs(NAMES), 100)
    after = batches.plan(batches.pairs(NAMES + ["strain_new"]), 100)
    # a name stands for one list of pairs, so a batch that changed is a new name
    kept = set(before) & set(after)
    assert all(before[name] == after[name] for name in kept)
    assert len(kept) > 0.8 * len(before)
