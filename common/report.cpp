#include "common/report.h"

#include <algorithm>

namespace ppi {

const char* severityName(Report::Kind kind) {
  switch (kind) {
    case Report::Kind::error:
      return "error";
    case Report::Kind::warning:
      return "warning";
    case Report::Kind::note:
      return "note";
  }
  return "note";
}

namespace {

// A problem is one line of the report: trailing blanks and line feeds go,
// and line breaks inside become spaces.
std::string asOneLine(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  return line;
}

}  // namespace

void Report::clear() {
  summary_.clear();
  problems_.clear();
}

void Report::add(Kind kind, std::string where, std::string what, std::string todo) {
  add({kind, std::move(where), std::move(what), std::move(todo), {}});
}

void Report::add(Problem problem) {
  problem.what = asOneLine(std::move(problem.what));
  problems_.push_back(std::move(problem));
}

std::size_t Report::count(Kind kind) const {
  return static_cast<std::size_t>(std::count_if(
      problems_.begin(), problems_.end(), [kind](const Problem& p) { return p.kind == kind; }));
}

std::string Report::problemLine(const Problem& problem) {
  std::string line = severityName(problem.kind);
  line += ": ";
  if (!problem.where.empty()) line += problem.where + ": ";
  line += problem.what;
  if (!problem.todo.empty()) line += " " + problem.todo;
  return line;
}

std::string Report::text(std::size_t limit) const {
  std::string out = summary_.substr(0, limit);
  std::size_t whole = out.size();
  for (const Problem& problem : problems_) whole += 1 + problemLine(problem).size();
  const bool allFit = whole <= limit;
  for (std::size_t i = 0; i < problems_.size(); ++i) {
    const std::string line = "\n" + problemLine(problems_[i]);
    const std::size_t left = problems_.size() - i;
    // The tail that counts the remaining problems must fit whenever a line is
    // left out, so a line goes in only with room for the tail after it.
    const std::string tail = "\n… " + counted(left - 1, "more problem") + "; see the log";
    const bool last = left == 1;
    if (allFit || out.size() + line.size() + (last ? 0 : tail.size()) <= limit) {
      out += line;
      continue;
    }
    const std::string here = "\n… " + counted(left, "more problem") + "; see the log";
    if (out.size() + here.size() <= limit) out += here;
    break;
  }
  return out;
}

std::string fileNameOf(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string counted(std::size_t count, const char* word) {
  std::string text = std::to_string(count) + " " + word;
  if (count != 1) text += "s";
  return text;
}

}  // namespace ppi
