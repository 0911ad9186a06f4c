"""A report of each method in headless Chromium: it loads without console errors, every figure
is there and decoded, and a screenshot is not blank. Exit status 77 (skipped) without Chromium.

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

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXPECTED = os.path.join(ROOT, "tests", "e2e", "expected")
EXAMPLES = os.path.join(ROOT, "examples")

# Put first in <head>: collects every error event (console lines come on Chromium's stderr)
# and, after load, what each image decoded to.
PROBE = """<script>
var probeErrors = [];
addEventListener("error", function (e) {
  probeErrors.push(e.message || "cannot load the image " + e.target.alt); }, true);
addEventListener("load", function () {
  var out = document.body.appendChild(document.createElement("pre"));
  out.id = "probe";
  var images = [].map.call(document.images, function (i) {
    return {alt: i.alt, size: Math.min(i.naturalWidth, i.naturalHeight, i.width)}; });
  out.textContent = JSON.stringify({errors: probeErrors, images: images});
});
</script>"""

# (method, golden case whose result and log are shown, more arguments, figures expected)
REPORTS = [
    ("SNP", "snp_example", ["--bim", f"{EXAMPLES}/plink/study.bim", "--gene_snp",
                            f"{EXAMPLES}/gene_snp.dat"], ["QQ plot", "SNP associations"]),
    ("GENE", "gene_example_sqrtmean_nor", [], ["QQ plot", "Top genes"]),
    ("GO", "go_example_default", ["--go_edges", f"{EXAMPLES}/go_edges.dat"],
     ["QQ plot", "Top sets", "Top GO terms in the graph"]),
    ("KEGG", "kegg_example_maxz", [], ["QQ plot", "Top sets"]),
]


def sets_report(work):
    """A SETS report from the KEGG example result renamed, its sets linked from a GMT and
    named with markup, dollars and backslashes: (csv, more arguments, figures expected)."""
    with open(f"{EXPECTED}/kegg_example_maxz/output.csv", encoding="utf-8") as f:
        result = re.sub(r"SETID, (\d+)", r"SETID, P\1", f.read().replace("KEGGID", "SETID"))
    paths = {name: os.path.join(work, name) for name in ("sets.csv", "sets.gmt", "names.tsv")}
    with open(paths["sets.csv"], "w", encoding="utf-8") as f:
        f.write(result)
    sets = sorted(set(re.findall(r"SETID, (P\d+)", result)))
    with open(paths["sets.gmt"], "w", encoding="utf-8") as f:
        f.writelines(f"{s}\thttps://example.org/{s}?a=1&b=2\tG1\tG2\n" for s in sets)
    with open(paths["names.tsv"], "w", encoding="utf-8") as f:
        f.writelines(f"{s}\t<script>alert(1)</script> $x$ \\ costs $5\n" for s in sets)
    return paths["sets.csv"], ["--gene_sets", paths["sets.gmt"], "--names",
                               paths["names.tsv"]], ["QQ plot", "Top sets"]


def check_report(chromium, report, work, name, inputs, args, figures, shots):
    """What is wrong with the report of `inputs` (the result and, where there is one, the log)
    as the browser shows it; [] when nothing."""
    out = os.path.join(work, name)
    made = subprocess.run([report, "--method", name, "--csv", *inputs, *args, "--out", out],
                          capture_output=True, text=True)
    if made.returncode != 0:
        return [f"{name}: halvorix-report failed: {made.stderr.strip()}"]
    with open(os.path.join(out, "report.html"), encoding="utf-8") as f:
        page = f.read().replace("<head>", "<head>\n" + PROBE, 1)
    with open(os.path.join(out, "probe.html"), "w", encoding="utf-8") as f:
        f.write(page)
    screenshot = os.path.join(shots or work, f"report_{name.lower()}.png")
    shown = subprocess.run(
        [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         f"--user-data-dir={work}/profile", "--enable-logging=stderr", "--v=0",
         "--hide-scrollbars", "--window-size=1200,1800", "--virtual-time-budget=5000",
         f"--screenshot={screenshot}", "--dump-dom", f"file://{out}/probe.html"],
        capture_output=True, text=True, timeout=120,
        env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:"))
    problems = [f"{name}: console: {line}" for line in shown.stderr.splitlines()
                if "CONSOLE" in line]
    probe = re.search(r'<pre id="probe">(.*?)</pre>', shown.stdout, re.S)
    if probe is None:
        return problems + [f"{name}: the page did not finish loading"]
    probe = json.loads(html.unescape(probe.group(1)))
    problems += [f"{name}: page error: {e}" for e in probe["errors"]]
    if [i["alt"] for i in probe["images"]] != figures:
        problems.append(f"{name}: figures {[i['alt'] for i in probe['images']]}, not {figures}")
    problems += [f"{name}: figure '{i['alt']}' is empty" for i in probe["images"]
                 if i["size"] < 100]
    # Blank: (almost) every pixel has the colour of the first.
    pixels = matplotlib.image.imread(screenshot)[:, :, :3] if os.path.exists(screenshot) else None
    if pixels is None or (abs(pixels - pixels[0, 0]).sum(axis=2) > 0.1).mean() < 0.01:
        problems.append(f"{name}: the screenshot is blank")
    return problems


def main():
    report = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    chromium = shutil.which("chromium")
    if chromium is None:
        print("chromium is not installed: skipped (scripts/install-deps.sh installs it)")
        return 77
    with tempfile.TemporaryDirectory() as work:
        reports = [(name, [f"{EXPECTED}/{case}/output.csv", "--log", f"{EXPECTED}/{case}/stdout"],
                    args, figures) for name, case, args, figures in REPORTS]
        csv_path, args, figures = sets_report(work)
        reports.append(("SETS", [csv_path], args, figures))
        problems = [p for report_case in reports
                    for p in check_report(chromium, report, work, *report_case, shots)]
    print("\n".join(problems) or f"{len(reports)} reports shown without a fault")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
