// Command line of halvorix-prep: one subcommand per kind of input, each with its own flags.
#pragma once

#include <map>
#include <string>
#include <vector>

struct FlagSpec {
  const char* name;  ///< with its leading dashes, e.g. "--bfile"
  bool takes_value;
};

/// Flags given to one subcommand: value flags map to their value, switches to "".
struct ParsedFlags {
  std::map<std::string, std::string> values;
  bool help = false;
};

/// Reads `args` against `specs`; an unknown or repeated flag, or a value flag at the end,
/// stops the run with a message naming `command`.
ParsedFlags parse_flags(const std::string& command, const std::vector<std::string>& args,
                        const std::vector<FlagSpec>& specs);

/// Runs halvorix-prep with the arguments after the program name; returns the exit status.
int run_prep(const std::vector<std::string>& args);
