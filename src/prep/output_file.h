// Output files that appear complete or not at all: everything goes to a temporary file in the
// destination's folder, put in place of the destination only when the whole output is written.
// Links, streams and the replaced file's mode are handled as output_policy.h says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class OutputFile {
 public:
  std::string path;         ///< final name
  std::string temp_path;    ///< where the bytes go until `commit` (the target itself if direct)
  std::string target_path;  ///< what `commit` renames the temporary file to
  bool direct = false;      ///< not a regular file: written in place, never renamed over

  /// Creates the temporary file; failing that stops the run.
  explicit OutputFile(const std::string& final_path);
  /// Removes the temporary file when `commit` was never reached.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::string_view text);
  void write_char(char c);

  /// Room for at least `size` bytes at the end of the buffer; hand the end of what was written
  /// to `advance`. Lets number formatting write straight into the buffer.
  char* reserve(std::size_t size);
  void advance(const char* end);

  /// Writes `bytes` at `offset` of what was written so far (a header known only at the end).
  void overwrite(long long offset, std::string_view bytes);

  /// Flushes, closes and renames the temporary file to `path`.
  void commit();

  long long bytes_written = 0;

 private:
  int descriptor = -1;
  std::vector<char> buffer;
  std::size_t used = 0;
  bool committed = false;

  void flush();
};
