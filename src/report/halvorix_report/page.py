"""report.html: one self-contained page (figures embedded, no scripts, no outside files)."""
import base64
import html
import os
from urllib.parse import quote

from .errors import shortened
from .results import SET_METHODS
from .tables import values_of

GENE_DATABASE = "https://www.ncbi.nlm.nih.gov"
GO_BROWSER = "https://amigo.geneontology.org"
PATHWAY_DATABASE = "https://www.genome.jp"
TOP_ROWS = 30
NAME_LIMIT = 200  # characters of a set's name in the page's table (sets.tsv has it whole)

STYLE = """
body { font-family: sans-serif; margin: 2em auto; max-width: 1100px; color: #222; }
h1 { font-size: 1.6em; } h2 { font-size: 1.25em; margin-top: 1.6em; }
table { border-collapse: collapse; font-size: 0.9em; }
td, th { border: 1px solid #ccc; padding: 3px 8px; text-align: left; vertical-align: top; }
th { background: #f0f0f0; } td.num { text-align: right; font-variant-numeric: tabular-nums; }
figure { margin: 1em 0; } figure img { max-width: 100%; border: 1px solid #eee; }
figcaption { font-size: 0.9em; color: #444; } .note { background: #f7f7f7; padding: 0.6em 1em; }
"""


def esc(text):
    return html.escape(str(text), quote=True)


def link(address, text):
    return f'<a href="{esc(address)}">{esc(text)}</a>'


def gene_link(name):
    return link(f"{GENE_DATABASE}/gene?term={quote(name, safe='')}", name)


def is_web_address(text):
    return text.startswith(("http://", "https://"))


def set_link(method, term, descriptions=None):
    """A set ID linked to its database entry; a GMT set to its description when that is a web
    address, else shown as plain text."""
    if method == "SETS":
        address = (descriptions or {}).get(term, "")
        return link(address, term) if is_web_address(address) else esc(term)
    if method == "KEGG":
        return link(f"{PATHWAY_DATABASE}/dbget-bin/www_bget?pathway:{quote(term, safe='')}",
                    term)
    return link(f"{GO_BROWSER}/cgi-bin/amigo/term_details?term={quote(term, safe=':')}", term)


def coverage_is_low(coverage):
    """Whether fewer than half the annotated genes are in the gene-SNP map (a counted
    coverage only: a text says it is not known)."""
    return isinstance(coverage, tuple) and 2 * coverage[0] < coverage[1]


def coverage_text(coverage):
    """The gene-ID coverage line: genes of the annotation found in the gene-SNP map."""
    if isinstance(coverage, str):
        return coverage
    found, total, annotation, gene_map = coverage
    text = (f"{found} of {total} genes of {os.path.basename(annotation)} are in "
            f"{os.path.basename(gene_map)} ({100 * found / total:.0f} %)")
    if coverage_is_low(coverage):
        text += (": fewer than half. Do the annotation and the gene map name genes the same "
                 "way (gene symbols against Entrez IDs)?")
    return text


def summary_rows(result, log, coverage):
    """(label, value) lines of the run's summary; `coverage` is used by set methods only."""
    options = log.get("options", {})
    unknown = "not known (give --log)"
    rows = [("result file", os.path.basename(result.path)), ("method", result.method)]
    if result.method != "SNP":
        rows.append(("gene scoring", options.get("gene-level", unknown)))
        rows.append(("gene moments", options.get("gene-moments", unknown)))
    if result.method in SET_METHODS:
        rows.append(("gene-set scoring", options.get("gene-set-level", unknown)))
    if result.method == "GO":
        rows.append(("GO namespace", options.get("go_type", unknown)))
    if result.method == "SNP":
        used = sum(1 for u in result.texts("used") if u != "0")
        rows.append(("SNPs", f"{len(result.rows)} ({used} used)"))
    elif "snps_total" in log:
        rows.append(("SNPs", f"{log['snps_total']} ({log.get('snps_used', '?')} used)"))
    else:
        rows.append(("SNPs", unknown))
    if result.method == "GENE":
        rows.append(("genes", str(len(result.rows))))
    elif "genes_total" in log:
        rows.append(("genes", f"{log['genes_total']} ({log.get('genes_used', '?')} used)"))
    elif result.method != "SNP":
        rows.append(("genes", unknown))
    if result.method in SET_METHODS:
        rows.append(("gene sets", str(len(result.rows))))
        rows.append(("gene-ID coverage", coverage_text(coverage)))
    rows.append(("replicates (nsim)", str(log["nsim"]) if "nsim" in log else unknown))
    rows.append(("seed", str(log["seed"]) if "seed" in log else unknown))
    return rows


def p_value_note(log):
    nsim = log.get("nsim")
    floor = (f"with nsim = {nsim}, a p-value of 0 means fewer than 1 in {nsim} replicates "
             f"reached the observed value (p &lt; {1 / nsim:.2g})") if nsim else \
        "a p-value of 0 means fewer than 1 in nsim replicates reached the observed value"
    return ("<p class=\"note\">Reading p-values: the p-values are step-down adjusted over all "
            "items tested, from the maximum statistic of each simulated replicate, so they "
            f"already allow for multiple testing. They move in steps of 1/nsim; {floor}. "
            "More replicates (<code>--nsim</code>) resolve smaller p-values.</p>")


def figure_html(figure, folder):
    with open(os.path.join(folder, figure.stem + ".png"), "rb") as f:
        data = base64.b64encode(f.read()).decode("ascii")
    width = round(figure.width_inches * 100)
    return (f'<figure id="{esc(figure.stem)}"><img alt="{esc(figure.title)}" '
            f'style="width: {width}px" src="data:image/png;base64,{data}">\n'
            f'<figcaption>{esc(figure.caption)} '
            f'Files: <a href="{esc(figure.stem)}.png">PNG</a>, '
            f'<a href="{esc(figure.stem)}.svg">SVG</a>.</figcaption></figure>')


def top_table(result, positions, names=None, descriptions=None):
    """The first rows of the result (the best: halvorix sorts them) as an HTML table."""
    num = lambda text: f'<td class="num">{esc(text)}</td>'  # noqa: E731
    if result.method == "SNP":
        order = sorted(range(len(result.rows)), key=lambda i: float(result.rows[i][4]))
        head = ["rank", "SNP"] + (["chr", "bp"] if positions else []) + ["statistic", "p"]
        body = []
        for i in order[:TOP_ROWS]:
            snp, _, _, x_stat, rank, p = result.rows[i]
            place = [num(v) for v in positions.get(snp, ("NA", "NA"))] if positions else []
            body.append([num(rank), f"<td>{esc(snp)}</td>"] + place + [num(x_stat), num(p)])
    elif result.method == "GENE":
        head = ["gene", "SNPs", "score", "z", "p"]
        body = [[f"<td>{gene_link(r[0])}</td>", num(r[1]), num(r[2]), num(r[5]), num(r[6])]
                for r in result.rows[:TOP_ROWS]]
    else:
        names = names or {}
        named = any(values_of(r[1], names) for r in result.rows[:TOP_ROWS])
        head = ["rank", "set"] + (["name"] if named else []) + ["genes", "score", "z", "p",
                                                                "genes in the set"]
        body = []
        for r in result.rows[:TOP_ROWS]:
            ids = ", ".join(set_link(result.method, t, descriptions) for t in r[1].split(","))
            text = " | ".join(values_of(r[1], names))
            name = [f"<td>{esc(shortened(text, NAME_LIMIT))}</td>"] if named else []
            genes = ", ".join(gene_link(g) for g in r[8].split(",") if g)
            body.append([num(r[0]), f"<td>{ids}</td>"] + name + [num(r[2]), num(r[3]),
                                                                 num(r[6]), num(r[7]),
                                                                 f"<td>{genes}</td>"])
    lines = ["<table>", "<tr>" + "".join(f"<th>{esc(h)}</th>" for h in head) + "</tr>"]
    lines += ["<tr>" + "".join(cells) + "</tr>" for cells in body]
    lines.append("</table>")
    return "\n".join(lines)


def write_page(folder, result, log, figures, table_name, annotations, version):
    title = f"Halvorix {result.method} report"
    parts = [
        "<!DOCTYPE html>", '<html lang="en">', "<head>", '<meta charset="utf-8">',
        f"<title>{esc(title)}</title>", f"<style>{STYLE}</style>", "</head>", "<body>",
        f"<h1>{esc(title)}</h1>", "<h2>Run</h2>", "<table>",
    ]
    rows = summary_rows(result, log, annotations.get("coverage"))
    parts += [f"<tr><th>{esc(k)}</th><td>{esc(v)}</td></tr>" for k, v in rows]
    parts += ["</table>", "<h2>Figures</h2>"]
    parts += [figure_html(f, folder) for f in figures]
    shown = min(TOP_ROWS, len(result.rows))
    top = top_table(result, annotations.get("positions", {}), annotations.get("names"),
                    annotations.get("descriptions"))
    parts += [f"<h2>Top {shown} results</h2>", p_value_note(log), top,
              f'<p>Every result, one row each: <a href="{esc(table_name)}">{esc(table_name)}</a>'
              " (tab-separated; R: <code>read.delim</code>, pandas: "
              "<code>read_csv(sep=\"\\t\")</code>).</p>",
              f"<p><small>Made by halvorix-report (version {esc(version)}).</small></p>",
              "</body>", "</html>", ""]
    with open(os.path.join(folder, "report.html"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(parts))
