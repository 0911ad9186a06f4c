#include "options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "test_support.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

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

// What a print or printHelp call writes to the console.
template <typename Call>
std::string console_of(Call call) {
  CaptureStdout();
  call();
  return GetCapturedStdout();
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

TEST(Option, EmptyTextKeepsEveryDefaultAndFoundInvertsAFlag) {
  Option_bool on("h", "help", true, ""), off("v", "version", false, "");
  Option_int i("i", "count", -9, "");
  Option_uint u("u", "ucount", 7u, "");
  Option_long l("l", "big", 5L, "");
  Option_double d("d", "alpha", 0.05, "");
  Option_string s("s", "method", "GO", "");
  for (Option* o : std::vector<Option*>{&on, &i, &u, &l, &d, &s}) o->setValue("");
  EXPECT_TRUE(on.getValue() && i.getValue() == -9 && u.getValue() == 7u && l.getValue() == 5L);
  EXPECT_EQ(d.getValue(), 0.05);
  EXPECT_EQ(s.getValue(), "GO");
  on.setValue("true");  // only "found" counts
  EXPECT_TRUE(on.getValue());
  on.setValue("found");
  off.setValue("found");
  EXPECT_FALSE(on.getValue());
  EXPECT_TRUE(off.getValue());
}

TEST(Option, WholeNumbersOutsideTheirTypeStopLikeMalformedOnes) {
  Option_int i("ns", "nsim", 1000, "");
  Option_uint u("u", "count", 1u, "");
  Option_long l("l", "big", 0L, "");
  i.setValue("-2147483648");
  u.setValue("4294967295");
  l.setValue("-9223372036854775808");
  EXPECT_EQ(i.getValue(), INT_MIN);
  EXPECT_EQ(u.getValue(), UINT_MAX);
  EXPECT_EQ(l.getValue(), LONG_MIN);
  EXPECT_STDOUT_EXIT(i.setValue("1.5"),
                     "^Error: Cannot convert --nsim value to whole number:\t1.5\n$");
  EXPECT_STDOUT_EXIT(i.setValue("2147483648"), "whole number:\t2147483648\n");
  EXPECT_STDOUT_EXIT(i.setValue("-99999999999999999999"), "whole number:\t-99999999999999999999\n");
  EXPECT_STDOUT_EXIT(u.setValue("-1"),
                     "^Error: Cannot convert --count value to positive whole number:\t-1\n$");
  EXPECT_STDOUT_EXIT(u.setValue("4294967296"), "positive whole number:\t4294967296\n");
  EXPECT_STDOUT_EXIT(l.setValue("9223372036854775808"),
                     "^Error: Cannot convert --big value to long:\t9223372036854775808\n$");
}

TEST(Option, RejectedTextsNameTheirRule) {
  Option_double d("a", "alpha", 0.05, "");
  d.setValue(".5");
  EXPECT_EQ(d.getValue(), 0.5);
  EXPECT_STDOUT_EXIT(d.setValue("1e-4"),
                     "^Error: Cannot convert --alpha value to numeric:  1e-4\n$");
  Option_string s("m", "method", "", "");
  s.setValue("a1");
  EXPECT_EQ(s.getValue(), "a1");
  EXPECT_STDOUT_EXIT(s.setValue("123"), "^Error: Invalid value for Option_string: 123\n$");
  EXPECT_STDOUT_EXIT(Option_string("x", "xx", "0.5", ""), "Option_string: 0.5\n");  // defaults too
  Option_fstream p("par", "parfile", "", "");
  EXPECT_STDOUT_EXIT(p.setValue("results~1.csv"), "^Error: Invalid file name:\tresults~1.csv\n$");
}

TEST(Option, HelpAndEchoLines) {
  Option_double alpha("a", "alpha", 0.05, "level");
  Option_bool help("h", "help", false, "menu");
  Option_fstream par("par", "parfile", "", "opts");
  Option_string method("m", "method", "", "");
  EXPECT_EQ(console_of([&] { alpha.printHelp(); }), " -a 0.05, --alpha 0.05\n\tlevel\n");
  EXPECT_EQ(console_of([&] { help.printHelp(); }), " -h, --help\n\tmenu\n");
  EXPECT_EQ(console_of([&] { par.printHelp(); }),
            " -par <file name here>, --parfile <file name here>\n\topts\n");
  EXPECT_EQ(console_of([&] { par.print(); }), "");
  EXPECT_EQ(console_of([&] { method.print(); }), " --method \n");
  par.setValue("p.txt");
  EXPECT_EQ(console_of([&] { par.print(); }), " --parfile p.txt\n");

  // default formatting whatever the console stream is set to, and its state left alone
  const std::ios::fmtflags savedFlags = std::cout.flags();
  const std::streamsize savedPrecision = std::cout.precision(2);
  std::cout << std::fixed;
  alpha.setValue("0.00001");
  EXPECT_EQ(console_of([&] { alpha.print(); }), " --alpha 1e-05\n");
  Option_float big("b", "big", 1000000.0f, "");
  EXPECT_EQ(console_of([&] { big.print(); }), " --big 1e+06\n");
  EXPECT_EQ(std::cout.precision(), 2);
  EXPECT_TRUE(std::cout.flags() & std::ios::fixed);
  std::cout.precision(savedPrecision);
  std::cout.flags(savedFlags);
}

TEST(Commands, SetFromLineSplitsAtBlankColonAndEquals) {
  EXPECT_TRUE(commands_from({}).inputArgs.empty());
  Commands cmds = commands_from({"--nsim=1000", "-ns:1000", "a b\tc"});
  EXPECT_EQ(cmds.inputArgs, (strvec{"--nsim", "1000", "-ns", "1000", "a", "b\tc"}));
  EXPECT_EQ(cmds.usedArgs, boolvec(6, false));
  EXPECT_EQ(cmds.stringArgs, "--nsim 1000 -ns 1000 a b\tc ");
}

TEST(Commands, GetArgMatchesEitherNameWithAnyNumberOfDashes) {
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

TEST(Commands, GetArgStopsOnRepeatsAndMissingValues) {
  Commands flags = commands_from({"-h", "--help"});
  EXPECT_STDOUT_EXIT(flags.getArg("h", "help", true),
                     "^Error: Option --help or -h specified more than once.\n$");
  Commands far = commands_from({"--nsim", "5", "--seed", "3", "-ns", "6"});
  EXPECT_STDOUT_EXIT(far.getArg("ns", "nsim", false),
                     "Option --nsim or -ns specified more than once");
  Commands last = commands_from({"--seed", "3", "--nsim"});
  EXPECT_STDOUT_EXIT(last.getArg("ns", "nsim", false),
                     "^Error: No arg following --nsim or -ns option.\n$");
}

TEST(Commands, CheckInvalidArgsNamesTheFirstUnusedToken) {
  Commands cmds = commands_from({"--nsim", "5", "nsim", "other"});
  cmds.getArg("ns", "nsim", false);
  EXPECT_STDOUT_EXIT(cmds.checkInvalidArgs(), "^Error: Invalid option or value:\tnsim.\n\n$");
  cmds.usedArgs.assign(cmds.usedArgs.size(), true);
  cmds.checkInvalidArgs();  // returns when everything was consumed
}

TEST(Commands, ParameterFileAppendsTokensAfterLeadingHashLines) {
  TempDir dir;
  Option_fstream parOpt("par", "parfile", "", "");
  const std::string par = dir.write("a.par", "# one\n#two\n--nsim\n500 --seed=3\n\n# kept\n");
  Commands cmds = commands_from({"-par", par, "-m", "GO"});
  cmds.setFromFile(parOpt);
  EXPECT_EQ(cmds.inputArgs,
            (strvec{"-par", par, "-m", "GO", "--nsim", "500", "--seed", "3", "#", "kept"}));
  EXPECT_EQ(cmds.usedArgs, boolvec(10, false));

  const std::string dos = dir.write("dos.par", "# head\r\n--nsim 500\r\n--method\r\nGO\r\n");
  Commands fromDos = commands_from({"--parfile", dos});
  fromDos.setFromFile(parOpt);
  EXPECT_EQ(fromDos.inputArgs, (strvec{"--parfile", dos, "--nsim", "500", "--method", "GO"}));

  for (const char* content : {"# a\n# b\n", "# no newline", ""}) {  // must end, adding nothing
    const std::string headers = dir.write("h.par", content);
    Commands onlyHeaders = commands_from({"--parfile", headers});
    onlyHeaders.setFromFile(parOpt);
    EXPECT_EQ(onlyHeaders.inputArgs, (strvec{"--parfile", headers})) << content;
  }
  Commands missing = commands_from({"--parfile", (dir.path / "absent.par").string()});
  EXPECT_STDOUT_EXIT(missing.setFromFile(parOpt), "^Error: Parameter file could not be opened.\n$");
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

  Commands twice = commands_from({"--nsim", "5", "--parfile", par});
  twice.setFromFile(parOpt);
  EXPECT_STDOUT_EXIT(group.setFromUser(twice), "Option --nsim or -ns specified more than once.");
  Commands bad = commands_from({"--seed", "x", "--nsim", "y"});  // reported in push order
  EXPECT_STDOUT_EXIT(group.setFromUser(bad), "^Error: Cannot convert --nsim value");
}

TEST(OptionGroup, PrintsHelpEchoAndLog) {
  Option_bool help("h", "help", false, "display the help menu");
  Option_int nsim("ns", "nsim", 1000, "number of simualtions");
  OptionGroup group;
  group.push(help);
  group.push(nsim);
  EXPECT_EQ(
      console_of([&] { group.printHelp(); }),
      "\nUsage: -short, --long options with default values\n                   brief "
      "description\n\n"
      " -h, --help\n\tdisplay the help menu\n -ns 1000, --nsim 1000\n\tnumber of simualtions\n\n");
  EXPECT_EQ(console_of([&] { group.print("options and values used:"); }),
            "\noptions and values used:\n\n --help false\n --nsim 1000\n");
  std::ostringstream log;
  group.printLog(log);
  EXPECT_EQ(log.str(), "#### Options/Values used: ####\n --help false\n --nsim 1000\n");
}
