// The one way a run stops on bad input: one message line on the named stream, exit status 1.
// No exceptions: every error leaves through the functions below (see conventions.h).
#pragma once

#include <fstream>
#include <string>

#ifdef HALVORIX_FUZZ
/// Fuzzing builds stop a loader by throwing this instead of exiting, so that one process can try
/// millions of inputs; nothing else catches it.
struct RunStopped {};
#endif

/// Writes `message` and a newline to standard error and exits with status 1.
[[noreturn]] void fail_stderr(const std::string& message);

/// Writes `message` and a newline to standard output and exits with status 1.
[[noreturn]] void fail_stdout(const std::string& message);
