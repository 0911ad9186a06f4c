"""Opens a report of each method in headless Chromium: the page loads without console errors,
every figure is there and decoded, and a screenshot is not blank. Exit status 77 (skipped)
when Chromium is not installed.

    browser_test.py BUILD/halvorix-report [SCREENSHOT_FOLDER]
"""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import matplotlib.image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
EXPECTED = os.path.join(ROOT, "tests", "e2e", "expected")
EXAMPLES = os.path.join(ROOT, "examples")

# Put first in <head>: collects every error and, after load, what each image decoded to.
PROBE = """<script>
var probeErrors = [];
addEventListener("error", function (e) {
  probeErrors.push(e.message || "cannot load " + e.target.src);
}, true);
console.error = function () { probeErrors.push([].join.call(arguments, " ")); };
addEventListener("load", function () {
  var out = document.body.appendChild(document.createElement("pre"));
  out.id = "probe";
  out.textContent = JSON.stringify({errors: probeErrors, images: [].map.call(
    document.images, function (i) {
      return {alt: i.alt, size: Math.min(i.naturalWidth, i.naturalHeight, i.width)};
    })});
});
</script>"""

# (name, report arguments, figures expected on the page)
REPORTS = [
    ("snp", ["--method", "SNP", "--csv", f"{EXPECTED}/snp_example/output.csv",
             "--log", f"{EXPECTED}/snp_example/stdout", "--bim", f"{EXAMPLES}/plink/study.bim",
             "--gene_snp", f"{EXAMPLES}/gene_snp.dat"], ["QQ plot", "SNP associations"]),
    ("gene", ["--method", "GENE", "--csv", f"{EXPECTED}/gene_example_sqrtmean_nor/output.csv",
              "--log", f"{EXPECTED}/gene_example_sqrtmean_nor/stdout"], ["QQ plot", "Top genes"]),
    ("go", ["--method", "GO", "--csv", f"{EXPECTED}/go_example_default/output.csv",
            "--log", f"{EXPECTED}/go_example_default/stdout",
            "--go_edges", f"{EXAMPLES}/go_edges.dat"],
     ["QQ plot", "Top sets", "Top GO terms in the graph"]),
    ("kegg", ["--method", "KEGG", "--csv", f"{EXPECTED}/kegg_example_maxz/output.csv"],
     ["QQ plot", "Top sets"]),
]


def open_in_browser(chromium, page, screenshot, profile):
    """The page's DOM after load, the browser's console lines, and a screenshot."""
    done = subprocess.run(
        [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         f"--user-data-dir={profile}", "--enable-logging=stderr", "--v=0",
         "--hide-scrollbars", "--window-size=1200,1800", "--virtual-time-budget=5000",
         f"--screenshot={screenshot}", "--dump-dom", "file://" + page],
        capture_output=True, text=True, timeout=120,
        env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:"))
    console = [line for line in done.stderr.splitlines() if "CONSOLE" in line]
    return done.stdout, console


def probe_result(dom):
    found = re.search(r'<pre id="probe">(.*?)</pre>', dom, re.S)
    return json.loads(html.unescape(found.group(1))) if found else None


def blank(screenshot):
    """True when (almost) every pixel of the screenshot has the same colour."""
    pixels = matplotlib.image.imread(screenshot)[:, :, :3]
    differ = (abs(pixels - pixels[0, 0]).sum(axis=2) > 0.1).mean()
    return differ < 0.01


def check_report(chromium, report, work, name, args, figures, shots):
    out = os.path.join(work, name)
    made = subprocess.run([report, *args, "--out", out], capture_output=True, text=True)
    if made.returncode != 0:
        return [f"{name}: halvorix-report failed: {made.stderr.strip()}"]
    with open(os.path.join(out, "report.html"), encoding="utf-8") as f:
        page = f.read()
    probe_page = os.path.join(out, "probe.html")
    with open(probe_page, "w", encoding="utf-8") as f:
        f.write(page.replace("<head>", "<head>\n" + PROBE, 1))
    screenshot = os.path.join(shots or work, f"report_{name}.png")
    dom, console = open_in_browser(chromium, probe_page, screenshot, os.path.join(work, "profile"))
    problems = [f"{name}: console: {line}" for line in console]
    probe = probe_result(dom)
    if probe is None:
        return problems + [f"{name}: the page did not finish loading"]
    problems += [f"{name}: page error: {e}" for e in probe["errors"]]
    shown = [i["alt"] for i in probe["images"]]
    if shown != figures:
        problems.append(f"{name}: figures {shown}, expected {figures}")
    problems += [f"{name}: figure '{i['alt']}' is empty" for i in probe["images"]
                 if i["size"] < 100]
    if not os.path.exists(screenshot) or blank(screenshot):
        problems.append(f"{name}: the screenshot is blank")
    return problems


def main():
    report = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    chromium = shutil.which("chromium")
    if chromium is None:
        print("chromium is not installed: skipped (scripts/install-deps.sh installs it)")
        return 77
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for name, args, figures in REPORTS:
            problems += check_report(chromium, report, work, name, args, figures, shots)
    for problem in problems:
        print(problem)
    print(f"{len(REPORTS) - len({p.split(':')[0] for p in problems})} passed, "
          f"{len({p.split(':')[0] for p in problems})} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
