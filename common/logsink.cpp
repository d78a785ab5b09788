#include "common/logsink.h"

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

}  // namespace ppi
