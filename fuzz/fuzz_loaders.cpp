// libFuzzer harness for the input loaders of both programs: each input is written to a file and
// read by the loader that the environment variable HALVORIX_FUZZ_LOADER names (one build for
// all of them: see scripts/fuzz.sh). A loader may reject an input (fail_* throws RunStopped in
// fuzzing builds); it may not crash, hang, leak or trip a sanitizer.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/fail.h"
#include "cli/options.h"
#include "files/binary_score_file.h"
#include "prep/gaf.h"
#include "prep/genemap.h"
#include "prep/gmt.h"
#include "prep/kegg_links.h"
#include "prep/obo.h"
#include "prep/phenotypes.h"
#include "prep/plink.h"
#include "stats/gene.h"
#include "stats/genesets.h"
#include "stats/gmt.h"
#include "stats/go.h"
#include "stats/kegg.h"
#include "stats/snp.h"

namespace {

std::string folder() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("halvorix_fuzz_" + std::to_string(static_cast<long>(getpid())));
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  return path;
}

std::string write_file(const std::string& name, const std::string& content) {
  const std::string path = folder() + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

/// The SNPs and genes that the annotation loaders look names up in.
const std::string& known_score_file() {
  static const std::string path =
      write_file("known_score.dat", "rs1 1 2 3\nrs2 2 1 0\nrs3 0 1 -1\n");
  return path;
}

SNPData& known_snps() {
  static SNPData snps(known_score_file(), -999.0f, "zero");
  return snps;
}

GENEData& known_genes() {
  static GENEData genes(kDefaultScoring,
                        write_file("known_gene_snp.dat", "G1 rs1 0\nG2 rs2 10\nG3 rs3 -5\n"), 50000,
                        known_snps());
  return genes;
}

std::vector<FamRecord>& known_fam() {
  static std::vector<FamRecord> fam = load_fam(
      write_file("known.fam", "f1 i1 0 0 1 1.5\nf2 i2 0 0 2 2.5\nf3 i3 0 0 1 -9\nf4 i4 0 0 2 4\n"));
  return fam;
}

const char* const kLoaders[] = {
    "score",     "compact", "binary_header", "gene_snp",   "go_edges",  "go_gene",
    "kegg_gene", "parfile", "bim",           "fam",        "bed",       "pheno",
    "genes",     "obo",     "gaf",           "kegg_links", "gene_sets", "gmt"};

/// Every byte a checked binary score file's header lets a reader touch: each score (decoded
/// for version 2), each name and, for version 2, each covariate. A header that passed its
/// checks yet points past the file trips the address sanitizer here.
void walk_binary_score_file(const std::string& input) {
  const BinaryScoreFile file(input);
  const auto nsnp = static_cast<int>(file.header.nsnp);
  const auto nsubj = static_cast<int>(file.header.nsubj);
  volatile float sink = 0;
  std::vector<float> row(static_cast<std::size_t>(nsubj));
  std::vector<double> values(static_cast<std::size_t>(nsubj));
  for (int r = 0; r < nsnp; ++r) {
    if (file.is_compact()) {
      file.compact.decode(r, 0, nsubj, row.data());
      file.compact.genotype_values(r, values.data());
    } else {
      std::copy_n(file.scores() + static_cast<std::size_t>(r) * row.size(), row.size(),
                  row.begin());
    }
    for (float v : row) sink = sink + v;
  }
  if (file.is_compact()) {
    for (std::uint32_t c = 0; c < file.compact.header.covariate_columns; ++c)
      sink =
          sink + static_cast<float>(file.compact.covariate_column(static_cast<int>(c))[nsubj - 1]);
  }
  for (const std::string& name : file.names) sink = sink + static_cast<float>(name.size());
}

std::string loader;

void load(const std::string& input) {
  if (loader == "score" || loader == "compact") {  // the same reader, from other seeds
    SNPData snps(input, -999.0f, "mean");
  } else if (loader == "binary_header") {
    // Headers mutated from both versions' seeds: checked against the size before any use, and
    // no allocation sized by a count the file cannot hold (libFuzzer's malloc limit sees one).
    walk_binary_score_file(input);
    SNPData snps(input, -999.0f, "mean");
  } else if (loader == "gene_snp") {
    // A fresh copy of the known SNPs: the loader marks the SNPs it attaches as used.
    SNPData snps(known_score_file(), -999.0f, "zero");
    GENEData genes(kDefaultScoring, input, 50000, snps);
  } else if (loader == "go_edges") {
    GOData go(input, "all");
    go.find_descendants();
    go.find_gene_sets(30);
  } else if (loader == "go_gene") {
    static const std::string edges =
        write_file("known_go_edges.dat", "bp T1 is_a T0\nbp T2 is_a T1\n");
    GENEData genes = known_genes();
    GOData go(edges, "all");
    go.load_go_gene(input, genes);
  } else if (loader == "kegg_gene") {
    GENEData genes = known_genes();
    KEGGData kegg(input, genes);
  } else if (loader == "gene_sets") {
    GENEData genes = known_genes();
    GMTData gmt(input, genes);
    GeneSets sets;
    sets.make_gene_sets(gmt, 30);
  } else if (loader == "parfile") {
    std::string program = "halvorix", flag = "--parfile", name = input;
    std::vector<char*> argv = {program.data(), flag.data(), name.data()};
    Commands cmds;
    cmds.setFromLine(static_cast<int>(argv.size()), argv.data());
    Option_fstream parfile("par", "parfile", "", "file of options");
    cmds.setFromFile(parfile);
  } else if (loader == "bim") {
    load_bim(input);
  } else if (loader == "fam") {
    load_fam(input);
  } else if (loader == "bed") {
    BedReader bed(input, 3, 5);
    std::vector<unsigned char> bytes;
    for (int snp = 0; snp < 3; ++snp) bed.read_snp(bytes);
    bed.check_end();
  } else if (loader == "pheno") {
    load_subject_columns(input, {}, known_fam());
  } else if (loader == "genes") {
    load_gene_list(input);
  } else if (loader == "obo") {
    write_go_edges_file(GoOptions{input, folder() + "/out.dat"});
  } else if (loader == "gaf") {
    GafOptions options;
    options.gaf = input;
    options.out = folder() + "/out.dat";
    write_go_gene_file(options);
  } else if (loader == "kegg_links") {
    write_kegg_file(KeggOptions{input, folder() + "/out.dat"});
  } else if (loader == "gmt") {
    GmtOptions options;
    options.gmt = input;
    options.names = folder() + "/names.tsv";
    options.out = folder() + "/out.gmt";
    write_gmt_file(options);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* name = std::getenv("HALVORIX_FUZZ_LOADER");
  for (const char* known : kLoaders)
    if (name != nullptr && loader.empty() && std::string(name) == known) loader = known;
  if (loader.empty()) {
    std::cerr << "set HALVORIX_FUZZ_LOADER to one of:";
    for (const char* known : kLoaders) std::cerr << ' ' << known;
    std::cerr << std::endl;
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input =
      write_file("input", std::string(reinterpret_cast<const char*>(data), size));
  try {
    load(input);
  } catch (const RunStopped&) {
    // A rejected input: the message and exit status are tested elsewhere.
  }
  return 0;
}
