#include "common/checksum.h"

// The hash is compiled into the library: no shared xxHash library at run time.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace ppi {

std::uint64_t checksum64(const void* data, std::size_t size) {
  static const unsigned char kNoBytes[1] = {0};
  return XXH3_64bits(size == 0 ? kNoBytes : data, size);
}

std::string hex64(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

}  // namespace ppi
