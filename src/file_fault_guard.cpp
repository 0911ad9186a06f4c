#include "file_fault_guard.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace {

/// Mappings guarded at once: a run maps its score file, and a text file block by block.
constexpr int kSlots = 16;
constexpr std::size_t kMessageBytes = 1024;

/// The handler reads a slot while other threads may claim or release others, so a slot is
/// published through its atomic bounds: the message is written before `begin` is set.
struct GuardedMapping {
  std::atomic<bool> taken{false};
  std::atomic<const char*> begin{nullptr};
  std::atomic<std::size_t> length{0};
  char message[kMessageBytes];
  std::size_t message_length = 0;
};

GuardedMapping slots[kSlots];
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
    const ssize_t written = ::write(2, slot.message, slot.message_length);
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

}  // namespace

int guard_file_mapping(const void* address, std::size_t length, const std::string& name) {
  if (address == nullptr || length == 0) return -1;
  std::call_once(handler_installed, install_handler);
  for (int i = 0; i < kSlots; ++i) {
    GuardedMapping& slot = slots[i];
    if (slot.taken.exchange(true, std::memory_order_acquire)) continue;
    const std::string text = "error: " + name +
                             " was cut short while this run was reading it: leave it as it is "
                             "until the run ends\n";
    slot.message_length = std::min(text.size(), kMessageBytes);
    std::memcpy(slot.message, text.data(), slot.message_length);
    slot.length.store(length, std::memory_order_release);
    slot.begin.store(static_cast<const char*>(address), std::memory_order_release);
    return i;
  }
  return -1;
}

void release_file_mapping(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  slots[slot].begin.store(nullptr, std::memory_order_release);
  slots[slot].length.store(0, std::memory_order_release);
  slots[slot].taken.store(false, std::memory_order_release);
}
