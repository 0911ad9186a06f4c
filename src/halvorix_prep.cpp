// halvorix-prep: converts the files users have (PLINK genotypes, gene lists, OBO, GAF, KEGG
// links) into the input files of halvorix.
#include <string>
#include <vector>

#include "cli/out_of_memory.h"
#include "prep/prep_cli.h"

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  return run_prep(std::vector<std::string>(argv + 1, argv + argc));
}
