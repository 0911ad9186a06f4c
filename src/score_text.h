// The text score file, read in blocks of lines parsed in parallel: one SNP per data line, its
// name and then one score per subject; comment lines (first field starting with '#') and
// lines without fields are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class ScoreField { ok, not_a_number, not_finite };

/// Reads one score field into `value`: the whole field must be one number, decimal (with or
/// without exponent) or hexadecimal, that is finite as a float. `value` is set whenever the
/// field is a number.
ScoreField parse_score_field(std::string_view field, float& value);

/// Consecutive data lines of the file.
struct ScoreTextRows {
  std::vector<std::string> names;
  std::vector<float> values;  ///< names.size() rows of nsubj scores
  int first_line = 0;         ///< data-line number (1-based, comments not counted) of the first
  int physical_lines = 0;     ///< lines of the file this part spans, comments and blanks included
};

class ScoreTextReader {
 public:
  std::string path;
  int nsubj = 0;  ///< fields of the first data line, less its name; 0 until it is read
  std::size_t block_bytes = 32u << 20;  ///< text read and parsed at a time (a line may exceed it)

  /// Opens `path`; a file that cannot be opened stops the run.
  explicit ScoreTextReader(std::string file_path);
  ~ScoreTextReader();
  ScoreTextReader(const ScoreTextReader&) = delete;
  ScoreTextReader& operator=(const ScoreTextReader&) = delete;

  /// The next rows, in file order; false at the end. A malformed line stops the run, but only
  /// once every row before it has been handed out.
  bool next(ScoreTextRows& rows);

  /// Size of the file in bytes (an upper bound for the values: every score takes 2 bytes).
  long long file_bytes() const { return size; }

 private:
  int descriptor = -1;
  long long size = 0;
  std::string buffer;  ///< text of the block being parsed; starts with a carried partial line
  bool at_end = false;
  int data_lines = 0;                ///< data lines before the current block
  int physical_lines = 0;            ///< lines of the file before the current block
  std::vector<ScoreTextRows> parts;  ///< parsed parts of the current block
  std::size_t next_part = 0;
  std::string pending_error;

  bool read_block();
  void find_width(std::string_view text);
};
