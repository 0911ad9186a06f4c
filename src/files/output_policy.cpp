#include "files/output_policy.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

/// Links followed before giving up on a loop of symbolic links (the kernel's own limit).
constexpr int kMaxLinks = 40;

/// Temporary files alive at once: a few per run; a handler cannot grow a table.
constexpr int kTempSlots = 32;
char temp_names[kTempSlots][PATH_MAX];
volatile sig_atomic_t temp_used[kTempSlots];

void remove_remembered_temps() {
  for (int i = 0; i < kTempSlots; ++i) {
    if (temp_used[i] != 0) unlink(temp_names[i]);
  }
}

constexpr std::array<int, 3> kCleanupSignals = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[kCleanupSignals.size()];

extern "C" void remove_temps_and_reraise(int signal_number) {
  remove_remembered_temps();
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    if (kCleanupSignals[i] == signal_number)
      sigaction(signal_number, &previous_actions[i], nullptr);
  }
  raise(signal_number);  // delivered on return: the process ends as the signal meant
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

/// N when `digits` is a plain decimal descriptor number, else -1.
int descriptor_number(const std::string& digits) {
  if (digits.empty() || digits.size() > 9) return -1;
  int n = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

/// For the names of a process's open descriptors: the descriptor when it is this process's,
/// -2 for another process's (/proc/PID/fd/N), -1 for any other name.
int own_descriptor_named(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  if (path.rfind("/dev/fd/", 0) == 0) return descriptor_number(path.substr(8));
  if (path.rfind("/proc/", 0) != 0) return -1;
  const std::size_t fd_part = path.find("/fd/", 6);
  if (fd_part == std::string::npos) return -1;
  const int n = descriptor_number(path.substr(fd_part + 4));
  if (n < 0) return -1;
  const std::string process = path.substr(6, fd_part - 6);
  if (process == "self" || process == "thread-self" ||
      process == std::to_string(static_cast<long>(getpid()))) {
    return n;
  }
  return descriptor_number(process) >= 0 ? -2 : -1;
}

/// Why the kernel would not follow the link `link` (status `status`), or empty: a link in a
/// sticky world-writable folder is followed only by its owner or the folder's owner's links.
std::string refused_link(const std::string& link, const struct stat& status) {
  const std::string folder = folder_of(link);
  struct stat folder_status;
  if (stat(folder.empty() ? "." : folder.c_str(), &folder_status) != 0) return std::string();
  const bool sticky_shared =
      (folder_status.st_mode & S_ISVTX) != 0 && (folder_status.st_mode & S_IWOTH) != 0;
  if (!sticky_shared || status.st_uid == geteuid() || status.st_uid == folder_status.st_uid)
    return std::string();
  return "the symbolic link " + link + " belongs to another user in the shared sticky folder " +
         (folder.empty() ? std::string(".") : folder) + " and is not followed";
}

/// The same for the links among the folders that lead to `path` (the kernel's rule holds for
/// every link of a path, not only its last).
std::string refused_folder_link(const std::string& path) {
  const std::string folder = folder_of(path);
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    struct stat status;
    if (lstat(prefix.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) continue;
    std::string refusal = refused_link(prefix, status);
    if (!refusal.empty()) return refusal;
  }
  return std::string();
}

/// Copies `from` over the contents of `to` in place (same inode); empty or what failed.
std::string copy_into(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY);
  if (in < 0) return "cannot read " + from + ": " + std::strerror(errno);
  const int out = open(to.c_str(), O_WRONLY | O_TRUNC);
  if (out < 0) {
    std::string failure = "cannot open " + to + ": " + std::strerror(errno);
    close(in);
    return failure;
  }
  std::string failure;
  std::array<char, 1 << 16> buffer;
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failure = "cannot read " + from + ": " + std::strerror(errno);
    if (n <= 0) break;
    if (!write_all(out, buffer.data(), static_cast<std::size_t>(n))) {
      failure = "cannot write " + to + ": " + std::strerror(errno);
      break;
    }
  }
  close(in);
  if (close(out) != 0 && failure.empty())
    failure = "cannot write " + to + ": " + std::strerror(errno);
  return failure;
}

struct Identity {
  bool exists = false;
  bool regular = false;
  bool direct = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;  ///< normalised, for names not made yet
};

Identity identify(const std::string& path, bool as_output, std::string& refusal) {
  Identity id;
  std::string followed = path;
  struct stat status;
  bool found = false;
  if (as_output) {
    const OutputTarget target = resolve_output_target(path);
    refusal = target.refusal;
    id.direct = target.direct;
    followed = target.final_path;
    found = target.descriptor >= 0 ? fstat(target.descriptor, &status) == 0
                                   : stat(followed.c_str(), &status) == 0;
  } else {
    found = stat(path.c_str(), &status) == 0;
  }
  if (found) {
    id.exists = true;
    id.regular = S_ISREG(status.st_mode);
    id.device = status.st_dev;
    id.inode = status.st_ino;
  }
  id.name = normalised_name(followed);
  return id;
}

bool same_file(const Identity& a, const Identity& b) {
  if (a.exists != b.exists) return false;
  if (a.exists) return a.device == b.device && a.inode == b.inode;
  return a.name == b.name;
}

}  // namespace

bool write_all(int descriptor, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(descriptor, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

OutputTarget resolve_output_target(const std::string& path) {
  OutputTarget target;
  target.final_path = path;
  struct stat status;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    // A descriptor's name stands for what the shell opened: its own link text ("pipe:[...]",
    // a file's name) is not a place to put a new file.
    const int own = own_descriptor_named(target.final_path);
    if (own != -1) {
      target.direct = true;
      target.descriptor = own;
      return target;
    }
    if (lstat(target.final_path.c_str(), &status) != 0) {  // a new name
      target.refusal = refused_folder_link(target.final_path);
      return target;
    }
    if (!S_ISLNK(status.st_mode)) break;
    target.refusal = refused_link(target.final_path, status);
    if (!target.refusal.empty()) return target;
    std::vector<char> text(PATH_MAX);
    const ssize_t n = readlink(target.final_path.c_str(), text.data(), text.size());
    if (n <= 0) break;
    const std::string link(text.data(), static_cast<std::size_t>(n));
    target.final_path = link[0] == '/' ? link : folder_of(target.final_path) + link;
  }
  target.direct = !S_ISREG(status.st_mode);
  target.refusal = refused_folder_link(target.final_path);
  return target;
}

int open_direct_target(const OutputTarget& target) {
  if (target.descriptor >= 0) {
    const int flags = fcntl(target.descriptor, F_GETFL);
    if (flags < 0) return -1;
    if ((flags & O_ACCMODE) == O_RDONLY) {
      errno = EBADF;
      return -1;
    }
    return fcntl(target.descriptor, F_DUPFD_CLOEXEC, 3);
  }
  // Another process's descriptor may lead to a regular file: add to it, never cut it.
  return open(target.final_path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
}

bool remember_temp_file(const std::string& path) {
  if (path.size() >= PATH_MAX) return false;
  for (int i = 0; i < kTempSlots; ++i) {
    if (temp_used[i] != 0) continue;
    std::memcpy(temp_names[i], path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    temp_used[i] = 1;  // only now may a handler read the slot
    return true;
  }
  return false;
}

void forget_temp_file(const std::string& path) {
  for (int i = 0; i < kTempSlots; ++i) {
    if (temp_used[i] != 0 && path == temp_names[i]) temp_used[i] = 0;
  }
}

void install_output_signal_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // An exit on error skips destructors: the temporary files go here.
  std::atexit(remove_remembered_temps);
  std::signal(SIGXFSZ, SIG_IGN);
  for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
    struct sigaction action {};
    action.sa_handler = remove_temps_and_reraise;
    sigemptyset(&action.sa_mask);
    if (sigaction(kCleanupSignals[i], nullptr, &previous_actions[i]) != 0) continue;
    if (previous_actions[i].sa_handler == SIG_IGN) continue;  // nohup and the like
    sigaction(kCleanupSignals[i], &action, nullptr);
  }
}

int create_temp_beside(const std::string& final_path, std::string& temp_path) {
  install_output_signal_handlers();
  std::string name = final_path + ".tmp.XXXXXX";
  // A signal between making the name and remembering it would leave the file behind.
  sigset_t cleanup_signals;
  sigset_t previous_mask;
  sigemptyset(&cleanup_signals);
  for (const int signal_number : kCleanupSignals) sigaddset(&cleanup_signals, signal_number);
  pthread_sigmask(SIG_BLOCK, &cleanup_signals, &previous_mask);
  const int descriptor = mkstemp(name.data());
  const int saved_errno = errno;
  const bool remembered = descriptor >= 0 && remember_temp_file(name);
  if (descriptor >= 0 && !remembered) {
    close(descriptor);
    unlink(name.c_str());
  }
  pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  if (descriptor < 0) {
    errno = saved_errno;
    return -1;
  }
  if (!remembered) {
    errno = ENAMETOOLONG;
    return -1;
  }
  temp_path = name;
  struct stat old;
  if (stat(final_path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    // The replacement is the old file's: its group and owner where this process may give them
    // (a failure leaves ours), then its permissions, never a set-id bit.
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
      static_cast<void>(fchown(descriptor, static_cast<uid_t>(-1), old.st_gid));
    }
    fchmod(descriptor, old.st_mode & 0777);
  } else {
    fchmod(descriptor, default_file_mode());  // mkstemp's 0600 would surprise users
  }
  return descriptor;
}

std::string replace_with_temp(const std::string& temp_path, const std::string& final_path) {
  struct stat old;
  std::string failure;
  if (stat(final_path.c_str(), &old) == 0 && S_ISREG(old.st_mode) && old.st_nlink > 1) {
    failure = copy_into(temp_path, final_path);
    if (failure.empty()) unlink(temp_path.c_str());
  } else if (std::rename(temp_path.c_str(), final_path.c_str()) != 0) {
    failure = "cannot rename " + temp_path + " to " + final_path + ": " + std::strerror(errno);
  }
  if (failure.empty()) forget_temp_file(temp_path);
  return failure;
}

std::string normalised_name(const std::string& path) {
  std::string absolute = path;
  if (path.empty() || path[0] != '/') {
    std::vector<char> cwd(PATH_MAX);
    if (getcwd(cwd.data(), cwd.size()) != nullptr) absolute = std::string(cwd.data()) + "/" + path;
  }
  const std::string folder = folder_of(absolute);
  const std::string base = absolute.substr(folder.size());
  std::vector<char> real(PATH_MAX);
  if (base != "." && base != ".." && realpath(folder.c_str(), real.data()) != nullptr) {
    const std::string resolved = real.data();
    return resolved + (resolved == "/" ? "" : "/") + base;
  }
  // A folder that does not exist: resolve the dots as text.
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string joined;
  for (const std::string& part : parts) joined += "/" + part;
  return joined.empty() ? "/" : joined;
}

std::string find_output_clash(const std::vector<NamedFile>& inputs,
                              const std::vector<NamedFile>& outputs) {
  std::string refusal;
  std::vector<Identity> input_ids;
  input_ids.reserve(inputs.size());
  for (const NamedFile& input : inputs) input_ids.push_back(identify(input.path, false, refusal));
  std::vector<Identity> output_ids;
  output_ids.reserve(outputs.size());
  for (const NamedFile& output : outputs) {
    output_ids.push_back(identify(output.path, true, refusal));
    if (!refusal.empty()) return output.option + " " + output.path + ": " + refusal;
  }
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    const Identity& out = output_ids[o];
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      // Two reads of one terminal or pipe are no clash; a regular file or a new name is.
      const bool comparable = !out.exists || out.regular;
      if (comparable && same_file(out, input_ids[i])) {
        return "the output " + outputs[o].option + " " + outputs[o].path + " is the input " +
               inputs[i].option + " " + inputs[i].path + "; writing it would destroy the input";
      }
    }
    for (std::size_t p = 0; p < o; ++p) {
      // Streams take one output after another (two results into one log or pipe).
      if (out.direct && output_ids[p].direct) continue;
      if (same_file(out, output_ids[p])) {
        return "the outputs " + outputs[p].option + " " + outputs[p].path + " and " +
               outputs[o].option + " " + outputs[o].path +
               " are the same file; one result would replace the other";
      }
    }
  }
  return std::string();
}

bool regular_file_exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}
