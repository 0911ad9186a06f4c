#include "cli/fail.h"

#include <iostream>

#include "engine/distributed.h"

void fail_stderr(const std::string& message) {
#ifdef HALVORIX_FUZZ
  static_cast<void>(message);
  throw RunStopped();
#endif
  std::cout.flush();  // keep the console order of everything printed before the error
  std::cerr << message << std::endl;
  exit_failed_run(message);
}

void fail_stdout(const std::string& message) {
#ifdef HALVORIX_FUZZ
  static_cast<void>(message);
  throw RunStopped();
#endif
  std::cout << message << std::endl;
  exit_failed_run(message);
}
