#include "confounds/sdmtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace ppi::confounds::sdm {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Splits an optional leading sign off; true for a minus.
bool takeSign(std::string_view& token) {
  if (token.empty() || (token.front() != '+' && token.front() != '-')) return false;
  bool negative = token.front() == '-';
  token.remove_prefix(1);
  return negative;
}

}  // namespace

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

bool TokenReader::nextLine() {
  lineOpen_ = static_cast<bool>(std::getline(in_, line_));
  position_ = 0;
  return lineOpen_;
}

bool TokenReader::readToken() {
  while (true) {
    while (position_ < line_.size() && isSpace(static_cast<unsigned char>(line_[position_]))) {
      ++position_;
    }
    if (position_ < line_.size()) break;
    if (!nextLine()) return false;
  }
  std::size_t start = position_;
  while (position_ < line_.size() && !isSpace(static_cast<unsigned char>(line_[position_]))) {
    ++position_;
  }
  token_ = std::string_view(line_).substr(start, position_ - start);
  return true;
}

bool TokenReader::readKey(std::string& key) {
  if (!readToken()) return false;
  key.assign(token_);
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
  for (std::int64_t seen = 0; seen < count;) {
    std::size_t quote = line_.find('"', position_);
    if (quote == std::string::npos) {
      if (!nextLine()) return false;
      continue;
    }
    position_ = quote + 1;
    ++seen;
  }
  return true;
}

bool TokenReader::rewindAndSkipLines(int count) {
  line_.clear();
  position_ = 0;
  lineOpen_ = false;
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
  if (lineOpen_) {
    line.assign(line_, position_ < line_.size() ? position_ : line_.size());
    lineOpen_ = false;
    line_.clear();
    position_ = 0;
  } else if (!std::getline(in_, line)) {
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool TextReader::readKey(std::string& key) {
  if (!readToken()) return false;
  key.assign(token_);
  return true;
}

bool TextReader::rewindAndSkipLines(int count) {
  position_ = 0;
  for (int line = 0; line < count; ++line) {
    const std::size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) {
      position_ = text_.size();
      return false;
    }
    position_ = end + 1;
  }
  return true;
}

bool TextReader::readLine(std::string_view& line) {
  if (position_ >= text_.size()) return false;
  std::size_t end = text_.find('\n', position_);
  if (end == std::string_view::npos) end = text_.size();
  line = text_.substr(position_, end - position_);
  position_ = end < text_.size() ? end + 1 : end;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
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

namespace {

// Exact powers of ten, 10^0 to 10^10.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

// "%g" of `value` when it can be settled quickly, else 0. The value is scaled
// by 10^(5 - X) (X its decimal exponent) into [1e5, 1e6) with one rounding,
// so the scaled value is off by less than 1.2e-10 from the exact product: its
// rounding to an integer, the six significant digits, is certain unless the
// fraction lies that close to one half, where the exact path decides.
std::size_t formatValueQuickly(double value, char* out) {
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-5 && magnitude < 1e15)) return 0;  // NaN too
  // The binary exponent times log10(2), rounded down: the decimal exponent or one less.
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binary = static_cast<int>(bits >> 52) - 1023;
  int exponent = (binary * 78913) >> 18;  // floor(binary * 0.30103) for |binary| < 2^13
  double scaled = 0.0;
  for (int attempt = 0;; ++attempt) {
    const int shift = 5 - exponent;
    if (attempt == 3 || shift < -10 || shift > 10) return 0;
    scaled = shift >= 0 ? magnitude * kPowersOfTen[shift] : magnitude / kPowersOfTen[-shift];
    if (scaled < 1e5) {
      --exponent;
    } else if (scaled >= 1e6) {
      ++exponent;
    } else {
      break;
    }
  }
  const std::int32_t whole = static_cast<std::int32_t>(scaled);  // scaled is positive
  const double fraction = scaled - whole;                        // exact below 2^52
  if (std::fabs(fraction - 0.5) < 1e-9) return 0;
  std::int32_t digits = whole + (fraction > 0.5 ? 1 : 0);
  if (digits == 1000000) {
    digits = 100000;
    ++exponent;
  }
  char significant[6];
  for (int i = 5; i >= 0; --i, digits /= 10) significant[i] = static_cast<char>('0' + digits % 10);
  int kept = 6;  // trailing zeros go, as "%g" drops them
  while (kept > 1 && significant[kept - 1] == '0') --kept;

  char* end = out;
  if (std::signbit(value)) *end++ = '-';
  if (exponent >= -4 && exponent < 6) {
    if (exponent < 0) {
      *end++ = '0';
      *end++ = '.';
      for (int zero = -1; zero > exponent; --zero) *end++ = '0';
      std::memcpy(end, significant, static_cast<std::size_t>(kept));
      end += kept;
    } else {
      const int integral = exponent + 1;
      std::memcpy(end, significant, static_cast<std::size_t>(integral));
      end += integral;
      if (kept > integral) {
        *end++ = '.';
        std::memcpy(end, significant + integral, static_cast<std::size_t>(kept - integral));
        end += kept - integral;
      }
    }
  } else {
    *end++ = significant[0];
    if (kept > 1) {
      *end++ = '.';
      std::memcpy(end, significant + 1, static_cast<std::size_t>(kept - 1));
      end += kept - 1;
    }
    *end++ = 'e';
    *end++ = exponent < 0 ? '-' : '+';
    const int power = exponent < 0 ? -exponent : exponent;  // 5 to 14 here
    *end++ = static_cast<char>('0' + power / 10);
    *end++ = static_cast<char>('0' + power % 10);
  }
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}

}  // namespace

std::size_t formatValue(double value, char* out) {
  if (std::size_t length = formatValueQuickly(value, out)) return length;
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

void TextBuilder::integer(std::int64_t value) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;  // 24 characters hold every 64-bit integer
  text_.append(digits, end);
}

void TextBuilder::headerLine(std::string_view key, std::int64_t value) {
  text_.append(key).push_back(' ');
  integer(value);
  endLine();
}

void TextBuilder::colour(const Colour& colour) {
  integer(colour[0]);
  text_.push_back(' ');
  integer(colour[1]);
  text_.push_back(' ');
  integer(colour[2]);
  text_.push_back('\t');
}

void TextBuilder::name(std::string_view name) {
  text_.push_back('"');
  text_.append(name).append("\"\t");
}

bool TextBuilder::constant(double value) {
  char text[kConstantTextLimit + 1];
  std::size_t length = formatConstant(value, text);
  if (length == 0) return false;
  text_.append(text, length);
  return true;
}

void Writer::headerLine(std::string_view key, std::int64_t value) {
  line_.headerLine(key, value);
  out_.write(line_.text().data(), static_cast<std::streamsize>(line_.text().size()));
  out_.flush();
  line_.clear();
}

void Writer::colour(const Colour& colour) { line_.colour(colour); }

void Writer::name(std::string_view name) { line_.name(name); }

void Writer::value(double value) { line_.value(value); }

bool Writer::constant(double value) { return line_.constant(value); }

void Writer::endLine() {
  line_.endLine();
  out_.write(line_.text().data(), static_cast<std::streamsize>(line_.text().size()));
  out_.flush();
  line_.clear();
}

}  // namespace ppi::confounds::sdm
