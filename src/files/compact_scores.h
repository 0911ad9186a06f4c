// Version 2 of the binary score file, the compact form: each score kept as what it is made of,
// a genotype code (2 bits) or a dosage (an index into the file's table of distinct dosages, or
// a float), with the SNP's mean and the subject's residual that turn it into the score
// float((g - m_j) * r_i). docs/score-format.md gives it byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint32_t kCompactFormatVersion = 2;

/// The score of a study's subject: the float nearest `centred` x `residual` (g - m_j times r_i,
/// in double), a zero always +0. Every form of score file holds exactly this; a compact file
/// decodes it with this very function.
inline float study_score(double centred, double residual) {
  return static_cast<float>(centred * residual) + 0.0f;  // -0 + 0 is +0; no flag folds it away
}
inline constexpr std::uint64_t kCompactHeaderBytes = 128;

/// What the rows of a compact file hold.
enum class RowCoding : std::uint32_t {
  genotypes = 1,  ///< 2 bits a score: the count 0, 1 or 2, or 3 for a missing call
  dosages = 2,    ///< rows of dosage indices or of float dosages, found through a directory
};

/// The two kinds of row a dosage file mixes (the top byte of a directory entry).
enum class DosageRow : std::uint8_t {
  indices = 1,  ///< 16 bits a score: an entry of the dosage table, or kMissingDosageIndex
  floats = 2,   ///< 32-bit float dosages, NaN when missing
};

inline constexpr std::uint8_t kMissingGenotypeCode = 3;
inline constexpr std::uint16_t kMissingDosageIndex = 0xffff;
/// Entries a dosage table holds at most: every index but the missing one.
inline constexpr std::uint64_t kMaxDosageEntries = 0xffff;
/// Bits of a directory entry that hold the row's offset; the byte above them its kind.
inline constexpr int kDirectoryOffsetBits = 56;

/// The header's numbers beyond the magic bytes (all little-endian on disk). Offsets are in
/// bytes from the start of the file; every block but the names starts at a multiple of 8.
struct CompactHeader {
  std::uint64_t nsnp = 0;
  std::uint64_t nsubj = 0;
  RowCoding coding = RowCoding::genotypes;
  std::uint32_t covariate_columns = 1;  ///< columns of Z, the intercept's included
  float missing_code = -999;            ///< what a missing call decodes to
  std::uint64_t residuals_offset = 0;   ///< nsubj doubles r_i
  std::uint64_t covariates_offset = 0;  ///< covariate_columns x nsubj doubles, column by column
  std::uint64_t rows_offset = 0;
  std::uint64_t rows_bytes = 0;
  std::uint64_t directory_offset = 0;  ///< dosages: one 8-byte entry a SNP; genotypes: 0
  std::uint64_t means_offset = 0;      ///< nsnp doubles m_j
  std::uint64_t table_offset = 0;      ///< dosages: table_entries floats; genotypes: 0
  std::uint64_t table_entries = 0;
  std::uint64_t names_offset = 0;
  std::uint64_t names_bytes = 0;
};

/// `bytes` rounded up to a multiple of 8.
inline std::uint64_t padded8(std::uint64_t bytes) { return (bytes + 7) / 8 * 8; }
/// Bytes of one genotype row: four subjects a byte.
inline std::uint64_t genotype_row_bytes(std::uint64_t nsubj) { return (nsubj + 3) / 4; }
/// Bytes of one dosage row of the given kind, padded to 8 so that the next row is aligned.
std::uint64_t dosage_row_bytes(DosageRow kind, std::uint64_t nsubj);

/// Fills the offsets of `header` from its counts, `rows_bytes`, `table_entries` and
/// `names_bytes`: the only layout a reader accepts.
void lay_out_compact(CompactHeader& header);
/// The header's 128 bytes, magic included.
std::string encode_compact_header(const CompactHeader& header);
/// Reads the 128 bytes at `bytes` (the magic and version already checked).
CompactHeader decode_compact_header(const unsigned char* bytes);

/// The rows of a mapped compact file and what turns them into scores. Decoding gives exactly
/// the floats a version 1 file of the same study stores: the missing code for a missing call.
struct CompactRows {
  CompactHeader header;
  const unsigned char* base = nullptr;  ///< the mapped file
  const double* means = nullptr;
  const double* residuals = nullptr;
  const std::uint64_t* directory = nullptr;
  const float* table = nullptr;

  /// Points into the mapped file whose header is `h` (its layout already checked).
  void attach(const unsigned char* file, const CompactHeader& h);
  /// Scores j0 .. j1-1 of SNP r into out[0 .. j1-j0). An index beyond the table decodes to NaN.
  void decode(int r, int j0, int j1, float* out) const;
  /// What the scores of SNP r are made of: each subject's genotype count or dosage in double,
  /// NaN for a missing call (and for a dosage index beyond the table).
  void genotype_values(int r, double* out) const;
  /// Column c of the covariate matrix Z (nsubj doubles; column 0 is the intercept).
  const double* covariate_column(int c) const;
  /// Why score j of SNP r cannot be decoded ("dosage index 70000 beyond the table of 12"), or
  /// empty.
  std::string undecodable_reason(int r, int j) const;
  DosageRow dosage_row_kind(int r) const;
};
