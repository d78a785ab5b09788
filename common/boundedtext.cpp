#include "common/boundedtext.h"

#include <cstdio>
#include <vector>

namespace ppi {

bool formatBoundedV(char* out, std::size_t capacity, const char* format, std::va_list arguments) {
  if (out == nullptr || capacity == 0) return false;
  int needed = std::vsnprintf(out, capacity, format, arguments);
  if (needed < 0) {
    out[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(needed) < capacity;
}

bool formatBounded(char* out, std::size_t capacity, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  bool fits = formatBoundedV(out, capacity, format, arguments);
  va_end(arguments);
  return fits;
}

std::string formatLimited(std::size_t limit, bool* fits, const char* format, ...) {
  std::vector<char> buffer(limit + 1);
  std::va_list arguments;
  va_start(arguments, format);
  bool whole = formatBoundedV(buffer.data(), buffer.size(), format, arguments);
  va_end(arguments);
  if (fits != nullptr) *fits = whole;
  return std::string(buffer.data());
}

}  // namespace ppi
