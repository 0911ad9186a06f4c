#include "files/result_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <vector>

#include "cli/fail.h"
#include "engine/distributed.h"
#include "files/mapped_file_guard.h"

namespace {

/// Links followed before giving up on a loop of symbolic links (the kernel's own limit).
constexpr int kMaxLinks = 40;

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

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

OutputTarget resolve_output_target(const std::string& path) {
  OutputTarget target;
  target.final_path = path;
  struct stat status;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    if (lstat(target.final_path.c_str(), &status) != 0) return target;  // a new name
    if (!S_ISLNK(status.st_mode)) break;
    std::vector<char> text(4096);
    const ssize_t n = readlink(target.final_path.c_str(), text.data(), text.size());
    if (n <= 0) break;
    const std::string link(text.data(), static_cast<std::size_t>(n));
    target.final_path = link[0] == '/' ? link : folder_of(target.final_path) + link;
  }
  target.direct = !S_ISREG(status.st_mode);
  return target;
}

void remember_temp_file(const std::string& path) { pending_temp_files().insert(path); }

void forget_temp_file(const std::string& path) { pending_temp_files().erase(path); }

int create_temp_beside(const std::string& final_path, std::string& temp_path) {
  std::string name = final_path + ".tmp.XXXXXX";
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) return -1;
  temp_path = name;
  remember_temp_file(temp_path);
  fchmod(descriptor, default_file_mode());  // mkstemp's 0600 would surprise users
  return descriptor;
}

ResultFile::ResultFile(const std::string& result_path)
    : path(result_path), target(resolve_output_target(result_path)) {
  // Results come only from the score file as it was read.
  stop_if_mapped_files_changed();
  // A job writes its results only once every process has got this far (a process that failed
  // has ended the job before), and only process 0 writes them.
  wait_for_all_processes();
  if (!is_writing_process()) {
    out.open("/dev/null");
    return;
  }
  if (target.direct) {
    out.open(target.final_path, std::ios::out | std::ios::trunc);
    return;
  }
  const int descriptor = create_temp_beside(target.final_path, temp_path);
  if (descriptor < 0) return;
  close(descriptor);
  out.open(temp_path, std::ios::out | std::ios::trunc);
}

bool ResultFile::is_open_or_warn(const char* what) const {
  if (is_open()) return true;
  std::cout << "Cannot open " << path << "for " << what << " output." << std::endl;
  return false;
}

ResultFile::~ResultFile() {
  if (committed || temp_path.empty()) return;
  out.close();
  std::remove(temp_path.c_str());
  forget_temp_file(temp_path);
}

void ResultFile::commit() {
  finish_output_file(out, path);
  if (!temp_path.empty()) {
    if (std::rename(temp_path.c_str(), target.final_path.c_str()) != 0)
      fail_stderr("error: could not write all of " + path);
    forget_temp_file(temp_path);
  }
  committed = true;
}
