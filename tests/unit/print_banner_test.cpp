#include "print_banner.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string banner(const std::string& title, int width) {
  testing::internal::CaptureStdout();
  print_banner(title, width);
  return testing::internal::GetCapturedStdout();
}
}  // namespace

TEST(PrintBanner, CentresWithTheOddBlankOnTheRight) {
  const std::string rule(80, '=');
  EXPECT_EQ(banner("summary of simulations", 80), "\n" + rule + "\n" + std::string(29, ' ') +
                                                      "summary of simulations" +
                                                      std::string(29, ' ') + "\n" + rule + "\n\n");
  EXPECT_EQ(banner("Halvorix (version 0.01)", 80), "\n" + rule + "\n" + std::string(28, ' ') +
                                                       "Halvorix (version 0.01)" +
                                                       std::string(29, ' ') + "\n" + rule + "\n\n");
}

TEST(PrintBanner, TitleTooWideStandsAloneWithAnEmptyLine) {
  EXPECT_EQ(banner("x", 1), "\n=\nx\n\n=\n\n");
  const std::string title(79, 't');
  EXPECT_EQ(banner(title, 80),
            "\n" + std::string(80, '=') + "\n" + title + "\n\n" + std::string(80, '=') + "\n\n");
  EXPECT_EQ(banner("abc", 0), "\n\nabc\n\n\n\n");
}
