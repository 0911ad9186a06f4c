#include "prep/score_compact.h"

#include <cmath>
#include <cstring>

#include "cli/fail.h"
#include "files/binary_score_file.h"
#include "files/line_reader.h"
#include "prep/score_binary.h"

namespace {
template <typename T>
std::string_view bytes_of(const std::vector<T>& values) {
  return {reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T)};
}
}  // namespace

CompactScoreWriter::CompactScoreWriter(const std::string& path, RowCoding coding,
                                       const std::vector<double>& residuals,
                                       const std::vector<std::vector<double>>& covariates,
                                       float missing_code)
    : out(path) {
  header.nsubj = residuals.size();
  header.coding = coding;
  header.covariate_columns = static_cast<std::uint32_t>(covariates.size() + 1);
  header.missing_code = missing_code;
  out.write(std::string(kCompactHeaderBytes, '\0'));
  out.write(bytes_of(residuals));
  out.write(bytes_of(std::vector<double>(residuals.size(), 1.0)));  // the intercept
  for (const std::vector<double>& column : covariates) out.write(bytes_of(column));
}

void CompactScoreWriter::write_row(const std::string& name, const std::vector<double>& dosage,
                                   double mean) {
  append_snp_name(out.path, names, name);
  means.push_back(mean);
  if (header.coding == RowCoding::genotypes) {
    write_genotype_row(name, dosage);
  } else {
    write_dosage_row(dosage);
  }
  ++header.nsnp;
}

void CompactScoreWriter::write_genotype_row(const std::string& name,
                                            const std::vector<double>& dosage) {
  // Without branches on the genotypes, which follow no pattern a processor could predict.
  row.assign(genotype_row_bytes(dosage.size()), 0);
  bool all_counts = true;
  for (std::size_t k = 0; k < dosage.size(); ++k) {
    const double d = dosage[k];
    const bool count = (d == 0) | (d == 1) | (d == 2);
    all_counts &= count | std::isnan(d);
    const auto code = static_cast<unsigned>(count ? d : double{kMissingGenotypeCode});
    row[k / 4] = static_cast<unsigned char>(row[k / 4] | (code << (2 * (k % 4))));
  }
  if (!all_counts) {
    for (double d : dosage)
      if (!std::isnan(d) && d != 0 && d != 1 && d != 2)
        fail_stderr("error: " + out.path + ": SNP " + name + " has the genotype count " +
                    std::to_string(d) + ", not 0, 1 or 2");
  }
  out.write(bytes_of(row));
  header.rows_bytes += row.size();
}

void CompactScoreWriter::write_dosage_row(const std::vector<double>& dosage) {
  // Indices while the table has room for this row's new values; otherwise the row keeps its
  // dosages as floats. Dosages come from floats (or small integers): either way exact.
  const std::uint64_t offset = header.rows_bytes;
  row.assign(dosage_row_bytes(DosageRow::indices, dosage.size()), 0);
  auto* index = reinterpret_cast<std::uint16_t*>(row.data());
  bool fits = true;
  for (std::size_t k = 0; k < dosage.size() && fits; ++k) {
    if (std::isnan(dosage[k])) {
      index[k] = kMissingDosageIndex;
      continue;
    }
    const auto value = static_cast<float>(dosage[k]);
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto found = table_index.find(bits);
    if (found != table_index.end()) {
      index[k] = found->second;
    } else if (table.size() < table_capacity) {
      index[k] = static_cast<std::uint16_t>(table.size());
      table_index.emplace(bits, index[k]);
      table.push_back(value);
    } else {
      fits = false;
    }
  }
  DosageRow kind = DosageRow::indices;
  if (!fits) {
    kind = DosageRow::floats;
    ++float_rows;
    row.assign(dosage_row_bytes(DosageRow::floats, dosage.size()), 0);
    auto* value = reinterpret_cast<float*>(row.data());
    for (std::size_t k = 0; k < dosage.size(); ++k) value[k] = static_cast<float>(dosage[k]);
  }
  out.write(bytes_of(row));
  header.rows_bytes += row.size();
  directory.push_back(offset | (static_cast<std::uint64_t>(kind) << kDirectoryOffsetBits));
}

void CompactScoreWriter::pad_rows() {
  // Everything before the rows takes a multiple of 8 bytes.
  out.write(std::string(padded8(header.rows_bytes) - header.rows_bytes, '\0'));
}

void CompactScoreWriter::commit() {
  pad_rows();
  if (header.coding == RowCoding::dosages) out.write(bytes_of(directory));
  out.write(bytes_of(means));
  if (header.coding == RowCoding::dosages) out.write(bytes_of(table));
  out.write(names);
  header.table_entries = table.size();
  header.names_bytes = names.size();
  lay_out_compact(header);
  out.overwrite(0, encode_compact_header(header));
  out.commit();
}
