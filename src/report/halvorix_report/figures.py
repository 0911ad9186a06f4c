"""The report's figures, drawn with matplotlib and saved as PNG (for the page and slides) and
SVG (for papers). Each figure function returns a Figure record; nothing here reads files.
"""
import math
import os

import matplotlib

matplotlib.use("Agg")  # no display: files only
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import Patch  # noqa: E402

from . import stats  # noqa: E402
from .errors import shortened  # noqa: E402

# Same bytes for the same input: fixed SVG element ids, no creation dates.
matplotlib.rcParams["svg.hashsalt"] = "halvorix-report"
matplotlib.rcParams["font.size"] = 10

TOP_COUNT = 30
LABEL_LIMIT = 48  # characters of a name or ID in a figure; longer ones end in an ellipsis
P_CLASSES = [(0.01, "p < 0.01", "#b2182b"), (0.05, "p < 0.05", "#ef8a62"),
             (math.inf, "p ≥ 0.05", "#999999")]


class Figure:
    """A saved figure: file stem (stem.png, stem.svg), title and a caption for the page."""

    def __init__(self, stem, title, caption, width_inches):
        self.stem = stem
        self.title = title
        self.caption = caption
        self.width_inches = width_inches  # the page shows it at about its printed size


def drawable(text, limit=LABEL_LIMIT):
    """Input text as matplotlib draws it literally: shortened, and every dollar sign escaped,
    so that no name is read as mathematics (a backslash outside mathematics is plain text)."""
    return shortened(text, limit).replace("$", r"\$")


def save(fig, folder, stem, title, caption):
    width_inches = float(fig.get_size_inches()[0])
    fig.savefig(os.path.join(folder, stem + ".png"), dpi=150, metadata={"Software": None})
    fig.savefig(os.path.join(folder, stem + ".svg"), metadata={"Date": None})
    plt.close(fig)
    return Figure(stem, title, caption, width_inches)


def p_class(p):
    """(label, colour) of an adjusted p-value."""
    for bound, label, colour in P_CLASSES:
        if p < bound or bound == math.inf:
            return label, colour
    return P_CLASSES[-1][1:]


def p_text(p, nsim):
    """An adjusted p-value as the figures print it; 0 means fewer than 1 in nsim replicates."""
    if p == 0 and nsim:
        return f"p < {1 / nsim:.2g}"
    return f"p = {p:.3g}"


def qq_plot(result, folder):
    """Observed statistics against their null quantiles, with the inflation factor for SNPs."""
    fig, ax = plt.subplots(figsize=(5.5, 5.5))
    if result.method == "SNP":
        used = [x for x, u in zip(result.numbers("x_stat"), result.texts("used")) if u != "0"]
        observed = stats.finite_sorted_desc(used)
        expected = stats.chisq1_quantiles_desc(len(observed))
        lam = stats.inflation_factor(used)
        ax.set_xlabel("expected statistic (chi-square, 1 df)")
        ax.set_ylabel("observed SNP statistic")
        ax.text(0.04, 0.96, f"λ = {lam:.3f}", transform=ax.transAxes, va="top", fontsize=12)
        caption = (f"{len(observed)} SNP statistics against the 1-df chi-square null. "
                   f"Genomic inflation factor λ = median statistic / {stats.CHISQ1_MEDIAN:.4f}"
                   f" = {lam:.3f}.")
    else:
        observed = stats.finite_sorted_desc(result.numbers("z"))
        expected = stats.normal_quantiles_desc(len(observed))
        item = "gene" if result.method == "GENE" else "gene-set"
        ax.set_xlabel("expected z (standard normal)")
        ax.set_ylabel(f"observed {item} z-score")
        caption = f"{len(observed)} {item} z-scores against the standard normal."
    ax.scatter(expected, observed, s=12, color="#2166ac", zorder=3)
    ends = [min(expected + observed), max(expected + observed)] if observed else [0, 1]
    ax.plot(ends, ends, color="#888888", linewidth=1, linestyle="--", zorder=2)
    ax.set_title("QQ plot")
    ax.grid(alpha=0.3)
    fig.tight_layout()
    return save(fig, folder, "qq", "QQ plot", caption)


def chromosome_key(name):
    special = {"X": 23, "Y": 24, "XY": 25, "MT": 26, "M": 26}
    bare = name[3:] if name.lower().startswith("chr") else name
    if bare.isdigit():
        return (int(bare), "")
    return (special.get(bare.upper(), 100), bare)


def genome_positions(snps, positions):
    """x position of each placed SNP along the genome, and the chromosome label ticks."""
    chromosomes = sorted({positions[s][0] for s in snps if s in positions}, key=chromosome_key)
    offset, start, ticks = 0, {}, []
    for chrom in chromosomes:
        bps = [positions[s][1] for s in snps if s in positions and positions[s][0] == chrom]
        start[chrom] = offset - min(bps)
        ticks.append((offset + (max(bps) - min(bps)) / 2, chrom))
        offset += max(bps) - min(bps) + max(1, (max(bps) - min(bps)) // 20) + 1
    x = {s: start[positions[s][0]] + positions[s][1] for s in snps if s in positions}
    return x, ticks, chromosomes


def manhattan_plot(result, folder, positions):
    """-log10 of each SNP's asymptotic p-value along the genome (file order without a .bim)."""
    snps = result.texts("snp")
    y = [stats.minus_log10(stats.chisq1_upper_p(x)) for x in result.numbers("x_stat")]
    adjusted = result.numbers("p")
    fig, ax = plt.subplots(figsize=(10, 4))
    if positions:
        x_of, ticks, chromosomes = genome_positions(snps, positions)
        colour_of = {c: ("#2166ac" if i % 2 == 0 else "#67a9cf") for i, c in enumerate(chromosomes)}
        placed = [i for i, s in enumerate(snps) if s in x_of]
        xs = [x_of[snps[i]] for i in placed]
        colours = [colour_of[positions[snps[i]][0]] for i in placed]
        ax.set_xticks([t for t, _ in ticks], [drawable(c, 12) for _, c in ticks])
        ax.set_xlabel("chromosome")
        missing = len(snps) - len(placed)
        where = "along the genome" + (f"; {missing} SNPs not in the .bim are left out"
                                      if missing else "")
    else:
        placed = list(range(len(snps)))
        xs = [int(r) for r in result.texts("row_num")]
        colours = ["#2166ac"] * len(placed)
        ax.set_xlabel("SNP (order of the score file; give --bim for genome positions)")
        where = "in the order of the score file"
    ax.scatter(xs, [y[i] for i in placed], s=8, c=colours, zorder=3)
    hits = [i for i in placed if adjusted[i] < 0.05]
    if hits:
        ax.scatter([xs[placed.index(i)] for i in hits], [y[i] for i in hits], s=22,
                   facecolors="none", edgecolors="#b2182b", linewidths=1.2, zorder=4,
                   label="adjusted p < 0.05")
        ax.legend(loc="upper right", frameon=False)
    ax.set_ylabel("-log10 p (chi-square, 1 df)")
    ax.set_title("SNP associations")
    ax.grid(axis="y", alpha=0.3)
    fig.tight_layout()
    caption = (f"-log10 of each SNP's asymptotic 1-df chi-square p-value, {where}. "
               "Circled: step-down adjusted p < 0.05.")
    return save(fig, folder, "manhattan", "SNP associations", caption)


def plural(count_text, noun):
    return f"{count_text} {noun}" + ("" if count_text == "1" else "s")


def p_legend(ax, p_values, **where):
    """Legend of the adjusted-p colours that occur."""
    handles = {}
    for p in p_values:
        label, colour = p_class(p)
        handles.setdefault(label, Patch(facecolor=colour, edgecolor="#555555", label=label))
    ax.legend(handles=list(handles.values()), title="adjusted p", frameon=False, **where)


def set_label(ids, names):
    """A bar's label: the set's first ID, how many more IDs share its genes, and its name."""
    parts = ids.split(",")
    label = shortened(parts[0], 24) + ("" if len(parts) == 1 else f" +{len(parts) - 1}")
    name = next((names[i] for i in parts if names.get(i)), "")
    return f"{label} {shortened(name, LABEL_LIMIT - len(label))}" if name else label


def top_bars(result, folder, nsim, names=None):
    """The top items (first in the file: highest z) as horizontal bars of their z-scores."""
    count = min(TOP_COUNT, len(result.rows))
    z = result.numbers("z")[:count]
    p = result.numbers("p")[:count]
    if result.method == "GENE":
        labels = [drawable(f"{shortened(g, 24)} ({plural(n, 'SNP')})", LABEL_LIMIT + 16)
                  for g, n in zip(result.texts("gene"), result.texts("num_snps"))]
        stem, item = "top_genes", "genes"
    else:
        labels = [drawable(f"{set_label(i, names or {})} ({plural(n, 'gene')})", LABEL_LIMIT + 16)
                  for i, n in zip(result.texts("set_ids"), result.texts("num_genes"))]
        stem, item = "top_sets", "sets"
    labels = labels[:count]
    fig, ax = plt.subplots(figsize=(9 if names else 8, 1.2 + 0.28 * count))
    classes = [p_class(v) for v in p]
    heights = [v if math.isfinite(v) else 0.0 for v in z]
    ax.barh(range(count), heights, color=[c for _, c in classes], zorder=3)
    ax.set_yticks(range(count), labels)
    ax.invert_yaxis()
    span = max([abs(h) for h in heights] + [1.0])
    for i, h in enumerate(heights):
        ax.text(h + span * 0.01 if h >= 0 else span * 0.01, i, p_text(p[i], nsim), va="center",
                fontsize=8)
    ax.set_xlim(min(0.0, min(heights, default=0.0)) * 1.1, span * 1.25)
    p_legend(ax, p, loc="lower right")
    ax.set_xlabel("z-score")
    ax.set_title(f"Top {count} {item}")
    ax.grid(axis="x", alpha=0.3)
    fig.tight_layout()
    caption = (f"The {count} {item} with the highest z-scores, coloured by step-down adjusted "
               "p-value.")
    return save(fig, folder, stem, f"Top {item}", caption)
