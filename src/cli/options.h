// Typed command-line options, the token list built from the command line and the parameter
// file, and the group that hands every option its value and prints help and echo lines.
#pragma once

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

/// One option: names, help text and a typed value that starts as the constructor's default.
/// The group holds plain pointers to options, so an option is never copied.
class Option {
 public:
  std::string opt;          ///< short name, used after one dash
  std::string key;          ///< long name, used after two dashes
  std::string description;  ///< the help text
  bool isBool;              ///< a flag: present or absent, never followed by a value token

  Option(const std::string& shortName, const std::string& longName, const std::string& helpText,
         bool flag);
  Option(const Option&) = delete;
  Option& operator=(const Option&) = delete;

  /// Writes the two-line help entry to standard output.
  virtual void printHelp() const = 0;
  /// Takes a value from text; empty text keeps the current value.
  virtual void setValue(std::string newValue) = 0;
  /// Writes the echo line " --key value" to `logFile`.
  virtual void printLog(std::ostream& logFile) const = 0;
  /// Writes the echo line " --key value" to standard output.
  virtual void print() const = 0;
  virtual ~Option() = default;

  /// An optional '-' then one or more digits, nothing else.
  static bool isint(const char* s);
  /// An optional '-' then digits with at most one '.', at least one digit; no exponent.
  static bool isfloat(const char* s);
  /// At least one letter.
  static bool anyalpha(const char* s);
  /// One of the punctuation characters allowed in file names: , - . / _
  static bool isFileNameChar(char c);
  /// Empty, or made only of letters, digits and isFileNameChar characters.
  static bool isFileName(const char* s);

  // Validated conversions: malformed text, or a whole number outside the target type, stops
  // the run through reportError.
  int convertInt(const char* s) const;
  /// Rejects negative numbers; "-0" is zero and accepted.
  unsigned int convertUnsignedInt(const char* s) const;
  long convertLong(const char* s) const;
  double convertDouble(const char* s) const;

  /// Writes "Error: ", `msg` and a newline to standard output and exits with status 1.
  [[noreturn]] static void reportError(const std::string& msg);

 protected:
  void writeEcho(std::ostream& out, const std::string& valueText) const;
  void writeHelp(const std::string& valueText) const;
};

class Option_bool : public Option {
 public:
  bool value;

  Option_bool(const std::string& shortName, const std::string& longName, bool defaultValue,
              const std::string& helpText);
  bool getValue() const { return value; }
  /// Shows both names without a value.
  void printHelp() const override;
  /// "found" (the text of a flag that is present) inverts the value; other text is ignored.
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_int : public Option {
 public:
  int value;

  Option_int(const std::string& shortName, const std::string& longName, int defaultValue,
             const std::string& helpText);
  int getValue() const { return value; }
  void printHelp() const override;
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_uint : public Option {
 public:
  unsigned int value;

  Option_uint(const std::string& shortName, const std::string& longName, unsigned int defaultValue,
              const std::string& helpText);
  unsigned int getValue() const { return value; }
  void printHelp() const override;
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_long : public Option {
 public:
  long value;

  Option_long(const std::string& shortName, const std::string& longName, long defaultValue,
              const std::string& helpText);
  long getValue() const { return value; }
  void printHelp() const override;
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_float : public Option {
 public:
  float value;

  Option_float(const std::string& shortName, const std::string& longName, float defaultValue,
               const std::string& helpText);
  float getValue() const { return value; }
  void printHelp() const override;
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_double : public Option {
 public:
  double value;

  Option_double(const std::string& shortName, const std::string& longName, double defaultValue,
                const std::string& helpText);
  double getValue() const { return value; }
  void printHelp() const override;
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

class Option_string : public Option {
 public:
  std::string value;

  /// The default goes through setValue, so it is checked like user text.
  Option_string(const std::string& shortName, const std::string& longName,
                const std::string& defaultValue, const std::string& helpText);
  std::string getValue() const { return value; }
  void printHelp() const override;
  /// Text without any letter is rejected ("Invalid value for Option_string: ").
  void setValue(std::string newValue) override;
  void printLog(std::ostream& logFile) const override;
  void print() const override;
};

/// A file name option. The stream is never opened here; it is there for callers that want it.
class Option_fstream : public Option {
 public:
  std::fstream file;
  std::string name;

  /// The default name goes through setValue; an empty default leaves no file named.
  Option_fstream(const std::string& shortName, const std::string& longName,
                 const std::string& defaultName, const std::string& helpText);
  const char* getName() const { return name.c_str(); }
  std::fstream& getfile() { return file; }
  /// Shows "<file name here>" while no name is set.
  void printHelp() const override;
  /// A name that fails isFileName is rejected ("Invalid file name:\t").
  void setValue(std::string newValue) override;
  /// Writes nothing while no name is set.
  void printLog(std::ostream& logFile) const override;
  /// Writes nothing while no name is set.
  void print() const override;
};

typedef std::vector<std::string> strvec;
typedef std::vector<bool> boolvec;
typedef std::vector<Option*> OptionVec;

/// The tokens of the command line and the parameter file, and which of them were consumed.
class Commands {
 public:
  std::string stringArgs;  ///< every token followed by one blank
  strvec inputArgs;        ///< the tokens, in order
  boolvec usedArgs;        ///< parallel to inputArgs: consumed as an option name or value

  /// Tokenises argv[1..argnum-1]; shell word boundaries are not kept.
  void setFromLine(int argnum, char** argvec);
  /// Appends the tokens of the parameter file named on the command line by `parOpt`, if any.
  /// All used flags are cleared afterwards.
  void setFromFile(Option_fstream& parOpt);
  /// Value text of the option with short name `c` and long name `s`: "found" for a flag that
  /// is present, the next token for any other option, empty when absent. Marks the tokens
  /// used; an option named twice, or a value option as the last token, stops the run.
  std::string getArg(const std::string& c, const std::string& s, bool isBool);
  /// Replaces the tokens by those of `line`, split at runs of blank, ':' and '=', all unused.
  void parseLine(const std::string& line);
  /// Rebuilds stringArgs from inputArgs.
  void pasteArgs();
  /// Stops the run at the first token that no option consumed.
  void checkInvalidArgs() const;
  /// Diagnostic listing of the tokens and their used flags.
  void print() const;
  /// Writes "Error: ", `msg` and a newline to standard output and exits with status 1.
  [[noreturn]] static void reportError(const std::string& msg);
};

/// The program's options in declaration order; does not own them.
class OptionGroup {
 public:
  OptionVec opts;

  void push(Option& o);
  /// Hands every option its value text from `cmds`, in push order (empty text keeps defaults).
  void setFromUser(Commands& cmds);
  /// Empty line, `title`, empty line, then one echo line per option.
  void print(const std::string& title) const;
  /// The usage header and every option's help entry.
  void printHelp() const;
  /// A header line, then one echo line per option, to `logFile`.
  void printLog(std::ostream& logFile) const;
};
