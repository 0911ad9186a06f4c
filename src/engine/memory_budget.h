// How much memory a run may give its simulated replicates: a fraction of the smallest of the
// memory the system says is available, the cgroup's limit less what the cgroup uses, and the
// address space left under `ulimit -v`, between a floor and a ceiling. The budget sets how
// many replicates one pass over the scores computes; the replicates are the same however many
// a pass holds, so the budget changes the speed of a run, never its results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// What the system tells about the memory a process may still take, each figure in bytes and
/// absent when the system sets no such bound (or cannot be read).
struct MemoryFigures {
  std::optional<std::uint64_t> available;  ///< MemAvailable of /proc/meminfo
  std::optional<std::uint64_t> cgroup;     ///< the cgroup's limit less its use
  std::optional<std::uint64_t> address;    ///< RLIMIT_AS less the address space in use
};

/// The fraction of the smallest figure a run's replicates may take, and its bounds.
constexpr std::uint64_t kBudgetFractionDivisor = 4;
constexpr std::uint64_t kBudgetFloor = std::uint64_t{16} << 20;
constexpr std::uint64_t kBudgetCeiling = std::uint64_t{512} << 20;

/// A quarter of the smallest figure, at least kBudgetFloor (a run that cannot have that much
/// would not get far anyway) and at most kBudgetCeiling (beyond which a pass gains nothing).
std::uint64_t replicate_budget(const MemoryFigures& figures);

/// MemAvailable of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> parse_mem_available(std::string_view meminfo);
/// A cgroup limit file: v2 memory.max ("max" or bytes) or v1 memory.limit_in_bytes (bytes, a
/// value near 2^63 for none). Absent when unlimited or not a number.
std::optional<std::uint64_t> parse_cgroup_limit(std::string_view text);
/// The cgroup path of this process from a /proc/self/cgroup text: the v2 line ("0::/path"),
/// or with `v1` the memory controller's ("N:...memory...:/path").
std::optional<std::string> parse_cgroup_path(std::string_view self_cgroup, bool v1);

/// The figures of this process now, read from /proc, /sys/fs/cgroup and getrlimit.
MemoryFigures read_memory_figures();

/// replicate_budget of this process, read once.
std::uint64_t process_replicate_budget();
