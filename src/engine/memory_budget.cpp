#include "engine/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {
/// Whole-number bytes at the start of `text` (after blanks), with what follows.
std::optional<std::uint64_t> leading_number(std::string_view& text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  std::uint64_t value = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])); ++digits) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  text.remove_prefix(digits);
  return value;
}

std::optional<std::string> read_small_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

/// Limit less use of the first of the folders that has both files.
std::optional<std::uint64_t> cgroup_room(const std::string& mount, const std::string& path,
                                         const char* limit_file, const char* usage_file) {
  for (const std::string& folder : {mount + path, mount}) {
    const std::optional<std::string> limit_text = read_small_file(folder + "/" + limit_file);
    if (!limit_text) continue;
    const std::optional<std::uint64_t> limit = parse_cgroup_limit(*limit_text);
    if (!limit) return std::nullopt;
    std::uint64_t used = 0;
    if (const std::optional<std::string> usage_text = read_small_file(folder + "/" + usage_file)) {
      std::string_view rest = *usage_text;
      used = leading_number(rest).value_or(0);
    }
    return *limit > used ? *limit - used : 0;
  }
  return std::nullopt;
}
}  // namespace

std::uint64_t replicate_budget(const MemoryFigures& figures) {
  std::uint64_t least = UINT64_MAX;
  for (const std::optional<std::uint64_t>& figure :
       {figures.available, figures.cgroup, figures.address})
    if (figure) least = std::min(least, *figure);
  return std::clamp(least / kBudgetFractionDivisor, kBudgetFloor, kBudgetCeiling);
}

std::optional<std::uint64_t> parse_mem_available(std::string_view meminfo) {
  constexpr std::string_view key = "MemAvailable:";
  for (std::size_t at = 0; at < meminfo.size();) {
    const std::size_t end = std::min(meminfo.find('\n', at), meminfo.size());
    std::string_view line = meminfo.substr(at, end - at);
    at = end + 1;
    if (line.substr(0, key.size()) != key) continue;
    line.remove_prefix(key.size());
    const std::optional<std::uint64_t> kb = leading_number(line);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (!kb || line.substr(0, 2) != "kB" || *kb > UINT64_MAX / 1024) return std::nullopt;
    return *kb * 1024;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> parse_cgroup_limit(std::string_view text) {
  std::string_view rest = text;
  const std::optional<std::uint64_t> value = leading_number(rest);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front()))) {
    rest.remove_prefix(1);
  }
  // "max", a number followed by anything, or v1's "no limit" (2^63 rounded down to a page):
  // none of them bounds the run.
  if (!value || !rest.empty() || *value >= (std::uint64_t{1} << 62)) return std::nullopt;
  return value;
}

std::optional<std::string> parse_cgroup_path(std::string_view self_cgroup, bool v1) {
  for (std::size_t at = 0; at < self_cgroup.size();) {
    const std::size_t end = std::min(self_cgroup.find('\n', at), self_cgroup.size());
    const std::string_view line = self_cgroup.substr(at, end - at);
    at = end + 1;
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view id = line.substr(0, first);
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    bool wanted = false;
    if (v1) {
      for (std::size_t c = 0; c <= controllers.size();) {
        const std::size_t comma = std::min(controllers.find(',', c), controllers.size());
        wanted = wanted || controllers.substr(c, comma - c) == "memory";
        c = comma + 1;
      }
    } else {
      wanted = id == "0" && controllers.empty();
    }
    if (wanted) return std::string(line.substr(second + 1));
  }
  return std::nullopt;
}

MemoryFigures read_memory_figures() {
  MemoryFigures figures;
  if (const std::optional<std::string> meminfo = read_small_file("/proc/meminfo"))
    figures.available = parse_mem_available(*meminfo);
  if (const std::optional<std::string> self = read_small_file("/proc/self/cgroup")) {
    // A process in a cgroup namespace sees its own cgroup at the mount's root.
    if (const std::optional<std::string> path = parse_cgroup_path(*self, false))
      figures.cgroup = cgroup_room("/sys/fs/cgroup", *path, "memory.max", "memory.current");
    if (!figures.cgroup) {
      if (const std::optional<std::string> path = parse_cgroup_path(*self, true))
        figures.cgroup = cgroup_room("/sys/fs/cgroup/memory", *path, "memory.limit_in_bytes",
                                     "memory.usage_in_bytes");
    }
  }
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    std::uint64_t in_use = 0;
    if (const std::optional<std::string> statm = read_small_file("/proc/self/statm")) {
      std::string_view rest = *statm;
      const long page = sysconf(_SC_PAGESIZE);
      in_use = leading_number(rest).value_or(0) * static_cast<std::uint64_t>(page > 0 ? page : 0);
    }
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    figures.address = cap > in_use ? cap - in_use : 0;
  }
  return figures;
}

std::uint64_t process_replicate_budget() {
  static const std::uint64_t budget = replicate_budget(read_memory_figures());
  return budget;
}
