#include "prep/plink.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "cli/fail.h"
#include "files/tokenize.h"
#include "prep/text_input.h"

namespace {

bool parse_integer(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

std::string hex_byte(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", byte & 0xff);
  return text;
}

}  // namespace

std::vector<BimRecord> load_bim(const std::string& path) {
  LineReader in(path, prep_wording());
  std::vector<BimRecord> records;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    split_whitespace(line, fields);
    if (fields.size() != 6) {
      fail_stderr("error: " + in.where() + ": expected 6 columns (chromosome, SNP, cM, bp, " +
                  "allele 1, allele 2), found " + std::to_string(fields.size()));
    }
    BimRecord record;
    record.chromosome = fields[0];
    record.snp_id = fields[1];
    if (!parse_integer(fields[3], record.position)) {
      fail_stderr("error: " + in.where() + ": base-pair position '" + quote_prefix(fields[3]) +
                  "' is not a whole number");
    }
    if (has_field_separator(record.snp_id)) {
      fail_stderr("error: " + in.where() + ": SNP name '" + quote_prefix(record.snp_id) +
                  "' contains a comma, which Halvorix would split");
    }
    record.allele1 = fields[4];
    record.allele2 = fields[5];
    records.push_back(std::move(record));
  }
  if (records.empty()) fail_stderr("error: " + path + ": no SNP lines");
  return records;
}

std::vector<FamRecord> load_fam(const std::string& path) {
  LineReader in(path, prep_wording());
  std::vector<FamRecord> records;
  std::unordered_map<std::string, long> first_line;
  std::string line;
  std::vector<std::string> fields;
  while (in.read_line(line)) {
    split_whitespace(line, fields);
    if (fields.size() != 6) {
      fail_stderr("error: " + in.where() + ": expected 6 columns (FID, IID, father, mother, " +
                  "sex, phenotype), found " + std::to_string(fields.size()));
    }
    // One subject per FID/IID: a repeated pair would match one phenotype row twice.
    const auto first = first_line.emplace(fields[0] + '\t' + fields[1], in.line_number);
    if (!first.second) {
      fail_stderr("error: " + in.where() + ": subject " + quote_prefix(fields[0]) + " " +
                  quote_prefix(fields[1]) + " (FID IID) already appeared on line " +
                  std::to_string(first.first->second));
    }
    records.push_back({fields[0], fields[1], fields[5]});
  }
  if (records.empty()) fail_stderr("error: " + path + ": no subject lines");
  return records;
}

BedReader::BedReader(const std::string& file_path, long long snps, long long subjects)
    : path(file_path), snp_count(snps), subject_count(subjects), bytes_per_snp((subjects + 3) / 4) {
  if (is_directory(path)) fail_stderr("error: " + path + " is a directory");
  gz.file = gzopen(path.c_str(), "rb");
  if (gz.file == nullptr) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
  gzbuffer(gz.file, 1 << 20);
  unsigned char header[3] = {0, 0, 0};
  const int got = gzread(gz.file, header, 3);
  if (got < 2 || header[0] != 0x6c || header[1] != 0x1b) {
    fail_stderr("error: " + path + " byte 0: not a PLINK .bed file (expected magic bytes " +
                "0x6c 0x1b, found " + (got >= 1 ? hex_byte(header[0]) : "end of file") +
                (got >= 2 ? " " + hex_byte(header[1]) : "") + ")");
  }
  if (got < 3) fail_stderr("error: " + path + " byte 2: file ends before the mode byte");
  if (header[2] == 0x00) {
    fail_stderr("error: " + path + " byte 2: individual-major .bed (mode byte 0x00); only " +
                "SNP-major files (mode 0x01) are read: rewrite it with plink --make-bed");
  }
  if (header[2] != 0x01) {
    fail_stderr("error: " + path + " byte 2: unknown mode byte " + hex_byte(header[2]) +
                " (expected 0x01, SNP-major)");
  }
  struct stat status;
  // A compressed file's size says nothing, and a pipe has none: their length is checked while
  // reading instead.
  if (gzdirect(gz.file) != 0 && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_size != expected_size()) {
    fail_stderr("error: " + path + ": size is " + std::to_string(status.st_size) + " bytes, but " +
                std::to_string(snp_count) + " SNPs (.bim) x " + std::to_string(subject_count) +
                " subjects (.fam) need " + std::to_string(expected_size()) + " bytes (3 + " +
                std::to_string(snp_count) + " x " + std::to_string(bytes_per_snp) + ")");
  }
}

BedReader::~BedReader() = default;

void BedReader::read_snp(std::vector<unsigned char>& bytes) {
  bytes.resize(static_cast<std::size_t>(bytes_per_snp));
  const long long offset = 3 + snps_read * bytes_per_snp;
  const int got = gzread(gz.file, bytes.data(), static_cast<unsigned>(bytes_per_snp));
  if (got != bytes_per_snp) {
    int code = Z_OK;
    const char* message = gzerror(gz.file, &code);
    if (got < 0 || code != Z_OK) {
      fail_stderr("error: " + path + " byte " + std::to_string(offset) +
                  ": damaged compressed data (" + message + ")");
    }
    fail_stderr("error: " + path + " byte " + std::to_string(offset + (got > 0 ? got : 0)) +
                ": file ends inside SNP " + std::to_string(snps_read + 1) + ", but " +
                std::to_string(snp_count) + " SNPs (.bim) x " + std::to_string(subject_count) +
                " subjects (.fam) need " + std::to_string(expected_size()) + " bytes");
  }
  ++snps_read;
}

void BedReader::check_end() {
  unsigned char extra = 0;
  if (gzread(gz.file, &extra, 1) == 1) {
    fail_stderr("error: " + path + " byte " + std::to_string(expected_size()) +
                ": data past the end of the last SNP; " + std::to_string(snp_count) +
                " SNPs (.bim) x " + std::to_string(subject_count) + " subjects (.fam) need " +
                std::to_string(expected_size()) + " bytes");
  }
}
