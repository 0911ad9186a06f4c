// Line-by-line reading of text inputs that may be plain or gzip-compressed.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

/// Reads lines from a plain or gzip file (zlib tells them apart by the first bytes), counting
/// them so that every message can name the file and line. A UTF-8 byte-order mark at the start
/// is skipped; a NUL byte, or a directory given as the file, stops the run.
class LineReader {
 public:
  std::string path;
  long line_number = 0;  ///< 1-based number of the line last read; 0 before the first

  /// Opens `file_path`; a file that cannot be opened stops the run.
  explicit LineReader(const std::string& file_path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// Reads the next line without its line end (a trailing carriage return is dropped too).
  /// Returns false at the end of the file; a damaged gzip stream stops the run.
  bool read_line(std::string& line);

  /// "PATH line N" for messages about the line last read.
  std::string where() const;

 private:
  gzFile file = nullptr;
  std::vector<char> chunk;
  std::size_t chunk_start = 0;  ///< first byte of `chunk` not yet handed out
  std::size_t chunk_end = 0;    ///< end of the bytes read into `chunk`

  bool fill_chunk();
};

/// Splits `line` at runs of blanks and tabs (the usual whitespace-separated layout).
void split_whitespace(const std::string& line, std::vector<std::string>& fields);

/// Splits `line` at every tab, keeping empty fields (tab-separated tables with blank cells).
void split_tabs(const std::string& line, std::vector<std::string>& fields);

/// True when `line` holds nothing but blanks and tabs.
bool is_blank(const std::string& line);

/// True when `text` contains a character that the analysis program splits fields at.
bool has_field_separator(const std::string& text);
