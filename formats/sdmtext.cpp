#include "formats/sdmtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  if (lineOpen_) ++lineNumber_;
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
  lineNumber_ = 0;
  for (int line = 0; line < count; ++line) {
    in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    if (!in_ || in_.eof()) return false;
    ++lineNumber_;
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
  } else {
    ++lineNumber_;
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

// The doubles nearest 10^-5 to 10^15, the lower bounds of the decimal
// exponents the quick path formats.
constexpr int kLowestExponent = -5;
constexpr double kDecades[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4, 1e5,
                               1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The numbers 0 to 999 as three digits each in the low three bytes (the
// first digit lowest, so that a little-endian store writes them in order),
// with the count of their trailing zeros in the high byte.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "digits are stored little-endian");
struct DigitTriples {
  std::uint32_t entry[1000];
  constexpr DigitTriples() : entry() {
    for (std::uint32_t n = 0; n < 1000; ++n) {
      const std::uint32_t zeros = n == 0 ? 3 : n % 100 == 0 ? 2 : n % 10 == 0 ? 1 : 0;
      entry[n] = ('0' + n / 100) | ('0' + n / 10 % 10) << 8 | ('0' + n % 10) << 16 | zeros << 24;
    }
  }
};
constexpr DigitTriples kDigitTriples;

// Stores the eight bytes of `bytes` at `out`, the lowest first.
inline void storeEight(char* out, std::uint64_t bytes) { std::memcpy(out, &bytes, 8); }

// Writes six significant digits (100000 to 999999) with the decimal exponent
// of the first as "%g" writes them: trailing zeros dropped, fixed notation for
// exponents from -4 to 5, else scientific with a two-digit exponent (|exponent|
// below 100). The text is put together from fixed-size copies, which may write
// up to 22 bytes; returns its length.
std::size_t writeSixDigits(bool negative, std::int32_t digits, int exponent, char* out) {
  // The six digits in the low six bytes of a word, then two zeros, kept in a
  // register: stored whole, or shifted past the digits already stored.
  const std::uint32_t high = kDigitTriples.entry[digits / 1000];
  const std::uint32_t low = kDigitTriples.entry[digits % 1000];
  const std::uint64_t significant =
      (high & 0xffffffu) | std::uint64_t{low & 0xffffffu} << 24 | std::uint64_t{0x3030} << 48;
  // Trailing zeros go, as "%g" drops them; the first digit is never zero.
  const int lowZeros = static_cast<int>(low >> 24), highZeros = static_cast<int>(high >> 24);
  const int kept = lowZeros == 3 ? 3 - highZeros : 6 - lowZeros;

  char* end = out;
  *end = '-';
  end += negative ? 1 : 0;
  if (exponent >= -4 && exponent < 6) {
    // Below one: "0.", zeros, then the digits. From one: the digits with the
    // point after the integral ones, written as two stores either side of it.
    // Chosen by selection rather than by branches, which mispredict on data
    // whose magnitudes straddle one.
    const bool belowOne = exponent < 0;
    const int lead = belowOne ? 1 - exponent : 0;      // "0." and zeros: 2 to 5
    const int integral = belowOne ? 7 : exponent + 1;  // 1 to 6; 7 puts the point past the digits
    std::memcpy(end, "0.000", 5);
    storeEight(end + lead, significant);
    end[lead + integral] = '.';
    storeEight(end + lead + integral + 1, significant >> (8 * integral));
    end += belowOne ? lead + kept : kept > integral ? kept + 1 : integral;
  } else {
    end[0] = static_cast<char>(significant & 0xff);
    end[1] = '.';
    storeEight(end + 2, significant >> 8);
    end += kept > 1 ? kept + 1 : 1;
    *end++ = 'e';
    *end++ = exponent < 0 ? '-' : '+';
    const int power = exponent < 0 ? -exponent : exponent;
    *end++ = static_cast<char>('0' + power / 10);
    *end++ = static_cast<char>('0' + power % 10);
  }
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}

// "%g" of `value` when it can be settled quickly, else 0. The value is scaled
// by 10^(5 - X) (X its decimal exponent) into [1e5, 1e6) with one rounding,
// so the scaled value is off by less than 1.2e-10 from the exact product: its
// rounding to an integer, the six significant digits, is certain unless the
// fraction lies that close to one half, where the exact path decides.
std::size_t formatValueQuickly(double value, char* out) {
  const double magnitude = std::fabs(value);
  if (!(magnitude >= 1e-5 && magnitude < 1e15)) return 0;  // NaN too
  // The binary exponent times log10(2), rounded down, is the decimal exponent
  // or one less: one comparison with the next decade settles it.
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binary = static_cast<int>(bits >> 52) - 1023;
  int exponent = (binary * 78913) >> 18;  // floor(binary * 0.30103) for |binary| < 2^13
  if (exponent < kLowestExponent) exponent = kLowestExponent;
  exponent += magnitude >= kDecades[exponent + 1 - kLowestExponent] ? 1 : 0;
  const int shift = 5 - exponent;  // -9 to 10
  const double scaled =
      shift >= 0 ? magnitude * kPowersOfTen[shift] : magnitude / kPowersOfTen[-shift];
  // A decade's bound that is not exact can put the value one decade off.
  if (!(scaled >= 1e5 && scaled < 1e6)) return 0;
  const std::int32_t whole = static_cast<std::int32_t>(scaled);
  const double fraction = scaled - whole;  // exact below 2^52
  if (std::fabs(fraction - 0.5) < 1e-9) return 0;
  std::int32_t digits = whole + (fraction > 0.5 ? 1 : 0);
  if (digits == 1000000) {
    digits = 100000;
    ++exponent;
  }
  return writeSixDigits(std::signbit(value), digits, exponent, out);
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

namespace {

#if defined(__SSE2__)

// The low `count` (0 to 31) bits.
inline unsigned lowBits(int count) { return (1u << count) - 1; }

// "%g" of the plain number at `first` (32 bytes of which can be read) as
// formatValue writes the value parseValue reads from it, for the kind a design
// holds: an optional minus, digits without a leading zero (or a single zero
// before the point), optionally a point and digits, in at most 15 characters
// before white space, whose decimal exponent is -4 to 5. "%g" writes such a
// number in fixed notation, laid out as the token is: its text is the token
// cut after the sixth significant digit, rounded there, without the trailing
// zeros of its fraction. The token's size goes to `tokenSize`, the text's
// length to `length` and the text to `out`; false for any other token, and
// for a tie or a rounding that carries into a new decade, which are left to
// the exact path.
//
// The token is rounded as a decimal text: a number of at most 15 significant
// digits D lies at least one unit of its 15th digit from any rounding bound B
// of six digits it is not equal to, and the double nearest D lies closer to D
// than that (less than 2^-53 * 10 of D's leading digit's unit), so both round
// alike. Only D == B, a tie, depends on the double.
//
// Which of the 16 bytes are white space, digits, zeros and points is settled
// for all of them at once, and the places that matter follow from those
// masks. The usual case (rounding that changes only the sixth digit and
// leaves it other than zero) takes no branch that depends on the digits.
bool roundPlainValue(const char* first, std::size_t& tokenSize, std::size_t& length, char* out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first));
  auto mask = [](__m128i is) { return static_cast<unsigned>(_mm_movemask_epi8(is)); };
  // White space: the blank, or 9 to 13 ('\t' to '\r') as an unsigned distance below 5.
  const __m128i fromTab = _mm_sub_epi8(bytes, _mm_set1_epi8(9));
  const unsigned spaces =
      mask(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                        _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab)));
  if (spaces == 0) return false;  // a token of 16 characters or more
  const int size = __builtin_ctz(spaces);
  const __m128i fromZero = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const unsigned digits = mask(_mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero));
  const unsigned zeros = mask(_mm_cmpeq_epi8(fromZero, _mm_setzero_si128()));
  const unsigned points = mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')));

  const int sign = first[0] == '-' ? 1 : 0;
  const unsigned body = lowBits(size) & ~static_cast<unsigned>(sign);
  const unsigned point = points & body;
  // Digits and at most one point after the sign: no plus, exponent or other character.
  if (((digits | point) & body) != body || (point & (point - 1)) != 0) return false;
  const int at = __builtin_ctz(point | 1u << size);  // the point, or the end
  tokenSize = static_cast<std::size_t>(size);
  const unsigned significant = digits & ~zeros & body;
  if (significant == 0) {  // zero, "-0" for a minus
    const char* zero = sign != 0 ? "-0" : "0";
    length = static_cast<std::size_t>(1 + sign);
    std::memcpy(out, zero, length + 1);
    return at != sign && at + 1 != size;
  }
  const int lead = __builtin_ctz(significant);  // the first significant digit
  const bool pointAfter = at > lead;
  const int exponent = at - lead - (pointAfter ? 1 : 0);
  // A leading zero only as "0.", digits on both sides of a point, and fixed notation.
  if (((lead != sign) & (at != sign + 1)) | (at + 1 == size) |
      (static_cast<unsigned>(exponent + 4) > 9)) {
    return false;
  }

  // The sixth and seventh significant digits, the point skipped.
  const int sixth = lead + 5 + ((pointAfter & (at <= lead + 5)) ? 1 : 0);
  const int seventh = sixth + 1 + (at == sixth + 1 ? 1 : 0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  int end = sixth < size ? sixth + 1 : size;
  const char kept = first[end - 1];  // the last digit kept
  bool up = false;
  if (seventh < size) {
    const char next = first[seventh];
    if ((next == '5') & ((significant >> (seventh + 1)) == 0)) return false;  // a tie
    up = next >= '5';
  }
  if ((up & (kept == '9')) | (!up & (kept == '0'))) {
    if (up) {
      // The last digit up to the sixth that is not a nine goes up one, the
      // nines after it become zeros, dropped in the fraction.
      const unsigned nines = mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('9')));
      const unsigned notNine = digits & ~nines & lowBits(end) & ~lowBits(lead);
      if (notNine == 0) return false;  // all nines: the next decade
      const int last = 31 - __builtin_clz(notNine);
      ++out[last];
      if (last < at) std::memcpy(out + last + 1, "00000000", 8);
      end = last < at ? at : last + 1;
    } else if (point != 0 && at < end) {
      // The trailing zeros of the fraction go, and the point when it is left last.
      const int last = 31 - __builtin_clz(~zeros & lowBits(end));
      end = last == at ? at : last + 1;
    }
  } else {
    out[end - 1] = static_cast<char>(kept + (up ? 1 : 0));
  }
  length = static_cast<std::size_t>(end);
  out[length] = '\0';
  return true;
}

#endif

}  // namespace

std::size_t TextReader::readValueFormatted(char* out) {
  std::size_t written = 0;
  if (!readValuesFormatted(1, out, written)) return 0;
  out[--written] = '\0';  // the tab
  return written;
}

bool TextReader::readValuesFormatted(std::size_t count, char* out, std::size_t& written) {
  // The position is kept in a local while the values are read, and given back
  // to the reader when it reads a token the slow way and at the end.
  const std::size_t size = text_.size();
  const char* text = text_.data();
  std::size_t position = position_;
  char* at = out;
  for (std::size_t i = 0; i < count; ++i) {
    while (position < size && isSpace(static_cast<unsigned char>(text[position]))) ++position;
    std::size_t tokenSize = 0, length = 0;
#if defined(__SSE2__)
    if (size - position >= 32 && roundPlainValue(text + position, tokenSize, length, at)) {
      position += tokenSize;
      at[length] = '\t';
      at += length + 1;
      continue;
    }
#endif
    position_ = position;
    double value = 0.0;
    if (!readValue(value)) {
      written = static_cast<std::size_t>(at - out);
      return false;
    }
    position = position_;
    length = formatValue(value, at);
    at[length] = '\t';
    at += length + 1;
  }
  position_ = position;
  written = static_cast<std::size_t>(at - out);
  return true;
}

std::size_t formatConstant(double value, char* out) {
  // A whole number below 2^53 (the constant is 1 in a design) is its digits
  // and six zeros, at most 1 + 16 + 7 characters.
  if (std::fabs(value) < 9007199254740992.0 && value == std::trunc(value)) {
    char* at = out;
    if (std::signbit(value)) *at++ = '-';
    at = std::to_chars(at, at + 17, static_cast<std::int64_t>(std::fabs(value))).ptr;
    std::memcpy(at, ".000000", 8);
    return static_cast<std::size_t>(at + 7 - out);
  }
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

void TextBuilder::grow(std::size_t bytes) {
  const std::size_t capacity = std::max(2 * capacity_, used_ + bytes);
  std::unique_ptr<char[]> room(new char[capacity]);
  std::memcpy(room.get(), room_.get(), used_);
  room_ = std::move(room);
  capacity_ = capacity;
}

void TextBuilder::composed(std::string_view text) {
  std::memcpy(room(text.size()), text.data(), text.size());
  used_ += text.size();
}

bool TextBuilder::valuesFrom(TextReader& reader, std::size_t count) {
  std::size_t written = 0;
  const bool read = reader.readValuesFormatted(count, room(count * kValueTextCapacity), written);
  used_ += written;
  return read;
}

void TextBuilder::integer(std::int64_t value) {
  constexpr std::size_t kDigits = 24;  // every 64-bit integer
  char* at = room(kDigits);
  used_ += static_cast<std::size_t>(std::to_chars(at, at + kDigits, value).ptr - at);
}

void TextBuilder::headerLine(std::string_view key, std::int64_t value) {
  composed(key);
  composed(" ");
  integer(value);
  endLine();
}

void TextBuilder::colour(const Colour& colour) {
  integer(colour[0]);
  composed(" ");
  integer(colour[1]);
  composed(" ");
  integer(colour[2]);
  composed("\t");
}

void TextBuilder::name(std::string_view name) {
  composed("\"");
  composed(name);
  composed("\"\t");
}

bool TextBuilder::constant(double value) {
  char text[kConstantTextLimit + 1];
  std::size_t length = formatConstant(value, text);
  if (length == 0) return false;
  composed(std::string_view(text, length));
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
