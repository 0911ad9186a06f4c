#include "prep/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/fail.h"
#include "files/mapped_file_guard.h"
#include "files/output_policy.h"

namespace {

constexpr std::size_t kBufferSize = 4 << 20;

}  // namespace

OutputFile::OutputFile(const std::string& final_path) : path(final_path), buffer(kBufferSize) {
  const OutputTarget target = resolve_output_target(path);
  if (!target.refusal.empty()) fail_stderr("error: cannot write " + path + ": " + target.refusal);
  if (target.direct) {
    // A stream is written as it is: renaming over it would replace it by a file, and cutting
    // what /dev/stdout leads to would wipe the file the shell appends to.
    temp_path = target.final_path;
    descriptor = open_direct_target(target);
    if (descriptor < 0) fail_stderr("error: cannot open " + path + ": " + std::strerror(errno));
    direct = true;
    return;
  }
  target_path = target.final_path;
  descriptor = create_temp_beside(target_path, temp_path);
  if (descriptor < 0) {
    fail_stderr("error: cannot create " + path + " (temporary file " + target_path +
                ".tmp.XXXXXX): " + std::strerror(errno));
  }
}

OutputFile::~OutputFile() {
  if (committed) return;
  if (descriptor >= 0) close(descriptor);
  if (direct) return;
  std::remove(temp_path.c_str());
  forget_temp_file(temp_path);
}

void OutputFile::write(std::string_view text) {
  if (text.size() > buffer.size() - used) flush();
  if (text.size() > buffer.size()) buffer.resize(text.size());
  std::memcpy(buffer.data() + used, text.data(), text.size());
  used += text.size();
}

void OutputFile::write_char(char c) {
  if (used == buffer.size()) flush();
  buffer[used++] = c;
}

char* OutputFile::reserve(std::size_t size) {
  if (size > buffer.size() - used) flush();
  if (size > buffer.size()) buffer.resize(size);
  return buffer.data() + used;
}

void OutputFile::advance(const char* end) { used = static_cast<std::size_t>(end - buffer.data()); }

void OutputFile::flush() {
  if (!write_all(descriptor, buffer.data(), used))
    fail_stderr("error: cannot write " + temp_path + ": " + std::strerror(errno));
  bytes_written += static_cast<long long>(used);
  used = 0;
}

void OutputFile::overwrite(long long offset, std::string_view bytes) {
  flush();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pwrite(descriptor, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + static_cast<long long>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_stderr("error: cannot write " + temp_path + ": " + std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
}

void OutputFile::commit() {
  stop_if_mapped_files_changed();  // an output made from an input that changed is no output
  flush();
  if (close(descriptor) != 0) {
    descriptor = -1;
    fail_stderr("error: cannot write " + temp_path + ": " + std::strerror(errno));
  }
  descriptor = -1;
  committed = true;
  if (direct) return;
  const std::string failure = replace_with_temp(temp_path, target_path);
  if (!failure.empty()) fail_stderr("error: " + failure);
}
