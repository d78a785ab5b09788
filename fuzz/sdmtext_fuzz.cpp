// The design-matrix text reader: reads a design as the motion merge does (the
// header, the colours, the ninth line's names, the rows of values), writes what
// it read with the format's writer, and reads that back: the same items must
// come out, values as "%g" writes them. The reader over memory the merge uses
// must read every input as the stream reader does, its values read as text
// too: what it writes of a value must be what formatting the value writes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "formats/sdmtext.h"

namespace {

namespace sdm = ppi::confounds::sdm;

// Counts from a header are followed at most this far (reads end with the input anyway).
constexpr std::int64_t kItemLimit = 1 << 16;

struct Design {
  std::vector<std::pair<std::string, std::int32_t>> header;
  std::vector<sdm::Colour> colours;
  std::vector<std::string> names;
  std::vector<std::string> values;  // as formatValue writes them
  std::int64_t predictors = 0;
};

bool readLineOf(sdm::TokenReader& reader, std::string& line) { return reader.readLine(line); }
bool readLineOf(sdm::TextReader& reader, std::string& line) {
  std::string_view view;
  if (!reader.readLine(view)) return false;
  line.assign(view);
  return true;
}

// A value as formatValue writes it: read, then formatted, or read as text.
template <typename Reader>
std::size_t readFormatted(Reader& reader, bool /*asText*/, char* formatted) {
  double value = 0.0;
  return reader.readValue(value) ? sdm::formatValue(value, formatted) : 0;
}
std::size_t readFormatted(sdm::TextReader& reader, bool asText, char* formatted) {
  double value = 0.0;
  if (asText) return reader.readValueFormatted(formatted);
  return reader.readValue(value) ? sdm::formatValue(value, formatted) : 0;
}

template <typename Reader>
Design readDesignWith(Reader& reader, bool asText) {
  Design design;
  std::string key;
  std::int32_t number = 0;
  while (design.header.size() < 5 && reader.readHeaderItem(key, number)) {
    design.header.emplace_back(key, number);
  }
  if (design.header.size() < 5) return design;
  design.predictors = std::clamp<std::int64_t>(design.header[1].second, 0, kItemLimit);
  const std::int64_t rows = std::clamp<std::int64_t>(design.header[2].second, 0, kItemLimit);
  for (std::int64_t p = 0; p < design.predictors; ++p) {
    sdm::Colour colour{};
    if (!reader.readColour(colour)) break;
    design.colours.push_back(colour);
  }
  std::string line;
  if (!reader.rewindAndSkipLines(8) || !readLineOf(reader, line)) return design;
  design.names = sdm::takeQuotedNames(line);
  const std::int64_t values = std::min(design.predictors * rows, kItemLimit);
  for (std::int64_t i = 0; i < values; ++i) {
    char formatted[sdm::kValueTextCapacity];
    const std::size_t length = readFormatted(reader, asText, formatted);
    if (length == 0) break;
    design.values.emplace_back(formatted, length);
  }
  return design;
}

enum class Way { stream, memory, memoryAsText };

// Reads with the stream reader, or with the reader over memory.
Design readDesign(const std::string& text, Way way = Way::stream) {
  std::istringstream in(text);
  sdm::TokenReader streamReader(in);
  sdm::TextReader textReader(text);
  if (way == Way::stream) return readDesignWith(streamReader, false);
  return readDesignWith(textReader, way == Way::memoryAsText);
}

bool same(const Design& a, const Design& b) {
  return a.header == b.header && a.colours == b.colours && a.names == b.names &&
         a.values == b.values;
}

std::string writeDesign(const Design& design) {
  std::ostringstream out;
  sdm::Writer writer(out);
  for (std::size_t i = 0; i < design.header.size(); ++i) {
    writer.headerLine(design.header[i].first, design.header[i].second);
    if (i == 0 || i == 4) writer.emptyLine();
  }
  for (const sdm::Colour& colour : design.colours) writer.colour(colour);
  writer.endLine();
  for (const std::string& name : design.names) writer.name(name);
  writer.endLine();
  for (std::size_t i = 0; i < design.values.size(); ++i) {
    double value = 0.0;
    if (!sdm::parseValue(design.values[i], value)) std::abort();  // the writer's own text
    writer.value(value);
    if ((i + 1) % static_cast<std::size_t>(design.predictors) == 0) writer.endLine();
  }
  writer.endLine();
  return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Design design = readDesign(text);
  if (!same(readDesign(text, Way::memory), design)) std::abort();  // the merge's reader reads alike
  if (!same(readDesign(text, Way::memoryAsText), design)) std::abort();
  if (design.header.size() < 5 || design.names.empty()) return 0;
  const Design again = readDesign(writeDesign(design));
  if (!same(again, design)) std::abort();
  return 0;
}
