#!/usr/bin/python3
"""Old against new: blocks/ and plots/ of another copy of the kit against
this one's, to the byte, over the bundled example and sets of related
genomes with varied events.

Usage: bench/compare_blocks.py OLD_KIT [CIRCOG_BINARY] [--sets N] [--genomes G]

OLD_KIT is the circog-kit command of the other copy (for instance one taken
out of the branch main with `git archive main kit | tar -x -C /tmp/old`).
Each set holds the K-12 source and G - 1 genomes derived from it (default
12, so 66 pairs; alignment off), each with 0-4 inversions about the origin,
the terminus or elsewhere, 0-50% of its genes lost, another length, a
random rotation and, for some, the other strand; set s draws with seed s.
For every working directory, the old kit's `blocks` then `plot` and this
kit's `blocks`, `plot` and `plot --blocks` (in copies) must write the same
files. Everything is written under build/blocks-compare, removed at the
end unless something differs. Exits 1 when something differs.
"""
import filecmp
import os
import random
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.path.join(ROOT, "kit", "circog-kit")
sys.path.insert(0, os.path.join(ROOT, "bench"))
import related_genomes  # noqa: E402


def varied_genomes(source, count, seed):
    genomes = [source]
    for number in range(1, count):
        chance = random.Random(seed * 1000 + number)
        inversions = [(chance.choice(["ori", "ter", f"{chance.uniform(0, 360):.2f}", "ori+30"]),
                       round(chance.uniform(2, 70), 2)) for _ in range(chance.randrange(0, 5))]
        genomes.append(related_genomes.derive(
            source, f"G{number:03d}", inversions, loss=chance.choice([0.0, 0.02, 0.05, 0.2, 0.5]),
            length=chance.choice([None, None, 1500000, 6000000]), degrees=round(chance.uniform(0, 360), 2),
            reversed_=chance.random() < 0.4, seed=chance.randrange(1 << 30)))
    return genomes


def kit(command, *args):
    subprocess.run([sys.executable, command, *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def same_folders(one, other):
    """Names of the files that differ or are missing on one side."""
    compared = filecmp.dircmp(one, other)
    _, mismatch, errors = filecmp.cmpfiles(one, other, compared.common_files, shallow=False)
    return sorted(mismatch + errors + compared.left_only + compared.right_only)


def compare(workdir, old_kit):
    """Runs both kits over copies of workdir; returns [(what, files that differ)]."""
    copies = {}
    for label, commands in (("old", [(old_kit, "blocks"), (old_kit, "plot")]),
                            ("new", [(KIT, "blocks"), (KIT, "plot")]),
                            ("one-pass", [(KIT, "plot", "--blocks")])):
        copy = f"{workdir}-{label}"
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(workdir, copy)
        for command, *args in commands:
            kit(command, *args, copy)
        copies[label] = copy
    differences = []
    for label in ("new", "one-pass"):
        for folder in ("blocks", "plots"):
            wrong = same_folders(os.path.join(copies["old"], folder), os.path.join(copies[label], folder))
            if wrong:
                differences.append((f"{label} {folder}/", wrong))
    pairs = len(os.listdir(os.path.join(copies["old"], "blocks"))) - 1
    for copy in copies.values():
        shutil.rmtree(copy)
    return pairs, differences


def main():
    args = sys.argv[1:]
    options = {"--sets": 4, "--genomes": 12}
    for option in options:
        if option in args:
            at = args.index(option)
            options[option] = int(args[at + 1])
            del args[at:at + 2]
    if not args:
        sys.exit(__doc__)
    old_kit = os.path.abspath(args[0])
    binary = os.path.abspath(args[1] if len(args) > 1 else os.path.join(ROOT, "build", "release", "circog"))
    base = os.path.join(ROOT, "build", "blocks-compare")
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(base)
    workdirs = [os.path.join(base, "example")]
    shutil.copytree(os.path.join(ROOT, "example"), workdirs[0])
    source = related_genomes.read_source()
    for seed in range(1, options["--sets"] + 1):
        workdirs.append(os.path.join(base, f"set{seed}"))
        related_genomes.write_workdir(workdirs[-1], varied_genomes(source, options["--genomes"], seed))
    failed, total = False, 0
    for workdir in workdirs:
        subprocess.run([binary], cwd=workdir, check=True, stdout=subprocess.DEVNULL)
        pairs, differences = compare(workdir, old_kit)
        total += pairs
        print(f"{os.path.basename(workdir)}: {pairs} pairs, "
              f"{'the same' if not differences else 'DIFFERENT'}", flush=True)
        for what, files in differences:
            failed = True
            print(f"  {what}: {', '.join(files[:10])}{' ...' if len(files) > 10 else ''}")
    print(f"{total} pairs: {'some differ' if failed else 'all the same'}")
    if not failed:
        shutil.rmtree(base)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
