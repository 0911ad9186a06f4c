#include "cli/print_banner.h"

#include <iostream>

void print_banner(const std::string& title, int width) {
  const int d = width - static_cast<int>(title.size());
  const std::string rule(width > 0 ? static_cast<std::size_t>(width) : 0, '=');
  std::cout << '\n' << rule << '\n';
  if (d > 1) {
    std::cout << std::string(static_cast<std::size_t>(d / 2), ' ') << title
              << std::string(static_cast<std::size_t>(d - d / 2), ' ') << '\n';
  } else {
    std::cout << title << "\n\n";
  }
  std::cout << rule << "\n\n";
}
