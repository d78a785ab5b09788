// 64-bit checksums (XXH3) of byte ranges, for provenance records: the same
// bytes give the same checksum on every system and in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ppi {

// The XXH3 64-bit hash (seed 0) of `size` bytes at `data`; `data` may be null
// when `size` is 0.
std::uint64_t checksum64(const void* data, std::size_t size);

// Sixteen lower-case hexadecimal digits, most significant first.
std::string hex64(std::uint64_t value);

}  // namespace ppi
