// Result files that are whole or absent: the bytes go to a temporary file beside the result,
// renamed over it only when everything was written. Targets that are not regular files (a
// device, a FIFO) are written in place, and a symbolic link is followed so that the link stays
// and its target is replaced.
#pragma once

#include <fstream>
#include <string>

/// Where an output named `path` is written.
struct OutputTarget {
  std::string final_path;  ///< `path` with symbolic links followed
  bool direct = false;     ///< not a regular file (nor a new name): written in place
};

/// Follows symbolic links (also to a name that does not exist yet) and tells a regular file or
/// a new name from anything else.
OutputTarget resolve_output_target(const std::string& path);

/// Temporary files that an exit() on error, which skips destructors, must still remove.
void remember_temp_file(const std::string& path);
void forget_temp_file(const std::string& path);

/// Creates a temporary file beside `final_path` with the permissions of a new file; returns
/// its descriptor and sets `temp_path`, or -1 (errno set) when the folder does not allow it.
int create_temp_beside(const std::string& final_path, std::string& temp_path);

class ResultFile {
 public:
  std::string path;  ///< name the user gave, as in messages
  OutputTarget target;
  std::string temp_path;  ///< empty when written in place
  std::ofstream out;

  /// Opens the temporary file (or the target itself, when written in place); is_open() tells.
  explicit ResultFile(const std::string& result_path);
  /// Removes the temporary file when `commit` was never reached.
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  bool is_open() const { return out.is_open() && !out.fail(); }
  /// is_open(), and when false says on the console that the `what` output (csv, html, map)
  /// cannot be written: that report is skipped, the run goes on.
  bool is_open_or_warn(const char* what) const;
  /// Closes the file and renames it over the result; a failed write or rename stops the run.
  void commit();

 private:
  bool committed = false;
};
