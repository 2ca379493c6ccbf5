import contextlib
import io
import os
import re
import resource
import shutil
import signal
import subprocess

import pytest
from conftest import KIT, fixture, killed, read, snapshot
from test_example import circog_binary

from circogkit import cli

CONFIG = "# results under res\nPairOutputPath=.\\res\\\nAlignmentFlag=TRUE\nSimilarity=0.3\n"
RESULTS = {
    "A&B_mul.txt": "1001\t1001\n5\t14\n5\t200\n1001\t1001\n10\t350\n1001\t1001\n359\t3\n1001\t1001\n"
                   "100\t110\n1001\t1001\n",
    "A&B_sin.txt": "5\t14\n10\t350\n359\t3\n100\t110\n",
    "A&B_sin_COG.txt": "5\t14\tCOG0001\n10\t350\tCOG0002\n359\t3\tCOG0003\n100\t110\tCOG0004\n",
    "A&C_mul.txt": "1001\t1001\n", "A&C_sin.txt": "", "A&C_sin_COG.txt": "",
    "B&C_mul.txt": "1001\t1001\n",  # no _sin.txt: not a finished pair
    "E.coli&B_mul.txt": "1001\t1001\n", "E.coli&B_sin.txt": "",  # no genome can be named so
}
SUMMARY = ("pair\tgenome1\tgenome2\tshared_cogs\taccepted_pairs\tshare_within_10deg\n"
           "A&B\tA\tB\t4\t5\t0.7500\n"    # 9, 20 (across 0), 4 and exactly 10 degrees apart
           "A&C\tA\tC\t0\t0\t0.0000\n")


@pytest.fixture(scope="module")
def plotted_once(tmp_path_factory):
    workdir = tmp_path_factory.mktemp("plotted")
    (workdir / "config.txt").write_text(CONFIG)
    (workdir / "res").mkdir()
    for name, text in RESULTS.items():
        (workdir / "res" / name).write_text(text)
    errors = io.StringIO()
    with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(errors):
        status = cli.main(["plot", str(workdir)])
    assert status == 0, errors.getvalue()
    return workdir, errors.getvalue()


@pytest.fixture
def plotted(plotted_once, tmp_path):
    """A copy of a directory with result files, plotted once per module."""
    workdir, _ = plotted_once
    shutil.copytree(workdir, tmp_path / "run")
    return tmp_path / "run"


def test_plot_progress_and_results_it_leaves_out(plotted_once):
    workdir, err = plotted_once
    assert "plot 2/2: A&C" in err
    assert f"warning: left out {workdir}/res/E.coli&B_mul.txt: genome name 'E.coli' must be" in err


def test_plot_writes_images_and_summary(plotted):
    assert read(plotted / "plots" / "summary.tsv") == SUMMARY
    for pair in ("A&B", "A&C"):
        assert (plotted / "plots" / f"{pair}.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert not os.path.exists(plotted / "plots" / "A&B.svg")


def test_svg_on_request_and_none_left_behind_by_a_plot_without(kit, plotted):
    assert kit("plot", plotted, "--svg")[0] == 0
    for pair in ("A&B", "A&C"):
        assert b"<svg" in (plotted / "plots" / f"{pair}.svg").read_bytes()[:1000]
    assert kit("plot", plotted)[0] == 0
    assert sorted(os.listdir(plotted / "plots")) == ["A&B.png", "A&C.png", "summary.tsv"]


def test_plot_reports_a_bad_result_line(kit, plotted):
    (plotted / "res" / "A&B_sin.txt").write_text("5\t14\nnot an angle\n")
    status, _, err = kit("plot", plotted)
    assert status == 1 and "A&B_sin.txt, line 2: expected two angles" in err


def report_only_dir(plotted, target):
    """A directory holding just what report needs, and a genome without pairs."""
    (target / "plots").mkdir(parents=True)
    shutil.copy(plotted / "config.txt", target)
    for name in ("summary.tsv", "A&B.png", "A&C.png"):
        shutil.copy(plotted / "plots" / name, target / "plots")
    (target / "genome_sizes.txt").write_text("A\t100\nB\t200\nC\t300\nD\t400\n")
    return target


def test_report_needs_only_config_summary_and_plots(kit, plotted, tmp_path):
    target = report_only_dir(plotted, tmp_path / "only")
    status, out, err = kit("report", target)
    assert status == 0 and out == f"{target / 'report.html'}\n" and err == "report: 2/2 pair pages\n"
    page = read(target / "report.html")
    assert "<img" not in page and "base64" not in page and "http" not in page
    assert "<th class='row'>D</th>" in page and "4 genomes, 2 pairs with results" in page
    assert page.count("href='plots/A%26B.html'") == 2 and ">75.00%</a>" in page
    assert "<td>PairOutputPath</td><td>.\\res\\</td>" in page
    assert "href='tree.nwk'" in page and "href='distances.tsv'" in page
    pair = read(target / "plots" / "A&B.html")
    assert "<img src='A%26B.png'" in pair and "<td>4</td>" in pair and "75.00%" in pair
    assert sorted(os.listdir(target)) == ["config.txt", "distances.tsv", "genome_sizes.txt", "plots",
                                          "report.html", "tree.nwk"]
    assert read(target / "distances.tsv").splitlines()[1] == "A\t0.0000\t0.2500\t1.0000\t1.0000"


def test_report_names_a_missing_plot(kit, plotted, tmp_path):
    target = report_only_dir(plotted, tmp_path / "only")
    os.remove(target / "plots" / "A&C.png")
    status, _, err = kit("report", target)
    assert status == 1 and "A&C.png: the pair's plot is missing (run circog-kit plot)" in err


CHROMIUM = "/usr/bin/chromium"
CHECK_IMAGES = """<script>
window.addEventListener('load', function () {
  var images = document.images, loaded = 0;
  for (var i = 0; i < images.length; i++) if (images[i].complete && images[i].naturalWidth > 0) loaded++;
  document.body.setAttribute('data-images', loaded + '/' + images.length);
});
</script></body>"""


def chromium(profile, *arguments):
    command = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", f"--user-data-dir={profile}", "--virtual-time-budget=5000",
               *arguments]
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


@pytest.mark.skipif(not os.path.exists(CHROMIUM), reason="chromium is not installed (scripts/install-deps.sh)")
def test_a_pair_page_shows_its_plot_in_a_browser(kit, plotted, tmp_path):
    import numpy as np
    from PIL import Image
    target = report_only_dir(plotted, tmp_path / "page")
    assert kit("report", target)[0] == 0
    page = read(target / "plots" / "A&B.html")
    (target / "plots" / "checked.html").write_text(page.replace("</body>", CHECK_IMAGES), encoding="latin-1")
    dom = chromium(tmp_path / "profile1", "--dump-dom", f"file://{target / 'plots' / 'checked.html'}").stdout
    assert re.search(r'data-images="(\d+)/(\d+)"', dom).groups() == ("1", "1")
    shot = tmp_path / "pair.png"
    chromium(tmp_path / "profile2", f"--screenshot={shot}", "--window-size=1100,800",
             f"file://{target / 'plots' / 'A&B.html'}")
    pixels = np.asarray(Image.open(shot).convert("RGB")).reshape(-1, 3).astype(int)
    dark = (pixels.sum(axis=1) < 200).mean()
    assert 0.001 < dark < 0.5  # text and dots drawn on a light page
    assert len({tuple(p) for p in pixels[::7]}) > 50


# ---------------------------------------------------------------- hostile values

HOSTILE_ROWS = [  # (case, summary row, words of the one line)
    ("markup in a count", "A&B\tA\tB\t<script>alert(1)</script>\t5\t0.7500",
     ["line 2: shared_cogs is not a whole number"]),
    ("share beyond 1", "A&B\tA\tB\t4\t5\tinf", ["line 2: share_within_10deg is not a number from 0 to 1"]),
    ("a path up and out", "../../etc/x&B\t../../etc/x\tB\t4\t5\t0.7500",
     ["line 2: genome name '../../etc/x' must be"]),
    ("an absolute path", "/etc/x&B\t/etc/x\tB\t4\t5\t0.7500", ["line 2: genome name '/etc/x' must be"]),
    ("a NUL byte", "A\0&B\tA\0\tB\t4\t5\t0.7500", ["line 2: genome name 'A\\x00' must be"]),
    ("pair unlike its genomes", "../A&B\tA\tB\t4\t5\t0.7500", ["line 2: pair '../A&B' is not two genomes 'A&B'"]),
    ("genome not of the run", "A&Q\tA\tQ\t4\t5\t0.7500", ["line 2: genome 'Q' is not in genome_sizes.txt"]),
]


@pytest.mark.parametrize("case,row,words", HOSTILE_ROWS, ids=[c[0] for c in HOSTILE_ROWS])
def test_report_refuses_a_summary_row_it_cannot_trust(kit, plotted, tmp_path, case, row, words):
    target = report_only_dir(plotted, tmp_path / "only")
    (target / "plots" / "summary.tsv").write_bytes((SUMMARY.splitlines()[0] + "\n" + row + "\n").encode("latin-1"))
    status, out, err = kit("report", target)
    assert status == 1 and out == "" and err.count("\n") == 1
    assert err.startswith(f"circog-kit report: {target}/plots/summary.tsv, line 2: ")
    assert all(word in err for word in words)
    assert not os.path.exists(target / "report.html")


MARKUP = "<img src=x onerror=\"document.body.setAttribute('data-owned','yes')\">"


def test_markup_in_the_files_stays_text_on_the_page(kit, plotted, tmp_path):
    target = report_only_dir(plotted, tmp_path / "page")
    with open(target / "config.txt", "a") as config:
        config.write(f"Note={MARKUP}\n")
    with open(target / "genome_sizes.txt", "a") as sizes:
        sizes.write(f"{MARKUP}\t10\n")
    assert kit("report", target)[0] == 0
    page = read(target / "report.html")
    assert "<img src=x" not in page and page.count("&lt;img src=x onerror=&quot;document.body") > 3
    if os.path.exists(CHROMIUM):
        dom = chromium(tmp_path / "profile", "--dump-dom", f"file://{target / 'report.html'}").stdout
        assert "data-owned" not in dom.split("<body")[1].split(">")[0] and "&lt;img src=x" in dom


# ---------------------------------------------------------------- writing whole files

def limited_kit(limit, *arguments):
    """circog-kit in a process that may write no file beyond limit bytes."""
    def cap():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return subprocess.run([os.path.join(KIT, "circog-kit"), *map(str, arguments)],
                          capture_output=True, text=True, preexec_fn=cap)


def temporaries(folder):
    return [name for _, _, files in os.walk(folder) for name in files if name.endswith(".tmp")]


@pytest.mark.parametrize("command,victim", [("plot", "plots/A&B.png"), ("report", "report.html")])
def test_a_file_size_limit_keeps_the_earlier_file(kit, plotted, command, victim):
    assert kit("report", plotted)[0] == 0
    before = snapshot(plotted)
    done = limited_kit(4000, command, plotted)
    assert done.returncode == 1
    assert done.stderr.endswith(f"circog-kit {command}: {plotted}/{victim}: File too large\n")
    assert snapshot(plotted) == before and temporaries(plotted) == []


def test_a_killed_report_keeps_the_earlier_page(kit, plotted):
    assert kit("report", plotted)[0] == 0
    before = read(plotted / "report.html")
    with open(plotted / "config.txt", "a") as config:  # the page would change
        config.write("Note=changed\n")
    assert killed(0, "report", plotted) == -signal.SIGKILL
    assert read(plotted / "report.html") == before


# ---------------------------------------------------------------- a run without pairs

def test_plot_says_why_a_run_has_no_pair(kit, tmp_path):
    for name, annotation in (("A", "sample.ptt"), ("B", "bakta.gff3")):  # sharing COG0527, no proteins
        assert kit("import", tmp_path, name, fixture(annotation))[0] == 0
    status, out, err = kit("plot", tmp_path)
    assert status == 0 and out.startswith("plotted 0 genome pair(s)")
    assert err == (f"circog-kit plot: no pair to plot: circog has not run in {tmp_path} yet (no angle "
                   f"files in {tmp_path}/angle1/): run it there\n")
    subprocess.run([circog_binary()], cwd=tmp_path, check=True, stdout=subprocess.DEVNULL)
    assert kit("plot", tmp_path)[2] == (
        "circog-kit plot: no pair to plot: circog found no accepted pair; 2 of 2 genomes have no protein "
        "(A, B) and with AlignmentFlag=TRUE a gene without a protein finds no partner: import them again "
        "with --proteins and --replace, or set AlignmentFlag=FALSE in config.txt\n")
    assert kit("import", tmp_path, "C", fixture("prokka.gff3"))[0] == 0  # no COG0527
    config = read(tmp_path / "config.txt")
    (tmp_path / "config.txt").write_text(config.replace("AlignmentFlag=TRUE", "AlignmentFlag=X"))
    assert kit("plot", tmp_path)[2] == ("circog-kit plot: no pair to plot: circog found no accepted pair; "
                                        "circog has not run since C was imported: run it again\n")


def test_argument_mistakes_print_the_usage_and_exit_with_2(capsys):
    for argv in (["import", "w"], ["plot"], ["plot", "w", "--colour"], ["frobnicate"], []):
        with pytest.raises(SystemExit) as stop:
            cli.main(argv)
        assert stop.value.code == 2 and capsys.readouterr().err.startswith("usage: circog-kit")


# ---------------------------------------------------------------- with blocks and origins

BLOCK_SUMMARY = ("pair\tgenome1\tgenome2\toffset\tcollinear_share\tblocks\tinversions\t"
                 "symmetric_inversions\tinverted_share\n"
                 "A&B\tA\tB\t0.00\t0.9000\t2\t1\t1\t0.2500\n")
BLOCK_TABLE = ("block\torientation\tstart1\tend1\tstart2\tend2\tgenes\tsymmetric\n"
               "1\t+\t0.00\t200.00\t0.00\t200.00\t40\t\n"
               "2\t-\t220.00\t300.00\t300.00\t220.00\t12\tyes\n")


@pytest.fixture
def with_blocks(plotted):
    (plotted / "genome_sizes.txt").write_text("A\t3600000\nB\t3600000\nC\t3600000\n")
    (plotted / "genome_origins.txt").write_text("A\t900000\tdnaA\nB\t1800000\tproduct\n")
    (plotted / "blocks").mkdir()
    (plotted / "blocks" / "summary.tsv").write_text(
        BLOCK_SUMMARY + "A&C\tA\tC\t\t0.0000\t0\t0\t0\t0.0000\n")
    (plotted / "blocks" / "A&B.tsv").write_text(BLOCK_TABLE)
    (plotted / "blocks" / "A&C.tsv").write_text(BLOCK_TABLE.splitlines()[0] + "\n")
    return plotted


def test_plot_draws_blocks_and_the_origin_and_terminus_lines(kit, with_blocks):
    import numpy as np
    from PIL import Image
    from circogkit import dotplot
    assert kit("plot", with_blocks)[0] == 0
    assert read(with_blocks / "plots" / "summary.tsv") == SUMMARY   # blocks change no number
    image = np.asarray(Image.open(with_blocks / "plots" / "A&B.png").convert("RGB")).astype(int)
    lay = dotplot.Layout()

    def at(a, b):
        return image[int(lay.bottom - b * lay.side / 360.0), int(lay.left + a * lay.side / 360.0)]
    green, orange = at(100, 100), at(260, 260)
    assert green[1] > green[0] + 40 and orange[0] > orange[2] + 60
    column = image[lay.top:lay.bottom, int(lay.left + 90 * lay.side / 360.0)]       # A's origin, 90
    assert (np.abs(column - dotplot.ORIGIN).max(axis=1) < 40).mean() > 0.4
    row = image[int(lay.bottom - 180 * lay.side / 360.0) - 1, lay.left:lay.right]   # B's origin, 180
    assert (np.abs(row - dotplot.ORIGIN).max(axis=1) < 40).mean() > 0.4
    plain = np.asarray(Image.open(with_blocks / "plots" / "A&C.png").convert("RGB")).astype(int)
    assert (np.abs(plain[lay.top:lay.bottom, lay.left:lay.right] - dotplot.ORIGIN).max(axis=2) < 40).mean() > 0.001


def test_report_uses_the_collinear_share_and_lists_inversions(kit, with_blocks):
    assert kit("report", with_blocks)[0] == 0
    page = read(with_blocks / "report.html")
    assert ">90.00%<small>1 inv.</small></a>" in page and "blocks/summary.tsv" in page
    assert "90.00&deg; (dnaA)" in page and "180.00&deg; (product)" in page
    pair = read(with_blocks / "plots" / "A&B.html")
    inversions = pair[pair.index("<h2>1 inversion</h2>"):pair.index("<details>")]
    assert "220.00&deg;" in inversions and ">yes<" in inversions and "200.00&deg;" not in inversions
    assert "All 2 blocks" in pair and "75.00%" in pair and "90.00%" in pair
    assert read(with_blocks / "distances.tsv").splitlines()[1:3] == ["A\t0.0000\t0.1000\t1.0000",
                                                                      "B\t0.1000\t0.0000\t1.0000"]


def test_report_refuses_blocks_that_miss_a_pair(kit, with_blocks):
    (with_blocks / "blocks" / "summary.tsv").write_text(BLOCK_SUMMARY)
    status, _, err = kit("report", with_blocks)
    assert status == 1 and err == (f"circog-kit report: {with_blocks}/blocks/summary.tsv: no row for pair "
                                   "A&C of plots/summary.tsv (run circog-kit blocks again)\n")


def test_impossible_block_numbers_are_refused_or_left_out(kit, with_blocks):
    (with_blocks / "blocks" / "A&B.tsv").write_text(BLOCK_TABLE + "3\t-\tnan\t10.00\tinf\t5.00\t5\tno\n")
    assert kit("plot", with_blocks)[0] == 0                  # the block that is no place is not drawn
    summary = (with_blocks / "blocks" / "summary.tsv").read_text().replace("0.9000", "nan")
    (with_blocks / "blocks" / "summary.tsv").write_text(summary)
    status, _, err = kit("report", with_blocks)
    assert status == 1 and err == (f"circog-kit report: {with_blocks}/blocks/summary.tsv: collinear_share "
                                   "of pair A&B is not a number from 0 to 1\n")
