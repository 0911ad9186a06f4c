#include "prep/prep_cli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>

#include "cli/fail.h"
#include "cli/out_of_memory.h"
#include "files/output_policy.h"
#include "prep/gaf.h"
#include "prep/genemap.h"
#include "prep/gmt.h"
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
    "Usage: halvorix-prep go --obo FILE [--out FILE] [--names FILE]\n"
    "\n"
    "Writes 'NAMESPACE CHILD RELATION PARENT' for every is_a and relationship line of the\n"
    "[Term] stanzas of an OBO ontology. Obsolete terms, and edges to them or to terms the file\n"
    "does not define, are left out.\n"
    "\n"
    "  --obo FILE     the ontology\n"
    "  --out FILE     the GO edges file\n"
    "  --names FILE   'GO-ID<TAB>NAME' for every term with a name (obsolete ones too), for\n"
    "                 halvorix-report --names\n"
    "\n"
    "At least one of --out and --names is required.\n";

const char* const kGogeneHelp =
    "Usage: halvorix-prep gogene --gaf FILE [--gene-id symbol|db-id] [--evidence CODES]\n"
    "                            [--exclude-evidence CODES] --out FILE\n"
    "\n"
    "Writes 'EVIDENCE GENE GO-ID' for every annotation of a GAF 2.x file, genes named by\n"
    "their symbol (column 3, default) or DB object ID (column 2). Annotations whose qualifier\n"
    "holds NOT, and repeats of a gene and term already written, are left out.\n"
    "\n"
    "  --evidence CODES          keep only annotations with these evidence codes\n"
    "                            (comma-separated, e.g. EXP,IDA,IMP,IGI,IPI,IEP)\n"
    "  --exclude-evidence CODES  leave out annotations with these codes (e.g. IEA for\n"
    "                            curated annotations only)\n"
    "\n"
    "Codes are matched exactly (GAF writes them in capitals); a code no annotation carries is\n"
    "warned about. Both counts appear in the summary.\n";

const char* const kKeggHelp =
    "Usage: halvorix-prep kegg --links FILE [--format kegg|gmt] --out FILE\n"
    "       halvorix-prep kegg --list FILE --names FILE\n"
    "\n"
    "Reads a KEGG gene-pathway link list (hsa:GENE and path:hsaNUMBER in two columns, either\n"
    "order) and writes 'hsa:GENE path:hsaNUMBER' per link, repeats left out.\n"
    "\n"
    "  --links FILE   the link list\n"
    "  --format F     kegg (default): the layout above, for halvorix --method KEGG; gmt: one\n"
    "                 line per pathway, 'NUMBER<TAB>https://www.kegg.jp/pathway/hsaNUMBER<TAB>\n"
    "                 GENE<TAB>GENE...', named as the KEGG method names pathways and genes\n"
    "                 (the text after path:hsa and hsa:), for halvorix --method SETS\n"
    "  --out FILE     the KEGG or GMT file\n"
    "  --list FILE    a KEGG pathway list ('path:hsa04310<TAB>Wnt signaling pathway - Homo\n"
    "                 sapiens (human)', or hsa04310 for the id)\n"
    "  --names FILE   'NUMBER<TAB>NAME' per pathway of --list (04310, the id halvorix prints;\n"
    "                 the organism suffix dropped), for halvorix-report --names\n"
    "\n"
    "--links and --list may be given together.\n";

const char* const kGmtHelp =
    "Usage: halvorix-prep gmt --gmt FILE [--gene-map FILE] [--names FILE] --out FILE\n"
    "\n"
    "Checks and normalises a gene-set collection in GMT format (one set per line: name,\n"
    "description, genes, separated by tabs) for halvorix --method SETS:\n"
    "  - blank lines are skipped, Windows line ends read as plain ones, and blanks around a\n"
    "    field and empty gene fields (trailing tabs) dropped;\n"
    "  - a gene listed twice in a set is kept once; a set without genes is left out;\n"
    "  - blanks and commas in a set name become '_' (halvorix prints names as one token);\n"
    "  - two sets with one name, or whose rewritten names coincide, stop the run naming both\n"
    "    lines: which one is meant cannot be guessed, so they are never merged.\n"
    "\n"
    "  --gmt FILE        the collection as downloaded (plain or gzip)\n"
    "  --gene-map FILE   a gene_snp file: reports how many of the sets' genes and how many\n"
    "                    sets it covers, with a warning when fewer than half of the genes are\n"
    "                    in it (the two files name genes differently)\n"
    "  --names FILE      'NAME<TAB>ORIGINAL' for every set written, for halvorix-report --names\n"
    "  --out FILE        the checked GMT file\n"
    "\n"
    "A line with fewer than three fields, an empty set name, a gene holding a blank or comma\n"
    "or a NUL byte stops the run naming the file and line.\n";

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

/// Stops the command before it reads anything when --out is one of its inputs.
/// Options left empty (not given) are skipped on both sides.
void refuse_output_clash(const std::string& command, const std::vector<NamedFile>& inputs,
                         const std::vector<NamedFile>& outputs) {
  const auto given = [](const std::vector<NamedFile>& files) {
    std::vector<NamedFile> named;
    for (const NamedFile& file : files) {
      if (!file.path.empty()) named.push_back(file);
    }
    return named;
  };
  const std::string clash = find_output_clash(given(inputs), given(outputs));
  if (!clash.empty()) fail_stderr("error: " + command + ": " + clash);
}

void refuse_output_clash(const std::string& command, const std::vector<NamedFile>& inputs,
                         const std::string& out) {
  refuse_output_clash(command, inputs, std::vector<NamedFile>{{"--out", out}});
}

/// The files of a PLINK set that scores reads (each the .gz twin when only that exists).
std::vector<NamedFile> plink_inputs(const std::string& prefix) {
  std::vector<NamedFile> files;
  for (const char* extension : {".bed", ".bim", ".fam"})
    files.push_back({"--bfile", plink_file(prefix, extension)});
  return files;
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
  std::vector<NamedFile> inputs = options.vcf.empty()
                                      ? plink_inputs(options.bfile)
                                      : std::vector<NamedFile>{{"--vcf", options.vcf}};
  inputs.push_back({"--pheno", options.pheno_file});
  inputs.push_back({"--covar", options.covar_file});
  refuse_output_clash("scores", inputs, options.out);
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
  refuse_output_clash("genemap",
                      {{"--bim", options.bim}, {"--vcf", options.vcf}, {"--genes", options.genes}},
                      options.out);
  print_genemap_summary(options, write_gene_snp_file(options));
  return 0;
}

/// The value of `name`, which must not be empty when given.
std::string optional_path(const std::string& command, const ParsedFlags& flags, const char* name) {
  std::string value = optional(flags, name);
  if (flags.values.count(name) > 0 && value.empty())
    fail_usage(command, std::string(name) + " is empty");
  return value;
}

int run_go(const std::vector<std::string>& args) {
  const ParsedFlags flags =
      parse_flags("go", args, {{"--obo", true}, {"--out", true}, {"--names", true}});
  if (flags.help) {
    std::cout << kGoHelp;
    return 0;
  }
  GoOptions options;
  options.obo = required("go", flags, "--obo");
  options.out = optional_path("go", flags, "--out");
  options.names = optional_path("go", flags, "--names");
  if (options.out.empty() && options.names.empty())
    fail_usage("go", "--out or --names is required");
  refuse_output_clash("go", {{"--obo", options.obo}},
                      {{"--out", options.out}, {"--names", options.names}});
  print_go_summary(options, write_go_edges_file(options));
  return 0;
}

int run_gogene(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags("gogene", args,
                                        {{"--gaf", true},
                                         {"--gene-id", true},
                                         {"--evidence", true},
                                         {"--exclude-evidence", true},
                                         {"--out", true}});
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
  if (flags.values.count("--evidence") > 0) {
    options.evidence = evidence_codes("--evidence", optional(flags, "--evidence"));
  }
  if (flags.values.count("--exclude-evidence") > 0) {
    options.exclude_evidence =
        evidence_codes("--exclude-evidence", optional(flags, "--exclude-evidence"));
  }
  for (const std::string& code : options.exclude_evidence) {
    if (std::find(options.evidence.begin(), options.evidence.end(), code) !=
        options.evidence.end()) {
      fail_usage("gogene", code + " is both kept (--evidence) and excluded (--exclude-evidence)");
    }
  }
  refuse_output_clash("gogene", {{"--gaf", options.gaf}}, options.out);
  print_gaf_summary(options, write_go_gene_file(options));
  return 0;
}

int run_kegg(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags("kegg", args,
                                        {{"--links", true},
                                         {"--format", true},
                                         {"--out", true},
                                         {"--list", true},
                                         {"--names", true}});
  if (flags.help) {
    std::cout << kKeggHelp;
    return 0;
  }
  KeggOptions options;
  options.list = optional_path("kegg", flags, "--list");
  options.names = optional_path("kegg", flags, "--names");
  if (options.list.empty() != options.names.empty()) {
    fail_usage("kegg", options.list.empty() ? "--names needs --list" : "--list needs --names");
  }
  const bool links = flags.values.count("--links") > 0;
  if (links || options.list.empty()) {
    options.links = required("kegg", flags, "--links");
    options.out = required("kegg", flags, "--out");
  } else if (flags.values.count("--out") > 0 || flags.values.count("--format") > 0) {
    fail_usage("kegg", "--out and --format need --links");
  }
  const std::string format = optional(flags, "--format");
  if (!format.empty() && format != "kegg" && format != "gmt") {
    fail_usage("kegg", "--format must be kegg or gmt, not '" + format + "'");
  }
  options.gmt = format == "gmt";
  refuse_output_clash("kegg", {{"--links", options.links}, {"--list", options.list}},
                      {{"--out", options.out}, {"--names", options.names}});
  if (links) print_kegg_summary(options, write_kegg_file(options));
  if (!options.list.empty()) print_kegg_names_summary(options, write_kegg_names_file(options));
  return 0;
}

int run_gmt(const std::vector<std::string>& args) {
  const ParsedFlags flags = parse_flags(
      "gmt", args, {{"--gmt", true}, {"--gene-map", true}, {"--names", true}, {"--out", true}});
  if (flags.help) {
    std::cout << kGmtHelp;
    return 0;
  }
  GmtOptions options;
  options.gmt = required("gmt", flags, "--gmt");
  options.out = required("gmt", flags, "--out");
  options.gene_map = optional_path("gmt", flags, "--gene-map");
  options.names = optional_path("gmt", flags, "--names");
  refuse_output_clash("gmt", {{"--gmt", options.gmt}, {"--gene-map", options.gene_map}},
                      {{"--out", options.out}, {"--names", options.names}});
  print_gmt_summary(options, write_gmt_file(options));
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
  refuse_output_clash(command, {{"--score", in}}, out);
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
    {"go", run_go, "Gene Ontology in OBO format", "GO edges file, term names"},
    {"gogene", run_gogene, "GO annotations in GAF 2.x format", "GO-gene file"},
    {"kegg", run_kegg, "KEGG gene-pathway links, pathway list", "KEGG or GMT file, names"},
    {"gmt", run_gmt, "gene-set collection in GMT format", "checked GMT file, names"},
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
  install_output_signal_handlers();
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
