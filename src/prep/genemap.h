// The gene_snp file from a .bim and a gene list: every SNP within a window of a gene, with its
// distance to the gene.
#pragma once

#include <string>
#include <vector>

struct GeneRegion {
  std::string chromosome;  ///< normalised (see normalise_chromosome)
  long long start = 0;     ///< first base pair of the gene
  long long end = 0;       ///< last base pair of the gene
  std::string name;
};

struct GenemapOptions {
  std::string bim;
  std::string vcf;  ///< VCF or BCF whose sites replace the .bim
  std::string genes;
  long long window = 50000;  ///< base pairs on either side of a gene
  std::string out;
};

struct GenemapSummary {
  long long genes = 0;
  long long genes_with_snps = 0;
  long long snps = 0;
  long long snps_unplaced = 0;  ///< chromosome 0: no position to map
  long long multiallelic = 0;   ///< VCF records with more than one ALT allele, left out
  long long snps_in_no_gene = 0;
  long long lines = 0;
};

/// One spelling per chromosome: "chr" prefixes dropped, X/Y/XY/MT as PLINK numbers them (23 to
/// 26), leading zeros dropped.
std::string normalise_chromosome(const std::string& name);

/// Reads "CHR BP1 BP2 GENE" lines ('#' lines are comments); a malformed line stops the run.
std::vector<GeneRegion> load_gene_list(const std::string& path);

/// Signed distance of `position` to the gene: 0 inside, negative before its start, positive
/// after its end.
long long distance_to_gene(long long position, const GeneRegion& gene);

/// Runs the whole conversion and writes `options.out`.
GenemapSummary write_gene_snp_file(const GenemapOptions& options);

void print_genemap_summary(const GenemapOptions& options, const GenemapSummary& summary);
