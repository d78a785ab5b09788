// Where log lines go. The host's log pane is one sink; code below the host
// layer (the design-matrix reader and the motion merge) takes a sink as a
// parameter, so that it runs, and is tested and fuzzed, without a host.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "common/boundedtext.h"
#include "common/outcome.h"

namespace ppi {

class LogSink {
 public:
  virtual ~LogSink() = default;

  // One line, as it stands.
  virtual void text(const char* line) = 0;

  // Formats a line of at most kMessageLimit characters (cut at the end).
  void line(const char* format, ...) PPI_PRINTF_FORMAT(2, 3);
  // Formats a line of at most `limit` characters (cut at the end).
  void lineLimited(std::size_t limit, const char* format, ...) PPI_PRINTF_FORMAT(3, 4);
  void lineV(std::size_t limit, const char* format, std::va_list arguments);

  // A step's failure: logs `prefix` and the formatted reason as one line of at
  // most kMessageLimit characters (cut at the end), and returns that reason
  // without the prefix, so that the line the log keeps and the reason the
  // caller reports are one text.
  Failure failed(const char* prefix, const char* format, ...) PPI_PRINTF_FORMAT(3, 4);
  Failure failedV(const char* prefix, const char* format, std::va_list arguments);
};

// Drops every line.
class NullLog final : public LogSink {
 public:
  void text(const char*) override {}
};

}  // namespace ppi
