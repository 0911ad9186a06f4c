#include "options.h"

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
  EXPECT_TRUE(Option::isFileName(""));
  EXPECT_TRUE(Option::isFileName("out/run_1,a-b.csv"));
  for (const char* s : {"results~1.csv", "a b", "a+b", "c:x", "a\\b"})
    EXPECT_FALSE(Option::isFileName(s)) << s;
}

TEST(Option, SetValueKeepsDefaultsOnEmptyTextAndStopsOnBadOrOutOfRangeText) {
  Option_bool on("h", "help", true, ""), off("v", "version", false, "");
  Option_int i("ns", "nsim", -9, "");
  Option_uint u("u", "count", 7u, "");
  Option_long l("l", "big", 5L, "");
  Option_double d("a", "alpha", 0.05, "");
  Option_string s("m", "method", "GO", "");
  for (Option* o : std::vector<Option*>{&on, &i, &u, &l, &d, &s}) o->setValue("");
  on.setValue("true");  // only "found" counts
  EXPECT_TRUE(on.getValue() && i.getValue() == -9 && u.getValue() == 7u && l.getValue() == 5L);
  EXPECT_TRUE(d.getValue() == 0.05 && s.getValue() == "GO");
  on.setValue("found");
  off.setValue("found");
  EXPECT_FALSE(on.getValue());
  EXPECT_TRUE(off.getValue());

  i.setValue("-2147483648");
  u.setValue("4294967295");
  l.setValue("-9223372036854775808");
  d.setValue(".5");
  s.setValue("a1");
  EXPECT_TRUE(i.getValue() == INT_MIN && u.getValue() == UINT_MAX && l.getValue() == LONG_MIN);
  EXPECT_TRUE(d.getValue() == 0.5 && s.getValue() == "a1");
  // Malformed or out of range for the type: the same message (the --nsim and --miss_val
  // messages, and that of a string without letters, run end to end).
  EXPECT_STDOUT_EXIT(i.setValue("-99999999999999999999"),
                     "^Error: Cannot convert --nsim value to whole number:\t-9+\n$");
  EXPECT_STDOUT_EXIT(u.setValue("-1"),
                     "^Error: Cannot convert --count value to positive whole number:\t-1\n$");
  EXPECT_STDOUT_EXIT(u.setValue("4294967296"), "positive whole number:\t4294967296\n");
  EXPECT_STDOUT_EXIT(l.setValue("9223372036854775808"),
                     "^Error: Cannot convert --big value to long:\t9223372036854775808\n$");
  EXPECT_STDOUT_EXIT(Option_string("x", "xx", "0.5", ""),  // defaults too
                     "^Error: Invalid value for Option_string: 0.5\n$");
  Option_fstream p("par", "parfile", "", "");
  EXPECT_STDOUT_EXIT(p.setValue("results~1.csv"), "^Error: Invalid file name:\tresults~1.csv\n$");
}

TEST(Option, ValuesPrintInDefaultFormatWhateverTheConsoleStreamIsSetTo) {
  Option_double alpha("a", "alpha", 0.05, "level");
  Option_string method("m", "method", "", "");
  EXPECT_EQ(stdout_of([&] { method.print(); }), " --method \n");
  const std::ios::fmtflags savedFlags = std::cout.flags();
  const std::streamsize savedPrecision = std::cout.precision(2);
  std::cout << std::fixed;
  alpha.setValue("0.00001");
  EXPECT_EQ(stdout_of([&] { alpha.print(); }), " --alpha 1e-05\n");
  Option_float big("b", "big", 1000000.0f, "");
  EXPECT_EQ(stdout_of([&] { big.print(); }), " --big 1e+06\n");
  EXPECT_EQ(std::cout.precision(), 2);
  EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
  std::cout.precision(savedPrecision);
  std::cout.flags(savedFlags);
}

TEST(Commands, LineSplitsAtBlankColonAndEqualsAndGetArgMatchesEitherNameWithAnyDashes) {
  Commands line = commands_from({"--nsim=1000", "-ns:1000", "a b\tc"});
  EXPECT_EQ(line.inputArgs, (strvec{"--nsim", "1000", "-ns", "1000", "a", "b\tc"}));
  EXPECT_EQ(line.stringArgs, "--nsim 1000 -ns 1000 a b\tc ");
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

TEST(Commands, ParameterFileAppendsTokensAfterLeadingHashLines) {
  TempDir dir;
  Option_fstream parOpt("par", "parfile", "", "");
  const auto tokens = [&](const std::string& flag, const std::string& content) {
    Commands cmds = commands_from({flag, dir.write("a.par", content), "-m", "GO"});
    cmds.setFromFile(parOpt);
    return cmds.inputArgs;
  };
  const std::string par = dir.file("a.par");
  EXPECT_EQ(tokens("-par", "# one\n#two\n--nsim\n500 --seed=3\n\n# kept\n"),
            (strvec{"-par", par, "-m", "GO", "--nsim", "500", "--seed", "3", "#", "kept"}));
  for (const char* content : {"# a\n# b\n", "# no newline", ""})  // must end, adding nothing
    EXPECT_EQ(tokens("--parfile", content), (strvec{"--parfile", par, "-m", "GO"})) << content;
}

TEST(OptionGroup, SetFromUserFillsOptionsFromLineAndFile) {
  TempDir dir;
  const std::string par = dir.write("a.par", "# settings\n-ns: 500\n--alpha=.01\n");
  Option_bool help("h", "help", false, "");
  Option_int nsim("ns", "nsim", 1000, ""), seed("s", "seed", -9, "");
  Option_double alpha("a", "alpha", 0.05, "");
  Option_string method("m", "method", "GO", "");
  Option_fstream parOpt("par", "parfile", "", "");
  OptionGroup group;
  for (Option* o : std::vector<Option*>{&help, &nsim, &seed, &alpha, &method, &parOpt})
    group.push(*o);

  Commands cmds = commands_from({"--method=KEGG", "-h", "--parfile", par});
  cmds.setFromFile(parOpt);
  group.setFromUser(cmds);
  cmds.checkInvalidArgs();
  EXPECT_TRUE(help.getValue());
  EXPECT_EQ(nsim.getValue(), 500);
  EXPECT_EQ(seed.getValue(), -9);
  EXPECT_EQ(alpha.getValue(), 0.01);
  EXPECT_EQ(method.getValue(), "KEGG");
  EXPECT_EQ(std::string(parOpt.getName()), par);

  Commands bad = commands_from({"--seed", "x", "--nsim", "y"});  // reported in push order
  EXPECT_STDOUT_EXIT(group.setFromUser(bad),
                     "^Error: Cannot convert --nsim value to whole number:\ty\n$");
}
