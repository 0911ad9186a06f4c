#include "cli/options.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <sstream>

#include "cli/fail.h"
#include "files/tokenize.h"

namespace {

// A fresh stream gives the default formatting (6 significant digits) whatever state the
// console stream is in, and leaves that state alone.
template <typename T>
std::string number_text(T value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string bool_text(bool value) { return value ? "true" : "false"; }

// Shared by isint and isfloat: skips one leading '-', but "-" alone has nothing after it.
const char* skip_minus(const char* s) { return *s == '-' ? s + 1 : s; }

// strtol with the overflow signal kept apart from the value: errno is set only on ERANGE.
bool parse_long(const char* s, long& result) {
  errno = 0;
  result = std::strtol(s, nullptr, 10);
  return errno != ERANGE;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Option

Option::Option(const std::string& shortName, const std::string& longName,
               const std::string& helpText, bool flag)
    : opt(shortName), key(longName), description(helpText), isBool(flag) {}

bool Option::isint(const char* s) {
  if (s == nullptr || *s == '\0') return false;
  const char* digits = skip_minus(s);
  if (*digits == '\0') return false;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

bool Option::isfloat(const char* s) {
  if (s == nullptr || *s == '\0') return false;
  bool seenPoint = false;
  bool seenDigit = false;
  for (const char* p = skip_minus(s); *p != '\0'; ++p) {
    if (*p == '.') {
      if (seenPoint) return false;
      seenPoint = true;
    } else if (std::isdigit(static_cast<unsigned char>(*p))) {
      seenDigit = true;
    } else {
      return false;
    }
  }
  return seenDigit;
}

bool Option::anyalpha(const char* s) {
  if (s == nullptr) return false;
  for (const char* p = s; *p != '\0'; ++p) {
    if (std::isalpha(static_cast<unsigned char>(*p))) return true;
  }
  return false;
}

bool Option::isFileNameChar(char c) {
  return c == ',' || c == '-' || c == '.' || c == '/' || c == '_';
}

bool Option::isFileName(const char* s) {
  if (s == nullptr) return true;
  for (const char* p = s; *p != '\0'; ++p) {
    if (!std::isalnum(static_cast<unsigned char>(*p)) && !isFileNameChar(*p)) return false;
  }
  return true;
}

// A whole number that does not fit the target type is rejected with the same message as
// malformed text, rather than being clamped by strtol or wrapped by the narrowing: a user
// who typed it would otherwise run silently with a different value.
int Option::convertInt(const char* s) const {
  long converted = 0;
  if (!isint(s) || !parse_long(s, converted) || converted < INT_MIN || converted > INT_MAX) {
    reportError("Cannot convert --" + key + " value to whole number:\t" + quote_prefix(s));
  }
  return static_cast<int>(converted);
}

unsigned int Option::convertUnsignedInt(const char* s) const {
  long converted = 0;
  if (!isint(s) || !parse_long(s, converted) || converted < 0 || converted > UINT_MAX) {
    reportError("Cannot convert --" + key + " value to positive whole number:\t" + quote_prefix(s));
  }
  return static_cast<unsigned int>(converted);
}

long Option::convertLong(const char* s) const {
  long converted = 0;
  if (!isint(s) || !parse_long(s, converted)) {
    reportError("Cannot convert --" + key + " value to long:\t" + quote_prefix(s));
  }
  return converted;
}

double Option::convertDouble(const char* s) const {
  if (!isfloat(s))
    reportError("Cannot convert --" + key + " value to numeric:  " + quote_prefix(s));
  return std::strtod(s, nullptr);
}

void Option::reportError(const std::string& msg) { fail_stdout("Error: " + msg); }

void Option::writeEcho(std::ostream& out, const std::string& valueText) const {
  out << " --" << key << ' ' << valueText << '\n';
}

void Option::writeHelp(const std::string& valueText) const {
  std::cout << " -" << opt << ' ' << valueText << ", --" << key << ' ' << valueText << "\n\t"
            << description << '\n';
}

// ---------------------------------------------------------------------------------------------
// Option_bool

Option_bool::Option_bool(const std::string& shortName, const std::string& longName,
                         bool defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, true), value(defaultValue) {}

void Option_bool::printHelp() const {
  std::cout << " -" << opt << ", --" << key << "\n\t" << description << '\n';
}

void Option_bool::setValue(std::string newValue) {
  // a flag inverts its default, so a flag that defaults to true is switched off by giving it
  if (newValue == "found") value = !value;
}

void Option_bool::printLog(std::ostream& logFile) const { writeEcho(logFile, bool_text(value)); }

void Option_bool::print() const { writeEcho(std::cout, bool_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_int

Option_int::Option_int(const std::string& shortName, const std::string& longName, int defaultValue,
                       const std::string& helpText)
    : Option(shortName, longName, helpText, false), value(defaultValue) {}

void Option_int::printHelp() const { writeHelp(number_text(value)); }

void Option_int::setValue(std::string newValue) {
  if (!newValue.empty()) value = convertInt(newValue.c_str());
}

void Option_int::printLog(std::ostream& logFile) const { writeEcho(logFile, number_text(value)); }

void Option_int::print() const { writeEcho(std::cout, number_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_uint

Option_uint::Option_uint(const std::string& shortName, const std::string& longName,
                         unsigned int defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, false), value(defaultValue) {}

void Option_uint::printHelp() const { writeHelp(number_text(value)); }

void Option_uint::setValue(std::string newValue) {
  if (!newValue.empty()) value = convertUnsignedInt(newValue.c_str());
}

void Option_uint::printLog(std::ostream& logFile) const { writeEcho(logFile, number_text(value)); }

void Option_uint::print() const { writeEcho(std::cout, number_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_long

Option_long::Option_long(const std::string& shortName, const std::string& longName,
                         long defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, false), value(defaultValue) {}

void Option_long::printHelp() const { writeHelp(number_text(value)); }

void Option_long::setValue(std::string newValue) {
  if (!newValue.empty()) value = convertLong(newValue.c_str());
}

void Option_long::printLog(std::ostream& logFile) const { writeEcho(logFile, number_text(value)); }

void Option_long::print() const { writeEcho(std::cout, number_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_float

Option_float::Option_float(const std::string& shortName, const std::string& longName,
                           float defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, false), value(defaultValue) {}

void Option_float::printHelp() const { writeHelp(number_text(value)); }

void Option_float::setValue(std::string newValue) {
  if (newValue.empty()) return;
  const double converted = convertDouble(newValue.c_str());
  // Beyond FLT_MAX the cast is undefined; infinity is what rounding to float gives there.
  if (converted > FLT_MAX) {
    value = std::numeric_limits<float>::infinity();
  } else if (converted < -FLT_MAX) {
    value = -std::numeric_limits<float>::infinity();
  } else {
    value = static_cast<float>(converted);
  }
}

void Option_float::printLog(std::ostream& logFile) const { writeEcho(logFile, number_text(value)); }

void Option_float::print() const { writeEcho(std::cout, number_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_double

Option_double::Option_double(const std::string& shortName, const std::string& longName,
                             double defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, false), value(defaultValue) {}

void Option_double::printHelp() const { writeHelp(number_text(value)); }

void Option_double::setValue(std::string newValue) {
  if (!newValue.empty()) value = convertDouble(newValue.c_str());
}

void Option_double::printLog(std::ostream& logFile) const {
  writeEcho(logFile, number_text(value));
}

void Option_double::print() const { writeEcho(std::cout, number_text(value)); }

// ---------------------------------------------------------------------------------------------
// Option_string

Option_string::Option_string(const std::string& shortName, const std::string& longName,
                             const std::string& defaultValue, const std::string& helpText)
    : Option(shortName, longName, helpText, false) {
  Option_string::setValue(defaultValue);
}

void Option_string::printHelp() const { writeHelp(value); }

void Option_string::setValue(std::string newValue) {
  if (newValue.empty()) return;
  if (!anyalpha(newValue.c_str()))
    reportError("Invalid value for Option_string: " + quote_prefix(newValue));
  value = newValue;
}

void Option_string::printLog(std::ostream& logFile) const { writeEcho(logFile, value); }

void Option_string::print() const { writeEcho(std::cout, value); }

// ---------------------------------------------------------------------------------------------
// Option_fstream

Option_fstream::Option_fstream(const std::string& shortName, const std::string& longName,
                               const std::string& defaultName, const std::string& helpText)
    : Option(shortName, longName, helpText, false) {
  Option_fstream::setValue(defaultName);
}

void Option_fstream::printHelp() const { writeHelp(name.empty() ? "<file name here>" : name); }

void Option_fstream::setValue(std::string newValue) {
  if (newValue.empty()) return;
  if (!isFileName(newValue.c_str())) reportError("Invalid file name:\t" + newValue);
  name = newValue;
}

void Option_fstream::printLog(std::ostream& logFile) const {
  if (!name.empty()) writeEcho(logFile, name);
}

void Option_fstream::print() const {
  if (!name.empty()) writeEcho(std::cout, name);
}

// ---------------------------------------------------------------------------------------------
// Commands

void Commands::setFromLine(int argnum, char** argvec) {
  for (int i = 1; i < argnum; ++i) inputArgs.push_back(argvec[i]);
  pasteArgs();
  // re-split the joined text so that '=' and ':' separate tokens like blanks do
  const std::string joined = stringArgs;
  parseLine(joined);
  pasteArgs();
}

void Commands::setFromFile(Option_fstream& parOpt) {
  const std::string fileName = getArg(parOpt.opt, parOpt.key, false);
  if (fileName.empty()) return;

  if (is_directory(fileName)) reportError("Parameter file " + fileName + " is a directory.");
  LineReader parFile(fileName,
                     halvorix_wording("Parameter file could not be opened.", reportError));

  // Only the leading '#' lines are headers; the loop must also end at end of file, for a file
  // made of nothing but headers.
  std::string line;
  bool haveLine = parFile.read_line(line);
  while (haveLine && !line.empty() && line[0] == kCommentMarker) haveLine = parFile.read_line(line);

  if (haveLine) {
    // line ends become blanks: an option and its value may stand on different lines
    std::string text = stringArgs + line;
    while (parFile.read_line(line)) text += " " + line;
    stringArgs = text;
  }
  const std::string allText = stringArgs;
  parseLine(allText);
  pasteArgs();
}

std::string Commands::getArg(const std::string& c, const std::string& s, bool isBool) {
  std::string result;
  const std::size_t count = inputArgs.size();
  // the scan never stops early: a second mention anywhere must be found
  for (std::size_t k = 0; k < count; ++k) {
    const std::string& token = inputArgs[k];
    const std::size_t nameStart = token.find_first_not_of('-');
    if (nameStart == 0 || nameStart == std::string::npos) continue;
    const std::string name = token.substr(nameStart);
    if (name != c && name != s) continue;

    if (!result.empty()) reportError("Option --" + s + " or -" + c + " specified more than once.");
    if (isBool) {
      result = "found";
      usedArgs[k] = true;
      continue;
    }
    if (k + 1 == count) reportError("No arg following --" + s + " or -" + c + " option.");
    result = inputArgs[k + 1];
    usedArgs[k] = true;
    usedArgs[k + 1] = true;
  }
  return result;
}

void Commands::parseLine(const std::string& line) {
  tokenize(line, inputArgs, " :=");
  usedArgs.assign(inputArgs.size(), false);
}

void Commands::pasteArgs() {
  stringArgs.clear();
  for (const std::string& token : inputArgs) stringArgs += token + " ";
}

void Commands::checkInvalidArgs() const {
  for (std::size_t k = 0; k < inputArgs.size(); ++k) {
    if (!usedArgs[k])
      reportError("Invalid option or value:\t" + quote_prefix(inputArgs[k]) + ".\n");
  }
}

void Commands::print() const {
  std::cout << "Printing program arguments:\n"
            << inputArgs.size() << " total args in " << stringArgs << '\n';
  for (std::size_t k = 0; k < inputArgs.size(); ++k) {
    std::cout << "token[" << k << "] =\t" << inputArgs[k] << "\tused: " << (usedArgs[k] ? 1 : 0)
              << '\n';
  }
}

void Commands::reportError(const std::string& msg) { fail_stdout("Error: " + msg); }

// ---------------------------------------------------------------------------------------------
// OptionGroup

void OptionGroup::push(Option& o) { opts.push_back(&o); }

void OptionGroup::setFromUser(Commands& cmds) {
  // every option gets a call, empty text included: that is how an absent option keeps its default
  for (Option* o : opts) o->setValue(cmds.getArg(o->opt, o->key, o->isBool));
}

void OptionGroup::print(const std::string& title) const {
  std::cout << '\n' << title << "\n\n";
  for (const Option* o : opts) o->print();
}

void OptionGroup::printHelp() const {
  std::cout << "\nUsage: -short, --long options with default values\n"
            << "                   brief description\n\n";
  for (const Option* o : opts) o->printHelp();
  std::cout << '\n';
}

void OptionGroup::printLog(std::ostream& logFile) const {
  logFile << "#### Options/Values used: ####\n";
  for (const Option* o : opts) o->printLog(logFile);
}
