#include "stats/set_sizes.h"

#include <algorithm>
#include <iostream>

void print_set_sizes(const std::vector<std::size_t>& sizes) {
  std::size_t min_genes = 0;
  std::size_t max_genes = 0;
  std::size_t total_genes = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    min_genes = i == 0 ? sizes[i] : std::min(min_genes, sizes[i]);
    max_genes = std::max(max_genes, sizes[i]);
    total_genes += sizes[i];
  }
  const float mean_genes =
      sizes.empty() ? 0.0f : static_cast<float>(total_genes) / static_cast<float>(sizes.size());
  std::cout << "No. sets = " << sizes.size() << '\n';
  std::cout << "min  genes in set = " << min_genes << '\n';
  std::cout << "max  genes in set = " << max_genes << '\n';
  std::cout << "mean genes in set = " << mean_genes;
}
