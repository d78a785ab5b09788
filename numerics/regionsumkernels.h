// The kernels behind numerics/regionsum.h, over raw arrays, one per path and
// sample type. Only regionsum.cpp calls them.
#pragma once

#include <cstddef>
#include <cstdint>

// The AVX2 kernels need GCC's (or clang's) target attribute and x86 builtins.
#if defined(__GNUC__) && defined(__x86_64__)
#define PPI_REGIONSUM_AVX2 1
#else
#define PPI_REGIONSUM_AVX2 0
#endif

namespace ppi::analysis {

// Whether the AVX2 kernels are compiled in and this processor (and its
// operating system) runs them.
bool avx2KernelsAvailable();

// Add samples[offsets[k] + t] for k below `count`, in turn, to sums[t] for t
// below `volumes`. The AVX2 kernels may be called only when available.
void sumOverVoxelsBaseline(const std::int16_t* samples, const std::size_t* offsets,
                           std::size_t count, float* sums, std::size_t volumes);
void sumOverVoxelsBaseline(const float* samples, const std::size_t* offsets, std::size_t count,
                           float* sums, std::size_t volumes);
void sumOverVoxelsAvx2(const std::int16_t* samples, const std::size_t* offsets, std::size_t count,
                       float* sums, std::size_t volumes);
void sumOverVoxelsAvx2(const float* samples, const std::size_t* offsets, std::size_t count,
                       float* sums, std::size_t volumes);

}  // namespace ppi::analysis
