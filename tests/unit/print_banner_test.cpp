#include "cli/print_banner.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

// Titles that fit, centred with the odd blank on the right, run end to end in every golden case.
TEST(PrintBanner, ATitleTooWideForTheRuleStandsAlone) {
  const std::string rule(80, '=');
  const std::string wide(79, 't');
  EXPECT_EQ(stdout_of([&] { print_banner(wide, 80); }),
            "\n" + rule + "\n" + wide + "\n\n" + rule + "\n\n");
  EXPECT_EQ(stdout_of([] { print_banner("x", 1); }), "\n=\nx\n\n=\n\n");
  EXPECT_EQ(stdout_of([] { print_banner("abc", 0); }), "\n\nabc\n\n\n\n");
}
