// The AVX2 kernels, compiled for AVX2 function by function (the rest of the
// library targets the baseline x86-64) and called only after the processor has
// been asked. They vectorise across volumes, never across voxels: every
// volume's sum still receives the voxels one at a time in the order given, and
// every addition is a single-precision addition rounded on its own. There is
// no multiplication to fuse an addition with, AVX2 does not include FMA, and
// the build compiles the kernels with -ffp-contract=off besides.
//
// mingw-w64's GCC cannot realign the stack to 32 bytes (GCC bug 54412), so an
// aligned 256-bit spill would fault in the Windows DLL. These functions keep
// every 256-bit value in registers (few are live at a time), and the Windows
// tests check the DLL's code for aligned 256-bit moves to the stack.
#include "numerics/regionsumkernels.h"

#if PPI_REGIONSUM_AVX2

#include <immintrin.h>

#include <algorithm>

#define PPI_TARGET_AVX2 __attribute__((target("avx2")))
#define PPI_ALWAYS_INLINE inline __attribute__((always_inline))

namespace ppi::analysis {
namespace {

// Voxels summed in one pass over the volumes: the sums are loaded and stored
// once per group instead of once per voxel.
constexpr std::size_t kGroup = 4;
// How many groups ahead the samples are asked for while a group is summed. A
// voxel's samples are a short run (2 KB for 1000 16-bit volumes) and the next
// voxel's may start anywhere, which leaves the processor's own prefetching
// much of memory's latency to wait out; asking ahead takes the kernel from
// about two thirds of a sequential read's speed to all of it.
constexpr std::size_t kGroupsAhead = 2;

// Eight samples from p on, as floats (16-bit integers convert exactly).
PPI_TARGET_AVX2 PPI_ALWAYS_INLINE __m256 load8(const std::int16_t* p) {
  const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(words));
}
PPI_TARGET_AVX2 PPI_ALWAYS_INLINE __m256 load8(const float* p) { return _mm256_loadu_ps(p); }

// Adds the volumes of the `size` voxels at cells[0..size) to the sums, while
// asking for the samples of the voxels at next[0..size) to be fetched.
template <std::size_t size, typename Sample>
PPI_TARGET_AVX2 PPI_ALWAYS_INLINE void sumGroup(const Sample* const* cells,
                                                const Sample* const* next, float* sums,
                                                std::size_t volumes) {
  constexpr std::size_t kLine = 64 / sizeof(Sample);  // samples of one cache line
  const std::size_t vectorEnd = volumes - volumes % 8;
  std::size_t t = 0;
  for (; t + kLine <= vectorEnd; t += kLine) {
#pragma GCC unroll 8
    for (std::size_t i = 0; i < size; ++i) {
      _mm_prefetch(reinterpret_cast<const char*>(next[i] + t), _MM_HINT_T0);
    }
#pragma GCC unroll 4
    for (std::size_t u = t; u < t + kLine; u += 8) {
      __m256 sum = _mm256_loadu_ps(sums + u);
#pragma GCC unroll 8
      for (std::size_t i = 0; i < size; ++i) sum = _mm256_add_ps(sum, load8(cells[i] + u));
      _mm256_storeu_ps(sums + u, sum);
    }
  }
  for (; t < vectorEnd; t += 8) {
    __m256 sum = _mm256_loadu_ps(sums + t);
#pragma GCC unroll 8
    for (std::size_t i = 0; i < size; ++i) sum = _mm256_add_ps(sum, load8(cells[i] + t));
    _mm256_storeu_ps(sums + t, sum);
  }
  for (; t < volumes; ++t) {
    float sum = sums[t];
#pragma GCC unroll 8
    for (std::size_t i = 0; i < size; ++i) sum += static_cast<float>(cells[i][t]);
    sums[t] = sum;
  }
}

template <typename Sample>
PPI_TARGET_AVX2 void sumInGroups(const Sample* samples, const std::size_t* offsets,
                                 std::size_t count, float* sums, std::size_t volumes) {
  const Sample* cells[kGroup];
  const Sample* next[kGroup];
  std::size_t k = 0;
  for (; k + kGroup <= count; k += kGroup) {
    // Unrolled, not vectorised: GCC would keep a vector of these pointers on
    // the stack, which must stay free of 256-bit values (see the top).
#pragma GCC unroll 8
    for (std::size_t i = 0; i < kGroup; ++i) {
      cells[i] = samples + offsets[k + i];
      next[i] = samples + offsets[std::min(k + kGroupsAhead * kGroup + i, count - 1)];
    }
    sumGroup<kGroup>(cells, next, sums, volumes);
  }
  for (; k < count; ++k) {
    cells[0] = samples + offsets[k];
    next[0] = samples + offsets[std::min(k + kGroup, count - 1)];
    sumGroup<1>(cells, next, sums, volumes);
  }
}

}  // namespace

bool avx2KernelsAvailable() {
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return available;
}

PPI_TARGET_AVX2 void sumOverVoxelsAvx2(const std::int16_t* samples, const std::size_t* offsets,
                                       std::size_t count, float* sums, std::size_t volumes) {
  sumInGroups(samples, offsets, count, sums, volumes);
}

PPI_TARGET_AVX2 void sumOverVoxelsAvx2(const float* samples, const std::size_t* offsets,
                                       std::size_t count, float* sums, std::size_t volumes) {
  sumInGroups(samples, offsets, count, sums, volumes);
}

}  // namespace ppi::analysis

#else  // no AVX2 kernels in this build

namespace ppi::analysis {

bool avx2KernelsAvailable() { return false; }

void sumOverVoxelsAvx2(const std::int16_t*, const std::size_t*, std::size_t, float*, std::size_t) {}
void sumOverVoxelsAvx2(const float*, const std::size_t*, std::size_t, float*, std::size_t) {}

}  // namespace ppi::analysis

#endif
