// The design-matrix text format (".sdm") as the plug-in reads and writes it:
//
//   <key> <version>
//
//   <key> <predictors>
//   <key> <data points>
//   <key> <includes constant>
//   <key> <first confound>
//
//   r g b<TAB>r g b<TAB>...            one colour triple per predictor
//   "name"<TAB>"name"<TAB>...          the ninth line: one quoted name per predictor
//   value<TAB>value<TAB>...            one row per data point
//
// Reading splits the file into white-space separated tokens (blank, tab, line
// feed, vertical tab, form feed, carriage return); numbers are parsed with a
// point as decimal separator whatever the process locale. Writing formats
// values as C's "%g" does, the constant's value as "%4.6lf" does. Reading and
// writing come in two kinds: over streams a line at a time (TokenReader,
// Writer, which flushes every line when it is complete), and over texts held
// whole in memory (TextReader, TextBuilder), which read and write the same.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ppi::confounds::sdm {

using Colour = std::array<std::int32_t, 3>;  // red, green, blue

inline bool isSpace(int c) {
  // Blank, or tab to carriage return: '\t' '\n' '\v' '\f' '\r'.
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// An optional sign and decimal digits, the whole token, within 32 bits.
bool parseInteger(std::string_view token, std::int32_t& value);
// An optional sign, digits, an optional point and fraction, an optional
// exponent: the whole token, and a finite result.
bool parseValue(std::string_view token, double& value);

// Reads tokens from a stream, a line at a time (a token never spans lines, as
// the line feed is white space). A read that fails (end of input, or a token
// that is not of the asked kind) returns false.
class TokenReader {
 public:
  explicit TokenReader(std::istream& in) : in_(in) {}

  // A maximal run of non-white-space characters, of any length.
  bool readKey(std::string& key);
  bool readInteger(std::int32_t& value);
  // A header item: a key token and an integer.
  bool readHeaderItem(std::string& key, std::int32_t& value) {
    return readKey(key) && readInteger(value);
  }
  bool readColour(Colour& colour);
  bool readValue(double& value);
  // Reads characters until `count` double-quote characters have been seen;
  // false when the input ends first.
  bool skipQuoteCharacters(std::int64_t count);
  // Goes back to the start of the input and skips `count` whole lines.
  bool rewindAndSkipLines(int count);
  // The rest of the current line, without its line feed (nor a carriage
  // return before it); false at the end of the input.
  bool readLine(std::string& line);
  // The line the last item was read from (or the reader stopped at), from 1;
  // 0 before the first.
  int lineNumber() const { return lineNumber_; }

 private:
  bool nextLine();
  bool readToken();

  std::istream& in_;
  std::string line_;          // the current line, without its line feed
  std::size_t position_ = 0;  // how much of it has been read
  bool lineOpen_ = false;     // line_ is a line of the input not yet read whole
  std::string_view token_;    // the last token, within line_
  int lineNumber_ = 0;
};

// Reads tokens from a text held whole in memory, item for item as TokenReader
// reads them from a stream holding the same text (the line feed is white
// space, so a token never spans lines here either). The text must outlive the
// reader.
class TextReader {
 public:
  explicit TextReader(std::string_view text) : text_(text) {}

  bool readKey(std::string& key);
  bool readInteger(std::int32_t& value) { return readToken() && parseInteger(token_, value); }
  bool readHeaderItem(std::string& key, std::int32_t& value) {
    return readKey(key) && readInteger(value);
  }
  bool readColour(Colour& colour) {
    return readInteger(colour[0]) && readInteger(colour[1]) && readInteger(colour[2]);
  }
  bool readValue(double& value) { return readToken() && parseValue(token_, value); }
  // Reads a value and writes it into out[kValueTextCapacity] as formatValue
  // writes what readValue reads (the same text, most of it without going
  // through the double); returns its length, or 0 when readValue fails.
  std::size_t readValueFormatted(char* out);
  // Reads `count` values and writes each as readValueFormatted does, followed
  // by a tab, one after the other into out[count * kValueTextCapacity]; the
  // length written goes to `written`. False when a value cannot be read (what
  // was written of those before it stays).
  bool readValuesFormatted(std::size_t count, char* out, std::size_t& written);
  // Goes back to the start of the text and skips `count` whole lines (each
  // with its line feed).
  bool rewindAndSkipLines(int count);
  // The rest of the current line, without its line feed (nor a carriage
  // return before it); false at the end of the text.
  bool readLine(std::string_view& line);

 private:
  bool readToken() {
    const std::size_t size = text_.size();
    const char* text = text_.data();
    std::size_t position = position_;
    while (position < size && isSpace(static_cast<unsigned char>(text[position]))) ++position;
    if (position == size) {
      position_ = position;
      return false;
    }
    const std::size_t start = position;
    while (position < size && !isSpace(static_cast<unsigned char>(text[position]))) ++position;
    token_ = std::string_view(text + start, position - start);
    position_ = position;
    return true;
  }

  std::string_view text_;
  std::size_t position_ = 0;
  std::string_view token_;
};

// The names of a name line: the texts between pairs of double-quote
// characters, in order. An empty pair gives no name; text after an unpaired
// opening quote is ignored.
std::vector<std::string> takeQuotedNames(std::string_view line);

// Room for any value written by formatValue and the terminator.
constexpr std::size_t kValueTextCapacity = 32;
// The longest text the constant's value may take.
constexpr std::size_t kConstantTextLimit = 24;

// Writes `value` as "%g" does into out[kValueTextCapacity]; returns the length.
std::size_t formatValue(double value, char* out);
// Writes `value` as "%4.6lf" does into out[kConstantTextLimit + 1]; returns the
// length, or 0 (and an empty text) when it would be longer than
// kConstantTextLimit characters.
std::size_t formatConstant(double value, char* out);

// Composes design-matrix text in memory, as Writer writes it, for the caller
// to take in pieces of its choosing: text() is everything composed since the
// last clear(), whole lines and the line under way. Items are written straight
// into room kept at the end of the text.
class TextBuilder {
 public:
  // The room is left as it is: written before it is read.
  explicit TextBuilder(std::size_t capacity = 0) : room_(new char[capacity]), capacity_(capacity) {}

  void headerLine(std::string_view key, std::int64_t value);
  void emptyLine() { endLine(); }
  void colour(const Colour& colour);
  void name(std::string_view name);
  void value(double value) {
    char* at = room(kValueTextCapacity);
    const std::size_t length = formatValue(value, at);
    at[length] = '\t';
    used_ += length + 1;
  }
  // The next `count` values of `reader`, written as value() writes what it
  // reads; false when one cannot be read (the line under way is then left
  // incomplete).
  bool valuesFrom(TextReader& reader, std::size_t count);
  // The constant's value, the last item of its line; false when it cannot be
  // written within its limit (nothing is written then).
  bool constant(double value);
  void endLine() {
    *room(1) = '\n';
    ++used_;
  }
  // Text composed elsewhere, as it stands.
  void composed(std::string_view text);

  std::string_view text() const { return {room_.get(), used_}; }
  void clear() { used_ = 0; }
  // Drops the text's first `count` characters (taken elsewhere).
  void dropFront(std::size_t count) {
    std::memmove(room_.get(), room_.get() + count, used_ - count);
    used_ -= count;
  }

 private:
  // Room for `bytes` more characters after the text.
  char* room(std::size_t bytes) {
    if (capacity_ - used_ < bytes) grow(bytes);
    return room_.get() + used_;
  }
  void grow(std::size_t bytes);
  void integer(std::int64_t value);

  std::unique_ptr<char[]> room_;  // the text, then room for more
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;  // the length of the text
};

// Writes a design matrix line by line: a line is composed in memory and goes
// to the stream, flushed, when it ends. Line ends are written as "\n" (the
// stream's text mode makes them the platform's line end).
class Writer {
 public:
  explicit Writer(std::ostream& out) : out_(out) {}

  void headerLine(std::string_view key, std::int64_t value);
  void emptyLine() { endLine(); }
  void colour(const Colour& colour);
  void name(std::string_view name);
  void value(double value);
  // The constant's value, the last item of its line; false when it cannot be
  // written within its limit (nothing is written then).
  bool constant(double value);
  void endLine();

  bool good() const { return static_cast<bool>(out_); }

 private:
  std::ostream& out_;
  TextBuilder line_;
};

}  // namespace ppi::confounds::sdm
