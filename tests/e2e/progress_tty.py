"""Progress display with standard error on a pseudo-terminal: halvorix (a golden SNP case) and
halvorix-prep scores (the example study) draw their progress line there and clear it at the
end, while standard output and the files they write stay byte-identical to the golden ones.

    progress_tty.py HALVORIX HALVORIX_PREP
"""
import filecmp
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED = os.path.join(HERE, "expected")
EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(HERE)), "examples")
CLEAR = "\r\x1b[K"


def run_on_terminal(args, cwd):
    """(exit status, standard output, what reached the terminal on standard error)."""
    master, slave = pty.openpty()
    with open(os.path.join(cwd, "stdout"), "wb") as out:
        child = subprocess.Popen(args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=slave)
    os.close(slave)
    screen = b""
    while True:
        ready, _, _ = select.select([master], [], [], 60)
        if not ready:
            child.kill()
            break
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the child closed the terminal
            break
        if not chunk:
            break
        screen += chunk
    os.close(master)
    with open(os.path.join(cwd, "stdout"), encoding="utf-8") as f:
        stdout = f.read()
    return child.wait(), stdout, screen.decode()


def check_screen(name, screen, what, total):
    """The screen shows progress lines of `what` and nothing is left at the end."""
    problems = []
    if not re.search(rf"\r{what} \d+ of {total} \(\d+%\), \d+s elapsed", screen):
        problems.append(f"{name}: no progress line on the terminal: {screen!r}")
    if not screen.endswith(CLEAR):
        problems.append(f"{name}: the progress line is not cleared at the end: {screen[-60:]!r}")
    leftover = re.sub(r"\r[^\r]*\x1b\[K", "", screen)
    if leftover:
        problems.append(f"{name}: more than progress on standard error: {leftover!r}")
    return problems


def check_halvorix(halvorix, work):
    run = os.path.join(work, "halvorix")
    shutil.copytree(EXAMPLES, run, ignore=shutil.ignore_patterns("plink"))
    status, stdout, screen = run_on_terminal(
        [halvorix, "--method", "SNP", "--nsim", "200", "--seed", "11"], run)
    stdout = re.sub(r"(?m)^(Time \(clock\)[^:]*: ).*$", r"\1<elapsed>", stdout)
    expected = os.path.join(EXPECTED, "snp_example")
    problems = [] if status == 0 else [f"halvorix: exit status {status}"]
    with open(os.path.join(expected, "stdout"), encoding="utf-8") as f:
        if stdout != f.read():
            problems.append("halvorix: standard output differs from snp_example")
    if not filecmp.cmp(f"{run}/output.csv", f"{expected}/output.csv", shallow=False):
        problems.append("halvorix: output.csv differs from snp_example")
    return problems + check_screen("halvorix", screen, "replicates", 200)


def check_prep(prep, work):
    run = os.path.join(work, "prep")
    os.makedirs(run)
    study = os.path.join(EXAMPLES, "plink")
    status, _, screen = run_on_terminal(
        [prep, "scores", "--bfile", f"{study}/study", "--pheno", f"{study}/pheno.txt",
         "--pheno-name", "trait", "--covar", f"{study}/covar.txt", "--covar-name", "age,sex",
         "--out", "score.dat"], run)
    problems = [] if status == 0 else [f"halvorix-prep: exit status {status}"]
    if not filecmp.cmp(os.path.join(run, "score.dat"),
                       os.path.join(EXPECTED, "prep_round_trip", "score.dat"), shallow=False):
        problems.append("halvorix-prep: score.dat differs from prep_round_trip")
    return problems + check_screen("halvorix-prep", screen, "SNPs written", 180)


def main():
    halvorix, prep = (os.path.abspath(p) for p in sys.argv[1:3])
    with tempfile.TemporaryDirectory() as work:
        problems = check_halvorix(halvorix, work) + check_prep(prep, work)
    for problem in problems:
        print(problem)
    failed = len({p.split(":")[0] for p in problems})
    print(f"{2 - failed} passed, {failed} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
