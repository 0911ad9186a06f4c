"""Tidy tables: tab-separated, one header line of snake-case names, one row per item, in the
order of the halvorix result. R's read.delim and pandas' read_csv(sep="\\t") load them as
they are (no quoting is needed: names and numbers hold no tabs or newlines).
"""

TABLE_NAMES = {"SNP": "snps.tsv", "GENE": "genes.tsv", "GO": "sets.tsv", "KEGG": "sets.tsv",
               "SETS": "sets.tsv"}


def values_of(ids, values):
    """The non-empty values of a row's set IDs (merged sets have several), in their order."""
    return [values[i] for i in ids.split(",") if values.get(i)]


def joined(ids, values):
    """The values of a row's set IDs joined by ' | ', or NA."""
    return " | ".join(values_of(ids, values)) or "NA"


def extra_columns(result, annotations):
    """Columns the optional inputs add: positions and genes of SNPs, SNPs of genes,
    namespaces of GO sets, names and descriptions of sets. Each is (name, one text per row)."""
    extra = []
    if result.method == "SNP":
        snps = result.texts("snp")
        if "positions" in annotations:
            positions = annotations["positions"]
            extra.append(("chr", [positions.get(s, ("NA", None))[0] for s in snps]))
            extra.append(("bp", [str(positions[s][1]) if s in positions else "NA" for s in snps]))
        if "genes_of_snp" in annotations:
            genes = annotations["genes_of_snp"]
            extra.append(("genes", [",".join(genes.get(s, [])) for s in snps]))
    elif result.method == "GENE" and "snps_of_gene" in annotations:
        snps = annotations["snps_of_gene"]
        extra.append(("snps", [",".join(snps.get(g, [])) for g in result.texts("gene")]))
    elif result.method == "GO" and "namespace" in annotations:
        spaces = annotations["namespace"]
        extra.append(("namespace", [
            ",".join(sorted({spaces.get(t, "NA") for t in ids.split(",")}))
            for ids in result.texts("set_ids")]))
    if result.method != "SNP" and result.method != "GENE":
        for column, key in (("name", "names"), ("description", "descriptions")):
            if key in annotations:
                extra.append((column, [joined(ids, annotations[key])
                                       for ids in result.texts("set_ids")]))
    return extra


def tidy_text(result, annotations):
    """The whole tidy table of `result` as text."""
    extra = extra_columns(result, annotations)
    header = result.columns + [name for name, _ in extra]
    lines = ["\t".join(header)]
    for i, row in enumerate(result.rows):
        lines.append("\t".join(row + [values[i] for _, values in extra]))
    return "\n".join(lines) + "\n"


def write_tidy_table(result, annotations, folder):
    """Writes the method's table into `folder`; returns its file name."""
    name = TABLE_NAMES[result.method]
    with open(f"{folder}/{name}", "w", encoding="utf-8", newline="\n") as f:
        f.write(tidy_text(result, annotations))
    return name
