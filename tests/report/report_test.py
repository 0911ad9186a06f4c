"""halvorix-report: tidy tables against the golden results they come from, the inflation factor
on an input with a known answer, and the one-line failure on each kind of bad input.

    report_test.py BUILD/halvorix-report
"""
import csv
import os
import re
import subprocess
import sys
import tempfile
import unittest

REPORT = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXPECTED = os.path.join(TESTS, "e2e", "expected")
if REPORT:
    sys.path.insert(0, os.path.dirname(REPORT))
from halvorix_report import results, stats, tables  # noqa: E402


def golden_results():
    """(case, method, csv path) of every golden case that wrote a result."""
    found = []
    with open(os.path.join(TESTS, "e2e", "cases.tsv")) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            name, _, args = line.rstrip("\n").split("\t")
            if "--parfile" in args:  # method in the parameter file; the same results again
                continue
            path = os.path.join(EXPECTED, name, "output.csv")
            if os.path.exists(path) and open(os.path.join(EXPECTED, name, "rc")).read() == "0\n":
                method = re.search(r"--method (\S+)", args)
                found.append((name, method.group(1).upper() if method else "GO", path))
    return found


SPELLING = {"nan": "NaN", "-nan": "NaN", "inf": "Inf", "-inf": "-Inf"}  # for R and pandas


def csv_fields(path):
    with open(path) as f:
        return [[SPELLING.get(x.strip(), x.strip()) for x in line.split(",")]
                for line in f.readlines()[1:] if line.strip()]


def set_lines_of(rows, method):
    """The lines halvorix writes for tidy set rows: the inverse of the tidy table."""
    label = "GOID" if method == "GO" else "KEGGID"
    lines = []
    for rank, ids, *numbers, genes in rows:
        for name, value in zip(results.SET_STATS, numbers):
            lines.append([rank, name, value])
        lines += [[rank, "geneID", g] for g in genes.split(",") if g]
        lines += [[rank, label, i[3:] if method == "KEGG" else i] for i in ids.split(",")]
    return lines


def run_report(*args):
    return subprocess.run([REPORT, *args], capture_output=True, text=True)


class TidyTables(unittest.TestCase):
    def test_every_golden_result_is_carried_over_whole_and_in_order(self):
        cases = golden_results()
        self.assertEqual({m for _, m, _ in cases}, {"SNP", "GENE", "GO", "KEGG"})
        for name, method, path in cases:
            with self.subTest(case=name):
                text = tables.tidy_text(results.load_result(path, method), {})
                rows = list(csv.reader(text.splitlines(), delimiter="\t"))
                header, body = rows[0], rows[1:]
                self.assertTrue(all(re.fullmatch(r"[a-z][a-z0-9_]*", h) for h in header))
                self.assertTrue(all(len(r) == len(header) for r in body))
                written = csv_fields(path)
                if method in ("SNP", "GENE"):
                    self.assertEqual(body, written)
                else:
                    self.assertEqual(header, ["rank", "set_ids", "num_genes", "score", "mean",
                                              "sd", "z", "p", "genes"])
                    self.assertEqual(set_lines_of(body, method), written)

    def test_not_a_number_and_infinity_are_spelled_for_r_and_pandas(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "genes.csv")
            with open(path, "w") as f:
                f.write("   geneID, num_snps,   score,   mean,     sd, zscore,       pval\n"
                        "G1, 1, inf, 0.5, 0, -nan, 1\nG2, 2, -inf, 0.5, 0, nan, 1\n")
            text = tables.tidy_text(results.load_result(path, "GENE"), {})
        self.assertEqual(text.splitlines()[1:], ["G1\t1\tInf\t0.5\t0\tNaN\t1",
                                                 "G2\t2\t-Inf\t0.5\t0\tNaN\t1"])


def snp_csv(folder, used_stats, unused_stats=()):
    path = os.path.join(folder, "snp.csv")
    with open(path, "w") as f:
        f.write("     snp, row_num,   used,   x-stat,     rank,       pval\n")
        rows = [(s, 1) for s in used_stats] + [(s, 0) for s in unused_stats]
        for i, (stat, used) in enumerate(rows, start=1):
            f.write(f"{'rs' + str(i):>8}, {i:7d}, {used:6d}, {stat:.6e}, {i:8.2f}, 1.0000000\n")
    return path


class InflationFactor(unittest.TestCase):
    def test_median_over_the_chi_square_median(self):
        self.assertEqual(stats.inflation_factor([stats.CHISQ1_MEDIAN] * 3), 1.0)
        self.assertAlmostEqual(stats.inflation_factor([1.0, 2.0, 3.0]), 2.0 / 0.4549364231, 9)
        self.assertAlmostEqual(stats.chisq1_upper_p(3.841458820694124), 0.05, 12)
        self.assertAlmostEqual(stats.chisq1_quantiles_desc(2)[1], 0.10153104426762, 9)

    def test_report_states_it_from_the_used_snps_only(self):
        with tempfile.TemporaryDirectory() as tmp:
            # Median of the used statistics: twice the null median; the unused ones would move it.
            path = snp_csv(tmp, [0.1, 0.2, 2 * stats.CHISQ1_MEDIAN, 3.0, 4.0], [50.0, 60.0])
            done = run_report("--method", "SNP", "--csv", path, "--out", os.path.join(tmp, "r"))
            self.assertEqual(done.returncode, 0, done.stderr)
            with open(os.path.join(tmp, "r", "report.html"), encoding="utf-8") as f:
                page = f.read()
        self.assertIn("= 2.000.", page)
        self.assertIn("5 SNP statistics", page)


class BadInput(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.out = os.path.join(self.dir, "report")
        self.gene_csv = os.path.join(EXPECTED, "gene_example_sqrtmean_nor", "output.csv")
        self.go_csv = os.path.join(EXPECTED, "go_example_default", "output.csv")

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def assert_fails(self, args, message):
        done = run_report(*args, "--out", self.out)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(done.stdout, "")
        self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
        self.assertRegex(done.stderr, "^halvorix-report: error: " + message)
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".")], [])

    def test_each_bad_input_stops_with_one_line_and_no_report(self):
        other = self.write("other.csv", "a,b,c\n1,2,3\n")
        bad_number = self.write("bad.csv", open(self.gene_csv).read().replace("0.909", "zero", 1))
        lines = open(self.go_csv).readlines()
        cut = self.write("cut.csv", "".join(lines[:11]))  # first set without its GO term
        snp_log = os.path.join(EXPECTED, "snp_example", "stdout")
        cases = [
            (["--method", "GENE", "--csv", other], re.escape(other) + " line 1: not a halvorix"),
            (["--method", "GO", "--csv", self.gene_csv], r".* line 1: a GENE result, not GO$"),
            (["--method", "GENE", "--csv", bad_number], r".*bad.csv line 2: 'zero' is not a"),
            (["--method", "GO", "--csv", cut], r".*cut.csv line 11: set 1 has no GOID$"),
            (["--method", "GENE", "--csv", self.gene_csv, "--log", "absent.txt"],
             "absent.txt: no such file$"),
            (["--method", "GENE", "--csv", self.gene_csv, "--log", snp_log],
             r".*stdout line \d+: the log of a SNP run, not GENE$"),
            (["--method", "GENE", "--csv", self.gene_csv, "--bim", "x.bim"],
             "--bim is used with --method SNP only, not GENE$"),
            (["--method", "SNP", "--csv", os.path.join(EXPECTED, "snp_example", "output.csv"),
              "--bim", self.write("x.bim", "1 other 0 5 A G\n")],
             r".*x.bim: none of the SNPs of .* is in it$"),
            (["--method", "GO", "--csv", self.go_csv,
              "--go_edges", self.write("edges.dat", "biological_process GO:1 is_a\n")],
             r".*edges.dat line 1: 3 fields, expected namespace"),
            (["--csv", self.gene_csv], "the following arguments are required: --method$"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assert_fails(args, message)
                self.assertFalse(os.path.exists(self.out))

    def test_a_report_replaces_its_own_files_only_when_it_succeeds(self):
        os.makedirs(self.out)
        mine = self.write("report/notes.txt", "mine")
        old = self.write("report/report.html", "earlier report")
        self.assert_fails(["--method", "GO", "--csv", self.gene_csv], ".*a GENE result")
        self.assertEqual(open(old).read(), "earlier report")
        done = run_report("--method", "GENE", "--csv", self.gene_csv, "--out", self.out)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(self.out)),
                         ["genes.tsv", "notes.txt", "qq.png", "qq.svg", "report.html",
                          "top_genes.png", "top_genes.svg"])
        self.assertEqual(open(mine).read(), "mine")
        self.assertIn("<h1>Halvorix GENE report</h1>", open(old).read())
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".")], [])


if __name__ == "__main__":
    if REPORT is None:
        sys.exit("usage: report_test.py BUILD/halvorix-report")
    unittest.main()
