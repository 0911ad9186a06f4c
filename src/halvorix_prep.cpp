// halvorix-prep: converts the files users have (PLINK genotypes, gene lists, OBO, GAF, KEGG
// links) into the input files of halvorix.
#include <string>
#include <vector>

#include "prep/prep_cli.h"

int main(int argc, char** argv) {
  return run_prep(std::vector<std::string>(argv + 1, argv + argc));
}
