#include "files/binary_score_file.h"

#include <cstring>
#include <fstream>

#include "cli/fail.h"
#include "files/tokenize.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the binary score file is read in place: a big-endian host would need byte swaps");

namespace {
void put_u32(std::string& out, std::size_t at, std::uint32_t v) { std::memcpy(&out[at], &v, 4); }
void put_u64(std::string& out, std::size_t at, std::uint64_t v) { std::memcpy(&out[at], &v, 8); }
std::uint32_t get_u32(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
std::uint64_t get_u64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

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
  if (header.version != kScoreFormatVersion)
    fail_file(path, "format version " + std::to_string(header.version) +
                        " is not known (this program reads version " +
                        std::to_string(kScoreFormatVersion) + ")");
  header.nsnp = get_u64(bytes + 16);
  header.nsubj = get_u64(bytes + 24);
  header.scores_offset = get_u64(bytes + 32);
  header.names_offset = get_u64(bytes + 40);
  header.names_bytes = get_u64(bytes + 48);
  const std::string dims =
      std::to_string(header.nsnp) + " SNPs x " + std::to_string(header.nsubj) + " subjects";
  // Dimensions the program can index, and a layout that adds up, before any multiplication.
  if (header.nsnp > 2147483647ULL || header.nsubj > 2147483647ULL ||
      (header.nsnp > 0 && header.nsubj == 0))
    fail_file(path, "impossible dimensions " + dims);
  if (header.scores_offset != kScoreHeaderBytes)
    fail_file(path, "scores start at byte " + std::to_string(header.scores_offset) + ", expected " +
                        std::to_string(kScoreHeaderBytes));
  const std::uint64_t score_bytes = header.nsnp * header.nsubj * sizeof(float);
  const std::uint64_t expected = header.scores_offset + score_bytes + header.names_bytes;
  if (header.names_offset != header.scores_offset + score_bytes || header.names_bytes > size ||
      expected != size)
    fail_file(path, "size " + std::to_string(size) + " bytes does not match " + dims + " and " +
                        std::to_string(header.names_bytes) + " bytes of names (expected " +
                        std::to_string(expected) + " bytes)");
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
