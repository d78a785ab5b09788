// Bounded text: every message, name and path is composed in a buffer of fixed
// size and never written past it. Formats are always literals of the code;
// text from the user or the host is only ever an argument.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__MINGW32__)
// mingw-w64's C++ library formats with its own ISO C printf (%zu included), not
// with msvcrt's, which g++ checks "printf" formats against.
#define PPI_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define PPI_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define PPI_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace ppi {

// Formats into out[capacity] (capacity counts the terminator, so at most
// capacity - 1 characters), always terminated. True when the whole text fit;
// otherwise out holds the text cut at the end.
bool formatBounded(char* out, std::size_t capacity, const char* format, ...)
    PPI_PRINTF_FORMAT(3, 4);
bool formatBoundedV(char* out, std::size_t capacity, const char* format, std::va_list arguments);

// Formats into a string of at most `limit` characters; `fits` tells whether the
// text was cut.
std::string formatLimited(std::size_t limit, bool* fits, const char* format, ...)
    PPI_PRINTF_FORMAT(3, 4);

// A text of at most Limit characters plus its terminator.
template <std::size_t Limit>
class FixedText {
 public:
  static constexpr std::size_t kLimit = Limit;

  FixedText() { chars_[0] = '\0'; }

  // Replaces the text; refuses (false, text unchanged) when it is too long or
  // holds a terminator.
  bool assign(std::string_view text) {
    if (text.size() > Limit || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(chars_, text.data(), text.size());
    chars_[text.size()] = '\0';
    length_ = text.size();
    return true;
  }

  // Replaces the text with as much of it as fits.
  void assignCut(std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    std::size_t length = text.size() < Limit ? text.size() : Limit;
    std::memcpy(chars_, text.data(), length);
    chars_[length] = '\0';
    length_ = length;
  }

  // Formats into the text; false when it had to be cut.
  bool format(const char* format, ...) PPI_PRINTF_FORMAT(2, 3) {
    std::va_list arguments;
    va_start(arguments, format);
    bool fits = formatBoundedV(chars_, Limit + 1, format, arguments);
    va_end(arguments);
    length_ = std::strlen(chars_);
    return fits;
  }

  void clear() {
    chars_[0] = '\0';
    length_ = 0;
  }

  const char* c_str() const { return chars_; }
  std::string_view view() const { return {chars_, length_}; }
  std::string str() const { return {chars_, length_}; }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

 private:
  char chars_[Limit + 1];
  std::size_t length_ = 0;
};

// The working-text limits that the plug-in's data model fixes.
constexpr std::size_t kPathLimit = 300;
constexpr std::size_t kMessageLimit = 500;
constexpr std::size_t kListLimit = 4999;

using PathText = FixedText<kPathLimit>;
using MessageText = FixedText<kMessageLimit>;

}  // namespace ppi
