// Result files that are whole or absent: the bytes go to a temporary file beside the result,
// put in its place only when everything was written (see output_policy.h for streams, links
// and the file's mode).
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "files/output_policy.h"

/// A stream buffer over a descriptor: a result written to /dev/stdout goes through the shell's
/// own descriptor, so `>> log` appends and a pipe works. Remembers a failed write.
class DescriptorBuffer : public std::streambuf {
 public:
  DescriptorBuffer();
  ~DescriptorBuffer() override;
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  void attach(int descriptor);
  bool attached() const { return descriptor_ >= 0; }
  /// Writes what is buffered and closes the descriptor; false when any write or the close failed.
  bool close();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  int descriptor_ = -1;
  bool failed_ = false;
  std::vector<char> buffer_;
  bool drain();
};

class ResultFile {
 public:
  std::string path;  ///< name the user gave, as in messages
  OutputTarget target;
  std::string temp_path;  ///< empty when written in place

 private:
  DescriptorBuffer buffer_;

 public:
  std::ostream out;

  /// Opens the temporary file (or the target itself, when written in place); is_open() tells.
  explicit ResultFile(const std::string& result_path);
  /// Removes the temporary file when `commit` was never reached.
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  bool is_open() const { return buffer_.attached() && !out.fail(); }
  /// is_open(), and when false says on the console that the `what` output (csv, html, map)
  /// cannot be written: that report is skipped, the run goes on. A file of that name left by an
  /// earlier run is then named in a warning, so that it is not taken for this run's.
  bool is_open_or_warn(const char* what) const;
  /// Writes out the file and puts it in place; a failed write or rename stops the run.
  void commit();

 private:
  bool committed = false;
};
