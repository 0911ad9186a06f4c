#include "fail.h"

#include <cstdlib>
#include <iostream>

void fail_stderr(const std::string& message) {
#ifdef HALVORIX_FUZZ
  static_cast<void>(message);
  throw RunStopped();
#endif
  std::cout.flush();  // keep the console order of everything printed before the error
  std::cerr << message << std::endl;
  std::exit(1);
}

void fail_stdout(const std::string& message) {
#ifdef HALVORIX_FUZZ
  static_cast<void>(message);
  throw RunStopped();
#endif
  std::cout << message << std::endl;
  std::exit(1);
}

void finish_output_file(std::ofstream& out, const std::string& filename) {
  out.close();
  if (out.fail()) fail_stderr("error: could not write all of " + filename);
}
