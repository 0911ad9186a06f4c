#include "engine/memory_budget.h"

#include <gtest/gtest.h>

namespace {
constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
}

TEST(MemoryBudget, AQuarterOfTheSmallestFigureBetweenFloorAndCeiling) {
  EXPECT_EQ(replicate_budget({}), kBudgetCeiling);  // nothing known: as much as helps
  EXPECT_EQ(replicate_budget({400 * MiB, std::nullopt, std::nullopt}), 100 * MiB);
  EXPECT_EQ(replicate_budget({64 * 1024 * MiB, 800 * MiB, 1200 * MiB}), 200 * MiB);
  EXPECT_EQ(replicate_budget({64 * 1024 * MiB, 1200 * MiB, 600 * MiB}), 150 * MiB);
  EXPECT_EQ(replicate_budget({64 * 1024 * MiB, std::nullopt, std::nullopt}), kBudgetCeiling);
  EXPECT_EQ(replicate_budget({std::nullopt, std::uint64_t{0}, std::nullopt}), kBudgetFloor);
}

TEST(MemoryBudget, MemAvailableInKilobytesFromAnyLineOfMeminfo) {
  EXPECT_EQ(parse_mem_available("MemTotal:       32000000 kB\nMemFree:  100 kB\n"
                                "MemAvailable:   23190248 kB\nBuffers: 5 kB\n"),
            std::uint64_t{23190248} * 1024);
  EXPECT_EQ(parse_mem_available("MemAvailable: 7 kB"), std::uint64_t{7168});
  EXPECT_EQ(parse_mem_available("MemTotal: 100 kB\nMemFree: 50 kB\n"), std::nullopt);
  EXPECT_EQ(parse_mem_available("MemAvailable: lots\n"), std::nullopt);
  EXPECT_EQ(parse_mem_available("MemAvailable: 100 MB\n"), std::nullopt);
  EXPECT_EQ(parse_mem_available("MemAvailable: 99999999999999999999 kB\n"), std::nullopt);
  EXPECT_EQ(parse_mem_available("XMemAvailable: 100 kB\n"), std::nullopt);
}

TEST(MemoryBudget, CgroupLimitsOfBothVersionsAndTheirNoLimitForms) {
  EXPECT_EQ(parse_cgroup_limit("1073741824\n"), std::uint64_t{1073741824});
  EXPECT_EQ(parse_cgroup_limit("max\n"), std::nullopt);
  EXPECT_EQ(parse_cgroup_limit("9223372036854771712\n"), std::nullopt);  // v1 without a limit
  EXPECT_EQ(parse_cgroup_limit(""), std::nullopt);
  EXPECT_EQ(parse_cgroup_limit("12 34\n"), std::nullopt);
  EXPECT_EQ(parse_cgroup_limit("-1\n"), std::nullopt);

  const std::string_view v1 =
      "12:pids:/\n4:cpu,memory:/jobs/a\n3:cpuset:/\n0::/user.slice/run.scope\n";
  EXPECT_EQ(parse_cgroup_path(v1, true), std::optional<std::string>("/jobs/a"));
  EXPECT_EQ(parse_cgroup_path(v1, false), std::optional<std::string>("/user.slice/run.scope"));
  EXPECT_EQ(parse_cgroup_path("4:memoryx:/a\n5:xmemory:/b\n", true), std::nullopt);
  EXPECT_EQ(parse_cgroup_path("1:name=systemd:/\n", false), std::nullopt);
  EXPECT_EQ(parse_cgroup_path("garbage\n0:/\n", false), std::nullopt);
}
