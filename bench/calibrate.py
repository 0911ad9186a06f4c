#!/usr/bin/env python3
"""Family-wise error rate of the SNP and GENE step-down p-values under the null.

Draws K phenotypes independent of a genotype matrix, makes scores for each with
halvorix-prep, runs halvorix, and counts the phenotypes whose smallest adjusted p-value is at
or below 0.05 and 0.10. A procedure that holds its level rejects in about that fraction of
them. Printed with exact (Clopper-Pearson) 95 % binomial intervals.

    python3 bench/calibrate.py                      # study-like genotypes, 5,000 x 1,000
    python3 bench/calibrate.py --bfile PREFIX --genes GENES.txt --phenotypes 500
    python3 bench/calibrate.py --also before=/path/to/other/halvorix   # same scores, two builds

The adjusted p-value is the fraction of replicates whose maximum reaches the statistic, so
with nsim replicates a perfectly calibrated test rejects at level a with probability
(floor(a * nsim) + 1) / (nsim + 1): 5.47 % and 10.45 % for a = 0.05, 0.10 and nsim = 200.
"""
import argparse
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

LEVELS = (0.05, 0.10)


def binomial_tail(k, n, p, upper):
    """P(X >= k) if upper, else P(X <= k), for X ~ Binomial(n, p)."""
    terms = range(k, n + 1) if upper else range(0, k + 1)
    return sum(math.comb(n, i) * p**i * (1 - p) ** (n - i) for i in terms)


def clopper_pearson(k, n, alpha=0.05):
    def solve(f):  # f increasing in p; the p where it crosses alpha / 2
        lo, hi = 0.0, 1.0
        for _ in range(60):
            mid = (lo + hi) / 2
            lo, hi = (mid, hi) if f(mid) < alpha / 2 else (lo, mid)
        return (lo + hi) / 2

    lower = 0.0 if k == 0 else solve(lambda p: binomial_tail(k, n, p, True))
    upper = 1.0 if k == n else solve(lambda p: -binomial_tail(k, n, p, False) + alpha)
    return lower, upper


def run(cmd, cwd=None):
    done = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(cmd), done.stdout[-2000:], done.stderr[-2000:]))
    return done.stdout


def smallest_pvalue(csv_path):
    """Smallest value of the last column of a SNP or GENE results file (header skipped)."""
    with open(csv_path) as f:
        next(f)
        return min(float(line.rsplit(",", 1)[1]) for line in f if line.strip())


def write_phenotypes(fam, path, k, seed):
    rng = random.Random(seed)
    with open(fam) as f:
        ids = [line.split()[:2] for line in f if line.strip()]
    with open(path, "w") as out:
        out.write("FID IID " + " ".join("P%d" % (i + 1) for i in range(k)) + "\n")
        for fid, iid in ids:
            out.write("%s %s %s\n" % (fid, iid, " ".join("%.6f" % rng.gauss(0, 1) for _ in range(k))))


def write_genes(bim, path):
    """A 20 kb gene every 50 kb along the SNPs of each chromosome (for sets without a list)."""
    ends = {}
    with open(bim) as f:
        for line in f:
            chrom, _, _, pos = line.split()[:4]
            lo, hi = ends.get(chrom, (int(pos), int(pos)))
            ends[chrom] = (min(lo, int(pos)), max(hi, int(pos)))
    with open(path, "w") as out:
        n = 0
        for chrom, (lo, hi) in ends.items():
            for start in range(lo, hi - 20000, 50000):
                n += 1
                out.write("%s %d %d G%d\n" % (chrom, start, start + 20000, n))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(os.path.dirname(here), "build", "release")
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bfile", help="PLINK set; default: a study-like set made by the generator")
    ap.add_argument("--genes", help="gene list (CHR BP1 BP2 GENE); default: the generator's")
    ap.add_argument("--genotypes", choices=("study", "random"), default="study",
                    help="generated set: 'study' (LD blocks, many rare alleles) or 'random' "
                    "(independent SNPs, genotype codes uniform)")
    ap.add_argument("--snps", type=int, default=5000)
    ap.add_argument("--subjects", type=int, default=1000)
    ap.add_argument("--phenotypes", type=int, default=300, help="K, the number of null phenotypes")
    ap.add_argument("--nsim", type=int, default=200)
    ap.add_argument("--methods", default="SNP,GENE")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--bin", default=build, help="folder with halvorix, halvorix-prep, halvorix_make_plink")
    ap.add_argument("--also", action="append", default=[], metavar="LABEL=HALVORIX",
                    help="also run another halvorix binary on the same scores")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="halvorix_calibrate_")
    try:
        bfile, genes = args.bfile, args.genes
        if not bfile:
            bfile = os.path.join(work, "study")
            run([os.path.join(args.bin, "halvorix_make_plink"), "--" + args.genotypes, bfile, "--snps",
                 str(args.snps), "--subjects", str(args.subjects), "--seed", str(args.seed)])
            genes = genes or bfile + ".genes.txt"
            if not os.path.exists(genes):
                write_genes(bfile + ".bim", genes)
        prep = os.path.join(args.bin, "halvorix-prep")
        builds = [("halvorix", os.path.join(args.bin, "halvorix"))]
        builds += [tuple(a.split("=", 1)) for a in args.also]
        methods = args.methods.split(",")
        if "GENE" in methods:
            if not genes:
                sys.exit("--genes is needed for the GENE method with --bfile")
            run([prep, "genemap", "--bim", bfile + ".bim", "--genes", genes, "--out",
                 os.path.join(work, "gene_snp.dat")])
        pheno = os.path.join(work, "pheno.txt")
        write_phenotypes(bfile + ".fam", pheno, args.phenotypes, args.seed)

        smallest = {(b, m): [] for b, _ in builds for m in methods}
        for k in range(args.phenotypes):
            run([prep, "scores", "--bfile", bfile, "--pheno", pheno, "--pheno-name", "P%d" % (k + 1),
                 "--out", os.path.join(work, "score.dat")])
            for label, binary in builds:
                for method in methods:
                    run([binary, "--method", method, "--nsim", str(args.nsim), "--seed",
                         str(1000 + k)], cwd=work)
                    smallest[(label, method)].append(smallest_pvalue(os.path.join(work, "output.csv")))
            print("phenotype %d of %d" % (k + 1, args.phenotypes), file=sys.stderr, end="\r")
        print(file=sys.stderr)

        with open(bfile + ".bim") as f:
            nsnp = sum(1 for _ in f)
        print("%d SNPs, %d null phenotypes, nsim %d" % (nsnp, args.phenotypes, args.nsim))
        print("| build | method | FWER at 0.05 (95 % CI) | FWER at 0.10 (95 % CI) |")
        print("|---|---|---|---|")
        for (label, method), pvals in smallest.items():
            cells = []
            for level in LEVELS:
                hits = sum(p <= level + 1e-9 for p in pvals)
                lo, hi = clopper_pearson(hits, len(pvals))
                cells.append("%.1f %% (%.1f to %.1f)" % (100 * hits / len(pvals), 100 * lo, 100 * hi))
            print("| %s | %s | %s | %s |" % (label, method, cells[0], cells[1]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
