"""Seeded mutation fuzzing of halvorix-report's CSV reader: each run mutates a seed result
(bytes changed, inserted, deleted, repeated, lines spliced from other seeds) and reads it as
every method. A run passes when the reader returns a whole table (every row as wide as the
header, every number column readable as a float, a tidy table made from it) or stops with the
report's one-line error naming the file; anything else is a finding, kept and fatal.

    report_csv.py [--runs N] [--seconds S] [--seed K] [--findings DIR] SEED.csv|FOLDER...

A FOLDER gives every output.csv below it (tests/e2e/expected: the golden results).

The same seed gives the same inputs in the same order, so a finding reproduces with the same
arguments; --seconds only cuts the run short on a slow machine.
"""
import argparse
import glob
import os
import random
import shutil
import sys
import tempfile
import time
import traceback

sys.dont_write_bytecode = True  # the modules are read from the source tree: leave it clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "src",
                                "report"))
from halvorix_report import results, tables  # noqa: E402
from halvorix_report.errors import ReportError  # noqa: E402

TOKENS = [b",", b"\n", b"\r\n", b"\r", b"\0", b" ", b"\t", b"$", b"-", b"+", b".", b"e", b"0",
          b"1", b"nan", b"-nan", b"inf", b"-inf", b"1e999", b"9" * 400, b"\xff", b"\xc3",
          b"\xe2\x80\xa6", b"\x1f\x8b", b"GOID", b"KEGGID", b"SETID", b"geneID", b"snp",
          b"num_genes", b"zscore", b"pval", b"variable", b"value"]
# Columns the reader checks as numbers: all but the SNP or gene; of a set, its statistics.
NUMBER_COLUMNS = {"SNP": results.SNP_COLUMNS[1:], "GENE": results.GENE_COLUMNS[1:]}
SET_NUMBERS = results.SET_COLUMNS[2:8]


def mutate(data, seeds, rng):
    """One to four random edits of `data`."""
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        kind = rng.randrange(7)
        at = rng.randrange(len(data) + 1)
        if kind == 0 and data:  # change a byte
            data[min(at, len(data) - 1)] = rng.randrange(256)
        elif kind == 1:  # insert a token
            data[at:at] = rng.choice(TOKENS)
        elif kind == 2:  # delete a range
            del data[at:at + rng.randint(1, 64)]
        elif kind == 3:  # repeat a range
            data[at:at] = data[at:at + rng.randint(1, 200)] * rng.randint(1, 3)
        elif kind == 4:  # cut the end
            del data[at:]
        elif kind == 5:  # a line of another seed
            lines = rng.choice(seeds).splitlines(True)
            data[at:at] = rng.choice(lines) if lines else b""
        else:  # swap two lines
            lines = bytes(data).splitlines(True)
            if len(lines) > 1:
                i, j = rng.randrange(len(lines)), rng.randrange(len(lines))
                lines[i], lines[j] = lines[j], lines[i]
                data = bytearray(b"".join(lines))
    return bytes(data)


def check(path):
    """Reads `path` as each method; raises AssertionError (or anything else) on a fault."""
    for method in results.METHODS:
        try:
            result = results.load_result(path, method)
        except ReportError as e:
            message = str(e)
            assert "\n" not in message and "\r" not in message, f"a message of lines: {message!r}"
            assert message.startswith(path), f"a message that names no file: {message!r}"
            assert len(message) < 2 * len(path) + 300, f"a message too long: {len(message)}"
            continue
        assert result.rows, "a result without rows"
        assert {len(row) for row in result.rows} == {len(result.columns)}, "ragged rows"
        for column in NUMBER_COLUMNS.get(method, SET_NUMBERS):
            result.numbers(column)
        text = tables.tidy_text(result, {})
        assert all(line.count("\t") == len(result.columns) - 1 for line in text.splitlines()), \
            "a tidy row of another width"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=20000)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--findings", default=None)
    parser.add_argument("seeds", nargs="+")
    args = parser.parse_args()
    seeds = []
    names = [found for name in args.seeds for found in (
        sorted(glob.glob(os.path.join(name, "**", "output.csv"), recursive=True))
        if os.path.isdir(name) else [name])]
    for name in names:
        with open(name, "rb") as f:
            seeds.append(f.read())
    rng = random.Random(args.seed)
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "input.csv")
        for run in range(1, args.runs + 1):
            data = mutate(rng.choice(seeds), seeds, rng)
            with open(path, "wb") as f:
                f.write(data)
            try:
                check(path)
            except Exception:  # noqa: BLE001 -- every fault is a finding
                traceback.print_exc()
                if args.findings:
                    os.makedirs(args.findings, exist_ok=True)
                    kept = os.path.join(args.findings, f"report_csv-seed{args.seed}-run{run}")
                    shutil.copyfile(path, kept)
                    print(f"report_csv: finding of run {run} kept in {kept}")
                return 1
            if time.monotonic() - started > args.seconds:
                break
    print(f"report_csv: Done {run} runs in {int(time.monotonic() - started)} second(s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
