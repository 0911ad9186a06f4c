"""Readers of the optional inputs: the console log of the run, a PLINK .bim, the gene-SNP map
and the GO edges file. Each returns plain dicts and lists and raises ReportError on bad input.
"""
import re

from .errors import ReportError, quoted, where
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


FIELD_SEPARATORS = re.compile(r"[ \t,\r\n]+")


def fields_of(line):
    """Fields separated by runs of blanks, commas or tabs, as halvorix splits its inputs."""
    return [f for f in FIELD_SEPARATORS.split(line) if f]


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
                          f"the log of a {logged_method[:20] or 'unknown'} run, not {method}")
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
            raise ReportError(f"{where(path, n)}: position {quoted(fields[3])} is not a whole "
                              "number") \
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


def clean_text(text):
    """A name or description as the tables and figures carry it: control characters (tabs
    would split a tidy row) become blanks, outer blanks go."""
    return re.sub(r"[\x00-\x1f\x7f]", " ", text).strip()


def set_id_key(method, text):
    """A set ID spelled as the result spells it: KEGG pathways as hsa<number>, whether a
    names file writes path:hsa04310, hsa04310 or 04310."""
    if method == "KEGG":
        bare = text[len("path:"):] if text.startswith("path:") else text
        return "hsa" + bare if bare.isdigit() else bare
    return text


def load_names(paths, method):
    """Set ID -> name from two-column files (ID, a tab, the name); a later file's name wins."""
    names = {}
    for path in paths:
        found = False
        for n, line in enumerate(read_lines(path), start=1):
            text = line.rstrip("\r\n")
            if not text.strip() or text.startswith("#"):
                continue
            set_id, tab, name = text.partition("\t")
            if not tab or not set_id.strip():
                raise ReportError(f"{where(path, n)}: expected an ID, a tab and a name")
            names[set_id_key(method, set_id.strip())] = clean_text(name)
            found = True
        if not found:
            raise ReportError(f"{path}: no names")
    return names


def load_gmt(path):
    """(set name -> description, the genes of all sets) from a GMT file: per line a set name,
    its description and its genes, separated by single tabs."""
    descriptions, genes = {}, set()
    for n, line in enumerate(read_lines(path), start=1):
        text = line.rstrip("\r\n")
        if not text.strip() or text.startswith("#"):
            continue
        fields = text.split("\t")
        if len(fields) < 2:
            raise ReportError(f"{where(path, n)}: expected a set name, a description and genes, "
                              "separated by tabs")
        name = fields[0].strip()
        if not name:
            raise ReportError(f"{where(path, n)}: a set without a name")
        descriptions.setdefault(name, clean_text(fields[1]))
        genes.update(g.strip() for g in fields[2:] if g.strip())
    if not descriptions:
        raise ReportError(f"{path}: no gene sets")
    if not genes:
        raise ReportError(f"{path}: no genes")
    return descriptions, genes


def load_annotated_genes(path, method):
    """The genes of the run's annotation file: field 2 of a GO-gene file; field 1, after its
    'hsa:', of a KEGG file."""
    genes, needed = set(), 3 if method == "GO" else 2
    for n, line in enumerate(read_lines(path), start=1):
        fields = fields_of(line)
        if is_comment(fields):
            continue
        if len(fields) < needed:
            expected = "source, gene, GO term" if method == "GO" else "hsa:gene, path:hsa..."
            raise ReportError(f"{where(path, n)}: {len(fields)} fields, expected {expected}")
        gene = fields[1] if method == "GO" else fields[0]
        genes.add(gene[len("hsa:"):] if method == "KEGG" and gene.startswith("hsa:") else gene)
    if not genes:
        raise ReportError(f"{path}: no genes")
    return genes
