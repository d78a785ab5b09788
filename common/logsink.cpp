#include "common/logsink.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace ppi {

void LogSink::lineV(std::size_t limit, const char* format, std::va_list arguments) {
  if (limit <= kMessageLimit) {
    char buffer[kMessageLimit + 1];
    formatBoundedV(buffer, limit + 1, format, arguments);
    text(buffer);
    return;
  }
  std::vector<char> buffer(limit + 1);
  formatBoundedV(buffer.data(), buffer.size(), format, arguments);
  text(buffer.data());
}

void LogSink::line(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  lineV(kMessageLimit, format, arguments);
  va_end(arguments);
}

void LogSink::lineLimited(std::size_t limit, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  lineV(limit, format, arguments);
  va_end(arguments);
}

Failure LogSink::failedV(const char* prefix, const char* format, std::va_list arguments) {
  const std::size_t prefixLength = std::min(std::strlen(prefix), kMessageLimit);
  char buffer[kMessageLimit + 1];
  formatBoundedV(buffer, kMessageLimit - prefixLength + 1, format, arguments);
  std::string reason(buffer);
  text((std::string(prefix, prefixLength) + reason).c_str());
  return Failure{std::move(reason)};
}

Failure LogSink::failed(const char* prefix, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  Failure failure = failedV(prefix, format, arguments);
  va_end(arguments);
  return failure;
}

}  // namespace ppi
