// The per-volume sums of a region's voxels, the inner loop of the region time
// course. The samples lie voxel-major: a voxel's volumes are contiguous from
// its offset. Each volume's sum receives the voxels one after the other in the
// order given, exactly as a loop over volumes outside and voxels inside would
// add them, so every path below gives the same sums bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ppi::analysis {

// The ways of summing: plain code for any processor, and AVX2 code for x86-64
// processors that have it (chosen at run time; the library itself targets the
// baseline x86-64).
enum class SumPath { baseline, avx2 };

// Whether this build and this processor can take the path.
bool pathAvailable(SumPath path);

// The path sumOverVoxels takes: the fastest one available.
SumPath chosenPath();

// Adds samples[offset + t] of every offset in turn to sums[t], for every t
// below sums.size(). Each offset must leave sums.size() samples behind it.
void sumOverVoxels(const std::int16_t* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums);
void sumOverVoxels(const float* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums);

// The same through the named path. False, with the sums untouched, when the
// path is not available here.
bool sumOverVoxels(SumPath path, const std::int16_t* samples,
                   const std::vector<std::size_t>& offsets, std::vector<float>& sums);
bool sumOverVoxels(SumPath path, const float* samples, const std::vector<std::size_t>& offsets,
                   std::vector<float>& sums);

}  // namespace ppi::analysis
