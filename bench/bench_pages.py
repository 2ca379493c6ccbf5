#!/usr/bin/python3
"""Benchmark of the plots and the report at scale.

Usage: bench/bench_pages.py plot [WORKDIR] [--repeat N]
       bench/bench_pages.py overview [--genomes N] [--repeat N]

plot: draws every pair of a finished run in one process, as `circog-kit plot`
does, and prints the one-off start-up (imports, fonts, the frame) and the CPU
time per pair (best of N passes, process time, so other jobs on the machine
count less than in wall time). Without WORKDIR it uses the 10-genome run of
bench/bench_kit.py (build/kit-bench/ten; run that first).

overview: writes a synthetic report folder of N genomes (default 500:
124,750 pairs) under build/pages-bench: config.txt, genome_sizes.txt,
genome_origins.txt, plots/summary.tsv with every pair, blocks/summary.tsv and
one small blocks table per pair, and one PNG per pair (hard links to a
few copies of one picture). The genomes fall into nested groups (6 clades
of 4 subclades of 3 lineages), so the clustering has something to find.
Then it times
`circog-kit report` on it, prints the front page's size, and times headless
Chromium showing the front page: its own clock from navigation to the matrix
drawn (a copy of the page notes performance.now() after the drawing script)
and the wall time of a screenshot beside that of an empty page, alternately,
best of N.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KIT = os.path.join(ROOT, "kit", "circog-kit")
CHROMIUM = "/usr/bin/chromium"
sys.path.insert(0, os.path.join(ROOT, "kit"))


def bench_plot(workdir, repeat):
    start = time.process_time()
    from circogkit import plot  # noqa: F401  (the imports are part of the start-up)
    from circogkit import dotplot
    renderer = dotplot.Renderer()
    startup = time.process_time() - start
    best = None
    with open(os.devnull, "w") as quiet:
        for _ in range(repeat):
            begin = time.process_time()
            results = plot.plot_workdir(workdir, progress=quiet, renderer=renderer)
            elapsed = (time.process_time() - begin) / len(results)
            best = elapsed if best is None or elapsed < best else best
    print(f"plot: start-up {startup * 1000:.0f} ms of CPU, then {best * 1000:.1f} ms of CPU a pair "
          f"({len(results)} pairs, best of {repeat})")


def clades(count, seed=17):
    chance = random.Random(seed)
    return [(chance.randrange(6), chance.randrange(4), chance.randrange(3)) for _ in range(count)]


def share(first, second, chance):
    level = 0
    while level < 3 and first[level] == second[level]:
        level += 1
    return min(1.0, max(0.0, (0.35, 0.6, 0.8, 0.93)[level] + chance.uniform(-0.04, 0.04)))


BLOCKS_HEADER = "block\torientation\tstart1\tend1\tstart2\tend2\tgenes\tsymmetric\n"


def make_overview(folder, count):
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ("plots", "blocks", "out"):
        os.makedirs(os.path.join(folder, sub))
    chance = random.Random(5)
    names = [f"Strain_{i:03d}" for i in range(count)]
    groups = clades(count)
    shutil.copy(os.path.join(ROOT, "example", "config.txt"), folder)
    with open(os.path.join(folder, "genome_sizes.txt"), "w") as sizes, \
            open(os.path.join(folder, "genome_origins.txt"), "w") as origins:
        for name in names:
            size = chance.randrange(4_000_000, 5_500_000)
            sizes.write(f"{name}\t{size}\n")
            origins.write(f"{name}\t{chance.randrange(1, size)}\tdnaA\n")
    picture = os.path.join(folder, "picture.png")
    from PIL import Image
    Image.new("RGB", (550, 590), "white").save(picture)
    links = 0
    plots = ["pair\tgenome1\tgenome2\tshared_cogs\taccepted_pairs\tshare_within_10deg\n"]
    blocks = ["pair\tgenome1\tgenome2\toffset\tcollinear_share\tblocks\tinversions\t"
              "symmetric_inversions\tinverted_share\n"]
    for i, first in enumerate(names):
        for j in range(i + 1, count):
            second = names[j]
            pair = f"{first}&{second}"
            collinear = share(groups[i], groups[j], chance)
            inversions = chance.randrange(4)
            plots.append(f"{pair}\t{first}\t{second}\t1900\t13000\t{collinear * 0.8:.4f}\n")
            blocks.append(f"{pair}\t{first}\t{second}\t{chance.uniform(0, 360):.2f}\t{collinear:.4f}\t"
                          f"{inversions + 3}\t{inversions}\t{inversions // 2}\t0.0500\n")
            rows = [BLOCKS_HEADER, "1\t+\t0.00\t250.00\t0.50\t250.50\t2900\t\n"]
            rows += [f"{k + 2}\t-\t{260 + 20 * k:.2f}\t{270 + 20 * k:.2f}\t{270 + 20 * k:.2f}\t"
                     f"{260 + 20 * k:.2f}\t40\tno\n" for k in range(inversions)]
            with open(os.path.join(folder, "blocks", pair + ".tsv"), "w") as out:
                out.writelines(rows)
            if links == 50_000:  # a file system allows only so many links to one file
                shutil.copy(picture, picture + ".next")
                os.replace(picture + ".next", picture)
                links = 0
            os.link(picture, os.path.join(folder, "plots", pair + ".png"))
            links += 1
    with open(os.path.join(folder, "plots", "summary.tsv"), "w") as out:
        out.writelines(plots)
    with open(os.path.join(folder, "blocks", "summary.tsv"), "w") as out:
        out.writelines(blocks)
    os.remove(picture)


def chromium(*arguments):
    with tempfile.TemporaryDirectory() as profile:
        command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                   "--no-first-run", "--disable-background-networking", "--disable-component-update",
                   "--disable-sync", f"--user-data-dir={profile}", *arguments]
        start = time.perf_counter()
        done = subprocess.run(command, capture_output=True, text=True, timeout=600)
        return time.perf_counter() - start, done.stdout


CLOCK = ("<script>document.body.setAttribute('data-drawn', performance.now().toFixed(0));"
         "window.addEventListener('load', function () {"
         "document.body.setAttribute('data-loaded', performance.now().toFixed(0)); });</script></body>")


def bench_overview(count, repeat):
    folder = os.path.join(ROOT, "build", "pages-bench", f"g{count}")
    start = time.perf_counter()
    make_overview(folder, count)
    print(f"synthetic run of {count} genomes written in {time.perf_counter() - start:.0f} s")
    start, cpu = time.perf_counter(), os.times()
    subprocess.run([KIT, "report", folder], check=True, stdout=subprocess.DEVNULL)
    after = os.times()
    print(f"report: {time.perf_counter() - start:.1f} s wall, "
          f"{after.children_user + after.children_system - cpu.children_user - cpu.children_system:.1f} s CPU")
    page = os.path.join(folder, "report.html")
    print(f"front page: {os.path.getsize(page) / 1e6:.2f} MB")
    with open(page, encoding="utf-8") as handle:
        text = handle.read()
    timed = os.path.join(folder, "report-timed.html")
    with open(timed, "w", encoding="utf-8") as out:
        out.write(text.replace("</body>", CLOCK))
    drawn, loaded, shown, empty = [], [], [], []
    blank = os.path.join(folder, "empty.html")
    with open(blank, "w") as out:
        out.write("<!DOCTYPE html><p>empty</p>\n")
    with tempfile.TemporaryDirectory() as shots:
        for number in range(repeat):
            _, dom = chromium("--dump-dom", "--virtual-time-budget=30000", f"file://{timed}")
            drawn.append(int(re.search(r'data-drawn="(\d+)"', dom).group(1)))
            loaded.append(int(re.search(r'data-loaded="(\d+)"', dom).group(1)))
            for target, times in ((page, shown), (blank, empty)):
                seconds, _ = chromium(f"--screenshot={shots}/{number}.png", "--window-size=1400,1100",
                                      f"file://{target}")
                times.append(seconds)
    print(f"Chromium: matrix drawn {min(drawn)} ms after navigation starts, load event at "
          f"{min(loaded)} ms (best of {repeat}; worst {max(drawn)} / {max(loaded)} ms)")
    print(f"Chromium screenshot: {min(shown):.2f} s, of an empty page {min(empty):.2f} s "
          f"(best of {repeat}): {min(shown) - min(empty):.2f} s for the page")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=("plot", "overview"))
    parser.add_argument("workdir", nargs="?", default=os.path.join(ROOT, "build", "kit-bench", "ten"))
    parser.add_argument("--genomes", type=int, default=500)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    print(f"load average: {os.getloadavg()[0]:.2f}")
    if args.what == "plot":
        bench_plot(args.workdir, args.repeat)
    else:
        bench_overview(args.genomes, args.repeat)


if __name__ == "__main__":
    main()
