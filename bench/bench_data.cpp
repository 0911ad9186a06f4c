#include "bench_data.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

std::unique_ptr<SNPData> make_bench_snpdata(int nsnp, int nsubj) {
  // SNPData loads from a file; a one-line file gives a valid object whose members are then
  // replaced in memory (writing and parsing 10^7 numbers would dominate the benchmark).
  const auto path = std::filesystem::temp_directory_path() / "halvorix_bench_seed_score.dat";
  std::ofstream(path) << "s0 0 0\n";
  auto data = std::make_unique<SNPData>(path.string(), -999.0f, "zero");
  std::filesystem::remove(path);
  MTRand gen;
  gen.seed(12345UL);
  data->scoremat.set_size(nsnp, nsubj);
  data->snpvec.assign(static_cast<std::size_t>(nsnp), SNP{});
  for (int r = 0; r < nsnp; ++r) {
    for (int j = 0; j < nsubj; ++j)
      data->scoremat[r][static_cast<std::size_t>(j)] = static_cast<float>(gen.norm());
    data->snpvec[static_cast<std::size_t>(r)].name = "s" + std::to_string(r);
    data->snpvec[static_cast<std::size_t>(r)].row_index = r;
  }
  data->nsnp = nsnp;
  data->nsubj = nsubj;
  data->set_all_used();
  data->make_snp_used_index();
  data->set_seed(1);
  return data;
}
