#include "files/compact_scores.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/vector_paths.h"
#include "files/binary_score_file.h"
#include "files/little_endian.h"

namespace {
typedef double v4d __attribute__((vector_size(32)));
typedef float v4f __attribute__((vector_size(16)));
typedef int v4i __attribute__((vector_size(16)));

/// For each byte of a genotype row, its four codes as doubles and which of them are missing.
struct CodeTables {
  v4d count[256];
  v4i missing[256];
  CodeTables() {
    for (int b = 0; b < 256; ++b) {
      for (int k = 0; k < 4; ++k) {
        const int code = (b >> (2 * k)) & 3;
        count[b][k] = code == kMissingGenotypeCode ? 0.0 : code;
        missing[b][k] = code == kMissingGenotypeCode ? -1 : 0;
      }
    }
  }
};
const CodeTables kCodeTables;

/// Subjects j0 .. j1-1 of a genotype row, both multiples of 4: four subjects a byte, each
/// score study_score(g - m, r) in vector lanes (the same operations, so the same bits).
HALVORIX_CLONES_AVX512_AVX2 void decode_genotype_bytes(const unsigned char* row, int j0, int j1,
                                                       double m, const double* residuals,
                                                       float missing, float* out) {
  const v4d mean = v4d{} + m;
  const v4f missing4 = v4f{} + missing;
  v4i missing_bits;
  std::memcpy(&missing_bits, &missing4, sizeof missing_bits);
  for (int j = j0; j < j1; j += 4) {
    const unsigned char b = row[j >> 2];
    v4d r;
    std::memcpy(&r, residuals + j, sizeof r);
    const v4f score = __builtin_convertvector((kCodeTables.count[b] - mean) * r, v4f) + 0.0f;
    v4i bits;
    std::memcpy(&bits, &score, sizeof bits);
    const v4i miss = kCodeTables.missing[b];
    bits = (bits & ~miss) | (missing_bits & miss);
    std::memcpy(out + (j - j0), &bits, sizeof bits);
  }
}
}  // namespace

std::uint64_t dosage_row_bytes(DosageRow kind, std::uint64_t nsubj) {
  return padded8(nsubj * (kind == DosageRow::indices ? 2 : 4));
}

void lay_out_compact(CompactHeader& h) {
  const bool dosages = h.coding == RowCoding::dosages;
  h.residuals_offset = kCompactHeaderBytes;
  h.covariates_offset = h.residuals_offset + 8 * h.nsubj;
  h.rows_offset = h.covariates_offset + 8 * h.nsubj * h.covariate_columns;
  const std::uint64_t after_rows = h.rows_offset + padded8(h.rows_bytes);
  h.directory_offset = dosages ? after_rows : 0;
  h.means_offset = dosages ? after_rows + 8 * h.nsnp : after_rows;
  h.table_offset = dosages ? h.means_offset + 8 * h.nsnp : 0;
  if (!dosages) h.table_entries = 0;
  h.names_offset = dosages ? h.table_offset + 4 * h.table_entries : h.means_offset + 8 * h.nsnp;
}

std::string encode_compact_header(const CompactHeader& h) {
  std::string out(kCompactHeaderBytes, '\0');
  std::memcpy(out.data(), kScoreMagic, sizeof kScoreMagic);
  put_u32(out, 8, kCompactFormatVersion);
  put_u32(out, 12, static_cast<std::uint32_t>(kCompactHeaderBytes));
  put_u64(out, 16, h.nsnp);
  put_u64(out, 24, h.nsubj);
  put_u32(out, 32, static_cast<std::uint32_t>(h.coding));
  put_u32(out, 36, h.covariate_columns);
  std::memcpy(&out[40], &h.missing_code, 4);
  put_u64(out, 48, h.residuals_offset);
  put_u64(out, 56, h.covariates_offset);
  put_u64(out, 64, h.rows_offset);
  put_u64(out, 72, h.rows_bytes);
  put_u64(out, 80, h.directory_offset);
  put_u64(out, 88, h.means_offset);
  put_u64(out, 96, h.table_offset);
  put_u64(out, 104, h.table_entries);
  put_u64(out, 112, h.names_offset);
  put_u64(out, 120, h.names_bytes);
  return out;
}

CompactHeader decode_compact_header(const unsigned char* bytes) {
  CompactHeader h;
  h.nsnp = get_u64(bytes + 16);
  h.nsubj = get_u64(bytes + 24);
  h.coding = static_cast<RowCoding>(get_u32(bytes + 32));
  h.covariate_columns = get_u32(bytes + 36);
  std::memcpy(&h.missing_code, bytes + 40, 4);
  h.residuals_offset = get_u64(bytes + 48);
  h.covariates_offset = get_u64(bytes + 56);
  h.rows_offset = get_u64(bytes + 64);
  h.rows_bytes = get_u64(bytes + 72);
  h.directory_offset = get_u64(bytes + 80);
  h.means_offset = get_u64(bytes + 88);
  h.table_offset = get_u64(bytes + 96);
  h.table_entries = get_u64(bytes + 104);
  h.names_offset = get_u64(bytes + 112);
  h.names_bytes = get_u64(bytes + 120);
  return h;
}

void CompactRows::attach(const unsigned char* file, const CompactHeader& h) {
  header = h;
  base = file;
  // Every block starts at a multiple of 8 of a page-aligned mapping: read in place.
  means = reinterpret_cast<const double*>(file + h.means_offset);
  residuals = reinterpret_cast<const double*>(file + h.residuals_offset);
  if (h.coding == RowCoding::dosages) {
    directory = reinterpret_cast<const std::uint64_t*>(file + h.directory_offset);
    table = reinterpret_cast<const float*>(file + h.table_offset);
  }
}

DosageRow CompactRows::dosage_row_kind(int r) const {
  return static_cast<DosageRow>(directory[r] >> kDirectoryOffsetBits);
}

void CompactRows::decode(int r, int j0, int j1, float* out) const {
  const double m = means[r];
  const float missing = header.missing_code;
  if (header.coding == RowCoding::genotypes) {
    const unsigned char* row = base + header.rows_offset +
                               static_cast<std::uint64_t>(r) * genotype_row_bytes(header.nsubj);
    const double centred[4] = {0.0 - m, 1.0 - m, 2.0 - m, 0.0};
    const auto one = [&](int j) {
      const unsigned code = (row[j >> 2] >> (2 * (j & 3))) & 3u;
      out[j - j0] =
          code == kMissingGenotypeCode ? missing : study_score(centred[code], residuals[j]);
    };
    // Whole bytes in vector lanes, the subjects before and after them one by one.
    const int bytes_from = std::min(j1, (j0 + 3) / 4 * 4),
              bytes_to = std::max(bytes_from, j1 / 4 * 4);
    for (int j = j0; j < bytes_from; ++j) one(j);
    decode_genotype_bytes(row, bytes_from, bytes_to, m, residuals, missing,
                          out + (bytes_from - j0));
    for (int j = bytes_to; j < j1; ++j) one(j);
    return;
  }
  const std::uint64_t entry = directory[r];
  const unsigned char* row =
      base + header.rows_offset + (entry & ((std::uint64_t{1} << kDirectoryOffsetBits) - 1));
  if (dosage_row_kind(r) == DosageRow::indices) {
    const auto* index = reinterpret_cast<const std::uint16_t*>(row);
    const auto entries = static_cast<std::uint32_t>(header.table_entries);
    for (int j = j0; j < j1; ++j) {
      const std::uint32_t i = index[j];
      if (i == kMissingDosageIndex) {
        out[j - j0] = missing;
      } else if (i < entries) {
        out[j - j0] = study_score(static_cast<double>(table[i]) - m, residuals[j]);
      } else {
        out[j - j0] = std::numeric_limits<float>::quiet_NaN();
      }
    }
    return;
  }
  const auto* dosage = reinterpret_cast<const float*>(row);
  for (int j = j0; j < j1; ++j)
    out[j - j0] = std::isnan(dosage[j])
                      ? missing
                      : study_score(static_cast<double>(dosage[j]) - m, residuals[j]);
}

std::string CompactRows::undecodable_reason(int r, int j) const {
  if (header.coding != RowCoding::dosages || dosage_row_kind(r) != DosageRow::indices) return "";
  const std::uint64_t entry = directory[r];
  const unsigned char* row =
      base + header.rows_offset + (entry & ((std::uint64_t{1} << kDirectoryOffsetBits) - 1));
  std::uint16_t index;
  std::memcpy(&index, row + 2 * static_cast<std::size_t>(j), 2);
  if (index == kMissingDosageIndex || index < header.table_entries) return "";
  return "dosage index " + std::to_string(index) + " is beyond the table of " +
         std::to_string(header.table_entries) + " dosages";
}

void CompactRows::genotype_values(int r, double* out) const {
  const int n = static_cast<int>(header.nsubj);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (header.coding == RowCoding::genotypes) {
    const unsigned char* row = base + header.rows_offset +
                               static_cast<std::uint64_t>(r) * genotype_row_bytes(header.nsubj);
    for (int j = 0; j < n; ++j) {
      const unsigned code = (row[j / 4] >> (2 * (j % 4))) & 3u;
      out[j] = code == kMissingGenotypeCode ? nan : static_cast<double>(code);
    }
    return;
  }
  const unsigned char* row =
      base + header.rows_offset + (directory[r] & ((std::uint64_t{1} << kDirectoryOffsetBits) - 1));
  if (dosage_row_kind(r) == DosageRow::indices) {
    const auto* index = reinterpret_cast<const std::uint16_t*>(row);
    for (int j = 0; j < n; ++j)
      out[j] = index[j] < header.table_entries ? static_cast<double>(table[index[j]]) : nan;
    return;
  }
  const auto* dosage = reinterpret_cast<const float*>(row);
  for (int j = 0; j < n; ++j) out[j] = static_cast<double>(dosage[j]);  // NaN stays NaN
}

const double* CompactRows::covariate_column(int c) const {
  return reinterpret_cast<const double*>(base + header.covariates_offset +
                                         8 * header.nsubj * static_cast<std::uint64_t>(c));
}
