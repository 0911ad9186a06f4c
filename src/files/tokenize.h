// Splitting text lines into fields, and halvorix's reading of its input files: the data lines
// of a file through the shared line reader, worded as halvorix words its messages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/fail.h"
#include "conventions.h"
#include "files/line_reader.h"

/// Replaces `tokens` by the fields of `str`: maximal runs of bytes not in `delimiters`.
/// Runs of delimiters count as one; leading and trailing delimiters give no empty field.
void tokenize(const std::string& str, std::vector<std::string>& tokens,
              const std::string& delimiters);

/// As tokenize, with the fields as views into `str` (valid while `str` is unchanged): no
/// copies, for files with thousands of fields per line.
void tokenize_views(std::string_view str, std::vector<std::string_view>& fields,
                    const std::string& delimiters);

/// Bytes of the UTF-8 byte-order mark that `text` starts with (3), or 0: a mark left in place
/// would glue itself to the first field.
std::size_t byte_order_mark_length(std::string_view text);

/// True when `path` names a directory (opened as a file, it would read as empty).
bool is_directory(const std::string& path);
/// True for a pipe, socket or device (anything that exists and is neither a regular file nor a
/// directory): such input cannot be read twice nor sized beforehand.
bool is_stream(const std::string& path);

/// One of the run's ways to stop (fail_stderr or fail_stdout): each input names its own.
using StopRun = void (*)(const std::string& message);

/// halvorix's messages about its inputs, on standard error: "error: NUL byte on line N of file
/// F: not a text file" and the like. A file that cannot be opened stops the run with the
/// caller's `open_failure` through `stop` (each input names its own).
InputWording halvorix_wording(const std::string& open_failure, StopRun stop);

/// True when `fields` is a comment line: the first field starts with the comment marker.
bool is_comment(const std::vector<std::string>& fields);

/// Stops the run (standard error, naming the file) for an input without a data line: an empty
/// or comments-only file would otherwise read as an empty `what` and the run would go on.
void fail_no_data_lines(const std::string& path, const std::string& what);

/// The data lines of an input file, split into fields at kFieldDelimiters: comment lines and
/// lines without fields are skipped, and line_number() counts every line of the file, so the
/// loaders only interpret fields and name the line in their messages.
class DataLines {
 public:
  /// Opens `name` (plain or gzip-compressed) or stops the run with `open_failure` (standard
  /// error unless `stop` says otherwise); a directory stops it as LineReader does.
  explicit DataLines(const std::string& name, const std::string& open_failure,
                     StopRun stop = fail_stderr);
  /// Replaces `fields` by those of the next data line; false at end of file.
  bool next(std::vector<std::string>& fields);
  /// 1-based number of the line whose fields `next` handed over last.
  long line_number() const { return in.line_number; }
  const std::string& filename() const { return in.path; }
  /// Stops the run (message on standard error, naming the file and line) when the line last
  /// handed over has fewer than `minimum` fields: reading on would invent the missing ones.
  void require_fields(const std::vector<std::string>& fields, std::size_t minimum) const;
  /// Stops the run (standard error, naming the file) when `next` has handed over no line at
  /// all: an empty or comments-only file would otherwise read as an empty `what` and the run
  /// would go on as if it had succeeded.
  void require_data_lines(const std::string& what) const;
  /// When false, a line without fields is handed over (as no fields) for the loader to judge.
  bool skip_blank_lines = true;

 private:
  LineReader in;
  std::string line;
  long handed_over = 0;
};
