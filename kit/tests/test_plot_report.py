import os
import re
import shutil
import subprocess

import pytest
from conftest import read

CONFIG = "# results under res\nPairOutputPath=.\\res\\\nAlignmentFlag=TRUE\nSimilarity=0.3\n"
RESULTS = {
    "A&B_mul.txt": "1001\t1001\n5\t14\n5\t200\n1001\t1001\n10\t350\n1001\t1001\n359\t3\n1001\t1001\n"
                   "100\t110\n1001\t1001\n",
    "A&B_sin.txt": "5\t14\n10\t350\n359\t3\n100\t110\n",
    "A&B_sin_COG.txt": "5\t14\tCOG0001\n10\t350\tCOG0002\n359\t3\tCOG0003\n100\t110\tCOG0004\n",
    "A&C_mul.txt": "1001\t1001\n", "A&C_sin.txt": "", "A&C_sin_COG.txt": "",
    "B&C_mul.txt": "1001\t1001\n",  # no _sin.txt: not a finished pair
}
SUMMARY = ("pair\tgenome1\tgenome2\tshared_cogs\taccepted_pairs\tshare_within_10deg\n"
           "A&B\tA\tB\t4\t5\t0.7500\n"    # 9, 20 (across 0), 4 and exactly 10 degrees apart
           "A&C\tA\tC\t0\t0\t0.0000\n")


@pytest.fixture
def plotted(kit, tmp_path):
    (tmp_path / "config.txt").write_text(CONFIG)
    (tmp_path / "res").mkdir()
    for name, text in RESULTS.items():
        (tmp_path / "res" / name).write_text(text)
    status, out, err = kit("plot", tmp_path)
    assert status == 0, err
    assert "plot 2/2: A&C" in err
    return tmp_path


def test_plot_writes_images_and_summary(plotted):
    assert read(plotted / "plots" / "summary.tsv") == SUMMARY
    for pair in ("A&B", "A&C"):
        assert (plotted / "plots" / f"{pair}.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        assert b"<svg" in (plotted / "plots" / f"{pair}.svg").read_bytes()[:1000]


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


def test_report_needs_only_config_summary_and_images(kit, plotted, tmp_path):
    target = report_only_dir(plotted, tmp_path / "only")
    status, out, _ = kit("report", target)
    assert status == 0 and out == f"{target / 'report.html'}\n"
    page = read(target / "report.html")
    assert page.count("<img ") == 2 and page.count("src='data:image/png;base64,") == 2
    assert "<th>D</th>" in page and "4 genomes, 2 pairs" in page
    assert page.count("href='#pair-A&amp;B'") == 2 and "id='pair-A&amp;B'" in page
    assert ">75.00%</a>" in page and "<td>PairOutputPath</td><td>.\\res\\</td>" in page
    assert "http" not in page


def test_report_names_a_missing_image(kit, plotted, tmp_path):
    target = report_only_dir(plotted, tmp_path / "only")
    os.remove(target / "plots" / "A&C.png")
    status, _, err = kit("report", target)
    assert status == 1 and "A&C.png: cannot read the pair's plot" in err


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
def test_report_in_a_browser(kit, plotted, tmp_path):
    from matplotlib import image
    target = report_only_dir(plotted, tmp_path / "page")
    assert kit("report", target)[0] == 0
    page = read(target / "report.html")
    (target / "checked.html").write_text(page.replace("</body>", CHECK_IMAGES), encoding="latin-1")
    dom = chromium(tmp_path / "profile1", "--dump-dom", f"file://{target / 'checked.html'}").stdout
    assert re.search(r'data-images="(\d+)/(\d+)"', dom).groups() == ("2", "2")
    shot = tmp_path / "report.png"
    chromium(tmp_path / "profile2", f"--screenshot={shot}", "--window-size=1000,1400",
             f"file://{target / 'report.html'}")
    pixels = image.imread(str(shot))[:, :, :3].reshape(-1, 3)
    dark = (pixels.sum(axis=1) < 1.5).mean()
    assert 0.001 < dark < 0.5  # text and dots drawn on a light page
    assert len({tuple(p) for p in pixels[::7]}) > 50
