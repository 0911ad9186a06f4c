#include "cli/StopWatch.h"

#include <gtest/gtest.h>

TEST(StopWatch, WallAndCpuTimeLayout) {
  EXPECT_EQ(StopWatch().wall_time(), "   0(d): 0(h): 0(m): 0(s):   0(millisec)");
  EXPECT_EQ(format_duration(90061), "   1(d): 1(h): 1(m): 1(s):   0(millisec)");
  EXPECT_EQ(format_duration(1.5), "   0(d): 0(h): 0(m): 1(s): 500(millisec)");
  EXPECT_EQ(format_duration(86400.0 * 12345), "12345(d): 0(h): 0(m): 0(s):   0(millisec)");
  StopWatch w;
  w.elapsedTime = 250000;  // a quarter of a second in microsecond ticks
  EXPECT_EQ(w.cpu_time(), "   0(d): 0(h): 0(m): 0(s): 250(millisec)");
  w.elapsedTime = 3723000000UL;  // hours are not folded into days
  EXPECT_EQ(w.cpu_time(), "   0(d): 1(h): 2(m): 3(s):   0(millisec)");
  w.cpu_time_used = 2.5;
  EXPECT_EQ(w.cpu_used(), "   0(d): 0(h): 0(m): 2(s): 500(millisec) (total sec = 2.5)");
}

TEST(StopWatch, SecondStartKeepsTheRunningIntervalAndSecondStopKeepsTheResult) {
  StopWatch w;
  w.start();
  const time_t first_start = w.wall_start;
  w.wall_start = first_start - 10;  // as if started ten seconds ago
  w.start();
  EXPECT_TRUE(w.isOn());
  EXPECT_EQ(w.wall_start, first_start - 10);
  w.stop();
  EXPECT_FALSE(w.isOn());
  EXPECT_GE(w.diff_sec, 10.0);
  const double measured = w.diff_sec;
  w.wall_start = 0;
  w.stop();
  EXPECT_EQ(w.diff_sec, measured);
}
