"""halvorix-report: tidy tables against the results they come from, the inflation factor on
inputs with a known answer, one line and no report on each kind of bad input; set names in the
figures, tables and page; text that matplotlib must draw literally; GO graphs of any depth;
the output folder policy; any fault ending in the one error line.

    report_test.py BUILD/halvorix-report
"""
import contextlib
import csv
import glob
import gzip
import html
import io
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from unittest import mock

REPORT = os.path.abspath(sys.argv.pop(1))
EXPECTED = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "e2e", "expected")
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                        "examples")
GENE_CSV = os.path.join(EXPECTED, "gene_example_sqrtmean_nor", "output.csv")
KEGG_CSV = os.path.join(EXPECTED, "kegg_example_maxz", "output.csv")
GO_CSV = os.path.join(EXPECTED, "go_example_default", "output.csv")
sys.path.insert(0, os.path.dirname(REPORT))
import matplotlib.image  # noqa: E402
from halvorix_report import cli, figures, go_graph, inputs, results, stats, tables  # noqa: E402

METHOD_OF_FIRST_FIELD = {"snp": "SNP", "geneID": "GENE", "GOID": "GO", "KEGGID": "KEGG",
                         "SETID": "SETS"}
SET_LABEL = {"GO": "GOID", "KEGG": "KEGGID", "SETS": "SETID"}
SPELLING = {"nan": "NaN", "-nan": "NaN", "inf": "Inf", "-inf": "-Inf"}  # for R and pandas


def csv_fields(path):
    return [[SPELLING.get(x.strip(), x.strip()) for x in line.split(",")]
            for line in read(path).splitlines()[1:] if line.strip()]


def set_lines_of(rows, method):
    """The lines halvorix writes for tidy set rows: the inverse of the tidy table."""
    label, lines = SET_LABEL[method], []
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


def run_report(*args, **kwargs):
    return subprocess.run([REPORT, *args], capture_output=True, text=True, **kwargs)


def sets_csv_text():
    """The example KEGG result as a SETS result: pathway 00080 becomes the set P00080."""
    return re.sub(r"SETID, (\d+)", r"SETID, P\1", read(KEGG_CSV).replace("KEGGID", "SETID"))


def sets_gmt_text():
    """The example KEGG file as a GMT: odd sets link to a web page, even ones describe
    themselves in words."""
    genes = {}
    for line in read(os.path.join(EXAMPLES, "kegg_gene.dat")).splitlines():
        if not line.startswith("#"):
            gene, pathway = line.split()
            genes.setdefault("P" + pathway[len("path:hsa"):], []).append(gene[len("hsa:"):])
    return "".join(
        "\t".join([name, f"https://example.org/{name}?a=1&b=2" if i % 2 else f"words {name}"]
                  + members) + "\n" for i, (name, members) in enumerate(genes.items()))


def svg_texts(path):
    """The texts of an SVG drawn with svg.fonttype 'none', each whole."""
    return [html.unescape(t) for t in re.findall(r"<text[^>]*>([^<]*)</text>", read(path))]


class TidyTables(unittest.TestCase):
    def test_every_result_is_carried_over_whole_in_order_and_spelled_for_r_and_pandas(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = [p for p in sorted(glob.glob(os.path.join(EXPECTED, "*", "output.csv")))
                     if read(os.path.join(os.path.dirname(p), "rc")) == "0\n"]
            paths.append(write(tmp, "odd.csv", "   geneID, num_snps,   score,   mean,     sd, "
                               "zscore, pval\nG1, 1, inf, 0.5, 0, -nan, 1\nG2, 2, -inf, 0.5, 0,"
                               " nan, 1\n"))
            paths.append(write(tmp, "sets.csv", sets_csv_text()))
            methods = [METHOD_OF_FIRST_FIELD[read(p).split(",")[0].strip()] for p in paths]
            self.assertEqual(set(methods), {"SNP", "GENE", "GO", "KEGG", "SETS"})
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

    def test_bad_bytes_and_bad_names_stop_with_one_line(self):
        sets_csv = write(self.dir, "sets.csv", sets_csv_text())
        with gzip.open(os.path.join(self.dir, "cut.csv.gz"), "wb") as f:
            f.write(read(GENE_CSV).encode())
        with open(os.path.join(self.dir, "cut.csv.gz"), "rb+") as f:
            f.truncate(100)
        with open(os.path.join(self.dir, "latin1.csv"), "wb") as f:
            f.write(read(GENE_CSV).replace("G1,", "G\xe9,", 1).encode("latin-1"))
        cases = [
            (["GENE", write(self.dir, "nul.csv", read(GENE_CSV).replace("G1", "G\0", 1))],
             r".*nul.csv line \d+: a NUL byte \(not a text file\)$"),
            (["GENE", "/dev/zero"], r"/dev/zero line 1: a NUL byte"),
            (["GENE", write(self.dir, "cr.csv", read(GENE_CSV).replace("G1,", "G\r1,", 1))],
             r".*cr.csv line \d+: a control character \(not a halvorix result\)$"),
            (["GENE", write(self.dir, "tab.csv", read(GENE_CSV).replace("G1,", "G\t1,", 1))],
             r".*tab.csv line \d+: a control character \(not a halvorix result\)$"),
            (["GENE", os.path.join(self.dir, "cut.csv.gz")],
             r".*cut.csv.gz: damaged compressed data after line \d+"),
            (["GENE", os.path.join(self.dir, "latin1.csv")], r".*latin1.csv line \d+: not UTF-8"),
            (["GENE", write(self.dir, "long.csv", "geneID," + "x" * (1 << 20))],
             r".*long.csv line 1: longer than 1048576 bytes"),
            (["GENE", write(self.dir, "big.csv", read(GENE_CSV).replace("0.909", "z" * 10**5))],
             r".*big.csv line 2: 'z{40}\.\.\.' is not a number$"),
            (["SETS", sets_csv, "--names", write(self.dir, "n1.tsv", "P00080 no tab\n")],
             r".*n1.tsv line 1: expected an ID, a tab and a name$"),
            (["SETS", sets_csv, "--names", write(self.dir, "n2.tsv", "GO:1\tother\n")],
             r".*n2.tsv: names none of the sets of .*sets.csv$"),
            (["SETS", sets_csv, "--gene_sets", write(self.dir, "g.gmt", "\tdesc\tG1\n")],
             r".*g.gmt line 1: a set without a name$"),
            # Sets without genes: the gene-ID coverage would be a share of none.
            (["SETS", sets_csv, "--gene_sets", write(self.dir, "d.gmt", "P00080\tdesc only\n"
                                                     "P00010\thttps://example.org/x\n"),
              "--gene_snp", os.path.join(EXAMPLES, "gene_snp.dat")], r".*d.gmt: no genes$"),
            (["KEGG", KEGG_CSV, "--gene_sets", "x.gmt"], "--gene_sets is used with --method "
             "SETS only, not KEGG$"),
            (["GENE", GENE_CSV, "--names", "x"], "--names is used with --method GO or KEGG or "
             "SETS only, not GENE$"),
        ]
        for args, message in cases:
            with self.subTest(args=args[:2]):
                self.assert_fails(["--method", args[0], "--csv", *args[1:]], message)


class Names(unittest.TestCase):
    """Names reach the bar labels, GO nodes, sets.tsv and the page; matplotlib draws them as
    they are written, and the page shows markup as text."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.dir = self.tmp.name

    def test_sets_run_links_described_sets_names_the_others_and_escapes_markup(self):
        csv_path = write(self.dir, "sets.csv", sets_csv_text())
        gmt = write(self.dir, "sets.gmt", sets_gmt_text())
        names = write(self.dir, "names.tsv", "# original names\nP00080\tcell <b>death</b> & "
                      "\"kin\"\n")
        out = os.path.join(self.dir, "report")
        done = run_report("--method", "SETS", "--csv", csv_path, "--gene-sets", gmt,
                          "--names", names, "--out", out)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        rows = list(csv.DictReader(io.StringIO(read(os.path.join(out, "sets.tsv"))),
                                   delimiter="\t"))
        by_id = {r["set_ids"]: r for r in rows}
        self.assertEqual(by_id["P00080"]["name"], 'cell <b>death</b> & "kin"')  # names file
        self.assertEqual(by_id["P00080"]["description"], "https://example.org/P00080?a=1&b=2")
        self.assertEqual(by_id["P00010"]["name"], "words P00010")  # GMT's own description
        self.assertEqual(by_id["P00020"]["name"], "NA")
        page = read(os.path.join(out, "report.html"))
        self.assertIn('<a href="https://example.org/P00080?a=1&amp;b=2">P00080</a></td><td>'
                      "cell &lt;b&gt;death&lt;/b&gt; &amp; &quot;kin&quot;</td>", page)
        self.assertIn("<td>P00010</td><td>words P00010</td>", page)
        self.assertNotIn("<b>death", page)
        self.assertIn("<th>gene-ID coverage</th><td>not known (give --gene_snp and "
                      "--gene_sets)</td>", page)

    def test_kegg_names_match_in_every_spelling_and_a_later_file_wins(self):
        first = write(self.dir, "a.tsv", "path:hsa00080\tfirst\n00010\tglycolysis\n")
        second = write(self.dir, "b.tsv", "hsa00080\tsecond\n")
        out = os.path.join(self.dir, "report")
        done = run_report("--method", "KEGG", "--csv", KEGG_CSV, "--names", first, "--names",
                          second, "--out", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        table = read(os.path.join(out, "sets.tsv")).splitlines()
        self.assertEqual([line.split("\t")[-1] for line in table[:4]],
                         ["name", "second", "glycolysis", "NA"])

    def test_figures_draw_names_literally_shortened_and_go_nodes_carry_them(self):
        tricky = {"P00080": r"costs $5 and $6 \alpha C:\ end", "P00010": r"$\undefinedcommand{$",
                  "P00120": "y" * 100000}
        result = results.load_result(write(self.dir, "sets.csv", sets_csv_text()), "SETS")
        go = results.load_result(GO_CSV, "GO")
        parents = {"GO:0000048": [], "GO:0000211": ["GO:0000048"]}
        with mock.patch.dict(matplotlib.rcParams, {"svg.fonttype": "none"}):
            figures.top_bars(result, self.dir, 100, tricky)
            go_graph.go_graph_plot(go, parents, {"GO:0000048": "biological_process"}, self.dir,
                                   {"GO:0000211": "a $b$ term whose name is long enough to "
                                    "wrap onto two lines and then some more"})
        bars = svg_texts(os.path.join(self.dir, "top_sets.svg"))
        self.assertIn(r"P00080 costs $5 and $6 \alpha C:\ end (5 genes)", bars)
        self.assertIn(r"P00010 $\undefinedcommand{$ (2 genes)", bars)
        long = [t for t in bars if t.startswith("P00120 ")]
        self.assertEqual(long, ["P00120 " + "y" * 41 + "… (2 genes)"])
        nodes = svg_texts(os.path.join(self.dir, "go_graph.svg"))
        self.assertIn("GO:0000211", nodes)
        self.assertIn("a $b$ term whose name", nodes)
        self.assertIn("is long enough to…", nodes)

    def test_gene_id_coverage_counts_annotated_genes_in_the_map_and_warns_below_half(self):
        # In the map within 50,000 bp: G1 and G2; G3 only beyond it. Annotated: G1, G3, g2, G4.
        gene_snp = write(self.dir, "gene_snp.dat", "G1 rs1 0\nG2 rs2 -50000\nG3 rs3 50001\n")
        gmt = write(self.dir, "sets.gmt", "P00080\tx\tG1\tG3\nP00010\ty\tg2\tG4\tG1\n")
        out = os.path.join(self.dir, "report")
        done = run_report("--method", "SETS", "--csv", write(self.dir, "s.csv", sets_csv_text()),
                          "--gene_sets", gmt, "--gene_snp", gene_snp, "--out", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        stated = ("1 of 4 genes of sets.gmt are in gene_snp.dat (25 %): fewer than half. Do the "
                  "annotation and the gene map name genes the same way (gene symbols against "
                  "Entrez IDs)?")
        self.assertIn(f"<th>gene-ID coverage</th><td>{html.escape(stated)}</td>",
                      read(os.path.join(out, "report.html")))
        self.assertEqual(done.stdout.splitlines()[1], f"halvorix-report: warning: {stated}")
        kegg = run_report("--method", "KEGG", "--csv", KEGG_CSV, "--kegg_gene",
                          os.path.join(EXAMPLES, "kegg_gene.dat"), "--gene_snp",
                          os.path.join(EXAMPLES, "gene_snp.dat"), "--out", out)
        self.assertEqual(kegg.stdout.count("\n"), 1)  # no warning
        # Counted apart with awk: 41 genes in the KEGG file, 40 of them within 50,000 bp.
        self.assertIn("<td>40 of 41 genes of kegg_gene.dat are in gene_snp.dat (98 %)</td>",
                      read(os.path.join(out, "report.html")))


class GoGraph(unittest.TestCase):
    """Chains far deeper than a drawing can show: bounded time, bounded image, no recursion."""

    def assert_bounded_drawing(self, tmp, edges_text, terms):
        edges = write(tmp, "edges.dat", edges_text)
        result = write(tmp, "sets.csv", "GOID, variable, value\n" + "".join(
            f"{r}, num_genes, 1\n{r}, score, 1\n{r}, mean, 0\n{r}, sd, 1\n"
            f"{r}, zscore, 1\n{r}, pval, 0.5\n{r}, geneID, G1\n{r}, GOID, {term}\n"
            for r, term in enumerate(terms, 1)))
        out = os.path.join(tempfile.mkdtemp(dir=tmp), "report")
        started = time.monotonic()
        done = run_report("--method", "GO", "--csv", result, "--go_edges", edges, "--out", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertLess(time.monotonic() - started, 60)
        image = matplotlib.image.imread(os.path.join(out, "go_graph.png"))
        height, width = image.shape[:2]
        self.assertLessEqual(height, 150 * (1.2 + 0.9 * go_graph.MAX_ROWS) + 1)
        self.assertLessEqual(width, 150 * 1.25 * go_graph.MAX_ROW_WIDTH + 1)
        self.assertIn("ancestors not drawn", read(os.path.join(out, "report.html")))

    def test_deep_chains_and_cycles_give_a_bounded_drawing(self):
        with tempfile.TemporaryDirectory() as tmp:
            for length in (3000, 300000):
                with self.subTest(length=length):
                    self.assert_bounded_drawing(tmp, "".join(
                        f"biological_process GO:{i} is_a GO:{i + 1}\n" for i in range(length))
                        + "biological_process GO:7 is_a GO:3\n",  # a cycle too
                        ["GO:0", "GO:1"])

    def test_too_wide_or_too_many_layers_at_the_most_steps_draws_fewer_steps(self):
        # From 2 steps up a layer of 20 grandparents; or, at 8 steps, top terms 5 apart on a
        # chain make 14 layers.
        wide = "biological_process GO:0 is_a GO:1\n" + "".join(
            f"biological_process GO:1 is_a GO:{i}\n" for i in range(2, 22))
        tall = "".join(f"biological_process GO:{i} is_a GO:{i + 1}\n" for i in range(100))
        with tempfile.TemporaryDirectory() as tmp:
            for name, edges_text, terms, fitting_rows in (("wide", wide, ["GO:0"], 2),
                                                          ("tall", tall, ["GO:0", "GO:5"], 12)):
                with self.subTest(name):
                    parents, _ = inputs.load_go_edges(write(tmp, "edges.dat", edges_text))
                    *_, widths = go_graph.bounded_layout(terms, parents)
                    self.assertEqual(len(widths), fitting_rows)  # the most steps that fit
                    self.assert_bounded_drawing(tmp, edges_text, terms)


class OutputFolder(unittest.TestCase):
    """A report folder is replaced whole; anything else that holds files is left alone."""

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.dir, self.out = self.tmp.name, os.path.join(self.tmp.name, "report")
        # Median of the used statistics: twice the null median; the unused ones would move it.
        rows = [(s, 1) for s in (0.1, 0.2, 2 * stats.CHISQ1_MEDIAN, 3.0, 4.0)] + [(50.0, 0)] * 2
        self.snp_csv = write(self.dir, "snp.csv", "snp, row_num, used, x-stat, rank, pval\n"
                             + "".join(f"rs{i}, {i}, {u}, {stat:.6e}, {i}.00, 1.0\n"
                                       for i, (stat, u) in enumerate(rows, 1)))

    def report(self, method, csv_path, out=None, **kwargs):
        return run_report("--method", method, "--csv", csv_path, "--out", out or self.out,
                          **kwargs)

    def test_an_earlier_report_is_replaced_whole_and_survives_a_failed_one(self):
        self.assertEqual(self.report("GENE", GENE_CSV).returncode, 0)
        write(self.out, "notes.txt", "inside a report folder")
        done = self.report("SNP", self.snp_csv)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), [cli.MARKER, "manhattan.png",
                                                        "manhattan.svg", "qq.png", "qq.svg",
                                                        "report.html", "snps.tsv"])
        page = read(os.path.join(self.out, "report.html"))
        for stated in ("<h1>Halvorix SNP report</h1>", "5 SNP statistics", "= 2.000."):
            self.assertIn(stated, page)

        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (20000, 20000))
        failed = self.report("GENE", GENE_CSV, preexec_fn=small_files)
        self.assertEqual((failed.returncode, failed.stderr.count("\n")), (1, 1))
        self.assertRegex(failed.stderr, r"report: cannot write the report \(File too large\)$")
        self.assertEqual(read(os.path.join(self.out, "report.html")), page)
        self.assertEqual(len(os.listdir(self.out)), 7)

    def test_a_folder_of_other_files_is_refused_and_an_old_or_empty_one_is_used(self):
        os.makedirs(self.out)
        os.makedirs(os.path.join(self.out, "report.html"))
        mine = write(self.dir, "mine.txt", "mine")
        cases = [(self.out, [os.path.join(self.dir, "report", "report.html")]),
                 (".", [mine])]
        for out, kept in cases:
            with self.subTest(out=out):
                done = self.report("GENE", GENE_CSV, out=out, cwd=self.dir)
                self.assertEqual((done.returncode, done.stdout), (1, ""))
                self.assertRegex(done.stderr, r"^halvorix-report: error: .*: a folder that "
                                 "holds other files than a report; give a new or empty folder")
                self.assertTrue(all(os.path.exists(k) for k in kept))
        os.rmdir(os.path.join(self.out, "report.html"))
        self.assertEqual(self.report("GENE", GENE_CSV).returncode, 0)  # empty: used
        os.remove(os.path.join(self.out, cli.MARKER))  # as earlier versions left it
        self.assertEqual(self.report("SNP", self.snp_csv).returncode, 0)
        self.assertNotIn("genes.tsv", os.listdir(self.out))


class Faults(unittest.TestCase):
    """A fault of the report itself or an interruption is one error line, status 1."""

    def test_any_exception_becomes_one_line(self):
        with tempfile.TemporaryDirectory() as tmp:
            for raised, message in [(TypeError("bad\noperand"), "unexpected TypeError: bad "
                                     r"operand \(a fault of halvorix-report: please report it"),
                                    (MemoryError(), "out of memory$"),
                                    (KeyboardInterrupt(), "interrupted$"),
                                    (RecursionError("deep"), "input nested too deeply")]:
                err = io.StringIO()
                with self.subTest(raised=type(raised).__name__), \
                        mock.patch.object(tables, "write_tidy_table", side_effect=raised), \
                        contextlib.redirect_stderr(err):
                    status = cli.main(["--method", "GENE", "--csv", GENE_CSV, "--out",
                                       os.path.join(tmp, "r")], "test")
                self.assertEqual((status, err.getvalue().count("\n")), (1, 1))
                self.assertRegex(err.getvalue().rstrip("\n"), "^halvorix-report: error: "
                                 + message)
                self.assertEqual(os.listdir(tmp), [])


if __name__ == "__main__":
    unittest.main()
