#!/usr/bin/env python3
"""Family-wise error of the multiplier and the permutation null, and the permutation's cost.

Draws null traits independent of a study-like genotype matrix (halvorix_make_plink --study:
LD blocks, many low-frequency variants): K case-control traits with 10 % cases and K
quantitative (normal) traits. Each trait is made into one compact score file by halvorix-prep,
and halvorix runs the SNP, GENE and KEGG methods on it with --resample multiplier and with
--resample permutation (same file, same seed). A trait counts as a rejection at level a when
its smallest adjusted p-value is at or below a. Printed with exact (Clopper-Pearson) 95 %
intervals, and the rejection rate of a calibrated test at that nsim: p = count / nsim rejects
at level a with probability (floor(a nsim) + 1) / (nsim + 1), 5.94 % and 10.89 % at nsim 100.

    python3 bench/permutation_null.py                          # 200 + 200 traits, 5,000 x 1,000
    python3 bench/permutation_null.py --traits 50 --snps 2000  # quicker
    python3 bench/permutation_null.py --cost-only --cost-snps 100000 --cost-subjects 5000

The cost part times one SNP run of each null on a --random matrix (cost-snps x cost-subjects)
at --cost-nsim replicates, best of 3, and prints the ratio permutation / multiplier.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from calibrate import clopper_pearson, run, smallest_pvalue, write_genes  # noqa: E402

LEVELS = (0.05, 0.10)
NULLS = ("multiplier", "permutation")


def smallest_adjusted(csv_path, method):
    """Smallest adjusted p-value of a results file (KEGG files hold one "N, pval, P" line a set)."""
    if method != "KEGG":
        return smallest_pvalue(csv_path)
    with open(csv_path) as f:
        return min(float(line.split(",")[2]) for line in f if line.split(",")[1:2] == [" pval     "])


def write_traits(fam, path, k, seed):
    """K case-control columns (10 % cases, 1/2 coding) and K normal columns."""
    rng = random.Random(seed)
    with open(fam) as f:
        ids = [line.split()[:2] for line in f if line.strip()]
    n = len(ids)
    columns = []
    for _ in range(k):
        cases = set(rng.sample(range(n), max(1, n // 10)))
        columns.append(["2" if i in cases else "1" for i in range(n)])
    for _ in range(k):
        columns.append(["%.6f" % rng.gauss(0, 1) for _ in range(n)])
    names = ["CC%d" % (i + 1) for i in range(k)] + ["Q%d" % (i + 1) for i in range(k)]
    with open(path, "w") as out:
        out.write("FID IID " + " ".join(names) + "\n")
        for i, (fid, iid) in enumerate(ids):
            out.write("%s %s %s\n" % (fid, iid, " ".join(c[i] for c in columns)))
    return names


def write_pathways(gene_snp, path, seed, npath=60):
    """Pathways of 5 to 25 genes drawn from the mapped genes."""
    rng = random.Random(seed)
    with open(gene_snp) as f:
        genes = sorted({line.split()[0] for line in f if line.strip() and not line.startswith("#")})
    with open(path, "w") as out:
        out.write("# gene pathway\n")
        for p in range(npath):
            for g in rng.sample(genes, min(len(genes), rng.randint(5, 25))):
                out.write("hsa:%s path:hsa%05d\n" % (g, p + 1))


def calibrated_rate(level, nsim):
    return (int(level * nsim + 1e-9) + 1) / (nsim + 1)


def error_rates(args):
    work = tempfile.mkdtemp(prefix="halvorix_permutation_null_")
    try:
        bfile = os.path.join(work, "study")
        run([os.path.join(args.bin, "halvorix_make_plink"), "--study", bfile, "--snps",
             str(args.snps), "--subjects", str(args.subjects), "--seed", str(args.seed)])
        genes = bfile + ".genes.txt"
        if not os.path.exists(genes):
            write_genes(bfile + ".bim", genes)
        prep = os.path.join(args.bin, "halvorix-prep")
        halvorix = os.path.join(args.bin, "halvorix")
        run([prep, "genemap", "--bim", bfile + ".bim", "--genes", genes, "--out",
             os.path.join(work, "gene_snp.dat")])
        write_pathways(os.path.join(work, "gene_snp.dat"), os.path.join(work, "kegg_gene.dat"),
                       args.seed)
        pheno = os.path.join(work, "pheno.txt")
        names = write_traits(bfile + ".fam", pheno, args.traits, args.seed)
        methods = args.methods.split(",")
        smallest = {}
        for t, name in enumerate(names):
            kind = "case-control, 10 % cases" if name.startswith("CC") else "quantitative"
            run([prep, "scores", "--bfile", bfile, "--pheno", pheno, "--pheno-name", name,
                 "--format", "compact", "--out", os.path.join(work, "score.dat")])
            for null in NULLS:
                for method in methods:
                    run([halvorix, "--method", method, "--nsim", str(args.nsim), "--seed",
                         str(1000 + t), "--resample", null], cwd=work)
                    p = smallest_adjusted(os.path.join(work, "output.csv"), method)
                    smallest.setdefault((kind, method, null), []).append(p)
            print("trait %d of %d" % (t + 1, len(names)), file=sys.stderr, end="\r")
        print(file=sys.stderr)
        print("%d SNPs x %d subjects (--study, seed %d), %d traits of each kind, nsim %d" %
              (args.snps, args.subjects, args.seed, args.traits, args.nsim))
        print("calibrated rate at this nsim: %.2f %% at 0.05, %.2f %% at 0.10" %
              tuple(100 * calibrated_rate(a, args.nsim) for a in LEVELS))
        print("| trait | method | null | FWER at 0.05 (95 % CI) | FWER at 0.10 (95 % CI) | covers |")
        print("|---|---|---|---|---|---|")
        for (kind, method, null), pvals in smallest.items():
            cells, covers = [], True
            for level in LEVELS:
                hits = sum(p <= level + 1e-9 for p in pvals)
                lo, hi = clopper_pearson(hits, len(pvals))
                covers = covers and lo <= calibrated_rate(level, args.nsim) <= hi
                cells.append("%.1f %% (%.1f to %.1f)" % (100 * hits / len(pvals), 100 * lo, 100 * hi))
            print("| %s | %s | %s | %s | %s | %s |" % (kind, method, null, cells[0], cells[1],
                                                      "yes" if covers else "no"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def cost(args):
    work = tempfile.mkdtemp(prefix="halvorix_permutation_cost_")
    try:
        bfile = os.path.join(work, "random")
        run([os.path.join(args.bin, "halvorix_make_plink"), "--random", bfile, "--snps",
             str(args.cost_snps), "--subjects", str(args.cost_subjects), "--seed", "7"])
        pheno = os.path.join(work, "pheno.txt")
        write_traits(bfile + ".fam", pheno, 1, 7)
        run([os.path.join(args.bin, "halvorix-prep"), "scores", "--bfile", bfile, "--pheno", pheno,
             "--pheno-name", "CC1", "--format", "compact", "--out", os.path.join(work, "score.dat")])
        best = {}
        for _ in range(3):
            for null in NULLS:
                start = time.perf_counter()
                run([os.path.join(args.bin, "halvorix"), "--method", "SNP", "--nsim",
                     str(args.cost_nsim), "--seed", "5", "--resample", null], cwd=work)
                best[null] = min(best.get(null, 1e30), time.perf_counter() - start)
        print("SNP run, %d SNPs x %d subjects, nsim %d, best of 3 (wall seconds): multiplier %.2f, "
              "permutation %.2f, ratio %.2f" % (args.cost_snps, args.cost_subjects, args.cost_nsim,
                                                best["multiplier"], best["permutation"],
                                                best["permutation"] / best["multiplier"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(os.path.dirname(here), "build", "release")
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--snps", type=int, default=5000)
    ap.add_argument("--subjects", type=int, default=1000)
    ap.add_argument("--traits", type=int, default=200, help="traits of each kind")
    ap.add_argument("--nsim", type=int, default=100)
    ap.add_argument("--methods", default="SNP,GENE,KEGG")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--cost-snps", type=int, default=100000)
    ap.add_argument("--cost-subjects", type=int, default=5000)
    ap.add_argument("--cost-nsim", type=int, default=100)
    ap.add_argument("--cost-only", action="store_true")
    ap.add_argument("--no-cost", action="store_true")
    ap.add_argument("--bin", default=build, help="folder with halvorix, halvorix-prep, halvorix_make_plink")
    args = ap.parse_args()
    if not args.cost_only:
        error_rates(args)
    if not args.no_cost:
        cost(args)


if __name__ == "__main__":
    main()
