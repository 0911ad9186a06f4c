#include "cli/progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <regex>
#include <string>

namespace {

/// Everything that can be read now from `fd`.
std::string drain(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

}  // namespace

TEST(Progress, LineSaysDoneTotalElapsedAndTimeLeft) {
  EXPECT_EQ(progress_line("replicates", 250, 1000, 3.0),
            "replicates 250 of 1000 (25%), 3s elapsed, about 9s left");
  EXPECT_EQ(progress_line("replicates", 10, 40, 62.4),
            "replicates 10 of 40 (25%), 1m02s elapsed, about 3m07s left");
  EXPECT_EQ(progress_line("SNPs written", 7, 7, 7500), "SNPs written 7 of 7 (100%), 2h05m elapsed");
}

TEST(Progress, OnATerminalDrawsInPlaceAtMostOncePerIntervalAndClearsAtTheEnd) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  {
    Progress progress("replicates", 1000, slave);
    progress.min_interval = 3600;  // only the first tick is due
    for (int i = 0; i < 1000; ++i) progress.tick();
    progress.finish();
    progress.tick();  // counted, no longer drawn
    EXPECT_EQ(progress.done, 1001);
  }  // and not cleared a second time
  // The time left is extrapolated from microseconds: some seconds on a busy machine.
  const std::regex one_line(
      "\rreplicates 1 of 1000 \\(0%\\), 0s elapsed, about \\d+s left\033\\[K\r\033\\[K");
  EXPECT_TRUE(std::regex_match(drain(master), one_line));
  close(slave);
  close(master);
}
