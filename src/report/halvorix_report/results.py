"""Reading the CSV result of a halvorix run into one table of text values per method.

Values keep the text halvorix wrote (stripped of padding), so the tidy tables carry every
number over unchanged; only not-a-number and infinity are respelled as NaN, Inf and -Inf,
the spellings both R and pandas read as numbers.
"""
import gzip
import math
import re
import zlib

from .errors import ReportError, quoted, where

METHODS = ("SNP", "GENE", "GO", "KEGG", "SETS")
SET_METHODS = ("GO", "KEGG", "SETS")
MAX_LINE_BYTES = 1 << 20  # far beyond any line of a result, log or annotation file
# No halvorix result holds a control character but its line ends (halvorix splits names at
# tabs too); one inside a name (a lone carriage return, a tab) would break the tidy tables'
# rows for every reader of them.
CONTROL_IN_LINE = re.compile(r"[\x00-\x1f\x7f]")

SNP_HEADER = ["snp", "row_num", "used", "x-stat", "rank", "pval"]
SNP_COLUMNS = ["snp", "row_num", "used", "x_stat", "rank", "p"]
GENE_HEADER = ["geneID", "num_snps", "score", "mean", "sd", "zscore", "pval"]
GENE_COLUMNS = ["gene", "num_snps", "score", "mean", "sd", "z", "p"]
SET_LABELS = {"GOID": "GO", "KEGGID": "KEGG", "SETID": "SETS"}
SET_STATS = ["num_genes", "score", "mean", "sd", "zscore", "pval"]
SET_COLUMNS = ["rank", "set_ids", "num_genes", "score", "mean", "sd", "z", "p", "genes"]
INTEGER_COLUMNS = {"row_num", "used", "num_snps", "num_genes"}


class Result:
    """One halvorix result: its method, the file it came from and tidy rows of text values."""

    def __init__(self, method, path, columns, rows):
        self.method = method
        self.path = path
        self.columns = columns  # tidy column names
        self.rows = rows  # one list of text values per item, in the file's order

    def texts(self, column):
        i = self.columns.index(column)
        return [row[i] for row in self.rows]

    def numbers(self, column):
        return [float(text) for text in self.texts(column)]


def split_fields(line):
    return [field.strip() for field in line.rstrip("\r\n").split(",")]


def number_text(text, path, line_number, integer=False):
    """The text of a number as the tables write it; a ReportError when it is not one."""
    try:
        value = int(text) if integer else float(text)
    except ValueError:
        kind = "a whole number" if integer else "a number"
        raise ReportError(f"{where(path, line_number)}: {quoted(text)} is not {kind}") from None
    if integer:
        return text
    if math.isnan(value):
        return "NaN"
    if math.isinf(value):
        return "Inf" if value > 0 else "-Inf"
    return text


def method_of_header(fields):
    if fields == SNP_HEADER:
        return "SNP"
    if fields == GENE_HEADER:
        return "GENE"
    if len(fields) == 3 and fields[0] in SET_LABELS and fields[1:] == ["variable", "value"]:
        return SET_LABELS[fields[0]]
    return None


def read_lines(path):
    """The lines of a text file, gzip-compressed or not, each with its line end. Stops at a
    line longer than MAX_LINE_BYTES or holding a NUL byte (binary data, /dev/zero), and at text
    that is not UTF-8."""
    lines = []
    try:
        with open(path, "rb") as raw:
            stream = gzip.GzipFile(fileobj=raw) if raw.peek(2)[:2] == b"\x1f\x8b" else raw
            while True:
                line = stream.readline(MAX_LINE_BYTES + 1)
                if not line:
                    return lines
                n = len(lines) + 1
                if b"\0" in line:
                    raise ReportError(f"{where(path, n)}: a NUL byte (not a text file)")
                if len(line) > MAX_LINE_BYTES:
                    raise ReportError(f"{where(path, n)}: longer than {MAX_LINE_BYTES} bytes "
                                      "(not a text file of halvorix?)")
                try:
                    lines.append(line.decode("utf-8"))
                except UnicodeDecodeError:
                    raise ReportError(f"{where(path, n)}: not UTF-8 text") from None
    except FileNotFoundError:
        raise ReportError(f"{path}: no such file") from None
    except (EOFError, zlib.error, gzip.BadGzipFile) as e:
        raise ReportError(f"{path}: damaged compressed data after line {len(lines)} "
                          f"({e})") from None
    except OSError as e:
        raise ReportError(f"{path}: cannot be read ({e.strerror or e})") from None


def load_result(path, method):
    """The result in `path`, which must be a halvorix CSV of `method`."""
    lines = read_lines(path)
    for n, line in enumerate(lines, start=1):
        if CONTROL_IN_LINE.search(line.rstrip("\r\n")):
            raise ReportError(f"{where(path, n)}: a control character (not a halvorix result)")
    found = method_of_header(split_fields(lines[0])) if lines else None
    if found is None:
        raise ReportError(f"{where(path, 1)}: not a halvorix result (unknown header)")
    if found != method:
        raise ReportError(f"{where(path, 1)}: a {found} result, not {method}")
    body = [(n, line) for n, line in enumerate(lines[1:], start=2) if line.strip()]
    if not body:
        raise ReportError(f"{path}: no results after the header")
    if method == "SNP":
        return Result(method, path, list(SNP_COLUMNS), read_rows(path, body, SNP_COLUMNS))
    if method == "GENE":
        return Result(method, path, list(GENE_COLUMNS), read_rows(path, body, GENE_COLUMNS))
    return Result(method, path, list(SET_COLUMNS), read_sets(path, body, split_fields(lines[0])[0]))


def read_rows(path, body, columns):
    """Rows of a one-line-per-item file: a name, then numbers."""
    rows = []
    for n, line in body:
        fields = split_fields(line)
        if len(fields) != len(columns):
            raise ReportError(f"{where(path, n)}: {len(fields)} fields, expected {len(columns)}")
        row = [fields[0]]
        for column, text in zip(columns[1:], fields[1:]):
            row.append(number_text(text, path, n, integer=column in INTEGER_COLUMNS))
        rows.append(row)
    return rows


def read_sets(path, body, id_label):
    """Rows of a gene-set file: per set, its statistics, its genes, then its set IDs."""
    rows = []
    i = 0
    while i < len(body):
        rank = len(rows) + 1
        stats = []
        for name in SET_STATS:
            n, fields = field_triple(path, body, i, rank)
            if fields[1] != name:
                raise ReportError(f"{where(path, n)}: expected '{name}', "
                                  f"found {quoted(fields[1])}")
            stats.append(number_text(fields[2], path, n, integer=name == "num_genes"))
            i += 1
        genes, i = names_of(path, body, i, rank, "geneID")
        set_ids, i = names_of(path, body, i, rank, id_label)
        n = body[i - 1][0]
        if len(genes) != int(stats[0]):
            raise ReportError(f"{where(path, n)}: set {rank} lists {len(genes)} genes, "
                              f"num_genes says {quoted(str(stats[0]))}")
        if not set_ids:
            raise ReportError(f"{where(path, n)}: set {rank} has no {id_label}")
        if id_label == "KEGGID":
            # halvorix writes the number of a human pathway; with its prefix the ID stays text
            # (R and pandas would read 00010 as the number 10).
            set_ids = ["hsa" + name for name in set_ids]
        rows.append([str(rank), ",".join(set_ids)] + stats + [",".join(genes)])
    return rows


def field_triple(path, body, i, rank):
    """The fields of body line i, which must belong to set `rank`."""
    if i >= len(body):
        n = body[-1][0]
        raise ReportError(f"{where(path, n)}: set {rank} ends before its statistics")
    n, line = body[i]
    fields = split_fields(line)
    if len(fields) != 3:
        raise ReportError(f"{where(path, n)}: {len(fields)} fields, expected 3")
    if fields[0] != str(rank):
        raise ReportError(f"{where(path, n)}: set number {quoted(fields[0])}, expected {rank}")
    return n, fields


def names_of(path, body, i, rank, variable):
    """The values of the run of `variable` lines of set `rank` from body line i."""
    names = []
    while i < len(body):
        fields = split_fields(body[i][1])
        if len(fields) != 3 or fields[0] != str(rank) or fields[1] != variable:
            break
        names.append(fields[2])
        i += 1
    return names, i
