"""The place of the top GO terms in the GO graph: the terms, their ancestors towards the root
of their namespace, and the edges between them, drawn in layers from the roots down.

The drawing is bounded whatever the graph: ancestors are gathered breadth first, a few steps
up and up to MAX_NODES terms, with fewer steps while the layers would be too many or too wide;
terms whose parents are left out are marked. Nothing here recurses, so a chain of a million
terms costs one pass over the terms actually drawn.
"""
import textwrap

import matplotlib.pyplot as plt

from .cli import TOP_TERMS
from .errors import shortened
from .figures import drawable, p_class, p_legend, save

MAX_STEPS = 8  # steps up from a top term
MAX_NODES = 40
MAX_ROWS = 12
MAX_ROW_WIDTH = 12
NAME_WIDTH = 22  # characters per line of a term's name in its box; two lines at most


def ancestors_subgraph(terms, parents, steps, max_nodes=MAX_NODES):
    """(nodes, child -> parent edges among them, nodes with a parent left out): the terms and
    their ancestors up to `steps` steps above them, at most `max_nodes` nodes in all, nearest
    first."""
    nodes, frontier = [], []
    for term in terms:
        if term in parents and term not in nodes and len(nodes) < max_nodes:
            nodes.append(term)
            frontier.append(term)
    kept = set(nodes)
    for _ in range(steps):
        following = []
        for term in frontier:
            for parent in parents.get(term, []):
                if parent not in kept and len(nodes) < max_nodes:
                    kept.add(parent)
                    nodes.append(parent)
                    following.append(parent)
        frontier = following
    edges = [(c, p) for c in nodes for p in parents.get(c, []) if p in kept]
    cut = {c for c in nodes if any(p not in kept for p in parents.get(c, []))}
    return nodes, edges, cut


def layers(nodes, edges):
    """Depth of each node: the longest path up to a root among `nodes` (an edge that would
    close a cycle is skipped). Depth-first with an explicit stack."""
    up = {n: [] for n in nodes}
    for child, parent in edges:
        up[child].append(parent)
    depth, on_path = {}, set()
    for start in sorted(nodes):
        if start in depth:
            continue
        stack = [(start, iter(up[start]))]
        on_path.add(start)
        while stack:
            node, pending = stack[-1]
            parent = next(pending, None)
            if parent is None:
                stack.pop()
                on_path.discard(node)
                depth[node] = max([depth[p] + 1 for p in up[node] if p in depth] + [0])
            elif parent not in depth and parent not in on_path:
                on_path.add(parent)
                stack.append((parent, iter(up[parent])))
    return depth


def positions(nodes, edges, depth):
    """x, y of each node: one row per depth, ordered by the mean x of each node's parents."""
    rows = {}
    for node in sorted(nodes):
        rows.setdefault(depth[node], []).append(node)
    up = {n: [] for n in nodes}
    for child, parent in edges:
        up[child].append(parent)
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


def bounded_layout(terms, parents):
    """The subgraph, its layers and the number of nodes in each layer, with the most steps up
    that keep the drawing in bounds."""
    for steps in range(MAX_STEPS, -1, -1):
        nodes, edges, cut = ancestors_subgraph(terms, parents, steps)
        depth = layers(nodes, edges)
        widths = {}
        for d in depth.values():
            widths[d] = widths.get(d, 0) + 1
        if not nodes or (len(widths) <= MAX_ROWS and max(widths.values()) <= MAX_ROW_WIDTH):
            return nodes, edges, cut, depth, widths
    # With no steps up only the top terms are drawn, and TOP_TERMS is within both bounds.
    raise AssertionError("the top terms alone do not fit the drawing")


def node_label(node, names, namespace, is_root):
    lines = [shortened(node, 24)]
    name = names.get(node, "")[:4 * NAME_WIDTH]  # all that two lines can show
    if name:
        wrapped = textwrap.wrap(name, NAME_WIDTH, max_lines=2, placeholder="…")
        lines += [shortened(line, NAME_WIDTH + 1) for line in wrapped]
    if is_root and namespace.get(node):
        lines.append(shortened(namespace[node], 24))
    return drawable("\n".join(lines), 200)


def go_graph_plot(sets_result, parents, namespace, folder, names=None):
    """The figure, or None when no top term is in the edges file."""
    names = names or {}
    top = []  # (term, adjusted p) of the first sets, best first
    for ids, p in zip(sets_result.texts("set_ids"), sets_result.numbers("p")):
        for term in ids.split(","):
            if len(top) < TOP_TERMS and term not in [t for t, _ in top]:
                top.append((term, p))
    nodes, edges, cut, depth, widths = bounded_layout([t for t, _ in top], parents)
    if not nodes:
        return None
    xy = positions(nodes, edges, depth)
    widest = max(widths.values())
    rows = max(depth.values()) + 1
    box = 1.7 if names else 1.25  # inches a node takes across
    fig, ax = plt.subplots(figsize=(max(6.0, box * widest), 1.2 + (1.1 if names else 0.9) * rows))
    for child, parent in edges:
        ax.annotate("", xy=xy[parent], xytext=xy[child],
                    arrowprops={"arrowstyle": "->", "color": "#aaaaaa", "shrinkA": 11,
                                "shrinkB": 11})
    p_of = dict(top)
    for node, (x, y) in xy.items():
        colour = p_class(p_of[node])[1] if node in p_of else "#ffffff"
        ax.text(x, y, node_label(node, names, namespace, depth[node] == 0 and node not in cut),
                ha="center", va="center", fontsize=7,
                bbox={"boxstyle": "round,pad=0.3", "facecolor": colour, "edgecolor": "#555555"})
        if node in cut:
            ax.text(x, y + 0.42, "⋮", ha="center", va="center", fontsize=9, color="#777777")
    ax.set_xlim(-widest / 2 - 0.5, widest / 2 + 0.5)
    ax.set_ylim(-rows + 0.4, 0.7)
    p_legend(ax, [p for _, p in top], loc="lower left")
    ax.axis("off")
    ax.set_title(f"Top {len(top)} GO terms and their ancestors")
    fig.tight_layout()
    missing = [t for t, _ in top if t not in parents]
    caption = ("The terms of the top gene sets (coloured by adjusted p-value as in the bar "
               "chart), with their ancestors towards the root of their namespace; arrows point "
               "from child to parent.")
    if cut:
        caption += (f" Terms marked ⋮ have ancestors not drawn (at most {MAX_NODES} terms and "
                    f"{MAX_ROWS} layers are drawn).")
    if missing:
        shown = ", ".join(shortened(t, 24) for t in missing)
        caption += f" Not in the edges file: {shown}."
    return save(fig, folder, "go_graph", "Top GO terms in the graph", caption)
