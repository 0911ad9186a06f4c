#include "print_banner.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

TEST(PrintBanner, CentresWithTheOddBlankOnTheRightAndATooWideTitleStandsAlone) {
  const std::string rule(80, '=');
  const std::string wide(79, 't');
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"summary of simulations", 80,
       std::string(29, ' ') + "summary of simulations" + std::string(29, ' ')},
      {"Halvorix (version 0.01)", 80,
       std::string(28, ' ') + "Halvorix (version 0.01)" + std::string(29, ' ')},
      {wide, 80, wide + "\n"}};
  for (const auto& [title, width, line] : cases)
    EXPECT_EQ(stdout_of([&] { print_banner(title, width); }),
              "\n" + rule + "\n" + line + "\n" + rule + "\n\n");
  EXPECT_EQ(stdout_of([] { print_banner("x", 1); }), "\n=\nx\n\n=\n\n");
  EXPECT_EQ(stdout_of([] { print_banner("abc", 0); }), "\n\nabc\n\n\n\n");
}
