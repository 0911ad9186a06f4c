#include "prep/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "fail.h"

namespace {

constexpr std::size_t kBufferSize = 4 << 20;

// Errors leave through exit(), which skips the destructors of locals; this list lets an exit
// handler remove the temporary files that would otherwise be left behind.
std::set<std::string>& pending_temp_files() {
  static std::set<std::string>* pending = nullptr;
  if (pending == nullptr) {
    pending = new std::set<std::string>;
    std::atexit([] {
      for (const std::string& name : *pending) std::remove(name.c_str());
    });
  }
  return *pending;
}

mode_t default_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& final_path) : path(final_path), buffer(kBufferSize) {
  temp_path = path + ".tmp.XXXXXX";
  std::vector<char> name(temp_path.begin(), temp_path.end());
  name.push_back('\0');
  descriptor = mkstemp(name.data());
  if (descriptor < 0) {
    fail_stderr("error: cannot create " + path + " (temporary file " + temp_path +
                "): " + std::strerror(errno));
  }
  temp_path = name.data();
  pending_temp_files().insert(temp_path);
  fchmod(descriptor, default_file_mode());  // mkstemp's 0600 would surprise users
}

OutputFile::~OutputFile() {
  if (committed) return;
  if (descriptor >= 0) close(descriptor);
  std::remove(temp_path.c_str());
  pending_temp_files().erase(temp_path);
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
  std::size_t done = 0;
  while (done < used) {
    const ssize_t n = ::write(descriptor, buffer.data() + done, used - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail_stderr("error: cannot write " + temp_path + ": " + std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
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
  flush();
  if (close(descriptor) != 0) {
    descriptor = -1;
    fail_stderr("error: cannot write " + temp_path + ": " + std::strerror(errno));
  }
  descriptor = -1;
  if (std::rename(temp_path.c_str(), path.c_str()) != 0) {
    fail_stderr("error: cannot rename " + temp_path + " to " + path + ": " + std::strerror(errno));
  }
  pending_temp_files().erase(temp_path);
  committed = true;
}
