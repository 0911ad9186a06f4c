#include "files/binary_score_file.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include "cli/fail.h"
#include "files/little_endian.h"
#include "files/tokenize.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the binary score file is read in place: a big-endian host would need byte swaps");

namespace {

[[noreturn]] void fail_file(const std::string& path, const std::string& what) {
  fail_stderr("error: binary score file " + path + ": " + what);
}

}  // namespace

bool is_binary_score_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char first = 0;
  return in.get(first) && static_cast<unsigned char>(first) == kScoreMagic[0];
}

ScoreFileHeader make_score_header(std::uint64_t nsnp, std::uint64_t nsubj,
                                  std::uint64_t names_bytes) {
  ScoreFileHeader header;
  header.nsnp = nsnp;
  header.nsubj = nsubj;
  header.names_offset = header.scores_offset + nsnp * nsubj * sizeof(float);
  header.names_bytes = names_bytes;
  return header;
}

std::string encode_score_header(const ScoreFileHeader& header) {
  std::string out(kScoreHeaderBytes, '\0');
  std::memcpy(out.data(), kScoreMagic, sizeof kScoreMagic);
  put_u32(out, 8, header.version);
  put_u32(out, 12, static_cast<std::uint32_t>(kScoreHeaderBytes));
  put_u64(out, 16, header.nsnp);
  put_u64(out, 24, header.nsubj);
  put_u64(out, 32, header.scores_offset);
  put_u64(out, 40, header.names_offset);
  put_u64(out, 48, header.names_bytes);
  return out;
}

std::string bad_snp_name_reason(const std::string& name) {
  if (name.empty()) return "is empty";
  if (name[0] == kCommentMarker) return "starts with '#'";
  if (name.find_first_of(kFieldDelimiters + "\n\r") != std::string::npos)
    return "holds a field separator or line break";
  // 7-bit text, so that every reader sees the same name: no NUL, which would cut it short in
  // C strings, and no byte above 127, whose meaning depends on an encoding the file does not
  // state.
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte == 0 || byte > 127) {
      return "holds byte " + std::to_string(byte) + " at position " + std::to_string(i + 1) +
             " (names are 7-bit text without NUL)";
    }
  }
  return "";
}

BinaryScoreFile::BinaryScoreFile(const std::string& file_path)
    : path(file_path), map(MappedRegion::file(file_path)) {
  const auto* bytes = static_cast<const unsigned char*>(map.address);
  const std::uint64_t size = map.length;
  if (size < sizeof kScoreMagic || std::memcmp(bytes, kScoreMagic, sizeof kScoreMagic) != 0)
    fail_file(path, "bad magic bytes (not a halvorix binary score file)");
  if (size < kScoreHeaderBytes)
    fail_file(path, "shorter than its " + std::to_string(kScoreHeaderBytes) + "-byte header");
  header.version = get_u32(bytes + 8);
  if (header.version == kScoreFormatVersion) {
    check_float_layout(bytes, size);
  } else if (header.version == kCompactFormatVersion) {
    check_compact_layout(bytes, size);
  } else {
    fail_file(path, "format version " + std::to_string(header.version) +
                        " is not known (this program reads versions 1 and 2)");
  }
  read_names(bytes);
}

std::string BinaryScoreFile::dimensions() const {
  return std::to_string(header.nsnp) + " SNPs x " + std::to_string(header.nsubj) + " subjects";
}

void BinaryScoreFile::check_dimensions() const {
  // Dimensions the program can index, before any multiplication. A file without SNPs is refused
  // too: halvorix has nothing to test in it, and no row bounds its count of subjects by the
  // file's size.
  if (header.nsnp > 2147483647ULL || header.nsubj > 2147483647ULL ||
      (header.nsnp > 0 && header.nsubj == 0))
    fail_file(path, "impossible dimensions " + dimensions());
  if (header.nsnp == 0)
    fail_file(path, "the header says 0 SNPs (with " + std::to_string(header.nsubj) +
                        " subjects); a score file holds at least one");
}

void BinaryScoreFile::check_fixed_field(const unsigned char* bytes, std::size_t offset,
                                        std::size_t width, std::uint64_t expected,
                                        const std::string& field) const {
  const std::uint64_t value = width == 4 ? get_u32(bytes + offset) : get_u64(bytes + offset);
  if (value != expected)
    fail_file(path, field + " (header bytes " + std::to_string(offset) + " to " +
                        std::to_string(offset + width - 1) + ") is " + std::to_string(value) +
                        ", expected " + std::to_string(expected));
}

void BinaryScoreFile::check_float_layout(const unsigned char* bytes, std::uint64_t size) {
  header.nsnp = get_u64(bytes + 16);
  header.nsubj = get_u64(bytes + 24);
  header.scores_offset = get_u64(bytes + 32);
  header.names_offset = get_u64(bytes + 40);
  header.names_bytes = get_u64(bytes + 48);
  check_fixed_field(bytes, 12, 4, kScoreHeaderBytes, "the header size");
  check_fixed_field(bytes, 56, 8, 0, "the reserved field");
  check_dimensions();
  check_fixed_field(bytes, 32, 8, kScoreHeaderBytes, "the scores offset");
  // The counts are held against the file's size before anything is sized by them, in
  // arithmetic that cannot wrap: the dimensions are below 2^31, so their product times 4 is
  // below 2^64.
  const std::uint64_t score_bytes = header.nsnp * header.nsubj * sizeof(float);
  const std::uint64_t after_header = size - kScoreHeaderBytes;
  if (score_bytes > after_header) {
    fail_file(path, "the scores of " + dimensions() + " take " + std::to_string(score_bytes) +
                        " bytes, but only " + std::to_string(after_header) +
                        " bytes follow the header (the file is cut short, or the header is "
                        "wrong)");
  }
  check_fixed_field(bytes, 40, 8, kScoreHeaderBytes + score_bytes, "the names offset");
  const std::uint64_t after_scores = after_header - score_bytes;
  if (header.names_bytes != after_scores) {
    fail_file(path, "the header says " + std::to_string(header.names_bytes) +
                        " bytes of names, but " + std::to_string(after_scores) +
                        " bytes follow the scores of " + dimensions() + " (file size " +
                        std::to_string(size) + " bytes)");
  }
}

void BinaryScoreFile::check_compact_layout(const unsigned char* bytes, std::uint64_t size) {
  if (size < kCompactHeaderBytes)
    fail_file(path, "shorter than its " + std::to_string(kCompactHeaderBytes) + "-byte header");
  const CompactHeader h = decode_compact_header(bytes);
  header.nsnp = h.nsnp;
  header.nsubj = h.nsubj;
  header.names_offset = h.names_offset;
  header.names_bytes = h.names_bytes;
  check_fixed_field(bytes, 12, 4, kCompactHeaderBytes, "the header size");
  check_fixed_field(bytes, 44, 4, 0, "the reserved field");
  check_dimensions();
  if (h.coding != RowCoding::genotypes && h.coding != RowCoding::dosages)
    fail_file(path, "row coding " + std::to_string(static_cast<std::uint32_t>(h.coding)) +
                        " is not known (1: genotypes, 2: dosages)");
  // Each count is held against the file's size before it sizes anything: with nsubj below
  // 2^31 and every other factor bounded by the size, no sum of block sizes below can wrap.
  if (8 * h.nsubj > size)
    fail_file(path, "the residuals of " + std::to_string(h.nsubj) + " subjects take " +
                        std::to_string(8 * h.nsubj) + " bytes, more than the file's " +
                        std::to_string(size));
  if (h.covariate_columns == 0 || h.covariate_columns > size / (8 * h.nsubj))
    fail_file(path, std::to_string(h.covariate_columns) + " covariate columns for " +
                        std::to_string(h.nsubj) + " subjects (at least 1, the intercept, and " +
                        "no more than the file's size holds)");
  if (h.table_entries > kMaxDosageEntries)
    fail_file(path, "a dosage table of " + std::to_string(h.table_entries) + " entries (at most " +
                        std::to_string(kMaxDosageEntries) + ")");
  if (h.rows_bytes > size)
    fail_file(path, "the rows size " + std::to_string(h.rows_bytes) +
                        " bytes is more than the file's " + std::to_string(size));
  if (h.names_bytes > size)
    fail_file(path, "the names size " + std::to_string(h.names_bytes) +
                        " bytes is more than the file's " + std::to_string(size));
  if (h.coding == RowCoding::genotypes) {
    check_fixed_field(bytes, 72, 8, h.nsnp * genotype_row_bytes(h.nsubj),
                      "the rows size for " + dimensions() + " of genotypes");
  }
  // The only layout there is: every offset follows from the counts.
  CompactHeader expected = h;
  lay_out_compact(expected);
  const struct {
    std::size_t at;
    std::uint64_t value;
    const char* field;
  } offsets[] = {{48, expected.residuals_offset, "the residuals offset"},
                 {56, expected.covariates_offset, "the covariates offset"},
                 {64, expected.rows_offset, "the rows offset"},
                 {80, expected.directory_offset, "the directory offset"},
                 {88, expected.means_offset, "the means offset"},
                 {96, expected.table_offset, "the table offset"},
                 {104, expected.table_entries, "the table entries"},
                 {112, expected.names_offset, "the names offset"}};
  for (const auto& offset : offsets)
    check_fixed_field(bytes, offset.at, 8, offset.value, offset.field);
  const std::uint64_t expected_size = expected.names_offset + h.names_bytes;
  if (expected_size != size) {
    fail_file(path, "size " + std::to_string(size) + " bytes, but the blocks the header gives (" +
                        dimensions() + ", " + std::to_string(h.covariate_columns) +
                        " covariate columns, " + std::to_string(h.rows_bytes) + " bytes of rows, " +
                        std::to_string(h.table_entries) + " dosages in the table, " +
                        std::to_string(h.names_bytes) + " bytes of names) end at byte " +
                        std::to_string(expected_size));
  }
  compact.attach(bytes, h);
  check_compact_numbers();
}

void BinaryScoreFile::check_compact_numbers() const {
  const CompactHeader& h = compact.header;
  if (!std::isfinite(h.missing_code)) fail_file(path, "the missing code is not a finite number");
  for (std::uint64_t i = 0; i < h.nsubj; ++i)
    if (!std::isfinite(compact.residuals[i]))
      fail_file(path,
                "the residual of subject " + std::to_string(i + 1) + " is not a finite number");
  for (std::uint64_t j = 0; j < h.nsnp; ++j)
    if (!std::isfinite(compact.means[j]))
      fail_file(path, "the mean of SNP " + std::to_string(j + 1) + " is not a finite number");
  if (h.coding != RowCoding::dosages) return;
  for (std::uint64_t e = 0; e < h.table_entries; ++e)
    if (!std::isfinite(compact.table[e]))
      fail_file(path, "dosage " + std::to_string(e) + " of the table is not a finite number");
  // The directory: rows side by side in SNP order, each of a known kind.
  std::uint64_t next = 0;
  for (std::uint64_t j = 0; j < h.nsnp; ++j) {
    const std::uint64_t entry = compact.directory[j];
    const std::uint64_t offset = entry & ((std::uint64_t{1} << kDirectoryOffsetBits) - 1);
    const auto kind = static_cast<DosageRow>(entry >> kDirectoryOffsetBits);
    if (kind != DosageRow::indices && kind != DosageRow::floats)
      fail_file(path, "row of SNP " + std::to_string(j + 1) + " has the unknown kind " +
                          std::to_string(entry >> kDirectoryOffsetBits));
    if (offset != next)
      fail_file(path, "row of SNP " + std::to_string(j + 1) + " starts at " +
                          std::to_string(offset) + " bytes into the rows, expected " +
                          std::to_string(next));
    next += dosage_row_bytes(kind, h.nsubj);
    if (next > h.rows_bytes)
      fail_file(path, "row of SNP " + std::to_string(j + 1) + " ends beyond the " +
                          std::to_string(h.rows_bytes) + " bytes of rows");
  }
  if (next != h.rows_bytes)
    fail_file(path, "the rows take " + std::to_string(next) + " bytes, the header says " +
                        std::to_string(h.rows_bytes));
}

void BinaryScoreFile::read_names(const unsigned char* bytes) {
  const char* p = reinterpret_cast<const char*>(bytes + header.names_offset);
  const char* end = p + header.names_bytes;
  names.reserve(header.nsnp);
  while (p < end) {
    const char* stop =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (stop == nullptr) fail_file(path, "the last SNP name is cut short (no line break)");
    if (names.size() == header.nsnp)
      fail_file(path, "more names than the " + std::to_string(header.nsnp) + " SNPs");
    names.emplace_back(p, stop);
    const std::string reason = bad_snp_name_reason(names.back());
    if (!reason.empty())
      fail_file(path, "name of SNP " + std::to_string(names.size()) + " " + reason);
    p = stop + 1;
  }
  if (names.size() != header.nsnp)
    fail_file(path, std::to_string(names.size()) + " SNP names for " + std::to_string(header.nsnp) +
                        " SNPs");
}

const float* BinaryScoreFile::scores() const {
  return reinterpret_cast<const float*>(static_cast<const char*>(map.address) +
                                        header.scores_offset);
}
