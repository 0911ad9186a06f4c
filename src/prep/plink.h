// PLINK 1 binary genotype sets: the .bim SNP table, the .fam subject table and a streaming
// reader of SNP-major .bed genotypes.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

struct BimRecord {
  std::string chromosome;
  std::string snp_id;
  long long position = 0;  ///< base-pair coordinate
  std::string allele1;     ///< the counted allele
  std::string allele2;
};

struct FamRecord {
  std::string family_id;
  std::string individual_id;
  std::string phenotype;  ///< column 6 as written; its meaning depends on the coding
};

/// Reads a .bim file (6 whitespace-separated columns); a malformed line stops the run.
std::vector<BimRecord> load_bim(const std::string& path);

/// Reads a .fam file (6 whitespace-separated columns); a malformed line stops the run.
std::vector<FamRecord> load_fam(const std::string& path);

/// Genotype count of allele 1 for each 2-bit .bed code; kMissingGenotype for code 01.
constexpr signed char kMissingGenotype = -1;
constexpr signed char kGenotypeCount[4] = {2, kMissingGenotype, 1, 0};

/// Reads a SNP-major .bed one SNP at a time, so memory stays at one SNP's bytes.
/// Owns a gzip handle: closed also when the constructor of its owner stops half-way.
struct GzHandle {
  gzFile file = nullptr;
  GzHandle() = default;
  ~GzHandle() {
    if (file != nullptr) gzclose(file);
  }
  GzHandle(const GzHandle&) = delete;
  GzHandle& operator=(const GzHandle&) = delete;
};

class BedReader {
 public:
  std::string path;
  long long snp_count = 0;
  long long subject_count = 0;
  long long bytes_per_snp = 0;  ///< ceil(subject_count / 4)
  long long snps_read = 0;

  /// Opens the file and checks its header and (for an uncompressed file) its size against the
  /// SNP and subject counts of the .bim and .fam; any mismatch stops the run.
  BedReader(const std::string& file_path, long long snps, long long subjects);
  ~BedReader();
  BedReader(const BedReader&) = delete;
  BedReader& operator=(const BedReader&) = delete;

  /// Fills `bytes` with the next SNP's packed genotypes (subject i in bits 2(i%4) of byte i/4).
  void read_snp(std::vector<unsigned char>& bytes);

  /// After the last SNP: a file with bytes to spare stops the run.
  void check_end();

 private:
  GzHandle gz;

  long long expected_size() const { return 3 + snp_count * bytes_per_snp; }
};
