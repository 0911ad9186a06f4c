"""halvorix-report: tidy tables against the results they come from, the inflation factor on
inputs with a known answer, one line and no report on each kind of bad input.

    report_test.py BUILD/halvorix-report
"""
import csv
import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest

REPORT = os.path.abspath(sys.argv.pop(1))
EXPECTED = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "e2e", "expected")
GENE_CSV = os.path.join(EXPECTED, "gene_example_sqrtmean_nor", "output.csv")
sys.path.insert(0, os.path.dirname(REPORT))
from halvorix_report import results, stats, tables  # noqa: E402

METHOD_OF_FIRST_FIELD = {"snp": "SNP", "geneID": "GENE", "GOID": "GO", "KEGGID": "KEGG"}
SPELLING = {"nan": "NaN", "-nan": "NaN", "inf": "Inf", "-inf": "-Inf"}  # for R and pandas


def csv_fields(path):
    return [[SPELLING.get(x.strip(), x.strip()) for x in line.split(",")]
            for line in read(path).splitlines()[1:] if line.strip()]


def set_lines_of(rows, method):
    """The lines halvorix writes for tidy set rows: the inverse of the tidy table."""
    label, lines = "GOID" if method == "GO" else "KEGGID", []
    for rank, ids, *numbers, genes in rows:
        lines += [[rank, name, value] for name, value in zip(results.SET_STATS, numbers)]
        lines += [[rank, "geneID", g] for g in genes.split(",") if g]
        lines += [[rank, label, i[3:] if method == "KEGG" else i] for i in ids.split(",")]
    return lines


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write(folder, name, text):
    with open(os.path.join(folder, name), "w") as f:
        f.write(text)
    return os.path.join(folder, name)


def run_report(*args):
    return subprocess.run([REPORT, *args], capture_output=True, text=True)


class TidyTables(unittest.TestCase):
    def test_every_result_is_carried_over_whole_in_order_and_spelled_for_r_and_pandas(self):
        with tempfile.TemporaryDirectory() as tmp:
            # halvorix-report does not read SETS results (first field SETID) yet.
            paths = [p for p in sorted(glob.glob(os.path.join(EXPECTED, "*", "output.csv")))
                     if read(os.path.join(os.path.dirname(p), "rc")) == "0\n"
                     and not read(p).startswith("SETID,")]
            paths.append(write(tmp, "odd.csv", "   geneID, num_snps,   score,   mean,     sd, "
                               "zscore, pval\nG1, 1, inf, 0.5, 0, -nan, 1\nG2, 2, -inf, 0.5, 0,"
                               " nan, 1\n"))
            methods = [METHOD_OF_FIRST_FIELD[read(p).split(",")[0].strip()] for p in paths]
            self.assertEqual(set(methods), {"SNP", "GENE", "GO", "KEGG"})
            for path, method in zip(paths, methods):
                with self.subTest(path=path):
                    text = tables.tidy_text(results.load_result(path, method), {})
                    header, *body = csv.reader(text.splitlines(), delimiter="\t")
                    self.assertTrue(all(re.fullmatch(r"[a-z][a-z0-9_]*", h) for h in header))
                    self.assertEqual({len(r) for r in body}, {len(header)})
                    if method in ("SNP", "GENE"):
                        self.assertEqual(body, csv_fields(path))
                    else:
                        self.assertEqual(header, ["rank", "set_ids", "num_genes", "score",
                                                  "mean", "sd", "z", "p", "genes"])
                        self.assertEqual(set_lines_of(body, method), csv_fields(path))

    def test_inflation_factor_is_the_median_over_the_chi_square_median(self):
        self.assertAlmostEqual(stats.inflation_factor([1.0, 2.0, 3.0]), 2.0 / 0.4549364231, 9)
        self.assertAlmostEqual(stats.chisq1_upper_p(3.841458820694124), 0.05, 12)
        self.assertAlmostEqual(stats.chisq1_quantiles_desc(2)[1], 0.10153104426762, 9)


class Report(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.dir, self.out = self.tmp.name, os.path.join(self.tmp.name, "report")

    def assert_fails(self, args, message):
        done = run_report(*args, "--out", self.out)
        self.assertEqual((done.returncode, done.stdout, done.stderr.count("\n")), (1, "", 1),
                         done.stderr)
        self.assertRegex(done.stderr, "^halvorix-report: error: " + message)
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".")], [])

    def test_each_bad_input_stops_with_one_line_and_no_report(self):
        go_csv = os.path.join(EXPECTED, "go_example_default", "output.csv")
        other = write(self.dir, "other.csv", "a,b,c\n1,2,3\n")
        bad = write(self.dir, "bad.csv", read(GENE_CSV).replace("0.909", "zero", 1))
        cut = write(self.dir, "cut.csv", "".join(read(go_csv).splitlines(True)[:11]))  # no GO term
        cases = [
            (["GENE", other], re.escape(other) + " line 1: not a halvorix"),
            (["GO", GENE_CSV], r".* line 1: a GENE result, not GO$"),
            (["GENE", bad], r".*bad.csv line 2: 'zero' is not a"),
            (["GO", cut], r".*cut.csv line 11: set 1 has no GOID$"),
            (["GENE", GENE_CSV, "--log", "absent.txt"], "absent.txt: no such file$"),
            (["GENE", GENE_CSV, "--log", os.path.join(EXPECTED, "snp_example", "stdout")],
             r".*stdout line \d+: the log of a SNP run, not GENE$"),
            (["GENE", GENE_CSV, "--bim", "x"], "--bim is used with --method SNP only, not GENE$"),
            (["SNP", os.path.join(EXPECTED, "snp_example", "output.csv"),
              "--bim", write(self.dir, "x.bim", "1 other 0 5 A G\n")],
             r".*x.bim: none of the SNPs of .* is in it$"),
            (["GO", go_csv, "--go_edges", write(self.dir, "e.dat", "biological_process GO:1 is_a")],
             r".*e.dat line 1: 3 fields, expected namespace"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assert_fails(["--method", args[0], "--csv", *args[1:]], message)
        self.assert_fails(["--csv", GENE_CSV], "the following arguments are required: --method$")
        self.assertFalse(os.path.exists(self.out))

    def test_replaces_its_own_files_only_when_it_succeeds_and_states_lambda_of_used_snps(self):
        # Median of the used statistics: twice the null median; the unused ones would move it.
        rows = [(s, 1) for s in (0.1, 0.2, 2 * stats.CHISQ1_MEDIAN, 3.0, 4.0)] + [(50.0, 0)] * 2
        snp_csv = write(self.dir, "snp.csv", "snp, row_num, used, x-stat, rank, pval\n" + "".join(
            f"rs{i}, {i}, {u}, {stat:.6e}, {i}.00, 1.0\n" for i, (stat, u) in enumerate(rows, 1)))
        os.makedirs(os.path.join(self.out, "report.html"))  # the new page cannot go in
        self.assert_fails(["--method", "SNP", "--csv", snp_csv], ".*cannot write the report")
        os.rmdir(os.path.join(self.out, "report.html"))
        mine, old = write(self.out, "notes.txt", "mine"), write(self.out, "report.html", "old")
        self.assert_fails(["--method", "GENE", "--csv", snp_csv], ".*a SNP result")
        self.assertEqual(read(old), "old")
        done = run_report("--method", "SNP", "--csv", snp_csv, "--out", self.out)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["manhattan.png", "manhattan.svg",
                                                        "notes.txt", "qq.png", "qq.svg",
                                                        "report.html", "snps.tsv"])
        self.assertEqual(read(mine), "mine")
        for stated in ("<h1>Halvorix SNP report</h1>", "5 SNP statistics", "= 2.000."):
            self.assertTrue(stated in read(old), f"{stated!r} is not on the page")


if __name__ == "__main__":
    unittest.main()
