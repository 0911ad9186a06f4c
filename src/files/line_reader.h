// The one line reader of every text input of halvorix and halvorix-prep, plain or
// gzip-compressed; each program words its failures in its own way.
#pragma once

#include <zlib.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// How one program words what can go wrong with a text input: halvorix and halvorix-prep name
/// the file and line each in their own way, and each keeps the messages its users know.
struct InputWording {
  /// Stops the run: `path` cannot be opened, for `reason` (as strerror gives it).
  std::function<void(const std::string& path, const std::string& reason)> cannot_open;
  /// The message for a NUL byte on line `line`: such a file is not text, and the bytes after
  /// the NUL would be read as a different name.
  std::function<std::string(const std::string& path, long line)> nul_byte;
  /// The message for compressed data that is damaged or cut short after line `line` (0: before
  /// the first line), `cause` as zlib words it.
  std::function<std::string(const std::string& path, long line, const std::string& cause)>
      damaged_data;
  /// The message for line `line`, which goes on past `limit` bytes without a line end.
  std::function<std::string(const std::string& path, long line, std::size_t limit)> line_too_long;
};

/// The longest line a text input other than a score file may have: far beyond any gene map,
/// annotation or parameter line, and a bound on what a file without line ends can make the
/// reader hold.
inline constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

/// At most the first 40 bytes of `text` (never cutting a UTF-8 character), "..." after them
/// when there is more, control bytes shown as \xHH: a message quotes a field without
/// repeating a megabyte of it or sending its escape sequences to the terminal.
std::string quote_prefix(std::string_view text);

/// Reads lines from a plain or gzip file (zlib tells them apart by the first bytes), counting
/// them so that every message can name the file and line. A UTF-8 byte-order mark at the start
/// is skipped. A directory given as the file stops the run on standard error ("error: PATH is
/// a directory"); the other failures are worded by the program's InputWording, on standard
/// error.
class LineReader {
 public:
  std::string path;
  long line_number = 0;  ///< 1-based number of the line last read; 0 before the first
  std::size_t max_line_bytes = kMaxLineBytes;  ///< a longer line stops the run

  /// Opens `file_path`; a file that cannot be opened stops the run through the wording.
  LineReader(const std::string& file_path, InputWording input_wording);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  /// Reads the next line without its line end (a trailing carriage return is dropped too).
  /// Returns false at the end of the file; a NUL byte, a line longer than `max_line_bytes` or
  /// damaged compressed data stops the run. Each piece is checked before it is kept, so a file
  /// of zeros or without line ends stops within one chunk or one limit.
  bool read_line(std::string& line);

  /// "PATH line N" for messages about the line last read.
  std::string where() const;

 private:
  InputWording wording;
  gzFile file = nullptr;
  std::vector<char> chunk;
  std::size_t chunk_start = 0;  ///< first byte of `chunk` not yet handed out
  std::size_t chunk_end = 0;    ///< end of the bytes read into `chunk`

  bool fill_chunk();
};
