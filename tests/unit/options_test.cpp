#include "cli/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <iostream>

#include "test_support.h"

namespace {

// Reads a command line (program name first) into a token list.
Commands commands_from(std::vector<std::string> words) {
  words.insert(words.begin(), "halvorix");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  Commands cmds;
  cmds.setFromLine(static_cast<int>(argv.size()), argv.data());
  return cmds;
}

}  // namespace

// The command-line messages (a repeated option, a bare word, a number that is not whole or too
// large, a string without letters) run end to end as golden cases.
TEST(Option, ClassifiersAcceptExactlyTheirCharacterSets) {
  for (const char* s : {"12", "-7", "007", "-0"}) EXPECT_TRUE(Option::isint(s)) << s;
  for (const char* s : {"", "-", "--5", "+5", " 5", "1.0", "1e3"})
    EXPECT_FALSE(Option::isint(s)) << s;
  for (const char* s : {"0.05", ".5", "5.", "-3"}) EXPECT_TRUE(Option::isfloat(s)) << s;
  for (const char* s : {"", "-", ".", "-.", "1e-5", "+1", "1,5", "1.2.3"})
    EXPECT_FALSE(Option::isfloat(s)) << s;
  EXPECT_TRUE(Option::anyalpha("12z"));
  EXPECT_FALSE(Option::anyalpha("1_-./"));
  EXPECT_FALSE(Option::isint(nullptr) || Option::isfloat(nullptr) || Option::anyalpha(nullptr));
  EXPECT_TRUE(Option::isFileName("out/run_1,a-b.csv") && Option::isFileName(""));
  for (const char* s : {"results~1.csv", "a b", "a+b", "c:x", "a\\b"})
    EXPECT_FALSE(Option::isFileName(s)) << s;
}

TEST(Option, EmptyTextKeepsTheDefaultAndAFlagToggles) {
  Option_bool on("h", "help", true, ""), off("v", "version", false, "");
  Option_int i("ns", "nsim", -9, "");
  Option_string s("m", "method", "GO", "");
  for (Option* o : std::vector<Option*>{&on, &i, &s}) o->setValue("");
  on.setValue("true");  // only "found" counts
  EXPECT_TRUE(on.getValue() && i.getValue() == -9 && s.getValue() == "GO");
  on.setValue("found");
  off.setValue("found");
  EXPECT_FALSE(on.getValue());
  EXPECT_TRUE(off.getValue());
  i.setValue("-2147483648");
  EXPECT_EQ(i.getValue(), INT_MIN);
  EXPECT_STDOUT_EXIT(i.setValue("2147483648"),
                     "^Error: Cannot convert --nsim value to whole number:\t2147483648\n$");
  EXPECT_STDOUT_EXIT(Option_string("x", "xx", "0.5", ""),  // defaults are checked too
                     "^Error: Invalid value for Option_string: 0.5\n$");
}

TEST(Option, ValuesPrintInDefaultFormatWhateverTheConsoleStreamIsSetTo) {
  Option_double alpha("a", "alpha", 0.05, "level");
  const std::ios::fmtflags savedFlags = std::cout.flags();
  const std::streamsize savedPrecision = std::cout.precision(2);
  std::cout << std::fixed;
  alpha.setValue("0.00001");
  EXPECT_EQ(stdout_of([&] { alpha.print(); }), " --alpha 1e-05\n");
  EXPECT_EQ(std::cout.precision(), 2);
  EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
  std::cout.precision(savedPrecision);
  std::cout.flags(savedFlags);
}

TEST(Commands, LineSplitsAtBlankColonAndEqualsAndGetArgMatchesEitherNameWithAnyDashes) {
  Commands line = commands_from({"--nsim=1000", "-ns:1000", "a b\tc"});
  EXPECT_EQ(line.inputArgs, (strvec{"--nsim", "1000", "-ns", "1000", "a", "b\tc"}));
  for (const char* name : {"-ns", "--ns", "-nsim", "---nsim"}) {
    Commands cmds = commands_from({"-m", "GO", name, "-5"});
    EXPECT_EQ(cmds.getArg("ns", "nsim", false), "-5") << name;
    EXPECT_EQ(cmds.usedArgs, (boolvec{false, false, true, true})) << name;
  }
  Commands bare = commands_from({"nsim", "5", "-", "--NSIM", "6", "--help"});
  EXPECT_EQ(bare.getArg("ns", "nsim", false), "");
  EXPECT_EQ(bare.getArg("h", "help", true), "found");
  EXPECT_EQ(bare.usedArgs, (boolvec{false, false, false, false, false, true}));
}

// Header comments, a value on the next line and a late comment run end to end; here the ends
// of file that once never ended the header loop.
TEST(Commands, ParameterFileEndingInsideItsHeaderAddsNothingAndEqualsSplits) {
  TempDir dir;
  Option_fstream parOpt("par", "parfile", "", "");
  const std::string par = dir.file("a.par");
  const std::vector<std::pair<std::string, strvec>> cases = {
      {"# a\n# b\n", {}}, {"# no newline", {}}, {"", {}}, {"--seed=3", {"--seed", "3"}}};
  for (const auto& [content, added] : cases) {
    Commands cmds = commands_from({"--parfile", dir.write("a.par", content)});
    cmds.setFromFile(parOpt);
    strvec expected{"--parfile", par};
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(cmds.inputArgs, expected) << content;
  }
}
