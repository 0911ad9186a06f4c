#include "progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>

namespace {

/// Everything that can be read now from `fd` (non-blocking).
std::string drain(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

int count_of(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++n;
  return n;
}

}  // namespace

TEST(Progress, LineSaysDoneTotalElapsedAndTimeLeft) {
  EXPECT_EQ(progress_line("replicates", 250, 1000, 3.0),
            "replicates 250 of 1000 (25%), 3s elapsed, about 9s left");
  EXPECT_EQ(progress_line("SNPs written", 7, 7, 125.4),
            "SNPs written 7 of 7 (100%), 2m05s elapsed");
}

TEST(Progress, DurationsInSecondsMinutesOrHours) {
  EXPECT_EQ(short_duration(0.4), "0s");
  EXPECT_EQ(short_duration(59.4), "59s");
  EXPECT_EQ(short_duration(187), "3m07s");
  EXPECT_EQ(short_duration(7500), "2h05m");
}

TEST(Progress, OnATerminalDrawsInPlaceRateLimitedAndClearsAtTheEnd) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  {
    Progress progress("replicates", 1000, slave);
    EXPECT_TRUE(progress.enabled);
    progress.min_interval = 3600;  // only the first tick may draw
    for (int i = 0; i < 1000; ++i) progress.tick();
    EXPECT_EQ(progress.done, 1000);
  }
  const std::string screen = drain(master);
  EXPECT_EQ(count_of(screen, "replicates "), 1);
  EXPECT_NE(screen.find("\rreplicates 1 of 1000 (0%)"), std::string::npos) << screen;
  ASSERT_GE(screen.size(), 4u);
  EXPECT_EQ(screen.substr(screen.size() - 4), "\r\033[K");  // the line is gone at the end
  close(slave);
  close(master);
}

TEST(Progress, OnATerminalRedrawsEveryTickWithoutALimit) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  Progress progress("SNPs written", 3, slave);
  progress.min_interval = 0;
  for (int i = 0; i < 3; ++i) progress.tick();
  progress.finish();
  progress.tick();  // after finish: counted, not drawn
  const std::string screen = drain(master);
  EXPECT_EQ(count_of(screen, "SNPs written "), 3);
  EXPECT_NE(screen.find("SNPs written 3 of 3 (100%)"), std::string::npos);
  EXPECT_EQ(progress.done, 4);
  close(slave);
  close(master);
}

TEST(Progress, IntoAPipeWritesNothing) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  {
    Progress progress("replicates", 10, ends[1]);
    EXPECT_FALSE(progress.enabled);
    progress.min_interval = 0;
    for (int i = 0; i < 10; ++i) progress.tick();
  }
  EXPECT_EQ(drain(ends[0]), "");
  close(ends[0]);
  close(ends[1]);
}
