#include "numerics/regionsum.h"

#include "numerics/regionsumkernels.h"

namespace ppi::analysis {
namespace {

// Voxel after voxel, each voxel's volumes in the order they lie in memory.
template <typename Sample>
void sumPlainly(const Sample* samples, const std::size_t* offsets, std::size_t count,
                float* __restrict sums, std::size_t volumes) {
  for (std::size_t k = 0; k < count; ++k) {
    const Sample* __restrict cell = samples + offsets[k];
    for (std::size_t t = 0; t < volumes; ++t) sums[t] += static_cast<float>(cell[t]);
  }
}

template <typename Sample>
bool sumThrough(SumPath path, const Sample* samples, const std::vector<std::size_t>& offsets,
                std::vector<float>& sums) {
  if (!pathAvailable(path)) return false;
  if (path == SumPath::avx2) {
    sumOverVoxelsAvx2(samples, offsets.data(), offsets.size(), sums.data(), sums.size());
  } else {
    sumOverVoxelsBaseline(samples, offsets.data(), offsets.size(), sums.data(), sums.size());
  }
  return true;
}

}  // namespace

void sumOverVoxelsBaseline(const std::int16_t* samples, const std::size_t* offsets,
                           std::size_t count, float* sums, std::size_t volumes) {
  sumPlainly(samples, offsets, count, sums, volumes);
}

void sumOverVoxelsBaseline(const float* samples, const std::size_t* offsets, std::size_t count,
                           float* sums, std::size_t volumes) {
  sumPlainly(samples, offsets, count, sums, volumes);
}

bool pathAvailable(SumPath path) {
  switch (path) {
    case SumPath::baseline:
      return true;
    case SumPath::avx2:
      return avx2KernelsAvailable();
  }
  return false;
}

SumPath chosenPath() {
  static const SumPath chosen = pathAvailable(SumPath::avx2) ? SumPath::avx2 : SumPath::baseline;
  return chosen;
}

void sumOverVoxels(const std::int16_t* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums) {
  sumThrough(chosenPath(), samples, offsets, sums);
}

void sumOverVoxels(const float* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums) {
  sumThrough(chosenPath(), samples, offsets, sums);
}

bool sumOverVoxels(SumPath path, const std::int16_t* samples,
                   const std::vector<std::size_t>& offsets, std::vector<float>& sums) {
  return sumThrough(path, samples, offsets, sums);
}

bool sumOverVoxels(SumPath path, const float* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums) {
  return sumThrough(path, samples, offsets, sums);
}

}  // namespace ppi::analysis
