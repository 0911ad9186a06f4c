#include "files/mapped_file_guard.h"

#include <fcntl.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is POSIX, not C++
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "cli/fail.h"

namespace {

/// Mappings guarded at once: a run maps its score file, and a text file while it parses it.
constexpr int kSlots = 16;
constexpr std::size_t kMessageBytes = 1024;

/// The signal handler reads a slot while threads may claim or release others, so a slot's
/// bounds are published atomically, after its message is written. The rest of a slot is used
/// under `slots_lock` only.
struct GuardedMapping {
  std::atomic<bool> taken{false};
  std::atomic<const char*> begin{nullptr};
  std::atomic<std::size_t> length{0};
  char fault_message[kMessageBytes];
  std::size_t fault_message_length = 0;
  std::string name;
  int descriptor = -1;  ///< our own descriptor of the mapped file, to see it change
  struct stat as_mapped;
};

GuardedMapping slots[kSlots];
std::mutex slots_lock;
struct sigaction previous_action;
std::once_flag handler_installed;

void on_bus_error(int, siginfo_t* info, void*) {
  const char* const address = static_cast<const char*>(info->si_addr);
  for (GuardedMapping& slot : slots) {
    const char* const begin = slot.begin.load(std::memory_order_acquire);
    if (begin == nullptr || address < begin) continue;
    if (static_cast<std::size_t>(address - begin) >= slot.length.load(std::memory_order_acquire))
      continue;
    // Only async-signal-safe calls: buffered console text is lost, a deadlock is not risked.
    const ssize_t written = ::write(2, slot.fault_message, slot.fault_message_length);
    static_cast<void>(written);
    ::_exit(1);
  }
  // Not ours: the fault is raised again on return, under the action it had before.
  sigaction(SIGBUS, &previous_action, nullptr);
}

void install_handler() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_sigaction = on_bus_error;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &previous_action);
}

bool same_file_contents(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool changed(const GuardedMapping& slot) {
  struct stat now;
  if (slot.descriptor < 0 || fstat(slot.descriptor, &now) != 0) return false;
  return !same_file_contents(now, slot.as_mapped);
}

/// Called outside the lock: where stopping the run unwinds (the fuzz build), the mappings
/// are unmapped on the way out, and that takes the lock.
void stop_naming(const std::string& name) {
  if (name.empty()) return;
  fail_stderr("error: " + name +
              " changed while this run was reading it: leave it as it is until the run ends");
}

}  // namespace

int guard_file_mapping(const void* address, std::size_t length, int descriptor,
                       const std::string& name) {
  if (address == nullptr || length == 0) return -1;
  std::call_once(handler_installed, install_handler);
  const std::lock_guard<std::mutex> hold(slots_lock);
  for (int i = 0; i < kSlots; ++i) {
    GuardedMapping& slot = slots[i];
    if (slot.taken.load(std::memory_order_relaxed)) continue;
    slot.taken.store(true, std::memory_order_relaxed);
    const std::string text = "error: " + name +
                             " was cut short while this run was reading it: leave it as it is "
                             "until the run ends\n";
    slot.fault_message_length = std::min(text.size(), kMessageBytes);
    std::memcpy(slot.fault_message, text.data(), slot.fault_message_length);
    slot.name = name;
    slot.descriptor = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (slot.descriptor >= 0 && fstat(slot.descriptor, &slot.as_mapped) != 0) {
      close(slot.descriptor);
      slot.descriptor = -1;
    }
    slot.length.store(length, std::memory_order_release);
    slot.begin.store(static_cast<const char*>(address), std::memory_order_release);
    return i;
  }
  return -1;
}

void release_file_mapping(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  const std::lock_guard<std::mutex> hold(slots_lock);
  GuardedMapping& guarded = slots[slot];
  guarded.begin.store(nullptr, std::memory_order_release);
  guarded.length.store(0, std::memory_order_release);
  if (guarded.descriptor >= 0) close(guarded.descriptor);
  guarded.descriptor = -1;
  guarded.taken.store(false, std::memory_order_release);
}

void stop_if_mapped_file_changed(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  std::string name;
  {
    const std::lock_guard<std::mutex> hold(slots_lock);
    if (changed(slots[slot])) name = slots[slot].name;
  }
  stop_naming(name);
}

void stop_if_mapped_files_changed() {
  std::string name;
  {
    const std::lock_guard<std::mutex> hold(slots_lock);
    for (const GuardedMapping& slot : slots)
      if (name.empty() && slot.taken.load(std::memory_order_relaxed) && changed(slot))
        name = slot.name;
  }
  stop_naming(name);
}
