#include "prep/prep_cli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/fail.h"
#include "cli/out_of_memory.h"
#include "prep/gaf.h"
#include "prep/genemap.h"
#include "prep/kegg_links.h"
#include "prep/obo.h"
#include "prep/phenotypes.h"
#include "prep/score_binary.h"
#include "prep/scores.h"
#include "prep/vcf_scores.h"

namespace {

const char* const kUsageHead =
    "halvorix-prep: turns PLINK genotypes, gene lists and annotation downloads into the input\n"
    "files of halvorix.\n"
    "\n"
    "Usage: halvorix-prep COMMAND [options]\n"
    "\n"
    "Commands:\n";

const char* const kUsageTail =
    "\n"
    "Every input may be gzip-compressed. An output appears complete or not at all.\n"
    "'halvorix-prep COMMAND --help' describes a command.\n";

const char* const kScoresHelp =
    "Usage: halvorix-prep scores --bfile PREFIX [--pheno FILE [--pheno-name NAME]]\n"
    "                            [--covar FILE [--covar-name A,B,...]] [--1]\n"
    "                            [--missing-code X] [--format text|binary|compact]\n"
    "                            --out FILE\n"
    "       halvorix-prep scores --vcf FILE [--dosage FIELD] --pheno FILE [...] --out FILE\n"
    "\n"
    "Writes one line per SNP of PREFIX.bim: its name, then for every kept subject (in .fam\n"
    "order) (g - m) x r, where g counts allele 1 (column 5 of the .bim), m is the SNP's mean\n"
    "count over the kept subjects with a genotype, and r is the subject's phenotype minus the\n"
    "mean, or its residual from a least-squares fit on an intercept and the covariates.\n"
    "\n"
    "  --bfile PREFIX     PLINK binary set PREFIX.bed (SNP-major), PREFIX.bim, PREFIX.fam\n"
    "                     (PREFIX.bed.gz and so on when only the compressed file exists)\n"
    "  --vcf FILE         VCF (plain, bgzipped or gzipped) or BCF instead: one line per\n"
    "                     biallelic record (ID, or CHROM:POS:REF:ALT when '.'), g the ALT\n"
    "                     allele count of GT; samples matched to the tables by IID;\n"
    "                     multi-allelic records skipped (split them: bcftools norm -m -)\n"
    "  --dosage FIELD     with --vcf: g is FORMAT FIELD (e.g. DS, imputed ALT dosage 0..2)\n"
    "  --pheno FILE       phenotype table with header FID IID NAME...; default: .fam column 6\n"
    "  --pheno-name NAME  column of --pheno; default: its first phenotype column\n"
    "  --covar FILE       covariate table with header FID IID NAME...\n"
    "  --covar-name LIST  comma-separated columns of --covar; default: all of them\n"
    "  --1                case/control coded 0 = control, 1 = case (default 1 = control,\n"
    "                     2 = case, with 0 meaning missing)\n"
    "  --missing-code X   written for a missing genotype (default -999, halvorix's --miss_val)\n"
    "  --format F         text (default); binary: every score as a 32-bit float (see\n"
    "                     halvorix-prep pack --help); compact: the genotypes themselves (2 bits\n"
    "                     each, or dosages in 16 bits) with each SNP's mean and each\n"
    "                     subject's residual, about the size of the .bed: the form for large\n"
    "                     studies. halvorix gets the same scores from all three\n"
    "  --out FILE         the score file\n"
    "\n"
    "Missing phenotype: -9 or NA, and 0 for a case/control phenotype in 1/2 coding (one whose\n"
    "values are all 0, 1 or 2). Missing covariate: -9 or NA. Subjects missing either are left\n"
    "out. A score is the float nearest (g - m) x r computed in double; text gives it in the\n"
    "shortest form that reads back to it.\n";

const char* const kGenemapHelp =
    "Usage: halvorix-prep genemap (--bim FILE | --vcf FILE) --genes FILE [--window BP]\n"
    "                             --out FILE\n"
    "\n"
    "Writes 'GENE SNP DISTANCE' for every gene of the list and every SNP of the .bim within\n"
    "BP base pairs of it (default 50000): distance 0 inside the gene, otherwise the signed\n"
    "distance to the nearer gene end (negative before the start, positive after the end).\n"
    "\n"
    "  --bim FILE     PLINK .bim\n"
    "  --vcf FILE     VCF or BCF instead: its biallelic records, named as by scores --vcf\n"
    "  --genes FILE   gene list, whitespace-separated: CHR BP1 BP2 GENE ('#' lines skipped)\n"
    "  --window BP    base pairs on either side of a gene (default 50000)\n"
    "  --out FILE     the gene_snp file\n"
    "\n"
    "Chromosomes match as 1..22, X, Y, XY, MT or PLINK's 23..26, with or without 'chr'.\n"
    "A SNP chromosome the gene list lacks is an error; chromosome 0 SNPs are left out.\n";

const char* const kGoHelp =
    "Usage: halvorix-prep go --obo FILE --out FILE\n"
    "\n"
    "Writes 'NAMESPACE CHILD RELATION PARENT' for every is_a and relationship line of the\n"
    "[Term] stanzas of an OBO ontology. Obsolete terms, and edges to them or to terms the file\n"
    "does not define, are left out.\n";

const char* const kGogeneHelp =
    "Usage: halvorix-prep gogene --gaf FILE [--gene-id symbol|db-id] --out FILE\n"
    "\n"
    "Writes 'EVIDENCE GENE GO-ID' for every annotation of a GAF 2.x file, genes named by\n"
    "their symbol (column 3, default) or DB object ID (column 2). Annotations whose qualifier\n"
    "holds NOT, and repeats of a gene and term already written, are left out.\n";

const char* const kKeggHelp =
    "Usage: halvorix-prep kegg --links FILE --out FILE\n"
    "\n"
    "Reads a KEGG gene-pathway link list (hsa:GENE and path:hsaNUMBER in two columns, either\n"
    "order) and writes 'hsa:GENE path:hsaNUMBER' per link, repeats left out.\n";

const char* const kPackHelp =
    "Usage: halvorix-prep pack --score FILE [--format binary] --out FILE\n"
    "\n"
    "Reads a text score file as halvorix reads it (comments and blank lines skipped, every\n"
    "SNP kept, repeated names included, scores as 32-bit floats) and writes the same scores as\n"
    "a binary score file, which halvorix maps and reads in place. halvorix --score takes\n"
    "either form. The format is described in docs/score-format.md. A compact score file is\n"
    "made from genotypes, by halvorix-prep scores --format compact: a text file holds scores\n"
    "only, which have no genotypes to code.\n";

const char* const kUnpackHelp =
    "Usage: halvorix-prep unpack --score FILE --out FILE\n"
    "\n"
    "Writes a binary score file (float or compact) as text, one line per SNP, each score in\n"
    "the shortest form that halvorix reads back to the same float.\n";

[[noreturn]] void fail_usage(const std::string& command, const std::string& message) {
  fail_stderr("error: " + command + ": " + message + " (see halvorix-prep " + command + " --help)");
}

std::string required(const std::string& command, const ParsedFlags& flags, const char* name) {
  const auto found = flags.values.find(name);
  if (found == flags.values.end()) fail_usage(command, std::string(name) + " is required");
  return found->second;
}

std::string optional(const ParsedFlags& flags, const char* name) {
  const auto found = flags.values.find(name);
  return found == flags.values.end() ? std::string() : found->second;
}

/// The value of whichever of two exclusive flags was given, in `first` or `second`.
void one_of(const std::string& command, const ParsedFlags& flags, const char* first_name,
            const char* second_name, std::string& first, std::string& second) {
  first = optional(flags, first_name);
  second = optional(flags, second_name);
  if (flags.values.count(first_name) > 0 && flags.values.count(second_name) > 0) {
    fail_usage(command, std::string(first_name) + " and " + second_name + " exclude each other");
  }
  if (flags.values.count(first_name) == 0 && flags.values.count(second_name) == 0) {
    fail_usage(command, std::string(first_name) + " or " + second_name + " is required");
  }
}

int run_scores(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags("scores", args,
                                        {{"--bfile", true},
                                         {"--vcf", true},
                                         {"--dosage", true},
                                         {"--pheno", true},
                                         {"--pheno-name", true},
                                         {"--covar", true},
                                         {"--covar-name", true},
                                         {"--1", false},
                                         {"--missing-code", true},
                                         {"--format", true},
                                         {"--out", true}});
  if (flags.help) {
    std::cout << kScoresHelp;
    return 0;
  }
  ScoreOptions options;
  one_of("scores", flags, "--bfile", "--vcf", options.bfile, options.vcf);
  options.dosage_field = optional(flags, "--dosage");
  if (flags.values.count("--dosage") > 0 && options.vcf.empty()) {
    fail_usage("scores", "--dosage needs --vcf");
  }
  if (flags.values.count("--dosage") > 0 && options.dosage_field.empty()) {
    fail_usage("scores", "--dosage needs a FORMAT field name, such as DS");
  }
  options.out = required("scores", flags, "--out");
  options.pheno_file = optional(flags, "--pheno");
  options.pheno_name = optional(flags, "--pheno-name");
  options.covar_file = optional(flags, "--covar");
  options.covar_names = split_names(optional(flags, "--covar-name"));
  options.zero_one_coding = flags.values.count("--1") > 0;
  if (!options.vcf.empty() && options.pheno_file.empty()) {
    fail_usage("scores", "--vcf needs --pheno (a VCF carries no phenotype)");
  }
  if (!options.pheno_name.empty() && options.pheno_file.empty()) {
    fail_usage("scores", "--pheno-name needs --pheno");
  }
  if (!options.covar_names.empty() && options.covar_file.empty()) {
    fail_usage("scores", "--covar-name needs --covar");
  }
  const std::string format = optional(flags, "--format");
  if (!format.empty() && format != "text" && format != "binary" && format != "compact") {
    fail_usage("scores", "--format must be text, binary or compact, not '" + format + "'");
  }
  options.format = format == "binary"    ? ScoreFormat::binary
                   : format == "compact" ? ScoreFormat::compact
                                         : ScoreFormat::text;
  const std::string code = optional(flags, "--missing-code");
  if (!code.empty()) {
    char* end = nullptr;
    options.missing_code = std::strtod(code.c_str(), &end);
    if (*end != '\0' || !std::isfinite(options.missing_code)) {
      fail_usage("scores", "--missing-code '" + code + "' is not a number");
    }
  }
  print_score_summary(
      options, options.vcf.empty() ? write_score_file(options) : write_vcf_score_file(options));
  return 0;
}

int run_genemap(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags(
      "genemap", args,
      {{"--bim", true}, {"--vcf", true}, {"--genes", true}, {"--window", true}, {"--out", true}});
  if (flags.help) {
    std::cout << kGenemapHelp;
    return 0;
  }
  GenemapOptions options;
  one_of("genemap", flags, "--bim", "--vcf", options.bim, options.vcf);
  options.genes = required("genemap", flags, "--genes");
  options.out = required("genemap", flags, "--out");
  const std::string window = optional(flags, "--window");
  if (!window.empty()) {
    char* end = nullptr;
    errno = 0;
    options.window = std::strtoll(window.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || options.window < 0 || options.window > 2000000000) {
      fail_usage("genemap", "--window '" + window + "' is not a whole number of base pairs " +
                                "from 0 to 2000000000");
    }
  }
  print_genemap_summary(options, write_gene_snp_file(options));
  return 0;
}

int run_go(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags("go", args, {{"--obo", true}, {"--out", true}});
  if (flags.help) {
    std::cout << kGoHelp;
    return 0;
  }
  GoOptions options;
  options.obo = required("go", flags, "--obo");
  options.out = required("go", flags, "--out");
  print_go_summary(options, write_go_edges_file(options));
  return 0;
}

int run_gogene(const std::vector<std::string>& args) {
  const ParsedFlags flags =
      parse_flags("gogene", args, {{"--gaf", true}, {"--gene-id", true}, {"--out", true}});
  if (flags.help) {
    std::cout << kGogeneHelp;
    return 0;
  }
  GafOptions options;
  options.gaf = required("gogene", flags, "--gaf");
  options.out = required("gogene", flags, "--out");
  const std::string gene_id = optional(flags, "--gene-id");
  if (!gene_id.empty() && gene_id != "symbol" && gene_id != "db-id") {
    fail_usage("gogene", "--gene-id must be symbol or db-id, not '" + gene_id + "'");
  }
  options.use_db_id = gene_id == "db-id";
  print_gaf_summary(options, write_go_gene_file(options));
  return 0;
}

int run_kegg(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags("kegg", args, {{"--links", true}, {"--out", true}});
  if (flags.help) {
    std::cout << kKeggHelp;
    return 0;
  }
  KeggOptions options;
  options.links = required("kegg", flags, "--links");
  options.out = required("kegg", flags, "--out");
  print_kegg_summary(options, write_kegg_file(options));
  return 0;
}

int run_pack_or_unpack(const std::vector<std::string>& args, bool to_binary) {
  const char* command = to_binary ? "pack" : "unpack";
  std::vector<FlagSpec> specs = {{"--score", true}, {"--out", true}};
  if (to_binary) specs.push_back({"--format", true});
  const ParsedFlags flags = parse_flags(command, args, specs);
  if (flags.help) {
    std::cout << (to_binary ? kPackHelp : kUnpackHelp);
    return 0;
  }
  const std::string in = required(command, flags, "--score");
  const std::string out = required(command, flags, "--out");
  const std::string format = optional(flags, "--format");
  if (format == "compact") {
    fail_stderr("error: pack: " + in +
                " holds scores, not genotypes, so it cannot be coded as a compact file; write "
                "one from the genotypes with halvorix-prep scores ... --format compact");
  }
  if (!format.empty() && format != "binary")
    fail_usage(command, "--format must be binary, not '" + format + "'");
  if (to_binary) {
    print_pack_summary(in, out, pack_score_file(in, out));
  } else {
    print_unpack_summary(in, out, unpack_score_file(in, out));
  }
  return 0;
}

int run_pack(const std::vector<std::string>& args) { return run_pack_or_unpack(args, true); }

int run_unpack(const std::vector<std::string>& args) { return run_pack_or_unpack(args, false); }

/// One command of halvorix-prep: the table below drives both the dispatch and the usage text.
struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* reads;   ///< its inputs, for the usage text
  const char* writes;  ///< its output, for the usage text
};

const Command kCommands[] = {
    {"scores", run_scores, "PLINK .bed/.bim/.fam or VCF/BCF, phenotype", "SNP score file"},
    {"genemap", run_genemap, ".bim or VCF/BCF and a gene list", "gene_snp file"},
    {"go", run_go, "Gene Ontology in OBO format", "GO edges file"},
    {"gogene", run_gogene, "GO annotations in GAF 2.x format", "GO-gene file"},
    {"kegg", run_kegg, "KEGG gene-pathway link list", "KEGG file"},
    {"pack", run_pack, "text score file", "binary score file"},
    {"unpack", run_unpack, "binary score file", "text score file"},
};

/// `text` followed by blanks up to `width` characters.
std::string padded(const char* text, std::size_t width) {
  std::string result = text;
  result.resize(std::max(width, result.size()), ' ');
  return result;
}

/// The usage text: one aligned line per command, "NAME  READS  -> WRITES".
std::string usage_text() {
  std::size_t name_width = 0;
  std::size_t reads_width = 0;
  for (const Command& command : kCommands) {
    name_width = std::max(name_width, std::strlen(command.name));
    reads_width = std::max(reads_width, std::strlen(command.reads));
  }
  std::string text = kUsageHead;
  for (const Command& command : kCommands) {
    text += "  " + padded(command.name, name_width + 2) + padded(command.reads, reads_width + 3) +
            "-> " + command.writes + "\n";
  }
  return text + kUsageTail;
}

}  // namespace

ParsedFlags parse_flags(const std::string& command, const std::vector<std::string>& args,
                        const std::vector<FlagSpec>& specs) {
  ParsedFlags flags;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      flags.help = true;
      continue;
    }
    const FlagSpec* spec = nullptr;
    for (const FlagSpec& candidate : specs) {
      if (args[i] == candidate.name) spec = &candidate;
    }
    if (spec == nullptr) fail_usage(command, "unknown argument '" + args[i] + "'");
    const std::string& name = args[i];
    if (flags.values.count(name) > 0) fail_usage(command, name + " given twice");
    std::string value;
    if (spec->takes_value) {
      if (i + 1 == args.size()) fail_usage(command, name + " needs a value");
      value = args[++i];
    }
    flags.values[name] = value;
  }
  return flags;
}

int run_prep(const std::vector<std::string>& args) {
  if (args.empty()) {
    std::cerr << usage_text();
    return 1;
  }
  const std::string& name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << usage_text();
    return 0;
  }
  if (name == "--version") {
    std::cout << "halvorix-prep (version " HALVORIX_VERSION ")\n";
    return 0;
  }
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    const std::string doing = std::string("running halvorix-prep ") + command.name;
    const MemoryActivity activity(doing.c_str());
    return command.run({args.begin() + 1, args.end()});
  }
  fail_stderr("error: unknown command '" + name + "' (see halvorix-prep --help)");
}
