"""Readers of the optional inputs: the console log of the run, a PLINK .bim, the gene-SNP map
and the GO edges file. Each returns plain dicts and lists and raises ReportError on bad input.
"""
import re

from .errors import ReportError, where
from .results import read_lines

# Lines of the console log that the summary uses: (key, pattern of the whole line).
LOG_COUNTS = [
    ("snps_total", r"No\. snp, total = (\d+)"),
    ("snps_used", r"No\. snp, used = (\d+)"),
    ("genes_total", r"No\. genes = (\d+)"),
    ("genes_used", r"No\. genes used = (\d+)"),
    ("sets", r"No\. sets\s*= (\d+)"),
    ("nsim", r"Simulations completed, nsim = (\d+)"),
    ("seed", r"seed = (-?\d+)"),
]


def fields_of(line):
    """Fields separated by runs of blanks, commas or tabs, as halvorix splits its inputs."""
    return [f for f in re.split(r"[ \t,\r\n]+", line) if f]


def is_comment(fields):
    return not fields or fields[0].startswith("#")


def load_log(path, method):
    """Options and summary counts of a halvorix console log of a `method` run."""
    lines = read_lines(path)
    try:
        start = [line.strip() for line in lines].index("options and values used:")
    except ValueError:
        raise ReportError(f"{path}: not a halvorix console log "
                          "(no 'options and values used:' line)") from None
    log = {"options": {}}
    for n, line in enumerate(lines[start + 1:], start=start + 2):
        match = re.fullmatch(r" --(\S+) (.*)", line.rstrip("\r\n"))
        if match:
            name, value = match.groups()
            log["options"][name] = value
            if name == "method":
                log["method_line"] = n
    logged_method = log["options"].get("method", "").upper()
    if logged_method != method:
        raise ReportError(f"{where(path, log.get('method_line', start + 1))}: "
                          f"the log of a {logged_method or 'unknown'} run, not {method}")
    for line in lines:
        for key, pattern in LOG_COUNTS:
            match = re.fullmatch(r"\s*" + pattern + r"\s*", line)
            if match:
                log[key] = int(match.group(1))
    return log


def load_bim(path):
    """SNP name -> (chromosome, base-pair position) from a PLINK .bim file."""
    positions = {}
    for n, line in enumerate(read_lines(path), start=1):
        fields = line.split()
        if not fields:
            continue
        if len(fields) != 6:
            raise ReportError(f"{where(path, n)}: {len(fields)} fields, a .bim line has 6")
        try:
            bp = int(fields[3])
        except ValueError:
            raise ReportError(f"{where(path, n)}: position '{fields[3]}' is not a whole number") \
                from None
        positions[fields[1]] = (fields[0], bp)
    if not positions:
        raise ReportError(f"{path}: no SNPs")
    return positions


def leading_integer(text):
    """The whole number at the start of `text` (0 if none), as halvorix reads distances."""
    found = re.match(r"\s*([+-]?\d+)", text)
    return int(found.group(1)) if found else 0


def load_gene_snp(path, max_distance):
    """(gene -> SNPs, SNP -> genes) of the pairs within `max_distance` bp, in file order."""
    snps_of_gene, genes_of_snp = {}, {}
    for n, line in enumerate(read_lines(path), start=1):
        fields = fields_of(line)
        if is_comment(fields):
            continue
        if len(fields) < 3:
            raise ReportError(f"{where(path, n)}: {len(fields)} fields, expected gene, SNP, "
                              "distance")
        if abs(leading_integer(fields[2])) > max_distance:
            continue
        gene, snp = fields[0], fields[1]
        snps_of_gene.setdefault(gene, []).append(snp)
        genes_of_snp.setdefault(snp, []).append(gene)
    return snps_of_gene, genes_of_snp


def load_go_edges(path):
    """(term -> parent terms, term -> namespace) from a GO edges file."""
    parents, namespace = {}, {}
    for n, line in enumerate(read_lines(path), start=1):
        fields = fields_of(line)
        if is_comment(fields):
            continue
        if len(fields) != 4:
            raise ReportError(f"{where(path, n)}: {len(fields)} fields, expected namespace, "
                              "child, relation, parent")
        space, child, _, parent = fields
        parents.setdefault(child, [])
        if parent not in parents[child]:
            parents[child].append(parent)
        parents.setdefault(parent, [])
        namespace.setdefault(child, space)
        namespace.setdefault(parent, space)
    if not parents:
        raise ReportError(f"{path}: no edges")
    return parents, namespace
