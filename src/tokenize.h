// Splitting text lines into fields, and reading lines from input files.
#pragma once

#include <fstream>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

/// Field separators of every data file: runs of comma, blank and tab.
inline const std::string kFieldDelimiters = ", \t";

/// Replaces `tokens` by the fields of `str`: maximal runs of bytes not in `delimiters`.
/// Runs of delimiters count as one; leading and trailing delimiters give no empty field.
void tokenize(const std::string& str, std::vector<std::string>& tokens,
              const std::string& delimiters);

/// As tokenize, with the fields as views into `str` (valid while `str` is unchanged): no
/// copies, for files with thousands of fields per line.
void tokenize_views(std::string_view str, std::vector<std::string_view>& fields,
                    const std::string& delimiters);

/// Stops the run (message on standard error, naming the file and line) when a data line has
/// fewer than `minimum` fields: reading on would invent the missing ones.
void require_fields(const std::vector<std::string>& fields, std::size_t minimum, int line_number,
                    const std::string& filename);

/// std::getline that also drops one trailing carriage return, so DOS line ends read like
/// Unix ones. Returns false at end of input.
bool read_line(std::istream& in, std::string& line);

/// True when `path` names a directory (opened as a file, it would read as empty).
bool is_directory(const std::string& path);

/// A text input read line by line through read_line, which also skips a UTF-8 byte-order mark
/// at the start of the file and stops the run (file and line named) on a NUL byte: such a file
/// is not text, and the bytes after the NUL would otherwise be read as a different name.
class TextInput {
 public:
  std::string filename;
  int line_number = 0;  ///< 1-based number of the line last read, comments and blanks included

  /// Opens `name`; a directory stops the run. A file that cannot be opened leaves is_open()
  /// false, so that each loader keeps its own message.
  explicit TextInput(const std::string& name);
  bool is_open() const { return in.is_open() && !in.fail(); }
  bool read_line(std::string& line);

 private:
  std::ifstream in;
};
