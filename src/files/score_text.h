// The text score file, read in blocks of lines parsed in parallel: one SNP per data line, its
// name and then one score per subject; comment lines (first field starting with '#') and
// lines without fields are skipped. A regular file is mapped and parsed where it lies (copying
// it out of the page cache took longer than parsing it); the last stretch of the file, and
// files that cannot be mapped, are read into a buffer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/mapped_region.h"

enum class ScoreField { ok, not_a_number, not_finite };

/// Reads one score field into `value`: the whole field must be one number, decimal (with or
/// without exponent) or hexadecimal, that is finite as a float. `value` is set whenever the
/// field is a number.
ScoreField parse_score_field(std::string_view field, float& value);

/// Consecutive data lines of the file.
struct ScoreTextRows {
  std::vector<std::string> names;
  const float* values = nullptr;  ///< names.size() rows of nsubj scores, in the reader's room
  int first_line = 0;             ///< data-line number (1-based, comments not counted) of the first
};

class ScoreTextReader {
 public:
  std::string path;
  int nsubj = 0;  ///< fields of the first data line, less its name; 0 until it is read
  std::size_t block_bytes = 32u << 20;  ///< text read and parsed at a time (a line may exceed it)
  /// Bytes a score field and the separators after it may take on average over a line: a line
  /// longer than this times the first line's field count stops the run instead of growing
  /// the buffer without end (a file without line ends, or a damaged one).
  static constexpr std::size_t kMaxScoreFieldBytes = 1024;

  /// Opens `path`; a file that cannot be opened stops the run.
  explicit ScoreTextReader(std::string file_path);
  ~ScoreTextReader();
  ScoreTextReader(const ScoreTextReader&) = delete;
  ScoreTextReader& operator=(const ScoreTextReader&) = delete;

  /// Where a block's scores are parsed: room for at least `count` floats, kept until the next
  /// call. Unset, the reader keeps a buffer of its own. Given the end of the score matrix,
  /// the scores are written once, where they stay.
  std::function<float*(std::size_t count)> room;

  /// The next block's rows, in file order, their scores packed at the start of the room it
  /// was given; false at the end. A malformed line stops the run, but only once every row
  /// before it has been handed out.
  bool next(ScoreTextRows& rows);

  /// Room for the whole file: the scores of the rows before a block plus the room the block
  /// asks for never exceed it (a score takes two bytes of text; a part may end in one less).
  std::size_t max_room() const { return static_cast<std::size_t>(size) / 2 + kMaxParts + 1; }

 private:
  int descriptor = -1;
  long long size = 0;
  MappedRegion mapping;            ///< the whole file, while blocks are parsed in place
  std::size_t mapped_offset = 0;   ///< bytes of the mapping already parsed (or a skipped BOM)
  bool at_start = true;            ///< the file's first bytes not yet checked for a BOM
  std::unique_ptr<char[]> buffer;  ///< text of the block; starts with a carried partial line
  std::size_t buffer_capacity = 0;
  std::size_t buffer_length = 0;
  bool at_end = false;
  int data_lines = 0;      ///< data lines before the current block
  int physical_lines = 0;  ///< lines of the file before the current block
  /// Parts a block is parsed in, at most: bounds the room a block asks for beyond its bytes.
  static constexpr std::size_t kMaxParts = 1024;
  /// Zero bytes kept after the text in the buffer, for the parser's word-sized reads.
  static constexpr std::size_t kPadding = 16;
  ScoreTextRows parsed;  ///< the current block, once parsed
  bool block_ready = false;
  std::unique_ptr<float[]> own_room;
  std::size_t own_room_size = 0;
  std::string pending_error;

  bool read_block();
  bool parse_mapped_block();
  void parse_block(std::string_view text);
  void drop_from_buffer(std::size_t count);
  /// Stops the run when a line still without its end has taken `bytes`, beyond the bound.
  void check_line_length(std::size_t bytes) const;
  float* block_room(std::size_t count);
  void find_width(std::string_view text);
};
