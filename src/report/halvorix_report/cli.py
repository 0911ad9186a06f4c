"""Command line of halvorix-report: read everything, then write the report into a fresh folder
that takes the place of --out only when it is complete."""
import argparse
import os
import shutil
import sys
import tempfile

from . import inputs, page, results, tables
from .errors import ReportError

DEFAULT_DISTANCE = 50000  # halvorix's --dist when the log does not say
TOP_TERMS = 10  # GO terms of the best sets drawn in the graph


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
    parser.add_argument("--method", required=True, help="SNP, GENE, GO or KEGG (as the run)")
    parser.add_argument("--csv", required=True, metavar="FILE", help="the CSV halvorix wrote")
    parser.add_argument("--log", metavar="FILE", help="halvorix's console output of the run")
    parser.add_argument("--gene_snp", metavar="FILE", help="gene-SNP map (SNP and GENE)")
    parser.add_argument("--go_edges", metavar="FILE", help="GO edges file (GO)")
    parser.add_argument("--bim", metavar="FILE", help="PLINK .bim with SNP positions (SNP)")
    parser.add_argument("--out", required=True, metavar="FOLDER", help="report folder")
    return parser


def check_applies(args, method):
    allowed = {"bim": ("SNP",), "gene_snp": ("SNP", "GENE"), "go_edges": ("GO",)}
    for name, methods in allowed.items():
        if getattr(args, name) is not None and method not in methods:
            raise ReportError(f"--{name} is used with --method {' or '.join(methods)} only, "
                              f"not {method}")


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
    return annotations


def draw(result, log, annotations, folder):
    # matplotlib takes a second to load: only once the inputs are known to be good.
    from . import figures, go_graph

    nsim = log.get("nsim")
    drawn = [figures.qq_plot(result, folder)]
    if result.method == "SNP":
        drawn.append(figures.manhattan_plot(result, folder, annotations.get("positions")))
    else:
        drawn.append(figures.top_bars(result, folder, nsim))
    if "parents" in annotations:
        drawn.append(go_graph.go_graph_plot(result, annotations["parents"],
                                            annotations["namespace"], folder))
    return [f for f in drawn if f is not None]


def publish(staging, out):
    """Moves the finished report into `out`; report.html comes last, so a folder that has it
    holds a whole report."""
    if not os.path.exists(out):
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(staging, 0o777 & ~umask)  # a temporary folder is private; the report is not
        os.rename(staging, out)
        return
    names = sorted(os.listdir(staging), key=lambda name: name == "report.html")
    for name in names:
        os.replace(os.path.join(staging, name), os.path.join(out, name))
    os.rmdir(staging)


def run(argv, version):
    args = make_parser(version).parse_args(argv)
    method = args.method.upper()
    if method not in results.METHODS:
        raise ReportError(f"--method must be SNP, GENE, GO or KEGG, not '{args.method}'")
    check_applies(args, method)
    out = os.path.abspath(args.out)
    if os.path.exists(out) and not os.path.isdir(out):
        raise ReportError(f"{args.out}: exists and is not a folder")
    result = results.load_result(args.csv, method)
    log = inputs.load_log(args.log, method) if args.log else {}
    annotations = load_annotations(args, result, log)

    try:
        os.makedirs(os.path.dirname(out), exist_ok=True)
        staging = tempfile.mkdtemp(prefix=".halvorix-report-", dir=os.path.dirname(out))
    except OSError as e:
        raise ReportError(f"{args.out}: cannot be made ({e.strerror or e})") from None
    try:
        table_name = tables.write_tidy_table(result, annotations, staging)
        drawn = draw(result, log, annotations, staging)
        page.write_page(staging, result, log, drawn, table_name,
                        annotations.get("positions", {}), version)
        publish(staging, out)
    except OSError as e:
        raise ReportError(f"{args.out}: cannot write the report ({e.strerror or e})") from None
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    print(f"halvorix-report: {args.out}/report.html, {table_name} and "
          f"{len(drawn)} figures (PNG and SVG)")
    return 0


def main(argv, version):
    try:
        return run(argv, version)
    except ReportError as e:
        print(f"halvorix-report: error: {e}", file=sys.stderr)
        return 1
