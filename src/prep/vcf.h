// VCF and BCF files through htslib (plain, bgzipped or gzipped VCF, or BCF: htslib tells them
// apart by their first bytes), read one record at a time so that memory stays at one record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "prep/plink.h"

struct htsFile;
struct bcf_hdr_t;
struct bcf1_t;

class VcfReader {
 public:
  std::string path;
  std::vector<std::string> samples;  ///< sample names (IIDs), in file order
  long long records_read = 0;
  bool is_bcf = false;
  bool reads_samples = true;

  /// Opens the file and reads its header; `with_samples` false skips the sample columns, for
  /// callers that only need the sites. A file that is no VCF/BCF, or a damaged one, stops the
  /// run. htslib's own messages are silenced: every problem gets one message of ours.
  VcfReader(const std::string& file_path, bool with_samples);
  ~VcfReader();
  VcfReader(const VcfReader&) = delete;
  VcfReader& operator=(const VcfReader&) = delete;

  /// Reads the next record; false at the end of the file. A malformed record, a record whose
  /// sample count differs from the header's, or a damaged or truncated file stops the run.
  bool next();

  /// Line of the record last read (VCF), or its number (BCF, which has no lines).
  long long number() const;
  const char* unit() const { return is_bcf ? "record" : "line"; }
  /// "PATH line N" or "PATH record N" of the record last read.
  std::string where() const;

  /// Number of alleles of the record, REF included (a biallelic SNP has 2).
  int allele_count() const;
  std::string chromosome() const;
  long long position() const;  ///< 1-based, as written in the VCF

  /// The ID column, or CHROM:POS:REF:ALT when it is '.'; a name that Halvorix would split
  /// stops the run.
  std::string snp_name() const;

  /// Stops the run unless the header declares FORMAT `field` as a number (Integer or Float).
  void require_format_number(const std::string& field) const;

  /// Stops the run unless the header declares FORMAT GT.
  void require_genotypes() const { require_format(std::string("GT")); }

  /// ALT allele count from GT for the samples `kept` (indexes into `samples`), into `dosage`;
  /// a call with any allele missing is missing (NaN).
  void read_alt_counts(const std::vector<long long>& kept, std::vector<double>& dosage);

  /// FORMAT `field` (one number per sample, 0 to 2) as the ALT dosage of the samples `kept`;
  /// absent or '.' is missing (NaN).
  void read_dosages(const std::string& field, const std::vector<long long>& kept,
                    std::vector<double>& dosage);

 private:
  htsFile* file = nullptr;
  bcf_hdr_t* header = nullptr;
  bcf1_t* record = nullptr;
  int32_t* int_values = nullptr;  ///< htslib-managed buffers, reused from record to record
  int int_capacity = 0;
  float* float_values = nullptr;
  int float_capacity = 0;

  void require_format(const std::string& field) const;
  /// Checks what htslib lets pass in a VCF line: POS that is not a number, and extra columns.
  void check_columns() const;
  [[noreturn]] void fail_record(const std::string& message) const;
  [[noreturn]] void fail_read(int status) const;
  std::string format_fields() const;
  std::size_t values_per_sample(int count, const std::string& field) const;
};

/// The biallelic sites of a VCF/BCF, for gene maps: what a .bim holds, without alleles.
struct VcfSites {
  std::vector<BimRecord> snps;     ///< chromosome, name (as VcfReader::snp_name) and position
  std::vector<long long> numbers;  ///< line (VCF) or record (BCF) of each site, for messages
  const char* unit = "line";       ///< what `numbers` count
  long long multiallelic = 0;      ///< records with more than one ALT allele, left out
};

/// Reads the sites of `path`, leaving out multi-allelic records as the score file does.
VcfSites load_vcf_sites(const std::string& path);
