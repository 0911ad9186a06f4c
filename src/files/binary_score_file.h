// The binary score file: the same SNP-by-subject matrix as a text score file, as 32-bit
// floats that the program maps and reads in place. docs/score-format.md gives it byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/compact_scores.h"
#include "files/mapped_region.h"

/// First bytes of every binary score file. The first byte never starts UTF-8 text, so a score
/// file is binary exactly when it starts with it.
inline constexpr unsigned char kScoreMagic[8] = {0x89, 'H', 'S', 'C', '\r', '\n', 0x1a, '\n'};
inline constexpr std::uint32_t kScoreFormatVersion = 1;
inline constexpr std::uint64_t kScoreHeaderBytes = 64;

/// The header's numbers (all little-endian on disk).
struct ScoreFileHeader {
  std::uint32_t version = kScoreFormatVersion;
  std::uint64_t nsnp = 0;
  std::uint64_t nsubj = 0;
  std::uint64_t scores_offset = kScoreHeaderBytes;  ///< first score; a multiple of 64
  std::uint64_t names_offset = 0;                   ///< first name, right after the last score
  std::uint64_t names_bytes = 0;                    ///< every name followed by one '\n'
};

/// True when the file's first byte is the first magic byte (an unreadable file is "text",
/// whose reader reports it).
bool is_binary_score_file(const std::string& path);

/// The header of a file of `nsnp` x `nsubj` scores whose names take `names_bytes`.
ScoreFileHeader make_score_header(std::uint64_t nsnp, std::uint64_t nsubj,
                                  std::uint64_t names_bytes);
/// The header's 64 bytes.
std::string encode_score_header(const ScoreFileHeader& header);

/// A binary score file of either version, mapped: header checked against the file's size,
/// names read. Version 1 holds float rows (`scores`); version 2 coded rows (`compact`).
class BinaryScoreFile {
 public:
  std::string path;
  MappedRegion map;
  ScoreFileHeader header;  ///< for version 2: the version, counts and names block
  CompactRows compact;     ///< version 2: the rows and what decodes them
  std::vector<std::string> names;

  /// Maps and checks `path`; any mismatch stops the run with a message naming the file.
  explicit BinaryScoreFile(const std::string& file_path);
  bool is_compact() const { return header.version == kCompactFormatVersion; }
  /// Version 1: the float rows.
  const float* scores() const;

 private:
  std::string dimensions() const;
  void check_dimensions() const;
  /// Stops the run unless the `width`-byte field at `offset` holds `expected`.
  void check_fixed_field(const unsigned char* bytes, std::size_t offset, std::size_t width,
                         std::uint64_t expected, const std::string& field) const;
  void check_float_layout(const unsigned char* bytes, std::uint64_t size);
  void check_compact_layout(const unsigned char* bytes, std::uint64_t size);
  void check_compact_numbers() const;
  void read_names(const unsigned char* bytes);
};

/// Why a SNP name cannot be written in either form (empty, a separator, a line break, a
/// leading '#', which text would read as a comment, or a byte that is not 7-bit text: NUL or
/// above 127); empty when it can.
std::string bad_snp_name_reason(const std::string& name);
