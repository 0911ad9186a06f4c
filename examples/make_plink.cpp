// halvorix_make_plink: writes PLINK binary genotype sets for halvorix-prep.
//
//   --example DIR     a small seeded study with a planted association, plus the gene list,
//                     OBO ontology, GAF annotations and KEGG links of the same genes
//   --random PREFIX   PREFIX.bed/.bim/.fam of --snps x --subjects random genotypes, the .bed
//                     streamed byte by byte (benchmark input of any size)
//   --study PREFIX    the same files, and PREFIX.genes.txt, for genotypes shaped like a real
//                     study's: blocks of SNPs in linkage disequilibrium and many rare alleles
//                     (the input of the calibration tool)
//   --vcf PREFIX OUT  the genotypes of a PLINK set as a VCF (OUT.vcf), bgzipped VCF
//                     (OUT.vcf.gz) or BCF (OUT.bcf), with GT and DS; --dosage integer (the
//                     default) writes the allele count as DS, --dosage fraction moves it by up
//                     to 0.1 as an imputed dosage would. REF is allele 2 and ALT allele 1, so
//                     ALT counts what the .bed counts; one multi-allelic record follows the
//                     first SNP, and missing calls are written "./." or half-missing "1/.".
//
// Numbers come from a splitmix64 generator and plain arithmetic (a normal deviate is a sum of
// twelve uniforms), never from the standard distributions or libm, so the files are
// byte-identical on every platform.

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/vcf.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double normal() {
    double sum = -6;
    for (int i = 0; i < 12; ++i) sum += uniform();
    return sum;
  }
};

[[noreturn]] void fail(const std::string& message) {
  std::cerr << "error: " << message << "\n"
            << "usage: halvorix_make_plink --example DIR\n"
            << "       halvorix_make_plink --random PREFIX --snps N --subjects N [--seed N]\n"
            << "       halvorix_make_plink --study PREFIX --snps N --subjects N [--seed N]\n"
            << "       halvorix_make_plink --vcf PREFIX OUT [--dosage integer|fraction]\n";
  std::exit(1);
}

std::ofstream open_output(const std::string& path, std::ios::openmode mode = std::ios::out) {
  std::ofstream out(path, mode);
  if (!out) fail("cannot create " + path);
  return out;
}

/// One SNP's genotypes (count of allele 1, -1 missing) packed in .bed order.
void pack_snp(const std::vector<int>& counts, std::vector<unsigned char>& bytes) {
  static const unsigned char kCode[3] = {3, 2, 0};  // count 0, 1, 2 -> bits 11, 10, 00
  bytes.assign((counts.size() + 3) / 4, 0);
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const unsigned char code = counts[i] < 0 ? 1 : kCode[counts[i]];
    bytes[i / 4] = static_cast<unsigned char>(bytes[i / 4] | (code << (2 * (i % 4))));
  }
}

// ---------------------------------------------------------------- random benchmark set

void write_random_set(const std::string& prefix, long long snps, long long subjects,
                      std::uint64_t seed) {
  Random random{seed};
  std::ofstream fam = open_output(prefix + ".fam");
  for (long long i = 1; i <= subjects; ++i) {
    fam << "F" << i << " I" << i << " 0 0 " << 1 + (i % 2) << ' ' << random.normal() << '\n';
  }
  std::ofstream bim = open_output(prefix + ".bim");
  for (long long j = 1; j <= snps; ++j) {
    bim << 1 + (j - 1) * 22 / snps << " rs" << j << " 0 " << 1000 * j << " A G\n";
  }
  std::ofstream bed = open_output(prefix + ".bed", std::ios::binary);
  const char header[3] = {0x6c, 0x1b, 0x01};
  bed.write(header, 3);
  // Random bytes are valid genotypes (a quarter of them missing); pad bits are never read.
  std::vector<char> snp(static_cast<std::size_t>((subjects + 3) / 4));
  for (long long j = 0; j < snps; ++j) {
    for (std::size_t b = 0; b < snp.size(); b += 8) {
      const std::uint64_t word = random.next();
      for (std::size_t k = 0; k < 8 && b + k < snp.size(); ++k) {
        snp[b + k] = static_cast<char>((word >> (8 * k)) & 0xff);
      }
    }
    bed.write(snp.data(), static_cast<std::streamsize>(snp.size()));
  }
  if (!bed || !bim || !fam) fail("cannot write " + prefix + ".*");
}

// ---------------------------------------------------------------- study-like set

/// Genotypes with the two features that make a null distribution hard to get right: many
/// rare alleles (heavy-tailed scores) and correlated neighbouring SNPs. Each block of SNPs
/// has a few founder haplotypes; every subject haplotype copies one founder, with each allele
/// redrawn from the SNP's frequency now and then. A tenth of the genes lie between others.
void write_study_set(const std::string& prefix, long long snps, long long subjects,
                     std::uint64_t seed) {
  Random random{seed};
  constexpr int kFounders = 12;
  constexpr long long kSpacing = 2000;
  std::ofstream fam = open_output(prefix + ".fam");
  for (long long i = 1; i <= subjects; ++i)
    fam << "F" << i << " I" << i << " 0 0 " << 1 + (i % 2) << ' ' << random.normal() << '\n';
  std::ofstream bim = open_output(prefix + ".bim");
  std::ofstream bed = open_output(prefix + ".bed", std::ios::binary);
  const char header[3] = {0x6c, 0x1b, 0x01};
  bed.write(header, 3);
  const auto n = static_cast<std::size_t>(subjects);
  std::vector<int> founder(2 * n), counts(n);
  std::vector<unsigned char> bytes;
  long long block_left = 0;
  for (long long j = 1; j <= snps; ++j) {
    if (block_left == 0) {  // a new block: every haplotype picks its founder
      block_left = 5 + static_cast<long long>(random.uniform() * 30);
      for (int& f : founder) f = static_cast<int>(random.uniform() * kFounders);
    }
    --block_left;
    const double frequency =
        random.uniform() < 0.35 ? 0.005 + 0.045 * random.uniform() : 0.05 + 0.45 * random.uniform();
    bool founder_allele[kFounders];
    for (bool& a : founder_allele) a = random.uniform() < frequency;
    for (std::size_t i = 0; i < n; ++i) {
      int count = 0;
      for (int h = 0; h < 2; ++h) {
        const bool redraw = random.uniform() < 0.1;
        count += redraw ? random.uniform() < frequency : founder_allele[founder[2 * i + h]];
      }
      counts[i] = random.uniform() < 0.01 ? -1 : count;
    }
    pack_snp(counts, bytes);
    bed.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    bim << 1 + (j - 1) * 22 / snps << " rs" << j << " 0 " << kSpacing * j << " A G\n";
  }
  // Genes of 10 to 60 kb every 40 kb along each chromosome's stretch of SNPs.
  std::ofstream genes = open_output(prefix + ".genes.txt");
  long long gene_number = 0;
  for (long long c = 1; c <= 22; ++c) {
    const long long first = (c - 1) * snps / 22 + 1, last = c * snps / 22;
    for (long long start = kSpacing * first; start + 10000 <= kSpacing * last; start += 40000) {
      const long long length = 10000 + static_cast<long long>(random.uniform() * 50000);
      genes << c << ' ' << start << ' ' << start + length << " G" << ++gene_number << '\n';
    }
  }
  if (!bed || !bim || !fam || !genes) fail("cannot write " + prefix + ".*");
}

// ---------------------------------------------------------------- example study

constexpr int kSubjects = 120;
constexpr int kChromosomes = 3;
constexpr int kGenesPerChromosome = 8;
constexpr int kSnpsPerChromosome = 60;
constexpr long long kSnpSpacing = 20000;

/// Genes G1..G24: 8 per chromosome, 30 kb long, 150 kb apart, so that a 50 kb window catches
/// SNPs inside, before and after every gene while some SNPs fall in no gene.
struct ExampleGene {
  int chromosome;
  long long start, end;
  std::string name;
};

std::vector<ExampleGene> example_genes() {
  std::vector<ExampleGene> genes;
  for (int c = 1; c <= kChromosomes; ++c) {
    for (int g = 0; g < kGenesPerChromosome; ++g) {
      const long long start = 100000 + 150000LL * g;
      const int number = (c - 1) * kGenesPerChromosome + g + 1;
      genes.push_back({c, start, start + 30000, "G" + std::to_string(number)});
    }
  }
  return genes;
}

/// SNPs of genes G3 and G11 raise the trait.
bool is_causal(int chromosome, long long position) {
  const long long g3_start = 100000 + 150000LL * 2;
  return (chromosome == 1 || chromosome == 2) && position >= g3_start &&
         position <= g3_start + 30000;
}

void write_example(const std::string& dir) {
  Random random{20240611};
  std::vector<double> age(kSubjects), sex(kSubjects), trait(kSubjects, 0.0);
  for (int i = 0; i < kSubjects; ++i) {
    age[i] = static_cast<double>(30 + static_cast<int>(random.uniform() * 40));
    sex[i] = random.uniform() < 0.5 ? 1 : 2;
    trait[i] = 0.03 * (age[i] - 50) + random.normal();
  }
  std::ofstream bim = open_output(dir + "/study.bim");
  std::ofstream bed = open_output(dir + "/study.bed", std::ios::binary);
  const char header[3] = {0x6c, 0x1b, 0x01};
  bed.write(header, 3);
  std::vector<int> counts(kSubjects);
  std::vector<unsigned char> bytes;
  int snp_number = 0;
  for (int c = 1; c <= kChromosomes; ++c) {
    for (int s = 0; s < kSnpsPerChromosome; ++s) {
      const long long position = 40000 + kSnpSpacing * s;
      const double frequency = 0.1 + 0.4 * random.uniform();
      for (int i = 0; i < kSubjects; ++i) {
        counts[i] = (random.uniform() < frequency) + (random.uniform() < frequency);
        if (is_causal(c, position)) trait[i] += 0.6 * counts[i];
        if (random.uniform() < 0.01) counts[i] = -1;
      }
      pack_snp(counts, bytes);
      bed.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      bim << c << " rs" << ++snp_number << " 0 " << position << " A G\n";
    }
  }
  std::ofstream fam = open_output(dir + "/study.fam");
  std::ofstream pheno = open_output(dir + "/pheno.txt");
  std::ofstream covar = open_output(dir + "/covar.txt");
  pheno << "FID IID trait\n";
  covar << "FID IID age sex\n";
  for (int i = 0; i < kSubjects; ++i) {
    const std::string id = "F" + std::to_string(i + 1) + " I" + std::to_string(i + 1);
    // Case/control status in the .fam: the upper third of the trait; two unknown.
    const int status = i < 2 ? 0 : (trait[i] > 1.5 ? 2 : 1);
    fam << id << " 0 0 " << sex[i] << ' ' << status << '\n';
    if (i == 5) {
      pheno << id << " NA\n";
    } else {
      pheno << id << ' ' << static_cast<double>(static_cast<long long>(trait[i] * 1000)) / 1000
            << '\n';
    }
    covar << id << ' ' << (i == 9 ? std::string("-9") : std::to_string(static_cast<int>(age[i])))
          << ' ' << sex[i] << '\n';
  }
  std::ofstream genes = open_output(dir + "/genes.txt");
  for (const ExampleGene& gene : example_genes()) {
    genes << gene.chromosome << ' ' << gene.start << ' ' << gene.end << ' ' << gene.name << '\n';
  }
}

/// A small ontology (three namespaces, every relation kind, one obsolete term), GAF
/// annotations of the example genes (two NOT) and KEGG links (one repeated, reversed).
void write_example_annotation(const std::string& dir) {
  std::ofstream obo = open_output(dir + "/go.obo");
  obo << "format-version: 1.2\n"
         "default-namespace: gene_ontology\n"
         "\n";
  struct Term {
    const char* id;
    const char* name_space;
    const char* relations;
  };
  const Term terms[] = {
      {"GO:0000001", "biological_process", ""},
      {"GO:0000002", "biological_process", "is_a: GO:0000001 ! process A\n"},
      {"GO:0000003", "biological_process", "is_a: GO:0000002 ! process B\n"},
      {"GO:0000004", "biological_process",
       "is_a: GO:0000001 ! process A\nrelationship: regulates GO:0000003 ! process C\n"},
      {"GO:0000005", "biological_process",
       "is_a: GO:0000004 ! process D\nrelationship: positively_regulates GO:0000003\n"},
      {"GO:0000006", "biological_process", "relationship: part_of GO:0000002 ! process B\n"},
      {"GO:0000010", "molecular_function", ""},
      {"GO:0000011", "molecular_function", "is_a: GO:0000010 ! function A\n"},
      {"GO:0000012", "molecular_function",
       "is_a: GO:0000010 ! function A\nrelationship: has_part GO:0000011\n"},
      {"GO:0000020", "cellular_component", ""},
      {"GO:0000021", "cellular_component", "relationship: part_of GO:0000020\n"},
      {"GO:0000022", "cellular_component", "is_a: GO:0000020\n"},
  };
  for (const Term& term : terms) {
    obo << "[Term]\nid: " << term.id << "\nname: term " << term.id + 3
        << "\nnamespace: " << term.name_space << '\n'
        << term.relations << '\n';
  }
  obo << "[Term]\nid: GO:0000099\nname: obsolete process\nnamespace: biological_process\n"
         "is_obsolete: true\n\n"
         "[Typedef]\nid: part_of\nname: part of\n";

  std::ofstream gaf = open_output(dir + "/go.gaf");
  gaf << "!gaf-version: 2.2\n";
  const char* annotations[][4] = {
      // gene, qualifier, GO term, evidence
      {"G3", "involved_in", "GO:0000003", "IDA"},  {"G11", "involved_in", "GO:0000003", "IMP"},
      {"G5", "involved_in", "GO:0000003", "IEA"},  {"G3", "involved_in", "GO:0000005", "IEA"},
      {"G11", "involved_in", "GO:0000005", "ISS"}, {"G12", "involved_in", "GO:0000006", "TAS"},
      {"G1", "involved_in", "GO:0000006", "IEA"},  {"G2", "enables", "GO:0000011", "IDA"},
      {"G7", "enables", "GO:0000012", "IBA"},      {"G9", "enables", "GO:0000011", "IEA"},
      {"G14", "located_in", "GO:0000021", "IDA"},  {"G15", "located_in", "GO:0000022", "IEA"},
      {"G20", "located_in", "GO:0000021", "HDA"},  {"G4", "NOT|involved_in", "GO:0000003", "IMP"},
      {"G8", "NOT|enables", "GO:0000011", "IDA"},  {"G3", "involved_in", "GO:0000003", "IEA"},
      {"G17", "involved_in", "GO:0000004", "IEA"}, {"G18", "involved_in", "GO:0000002", "IEA"},
  };
  for (const auto& a : annotations) {
    gaf << "UniProtKB\tP_" << a[0] << "\t" << a[0] << '\t' << a[1] << '\t' << a[2] << "\tPMID:1\t"
        << a[3] << "\t\tP\tgene " << a[0] << "\t\tprotein\ttaxon:9606\t20240101\tUniProt\t\t\n";
  }

  std::ofstream kegg = open_output(dir + "/kegg_links.txt");
  const char* links[][2] = {
      {"hsa:G3", "path:hsa00010"},  {"hsa:G11", "path:hsa00010"}, {"hsa:G6", "path:hsa00010"},
      {"hsa:G1", "path:hsa00020"},  {"hsa:G2", "path:hsa00020"},  {"hsa:G13", "path:hsa00020"},
      {"hsa:G19", "path:hsa00030"}, {"hsa:G21", "path:hsa00030"}, {"hsa:G3", "path:hsa00030"},
      {"hsa:G22", "path:hsa00040"}, {"hsa:G23", "path:hsa00040"}, {"hsa:G24", "path:hsa00040"},
  };
  for (const auto& link : links) kegg << link[0] << '\t' << link[1] << '\n';
  kegg << "path:hsa00010\thsa:G3\n";  // the same link, columns the other way round
}

// ---------------------------------------------------------------- VCF of a PLINK set

std::vector<std::vector<std::string>> read_columns(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot open " + path);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    rows.emplace_back();
    for (std::string field; fields >> field;) rows.back().push_back(field);
  }
  return rows;
}

/// Allele-1 counts of the next SNP of an open .bed (-1 missing).
void read_snp_counts(std::ifstream& bed, std::vector<int>& counts) {
  static const int kCount[4] = {2, -1, 1, 0};
  std::vector<char> bytes((counts.size() + 3) / 4);
  if (!bed.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) fail("short .bed");
  for (std::size_t i = 0; i < counts.size(); ++i) {
    counts[i] = kCount[(static_cast<unsigned char>(bytes[i / 4]) >> (2 * (i % 4))) & 3];
  }
}

/// The GT and DS text of one call; `serial` varies the spelling (phased, half-missing) and the
/// fractional dosage.
void append_call(std::string& line, int count, std::uint64_t serial, bool fraction) {
  static const char* const kUnphased[3] = {"0/0", "0/1", "1/1"};
  static const char* const kPhased[3] = {"0|0", "1|0", "1|1"};
  if (count < 0) {
    line += serial % 2 == 0 ? "\t./.:." : "\t1/.:.";
    return;
  }
  line += '\t';
  line += serial % 7 == 0 ? kPhased[count] : kUnphased[count];
  if (!fraction) {
    line += ':' + std::to_string(count);
    return;
  }
  // Up to 0.1 towards the middle, in steps of 0.001: what imputation does to a sure call.
  const double shift = 0.001 * static_cast<double>(serial % 101);
  const double dosage = count == 2   ? 2 - shift
                        : count == 0 ? shift
                                     : 1 + (serial % 2 ? shift : -shift);
  char text[16];
  std::snprintf(text, sizeof text, ":%.3f", dosage);
  line += text;
}

void write_vcf(const std::string& prefix, const std::string& out_path, bool fraction) {
  const auto fam = read_columns(prefix + ".fam");
  const auto bim = read_columns(prefix + ".bim");
  std::string header =
      "##fileformat=VCFv4.2\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "##FORMAT=<ID=DS,Number=A,Type=Float,Description=\"ALT dosage\">\n";
  std::string last_contig;
  for (const auto& snp : bim) {
    if (snp[0] != last_contig) header += "##contig=<ID=" + snp[0] + ">\n";
    last_contig = snp[0];
  }
  header += "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const auto& subject : fam) header += '\t' + subject[1];
  header += '\n';

  const bool is_bcf = out_path.size() > 4 && out_path.compare(out_path.size() - 4, 4, ".bcf") == 0;
  const bool is_gz = out_path.size() > 3 && out_path.compare(out_path.size() - 3, 3, ".gz") == 0;
  htsFile* out = hts_open(out_path.c_str(), is_bcf ? "wb" : is_gz ? "wz" : "w");
  if (out == nullptr) fail("cannot create " + out_path);
  bcf_hdr_t* hdr = bcf_hdr_init("w");
  if (bcf_hdr_parse(hdr, &header[0]) != 0 || bcf_hdr_write(out, hdr) != 0) fail("bad header");
  bcf1_t* record = bcf_init();
  kstring_t text = KS_INITIALIZE;
  const auto write_line = [&](const std::string& line) {
    ks_clear(&text);
    kputsn(line.data(), line.size(), &text);
    if (vcf_parse(&text, hdr, record) != 0 || bcf_write(out, hdr, record) != 0) {
      fail("cannot write " + out_path);
    }
  };

  std::ifstream bed(prefix + ".bed", std::ios::binary);
  char magic[3];
  if (!bed.read(magic, 3) || magic[2] != 1) fail("not a SNP-major .bed: " + prefix + ".bed");
  std::vector<int> counts(fam.size());
  std::uint64_t serial = 0;
  for (std::size_t j = 0; j < bim.size(); ++j) {
    read_snp_counts(bed, counts);
    const auto& snp = bim[j];
    std::string line = snp[0] + '\t' + snp[3] + '\t' + snp[1] + '\t' + snp[5] + '\t' + snp[4] +
                       "\t.\tPASS\t.\tGT:DS";
    for (int count : counts) append_call(line, count, serial++, fraction);
    write_line(line);
    if (j == 0) {
      std::string multi = snp[0] + '\t' + snp[3] + "\tmulti1\tG\tA,T\t.\tPASS\t.\tGT";
      for (std::size_t i = 0; i < fam.size(); ++i) multi += i % 3 == 0 ? "\t0/2" : "\t0/1";
      write_line(multi);
    }
  }
  free(text.s);
  bcf_destroy(record);
  bcf_hdr_destroy(hdr);
  if (hts_close(out) != 0) fail("cannot write " + out_path);
}

long long parse_count(const std::string& text) {
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || value <= 0) fail("'" + text + "' is not a positive whole number");
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--example") {
    write_example(args[1]);
    write_example_annotation(args[1]);
    return 0;
  }
  if (args.size() >= 3 && args[0] == "--vcf") {
    const bool fraction = args.size() == 5 && args[3] == "--dosage" && args[4] == "fraction";
    const bool integer =
        args.size() == 3 || (args.size() == 5 && args[3] == "--dosage" && args[4] == "integer");
    if (!fraction && !integer) fail("--vcf PREFIX OUT takes only --dosage integer|fraction");
    write_vcf(args[1], args[2], fraction);
    return 0;
  }
  if (args.empty() || (args[0] != "--random" && args[0] != "--study") || args.size() < 2)
    fail("no mode given");
  long long snps = 0, subjects = 0;
  std::uint64_t seed = 1;
  for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
    if (args[i] == "--snps") {
      snps = parse_count(args[i + 1]);
    } else if (args[i] == "--subjects") {
      subjects = parse_count(args[i + 1]);
    } else if (args[i] == "--seed") {
      seed = static_cast<std::uint64_t>(parse_count(args[i + 1]));
    } else {
      fail("unknown argument " + args[i]);
    }
  }
  if (snps == 0 || subjects == 0) fail(args[0] + " needs --snps and --subjects");
  if (args[0] == "--study") {
    write_study_set(args[1], snps, subjects, seed);
  } else {
    write_random_set(args[1], snps, subjects, seed);
  }
  return 0;
}
