// Binary score files from halvorix-prep: written row by row (the names and the header's
// counts go in at the end), packed from a text score file, or unpacked back to text.
#pragma once

#include <string>

#include "prep/output_file.h"

/// Adds `name` and its line end to the names block of the binary file `path`; a name the
/// binary formats cannot hold (not 7-bit text) stops the run before the file is made.
void append_snp_name(const std::string& path, std::string& names, const std::string& name);

class BinaryScoreWriter {
 public:
  OutputFile out;
  int nsubj = 0;       ///< scores per row; fixed before the first row
  long long nsnp = 0;  ///< rows written so far
  std::string names;   ///< every name followed by '\n'

  /// Starts `path` (it appears only at commit) with room for the header.
  explicit BinaryScoreWriter(const std::string& path);
  /// Appends one SNP: its name and nsubj scores.
  void write_row(const std::string& name, const float* scores);
  /// Writes the names, fills in the header and renames the file into place.
  void commit();
};

struct PackSummary {
  long long snps = 0;
  int subjects = 0;
  long long repeated_names = 0;
};

/// Reads the text score file `text_path` as halvorix does and writes it as `binary_path`.
PackSummary pack_score_file(const std::string& text_path, const std::string& binary_path);
void print_pack_summary(const std::string& text_path, const std::string& binary_path,
                        const PackSummary& summary);

/// Writes the binary score file `binary_path` as text that reads back to the same floats.
PackSummary unpack_score_file(const std::string& binary_path, const std::string& text_path);
void print_unpack_summary(const std::string& binary_path, const std::string& text_path,
                          const PackSummary& summary);

/// Room write_float_exact needs.
constexpr std::size_t kMaxFloatText = 32;
/// Shortest text that halvorix's reader turns back into `value` exactly ("nan", "inf" and
/// "-inf" for those; "-0" for negative zero). Needs kMaxFloatText bytes at `out`; returns the
/// end.
char* write_float_exact(char* out, float value);
