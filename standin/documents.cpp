#include "standin/documents.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "standin/bids.h"
#include "standin/nifti.h"
#include "standin/textutil.h"

namespace standin {
namespace {

constexpr const char* kTimeCourseMagic = "TYNK-TIMECOURSE";
constexpr const char* kProtocolMagic = "TYNK-PROTOCOL";
constexpr const char* kRegionsMagic = "TYNK-REGIONS";
constexpr int kFormatVersion = 1;
constexpr int kHeaderLineLimit = 64;  // a time-course header is a handful of lines

bool parseDouble(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// Splits a line at blanks and tabs; a field that starts with a double quote
// runs to the next double quote and may hold blanks (the quotes are dropped).
bool splitFields(const std::string& line, std::vector<std::string>& fields, std::string& why) {
  fields.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      std::size_t close = line.find('"', i + 1);
      if (close == std::string::npos) {
        why = "a quoted name has no closing quote";
        return false;
      }
      fields.push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    std::size_t end = line.find_first_of(" \t", i);
    if (end == std::string::npos) end = line.size();
    fields.push_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

// The lines of a text document, with comments ("#" first) and blank lines left
// out, each with its line number.
struct TextLine {
  int number = 0;
  std::vector<std::string> fields;
};

bool readTextDocument(const std::string& path, const char* magic, std::vector<TextLine>& lines,
                      std::string* error) {
  std::ifstream in(path);
  if (!in) return fail(error, "cannot open " + path);
  int number = 0;
  bool sawMagic = false;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    TextLine parsed{number, {}};
    std::string why;
    if (!splitFields(line, parsed.fields, why)) {
      return fail(error, path + " line " + std::to_string(number) + ": " + why);
    }
    if (parsed.fields.empty() || parsed.fields[0][0] == '#') continue;
    if (!sawMagic) {
      std::int32_t version = 0;
      if (parsed.fields.size() != 2 || parsed.fields[0] != magic ||
          !parseInt(parsed.fields[1], version)) {
        return fail(error, path + ": not a " + magic + " file");
      }
      if (version != kFormatVersion) {
        return fail(error, path + ": format version " + parsed.fields[1] + " is not supported");
      }
      sawMagic = true;
      continue;
    }
    lines.push_back(std::move(parsed));
  }
  if (!sawMagic) return fail(error, path + ": not a " + std::string(magic) + " file");
  return true;
}

std::string at(const std::string& path, const TextLine& line) {
  return path + " line " + std::to_string(line.number) + ": ";
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// A name is written between double quotes, so it cannot hold one (nor a line end).
bool writableName(const std::string& name) {
  return !name.empty() && name.find_first_of("\"\r\n") == std::string::npos;
}

std::size_t cellCount(const TimeCourse& tc) {
  return static_cast<std::size_t>(tc.dimX()) * static_cast<std::size_t>(tc.dimY()) *
         static_cast<std::size_t>(tc.dimZ());
}

bool validGrid(const TimeCourse& tc, std::string& why) {
  if (tc.nrOfVolumes < 1) {
    why = "the number of volumes must be at least 1";
  } else if (tc.resolution < 1) {
    why = "the resolution must be at least 1";
  } else if (tc.dimX() < 1 || tc.dimY() < 1 || tc.dimZ() < 1) {
    why = "the grid is empty (each end must exceed its start by the resolution at least)";
  } else if (!(tc.repetitionTimeMs > 0.0)) {
    why = "the repetition time must be positive";
  } else if (cellCount(tc) * static_cast<std::size_t>(tc.nrOfVolumes) > (std::size_t{1} << 31)) {
    why = "the time course is too large";
  } else {
    return true;
  }
  return false;
}

// Writes the whole content at once, as bytes (line ends stay LF everywhere).
bool writeWholeFile(const std::string& path, const std::string& content, std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) return fail(error, "cannot write " + path);
  return true;
}

void putLittleEndian(std::string& out, std::uint32_t bits, int bytes) {
  for (int b = 0; b < bytes; ++b) out.push_back(static_cast<char>((bits >> (8 * b)) & 0xFF));
}

std::uint32_t getLittleEndian(const unsigned char* in, int bytes) {
  std::uint32_t bits = 0;
  for (int b = 0; b < bytes; ++b) bits |= static_cast<std::uint32_t>(in[b]) << (8 * b);
  return bits;
}

}  // namespace

// --- time course -------------------------------------------------------------

bool writeTimeCourseFile(const std::string& path, const TimeCourse& tc, std::string* error) {
  std::string why;
  if (!validGrid(tc, why)) return fail(error, why);
  const bool int16 = tc.dataType == 1;
  const std::size_t samples = cellCount(tc) * static_cast<std::size_t>(tc.nrOfVolumes);
  if ((int16 ? tc.intSamples.size() : tc.floatSamples.size()) != samples) {
    return fail(error, "the number of samples does not fill the grid");
  }
  if (tc.linkedProtocol.find_first_of("\r\n") != std::string::npos) {
    return fail(error, "the protocol path holds a line end");
  }
  std::ostringstream header;
  header << kTimeCourseMagic << ' ' << kFormatVersion << '\n'
         << "volumes " << tc.nrOfVolumes << '\n'
         << "grid " << tc.xStart << ' ' << tc.xEnd << ' ' << tc.yStart << ' ' << tc.yEnd << ' '
         << tc.zStart << ' ' << tc.zEnd << ' ' << tc.resolution << '\n';
  char number[64];
  std::snprintf(number, sizeof number, "%.17g", tc.repetitionTimeMs);
  header << "repetition-time " << number << '\n'
         << "samples " << (int16 ? "int16" : "float32") << '\n';
  if (!tc.linkedProtocol.empty()) header << "protocol " << tc.linkedProtocol << '\n';
  header << "data\n";
  std::string body = header.str();
  body.reserve(body.size() + samples * (int16 ? 2 : 4));
  for (std::size_t i = 0; i < samples; ++i) {
    if (int16) {
      putLittleEndian(body, static_cast<std::uint16_t>(tc.intSamples[i]), 2);
    } else {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &tc.floatSamples[i], sizeof bits);
      putLittleEndian(body, bits, 4);
    }
  }
  return writeWholeFile(path, body, error);
}

std::optional<TimeCourse> readTimeCourseFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return failed<TimeCourse>(error, "cannot open " + path);
  TimeCourse tc;
  bool haveVolumes = false, haveGrid = false, haveTime = false, haveSamples = false;
  bool sawData = false;
  std::string line;
  for (int number = 1; number <= kHeaderLineLimit && std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f;
    std::string why;
    const std::string where = path + " line " + std::to_string(number) + ": ";
    if (number == 1) {
      if (line != std::string(kTimeCourseMagic) + " " + std::to_string(kFormatVersion)) {
        return failed<TimeCourse>(error, path + ": not a " + kTimeCourseMagic + " " +
                                             std::to_string(kFormatVersion) + " file");
      }
      continue;
    }
    if (line == "data") {
      sawData = true;
      break;
    }
    if (line.rfind("protocol ", 0) == 0) {  // the rest of the line is the path
      tc.linkedProtocol = line.substr(9);
      continue;
    }
    splitFields(line, f, why);
    auto ints = [&](std::size_t count, std::vector<std::int32_t*> into) {
      if (f.size() != count + 1) return false;
      for (std::size_t k = 0; k < count; ++k) {
        if (!parseInt(f[k + 1], *into[k])) return false;
      }
      return true;
    };
    bool ok = false;
    if (f.empty()) {
      why = "empty line in the header";
    } else if (f[0] == "volumes") {
      ok = haveVolumes = ints(1, {&tc.nrOfVolumes});
    } else if (f[0] == "grid") {
      ok = haveGrid = ints(
          7, {&tc.xStart, &tc.xEnd, &tc.yStart, &tc.yEnd, &tc.zStart, &tc.zEnd, &tc.resolution});
    } else if (f[0] == "repetition-time") {
      ok = haveTime = f.size() == 2 && parseDouble(f[1], tc.repetitionTimeMs);
    } else if (f[0] == "samples") {
      ok = haveSamples = f.size() == 2 && (f[1] == "int16" || f[1] == "float32");
      if (ok) tc.dataType = f[1] == "int16" ? 1 : 2;
    } else {
      why = "unknown header item \"" + f[0] + "\"";
    }
    if (!ok) return failed<TimeCourse>(error, where + (why.empty() ? "cannot read " + f[0] : why));
  }
  if (!sawData) return failed<TimeCourse>(error, path + ": the header has no \"data\" line");
  if (!haveVolumes || !haveGrid || !haveTime || !haveSamples) {
    return failed<TimeCourse>(error, path +
                                         ": the header lacks volumes, grid, "
                                         "repetition-time or samples");
  }
  std::string why;
  if (!validGrid(tc, why)) return failed<TimeCourse>(error, path + ": " + why);
  const std::size_t samples = cellCount(tc) * static_cast<std::size_t>(tc.nrOfVolumes);
  const int width = tc.dataType == 1 ? 2 : 4;
  std::vector<unsigned char> raw(samples * static_cast<std::size_t>(width));
  in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  if (static_cast<std::size_t>(in.gcount()) != raw.size()) {
    return failed<TimeCourse>(error, path + ": the file ends before the last sample");
  }
  if (in.peek() != std::char_traits<char>::eof()) {
    return failed<TimeCourse>(error, path + ": there is data after the last sample");
  }
  if (tc.dataType == 1) {
    tc.intSamples.resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
      tc.intSamples[i] = static_cast<std::int16_t>(getLittleEndian(&raw[i * 2], 2));
    }
  } else {
    tc.floatSamples.resize(samples);
    for (std::size_t i = 0; i < samples; ++i) {
      std::uint32_t bits = getLittleEndian(&raw[i * 4], 4);
      std::memcpy(&tc.floatSamples[i], &bits, sizeof bits);
    }
  }
  return tc;
}

// --- protocol ----------------------------------------------------------------

bool writeProtocolFile(const std::string& path, const Protocol& protocol, std::string* error) {
  std::ostringstream out;
  out << kProtocolMagic << ' ' << kFormatVersion << '\n';
  for (const Condition& condition : protocol.conditions) {
    if (!writableName(condition.name)) {
      return fail(error, "condition name " + quoted(condition.name) + " cannot be written");
    }
    out << "condition " << quoted(condition.name);
    for (const auto& interval : condition.intervals) {
      if (interval.first < 1 || interval.second < interval.first) {
        return fail(error, "condition " + quoted(condition.name) + " has an invalid interval");
      }
      out << ' ' << interval.first << '-' << interval.second;
    }
    out << '\n';
  }
  return writeWholeFile(path, out.str(), error);
}

std::optional<Protocol> readProtocolFile(const std::string& path, std::string* error) {
  std::vector<TextLine> lines;
  if (!readTextDocument(path, kProtocolMagic, lines, error)) return std::nullopt;
  Protocol protocol;
  for (const TextLine& line : lines) {
    const auto& f = line.fields;
    if (f[0] != "condition" || f.size() < 2 || f[1].empty()) {
      return failed<Protocol>(error,
                              at(path, line) + "expected: condition \"name\" first-last ...");
    }
    Condition condition{f[1], {}};
    for (std::size_t k = 2; k < f.size(); ++k) {
      const std::size_t dash = f[k].find('-', 1);
      std::int32_t first = 0, last = 0;
      if (dash == std::string::npos || !parseInt(f[k].substr(0, dash), first) ||
          !parseInt(f[k].substr(dash + 1), last) || first < 1 || last < first) {
        return failed<Protocol>(error, at(path, line) + "interval \"" + f[k] +
                                           "\" is not first-last with 1 <= first <= last");
      }
      condition.intervals.emplace_back(first, last);
    }
    protocol.conditions.push_back(std::move(condition));
  }
  return protocol;
}

// --- region file -------------------------------------------------------------

bool writeRegionFile(const std::string& path, const RegionFile& regions, std::string* error) {
  std::ostringstream out;
  out << kRegionsMagic << ' ' << kFormatVersion << '\n'
      << "coordinates " << regions.coordinateSystem << '\n';
  for (const Region& region : regions.regions) {
    if (!writableName(region.name)) {
      return fail(error, "region name " + quoted(region.name) + " cannot be written");
    }
    out << "region " << quoted(region.name) << ' ' << region.voxels.size() << '\n';
    for (const auto& v : region.voxels) out << v[0] << ' ' << v[1] << ' ' << v[2] << '\n';
  }
  return writeWholeFile(path, out.str(), error);
}

std::optional<RegionFile> readRegionFile(const std::string& path, std::string* error) {
  std::vector<TextLine> lines;
  if (!readTextDocument(path, kRegionsMagic, lines, error)) return std::nullopt;
  RegionFile file;
  std::size_t i = 0;
  if (lines.empty() || lines[0].fields.size() != 2 || lines[0].fields[0] != "coordinates" ||
      !parseInt(lines[0].fields[1], file.coordinateSystem)) {
    return failed<RegionFile>(error, path + ": the first item must be: coordinates <code>");
  }
  for (i = 1; i < lines.size();) {
    const auto& f = lines[i].fields;
    std::int32_t count = 0;
    if (f.size() != 3 || f[0] != "region" || f[1].empty() || !parseInt(f[2], count) || count < 0) {
      return failed<RegionFile>(error,
                                at(path, lines[i]) + "expected: region \"name\" voxel-count");
    }
    Region region{f[1], {}};
    ++i;
    for (std::int32_t v = 0; v < count; ++v, ++i) {
      if (i >= lines.size()) {
        return failed<RegionFile>(error, path + ": region " + quoted(region.name) + " has " +
                                             std::to_string(v) + " of its " +
                                             std::to_string(count) + " voxels");
      }
      const auto& c = lines[i].fields;
      std::array<std::int32_t, 3> voxel{};
      if (c.size() != 3 || !parseInt(c[0], voxel[0]) || !parseInt(c[1], voxel[1]) ||
          !parseInt(c[2], voxel[2])) {
        return failed<RegionFile>(error, at(path, lines[i]) + "expected three integer coordinates");
      }
      region.voxels.push_back(voxel);
    }
    file.regions.push_back(std::move(region));
  }
  return file;
}

// --- the host's loaders --------------------------------------------------------

void useDocumentFiles(HostModel& model, std::function<void(const std::string&)> onProblem,
                      std::function<void(const std::string&)> onWarning) {
  auto report = [onProblem](const std::string& why) {
    if (onProblem) onProblem(why);
  };
  model.timeCourseLoader = [report, onWarning](const std::string& path) {
    std::string why;
    std::vector<std::string> warnings;
    auto loaded = isNiftiPath(path) ? readNiftiTimeCourse(path, &why, &warnings)
                                    : readTimeCourseFile(path, &why);
    if (!loaded) report(why);
    for (const std::string& warning : warnings) {
      if (onWarning) onWarning(warning);
    }
    return loaded;
  };
  // An events file is converted in the linked time course's volumes, with
  // the conditions in order of first appearance.
  model.protocolLoader = [report, onWarning](const std::string& path,
                                             const TimeCourse* linked) -> std::optional<Protocol> {
    std::string why;
    if (endsWith(path, ".tsv")) {
      auto events = linked != nullptr
                        ? protocolFromEvents(path, linked->repetitionTimeMs, linked->nrOfVolumes,
                                             {}, &why)
                        : std::nullopt;
      if (linked == nullptr) why = path + ": an events file needs the time course linked first";
      if (!events) {
        report(why);
        return std::nullopt;
      }
      for (const std::string& note : events->notes) {
        if (onWarning) onWarning(note);
      }
      return events->protocol;
    }
    auto loaded = readProtocolFile(path, &why);
    if (!loaded) report(why);
    return loaded;
  };
  model.regionFileLoader = [report](const std::string& path, const TimeCourse* linked) {
    std::string why;
    auto loaded = isNiftiPath(path) ? regionsFromLabelImage(path, linked, &why)
                                    : readRegionFile(path, &why);
    if (!loaded) report(why);
    return loaded;
  };
}

}  // namespace standin
