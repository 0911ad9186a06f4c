#include "bench_data.h"

std::unique_ptr<SNPData> make_bench_snpdata(int nsnp, int nsubj) {
  auto data = std::make_unique<SNPData>();
  MTRand gen;
  gen.seed(12345UL);
  data->scoremat.reserve(nsnp, nsubj);
  float* scores = data->scoremat.append_rows(nsnp);
  data->snpvec.assign(static_cast<std::size_t>(nsnp), SNP{});
  for (int r = 0; r < nsnp; ++r) {
    for (int j = 0; j < nsubj; ++j)
      scores[static_cast<long>(r) * nsubj + j] = static_cast<float>(gen.norm());
    data->snpvec[static_cast<std::size_t>(r)].name = "s" + std::to_string(r);
    data->snpvec[static_cast<std::size_t>(r)].row_index = r;
  }
  data->finish_scores();
  data->set_all_used();
  data->make_snp_used_index();
  data->set_seed(1);
  return data;
}
