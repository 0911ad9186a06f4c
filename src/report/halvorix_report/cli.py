"""Command line of halvorix-report: read everything, then write the report into a staging folder
that takes the place of --out only when it is complete.

--out is either new, empty, or a folder that an earlier report made (it holds the marker file);
such a folder is replaced whole. Any other folder with something in it is refused: the report
never deletes files it did not make.
"""
import argparse
import os
import shutil
import sys
import tempfile
import warnings

from . import inputs, page, results, tables
from .errors import ReportError, one_line

DEFAULT_DISTANCE = 50000  # halvorix's --dist when the log does not say
TOP_TERMS = 10  # GO terms of the best sets drawn in the graph
MARKER = ".halvorix-report"  # in every report folder: it may be replaced whole
# What reports of earlier versions (before the marker) wrote: a folder of these alone is one.
REPORT_FILES = {"report.html", "snps.tsv", "genes.tsv", "sets.tsv"} | {
    f"{stem}.{kind}" for stem in ("qq", "manhattan", "top_genes", "top_sets", "go_graph")
    for kind in ("png", "svg")}
ANNOTATION_OPTION = {"GO": "go_gene", "KEGG": "kegg_gene", "SETS": "gene_sets"}


class Parser(argparse.ArgumentParser):
    """argparse that fails like the rest of the program: one line, exit status 1."""

    def error(self, message):
        raise ReportError(message)


def make_parser(version):
    parser = Parser(
        prog="halvorix-report",
        description="Figures, tidy tables and a self-contained HTML page from a finished "
        "halvorix run.")
    parser.add_argument("--version", action="version",
                        version=f"halvorix-report (version {version})")
    parser.add_argument("--method", required=True,
                        help="SNP, GENE, GO, KEGG or SETS (as the run)")
    parser.add_argument("--csv", required=True, metavar="FILE", help="the CSV halvorix wrote")
    parser.add_argument("--log", metavar="FILE", help="halvorix's console output of the run")
    parser.add_argument("--gene_snp", metavar="FILE",
                        help="gene-SNP map (SNP and GENE; gene-ID coverage of GO, KEGG, SETS)")
    parser.add_argument("--go_edges", metavar="FILE", help="GO edges file (GO)")
    parser.add_argument("--go_gene", metavar="FILE", help="GO-gene file of the run (GO)")
    parser.add_argument("--kegg_gene", metavar="FILE", help="KEGG gene file of the run (KEGG)")
    parser.add_argument("--gene_sets", "--gene-sets", metavar="FILE",
                        help="GMT file of the run: set descriptions, links and genes (SETS)")
    parser.add_argument("--names", metavar="FILE", action="append",
                        help="set names, 'ID<tab>name' a line (GO, KEGG, SETS; repeatable, "
                        "a later file wins)")
    parser.add_argument("--bim", metavar="FILE", help="PLINK .bim with SNP positions (SNP)")
    parser.add_argument("--out", required=True, metavar="FOLDER",
                        help="report folder: new, empty, or an earlier report (replaced)")
    return parser


def check_applies(args, method):
    allowed = {"bim": ("SNP",), "go_edges": ("GO",),
               **{option: (m,) for m, option in ANNOTATION_OPTION.items()},
               "names": results.SET_METHODS}
    for name, methods in allowed.items():
        if getattr(args, name) is not None and method not in methods:
            raise ReportError(f"--{name} is used with --method {' or '.join(methods)} only, "
                              f"not {method}")


def check_names(names, result, path):
    if not any(names.get(i) for ids in result.texts("set_ids") for i in ids.split(",")):
        raise ReportError(f"{path}: names none of the sets of {result.path}")


def load_annotations(args, result, log):
    """The optional inputs named on the command line, checked against the result."""
    annotations = {}
    if args.bim:
        positions = inputs.load_bim(args.bim)
        if not any(snp in positions for snp in result.texts("snp")):
            raise ReportError(f"{args.bim}: none of the SNPs of {args.csv} is in it")
        annotations["positions"] = positions
    if args.gene_snp:
        logged = log.get("options", {}).get("dist", str(DEFAULT_DISTANCE))
        distance = inputs.leading_integer(logged)
        snps_of_gene, genes_of_snp = inputs.load_gene_snp(args.gene_snp, distance)
        annotations["snps_of_gene"] = snps_of_gene
        annotations["genes_of_snp"] = genes_of_snp
    if args.go_edges:
        parents, namespace = inputs.load_go_edges(args.go_edges)
        top = [t for ids in result.texts("set_ids")[:TOP_TERMS] for t in ids.split(",")]
        if not any(term in parents for term in top):
            raise ReportError(f"{args.go_edges}: none of the top GO terms of {args.csv} is in it")
        annotations["parents"] = parents
        annotations["namespace"] = namespace
    names, annotated = {}, None
    if args.gene_sets:
        descriptions, annotated = inputs.load_gmt(args.gene_sets)
        if not any(i in descriptions for ids in result.texts("set_ids") for i in ids.split(",")):
            raise ReportError(f"{args.gene_sets}: holds none of the sets of {args.csv}")
        annotations["descriptions"] = descriptions
        # A description that is not a web address is the best name the file gives.
        names = {i: d for i, d in descriptions.items() if d and not page.is_web_address(d)}
    for path in args.names or []:
        from_file = inputs.load_names([path], result.method)
        check_names(from_file, result, path)
        names.update(from_file)
    if names:
        annotations["names"] = names
    if result.method in results.SET_METHODS:
        option = ANNOTATION_OPTION[result.method]
        annotation = getattr(args, option)
        if annotation and annotated is None:
            annotated = inputs.load_annotated_genes(annotation, result.method)
        if annotation and args.gene_snp:
            found = sum(1 for g in annotated if g in annotations["snps_of_gene"])
            annotations["coverage"] = (found, len(annotated), annotation, args.gene_snp)
        else:
            annotations["coverage"] = f"not known (give --gene_snp and --{option})"
    return annotations


def draw(result, log, annotations, folder):
    # matplotlib takes a second to load: only once the inputs are known to be good.
    from . import figures, go_graph

    nsim = log.get("nsim")
    names = annotations.get("names")
    drawn = [figures.qq_plot(result, folder)]
    if result.method == "SNP":
        drawn.append(figures.manhattan_plot(result, folder, annotations.get("positions")))
    else:
        drawn.append(figures.top_bars(result, folder, nsim, names))
    if "parents" in annotations:
        drawn.append(go_graph.go_graph_plot(result, annotations["parents"],
                                            annotations["namespace"], folder, names))
    return [f for f in drawn if f is not None]


def existing_folder(out, shown):
    """'new', 'empty' or 'report' (made by this program: replaced whole); anything else is
    refused before any work is done."""
    if not os.path.lexists(out):
        return "new"
    if not os.path.isdir(out):
        raise ReportError(f"{shown}: exists and is not a folder")
    try:
        entries = set(os.listdir(out))
    except OSError as e:
        raise ReportError(f"{shown}: cannot be read ({e.strerror or e})") from None
    if not entries:
        return "empty"
    if MARKER in entries:
        return "report"
    legacy = "report.html" in entries and entries <= REPORT_FILES and all(
        os.path.isfile(os.path.join(out, e)) and not os.path.islink(os.path.join(out, e))
        for e in entries)
    if legacy:
        return "report"
    raise ReportError(f"{shown}: a folder that holds other files than a report; give a new "
                      "or empty folder (a report folder is replaced whole)")


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    else:
        os.unlink(path)


def publish(staging, out, state):
    """Puts the finished report in `out`. A new folder is the staging folder renamed; an
    existing one is emptied (report.html first, so that a folder with it always holds a whole
    report) and filled, report.html last. The folder itself stays (it may be the current one)."""
    if state == "new":
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(staging, 0o777 & ~umask)  # a temporary folder is private; the report is not
        os.rename(staging, out)
        return
    staged = os.path.basename(staging)
    old = sorted(os.listdir(out), key=lambda name: name != "report.html")
    for name in old:
        if name not in (staged, MARKER):  # the marker stays: a half-made folder is still ours
            remove(os.path.join(out, name))
    for name in sorted(os.listdir(staging), key=lambda name: name == "report.html"):
        os.replace(os.path.join(staging, name), os.path.join(out, name))
    os.rmdir(staging)


def run(argv, version):
    args = make_parser(version).parse_args(argv)
    method = args.method.upper()
    if method not in results.METHODS:
        raise ReportError(f"--method must be SNP, GENE, GO, KEGG or SETS, not "
                          f"'{args.method[:20]}'")
    check_applies(args, method)
    out = os.path.abspath(args.out)
    state = existing_folder(out, args.out)
    result = results.load_result(args.csv, method)
    log = inputs.load_log(args.log, method) if args.log else {}
    annotations = load_annotations(args, result, log)

    try:
        if state == "new":
            os.makedirs(os.path.dirname(out), exist_ok=True)
        staging = tempfile.mkdtemp(prefix=".halvorix-report-",
                                   dir=os.path.dirname(out) if state == "new" else out)
    except OSError as e:
        raise ReportError(f"{args.out}: cannot be made ({e.strerror or e})") from None
    try:
        with open(os.path.join(staging, MARKER), "w", encoding="utf-8") as f:
            f.write(f"made by halvorix-report (version {version}); the folder is replaced "
                    "whole by the next report written into it\n")
        table_name = tables.write_tidy_table(result, annotations, staging)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # e.g. a glyph the font lacks: drawn as a box
            drawn = draw(result, log, annotations, staging)
        page.write_page(staging, result, log, drawn, table_name, annotations, version)
        publish(staging, out, state)
    except OSError as e:
        raise ReportError(f"{args.out}: cannot write the report ({e.strerror or e})") from None
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    print(f"halvorix-report: {args.out}/report.html, {table_name} and "
          f"{len(drawn)} figures (PNG and SVG)")
    coverage = annotations.get("coverage")
    if page.coverage_is_low(coverage):
        print(f"halvorix-report: warning: {page.coverage_text(coverage)}")
    return 0


def main(argv, version):
    """Runs the report; whatever goes wrong ends in one line on standard error and status 1."""
    try:
        return run(argv, version)
    except ReportError as e:
        message = str(e)
    except MemoryError:
        message = "out of memory"
    except KeyboardInterrupt:
        message = "interrupted"
    except RecursionError:
        message = "input nested too deeply to report"
    except Exception as e:  # noqa: BLE001 -- a fault of the report itself, still one line
        message = f"unexpected {type(e).__name__}: {e} (a fault of halvorix-report: please " \
                  "report it with the command line)"
    print(f"halvorix-report: error: {one_line(message)}", file=sys.stderr)
    return 1
