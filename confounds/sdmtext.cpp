#include "confounds/sdmtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <streambuf>
#include <system_error>

namespace ppi::sdm {
namespace {

constexpr int kEndOfInput = std::char_traits<char>::eof();

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Splits an optional leading sign off; true for a minus.
bool takeSign(std::string_view& token) {
  if (token.empty() || (token.front() != '+' && token.front() != '-')) return false;
  bool negative = token.front() == '-';
  token.remove_prefix(1);
  return negative;
}

template <typename Integer>
void writeInteger(std::ostream& out, Integer value) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;  // 24 characters hold every 64-bit integer
  out.write(digits, end - digits);
}

}  // namespace

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool parseInteger(std::string_view token, std::int32_t& value) {
  std::string_view digits = token;
  bool negative = takeSign(digits);
  if (digits.empty() || !isDigit(digits.front())) return false;
  // std::from_chars takes a minus but no plus: hand it the minus itself.
  const char* first = negative ? digits.data() - 1 : digits.data();
  const char* last = digits.data() + digits.size();
  std::int32_t parsed = 0;
  auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || end != last) return false;
  value = parsed;
  return true;
}

bool parseValue(std::string_view token, double& value) {
  std::string_view number = token;
  bool negative = takeSign(number);
  // Only decimal numbers: no "inf", "nan", or a second sign.
  if (number.empty() || !(isDigit(number.front()) || number.front() == '.')) return false;
  const char* last = number.data() + number.size();
  double parsed = 0.0;
  auto [end, error] = std::from_chars(number.data(), last, parsed, std::chars_format::general);
  if (error != std::errc() || end != last || !std::isfinite(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

bool TokenReader::readToken() {
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr) return false;
  int c = buffer->sgetc();
  while (c != kEndOfInput && isSpace(c)) c = buffer->snextc();
  if (c == kEndOfInput) {
    in_.setstate(std::ios::eofbit);
    return false;
  }
  token_.clear();
  while (c != kEndOfInput && !isSpace(c)) {
    token_.push_back(static_cast<char>(c));
    c = buffer->snextc();
  }
  return true;
}

bool TokenReader::readKey(std::string& key) {
  if (!readToken()) return false;
  key = token_;
  return true;
}

bool TokenReader::readInteger(std::int32_t& value) {
  return readToken() && parseInteger(token_, value);
}

bool TokenReader::readColour(Colour& colour) {
  return readInteger(colour[0]) && readInteger(colour[1]) && readInteger(colour[2]);
}

bool TokenReader::readValue(double& value) { return readToken() && parseValue(token_, value); }

bool TokenReader::skipQuoteCharacters(std::int64_t count) {
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr) return false;
  for (std::int64_t seen = 0; seen < count;) {
    int c = buffer->sbumpc();
    if (c == kEndOfInput) {
      in_.setstate(std::ios::eofbit);
      return false;
    }
    if (c == '"') ++seen;
  }
  return true;
}

bool TokenReader::rewindAndSkipLines(int count) {
  in_.clear();
  in_.seekg(0);
  if (!in_) return false;
  for (int line = 0; line < count; ++line) {
    in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (!in_ || in_.eof()) return false;
  }
  return true;
}

bool TokenReader::readLine(std::string& line) {
  if (!std::getline(in_, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::vector<std::string> takeQuotedNames(std::string_view line) {
  std::vector<std::string> names;
  std::size_t position = 0;
  while (true) {
    std::size_t open = line.find('"', position);
    if (open == std::string_view::npos) break;
    std::size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) break;
    if (close > open + 1) names.emplace_back(line.substr(open + 1, close - open - 1));
    position = close + 1;
  }
  return names;
}

std::size_t formatValue(double value, char* out) {
  // Six significant digits in general form is what "%g" writes, by definition.
  auto [end, error] =
      std::to_chars(out, out + kValueTextCapacity - 1, value, std::chars_format::general, 6);
  if (error != std::errc()) end = out;  // cannot happen: "%g" needs at most 13 characters
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}

std::size_t formatConstant(double value, char* out) {
  // Fixed with six decimals needs at most 1 + 309 + 1 + 6 characters.
  char fixed[330];
  auto [end, error] =
      std::to_chars(fixed, fixed + sizeof fixed, value, std::chars_format::fixed, 6);
  std::size_t length = error == std::errc() ? static_cast<std::size_t>(end - fixed) : 0;
  if (length == 0 || length > kConstantTextLimit) {
    out[0] = '\0';
    return 0;
  }
  // The field width of 4: right-aligned with blanks (only "nan" and "inf" are shorter).
  std::size_t padding = length < 4 ? 4 - length : 0;
  std::memset(out, ' ', padding);
  std::memcpy(out + padding, fixed, length);
  out[padding + length] = '\0';
  return padding + length;
}

void Writer::headerLine(std::string_view key, std::int64_t value) {
  out_.write(key.data(), static_cast<std::streamsize>(key.size()));
  out_.put(' ');
  writeInteger(out_, value);
  endLine();
}

void Writer::colour(const Colour& colour) {
  writeInteger(out_, colour[0]);
  out_.put(' ');
  writeInteger(out_, colour[1]);
  out_.put(' ');
  writeInteger(out_, colour[2]);
  out_.put('\t');
}

void Writer::name(std::string_view name) {
  out_.put('"');
  out_.write(name.data(), static_cast<std::streamsize>(name.size()));
  out_.put('"');
  out_.put('\t');
}

void Writer::value(double value) {
  char text[kValueTextCapacity];
  std::size_t length = formatValue(value, text);
  text[length] = '\t';
  out_.write(text, static_cast<std::streamsize>(length + 1));
}

bool Writer::constant(double value) {
  char text[kConstantTextLimit + 1];
  std::size_t length = formatConstant(value, text);
  if (length == 0) return false;
  out_.write(text, static_cast<std::streamsize>(length));
  return true;
}

void Writer::endLine() {
  out_.put('\n');
  out_.flush();
}

}  // namespace ppi::sdm
