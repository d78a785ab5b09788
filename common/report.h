// The report of one command, for the dialog: a first line that says what the
// command did, with numbers, then one line per problem with its kind, where it
// is (list file and line, subject and time course, protocol, region), what
// happened and what to do. The log keeps its own lines; a step that fails
// returns its reason (common/outcome.h) and the caller adds where it happened.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ppi {

// The dialog's string parameters hold at most this many characters.
constexpr std::size_t kReportLimit = 4999;

class Report {
 public:
  enum class Kind { error, warning, note };

  // A finding: what kind it is, where it is, what happened and what to do;
  // `id` names the check that found it ("one-sided-contrast"), empty for a
  // problem no check names.
  struct Problem {
    Kind kind;
    std::string where;
    std::string what;
    std::string todo;
    std::string id;
  };

  void clear();

  // The first line; set once the command knows its numbers.
  void setSummary(std::string summary) { summary_ = std::move(summary); }
  const std::string& summary() const { return summary_; }

  void add(Kind kind, std::string where, std::string what, std::string todo = {});
  void add(Problem problem);
  void error(std::string where, std::string what, std::string todo = {}) {
    add(Kind::error, std::move(where), std::move(what), std::move(todo));
  }
  void warning(std::string where, std::string what, std::string todo = {}) {
    add(Kind::warning, std::move(where), std::move(what), std::move(todo));
  }
  void note(std::string where, std::string what, std::string todo = {}) {
    add(Kind::note, std::move(where), std::move(what), std::move(todo));
  }

  const std::vector<Problem>& problems() const { return problems_; }
  std::size_t count(Kind kind) const;

  // The report as the dialog gets it: the first line, then one line per problem
  // ("error: <where>: <what> <todo>"); lines that would pass `limit` characters
  // are replaced by "… N more problems; see the log".
  std::string text(std::size_t limit = kReportLimit) const;

  static std::string problemLine(const Problem& problem);

 private:
  std::string summary_;
  std::vector<Problem> problems_;
};

using Finding = Report::Problem;
using Severity = Report::Kind;

// "error", "warning", "note".
const char* severityName(Severity severity);

// The text after a path's last "/" or "\\" (the whole path without one), for
// naming a file in a report line.
std::string fileNameOf(std::string_view path);

// "N <word>s" with the plural only past one: counted("warning", 2) = "2 warnings".
std::string counted(std::size_t count, const char* word);

}  // namespace ppi
