"""The place of the top GO terms in the GO graph: the terms, all their ancestors up to the
root of their namespace, and the edges between them, drawn in layers from the roots down.
"""
import matplotlib.pyplot as plt

from .cli import TOP_TERMS
from .figures import p_class, p_legend, save


def ancestors_subgraph(terms, parents):
    """The nodes (terms and their ancestors) and the child -> parent edges among them."""
    nodes, edges, stack = set(), [], [t for t in terms if t in parents]
    while stack:
        term = stack.pop()
        if term in nodes:
            continue
        nodes.add(term)
        for parent in parents.get(term, []):
            edges.append((term, parent))
            stack.append(parent)
    return nodes, edges


def layers(nodes, edges):
    """Depth of each node: the longest path up to a root (edges closing a cycle are skipped)."""
    up = {n: [] for n in nodes}
    for child, parent in edges:
        up[child].append(parent)
    depth, on_path = {}, set()

    def visit(node):
        if node in depth:
            return depth[node]
        on_path.add(node)
        d = 0
        for parent in up[node]:
            if parent not in on_path:
                d = max(d, visit(parent) + 1)
        on_path.discard(node)
        depth[node] = d
        return d

    for node in sorted(nodes):
        visit(node)
    return depth


def positions(nodes, edges, depth):
    """x, y of each node: one row per depth, ordered by the mean x of each node's parents."""
    rows = {}
    for node in sorted(nodes):
        rows.setdefault(depth[node], []).append(node)
    up = {n: [p for c, p in edges if c == n] for n in nodes}
    xy = {}
    for d in sorted(rows):
        row = rows[d]
        def parent_x(n):
            xs = [xy[p][0] for p in up[n] if p in xy]
            return sum(xs) / len(xs) if xs else 0.0
        row.sort(key=lambda n: (parent_x(n), n))
        for i, node in enumerate(row):
            xy[node] = (i - (len(row) - 1) / 2, -d)
    return xy


def go_graph_plot(sets_result, parents, namespace, folder):
    """The figure, or None when no top term is in the edges file."""
    top = []  # (term, adjusted p) of the first sets, best first
    for ids, p in zip(sets_result.texts("set_ids"), sets_result.numbers("p")):
        for term in ids.split(","):
            if len(top) < TOP_TERMS and term not in [t for t, _ in top]:
                top.append((term, p))
    nodes, edges = ancestors_subgraph([t for t, _ in top], parents)
    if not nodes:
        return None
    depth = layers(nodes, edges)
    xy = positions(nodes, edges, depth)
    widest = max(sum(1 for n in nodes if depth[n] == d) for d in set(depth.values()))
    fig, ax = plt.subplots(figsize=(max(6.0, 1.25 * widest), 1.2 + 0.9 * (max(depth.values()) + 1)))
    for child, parent in edges:
        ax.annotate("", xy=xy[parent], xytext=xy[child],
                    arrowprops={"arrowstyle": "->", "color": "#aaaaaa", "shrinkA": 11,
                                "shrinkB": 11})
    p_of = dict(top)
    for node, (x, y) in xy.items():
        colour = p_class(p_of[node])[1] if node in p_of else "#ffffff"
        ax.text(x, y, node + ("\n" + namespace.get(node, "") if depth[node] == 0 else ""),
                ha="center", va="center", fontsize=7,
                bbox={"boxstyle": "round,pad=0.3", "facecolor": colour, "edgecolor": "#555555"})
    ax.set_xlim(-widest / 2 - 0.5, widest / 2 + 0.5)
    ax.set_ylim(-max(depth.values()) - 0.6, 0.6)
    p_legend(ax, [p for _, p in top], loc="lower left")
    ax.axis("off")
    ax.set_title(f"Top {len(top)} GO terms and their ancestors")
    fig.tight_layout()
    missing = [t for t, _ in top if t not in parents]
    caption = ("The terms of the top gene sets (coloured by adjusted p-value as in the bar "
               "chart), with every ancestor up to the root of their namespace; arrows point "
               "from child to parent.")
    if missing:
        caption += f" Not in the edges file: {', '.join(missing)}."
    return save(fig, folder, "go_graph", "Top GO terms in the graph", caption)
