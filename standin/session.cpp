#include "standin/session.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "standin/script/guiscript.h"
#include "standin/textutil.h"

namespace standin {
namespace {

// Splits off the first word of `rest` (words are separated by blanks or tabs).
std::string takeWord(std::string& rest) {
  std::size_t begin = rest.find_first_not_of(" \t");
  if (begin == std::string::npos) {
    rest.clear();
    return {};
  }
  std::size_t end = rest.find_first_of(" \t", begin);
  std::string word = rest.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  rest = end == std::string::npos ? std::string() : rest.substr(end);
  std::size_t next = rest.find_first_not_of(" \t");
  rest = next == std::string::npos ? std::string() : rest.substr(next);
  return word;
}

// Texts of parameters and answers may hold \n (line feed), \t (tab), \s
// (blank, e.g. at the end of a line) and \\ (backslash).
bool unescape(const std::string& raw, std::string& text, std::string& why) {
  text.clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      text += raw[i];
      continue;
    }
    if (i + 1 == raw.size()) {
      why = "a backslash ends the line (write \\\\ for a backslash)";
      return false;
    }
    const char next = raw[++i];
    if (next == 'n') {
      text += '\n';
    } else if (next == 't') {
      text += '\t';
    } else if (next == 's') {
      text += ' ';
    } else if (next == '\\') {
      text += '\\';
    } else {
      why = std::string("unknown escape \\") + next;
      return false;
    }
  }
  return true;
}

std::string showText(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += c;
    }
  }
  return "\"" + shown + "\"";
}

// The arguments of a step, after its keyword, read from the left. A reader
// that finds what it reads missing or wrong returns false and says why.
class Arguments {
 public:
  explicit Arguments(std::string rest) : rest_(std::move(rest)) {}

  std::string why;

  // The next word.
  bool word(std::string& into, const std::string& what) {
    into = takeWord(rest_);
    if (into.empty()) why = "missing " + what;
    return !into.empty();
  }
  // The next word, if any.
  std::string optionalWord() { return takeWord(rest_); }
  // The rest of the line as written, which must not be empty.
  bool rest(std::string& into, const char* what) {
    into = rest_;
    if (rest_.empty()) why = std::string("missing ") + what;
    return !rest_.empty();
  }
  // The rest of the line as written, maybe empty.
  bool anyRest(std::string& into) {
    into = rest_;
    return true;
  }
  // The rest of the line with its escapes, maybe empty.
  bool escapedRest(std::string& into) { return unescape(rest_, into, why); }
  bool atEnd() const { return rest_.empty(); }
  bool noMore() {
    if (!rest_.empty()) why = "unexpected \"" + rest_ + "\" at the end";
    return rest_.empty();
  }
  // An integer, the last word.
  bool number(int& into) {
    std::string word;
    if (!this->word(word, "number")) return false;
    if (!parseInt(word, into)) {
      why = "\"" + word + "\" is not an integer";
      return false;
    }
    return noMore();
  }
  // `yes` or `no`, the last word; `flag` tells which.
  bool oneOf(const char* yes, const char* no, bool& flag) {
    std::string word;
    if (!this->word(word, std::string(yes) + " or " + no)) return false;
    if (word != yes && word != no) {
      why = "expected " + std::string(yes) + " or " + no + ", not \"" + word + "\"";
      return false;
    }
    flag = word == yes;
    return noMore();
  }

 private:
  std::string rest_;
};

// A session being played: where its steps act, and how it went so far.
struct Player {
  HostModel& model;
  const std::function<bool()>& execute;
  std::ostream& out;
  const SessionGui* gui;
  SessionResult result;

  void problem(const SessionStep& step, const std::string& what) {
    std::string line = "line " + std::to_string(step.line) + ": " + what;
    out << "[session] " << line << "\n";
    result.problems.push_back(line);
  }
  void failedCheck(const SessionStep& step, const std::string& what) {
    ++result.failedChecks;
    problem(step, what);
  }
};

// The gui step's actions: the action's word, how its arguments are read (into
// the step's target and text), and what it does to the dialog: false, with the
// script's error(), when the dialog refuses it or the script fails. Every
// action but show acts on the dialog.
struct GuiAction {
  const char* name;
  bool (*parse)(Arguments& arguments, SessionStep& step);
  bool (*run)(Player& player, const SessionStep& step);
  bool acts;
};

// Prints a user action on a control, then gives the script to act on.
script::GuiScript& echoed(Player& p, const SessionStep& s) {
  p.out << "[gui] " << s.name << " " << s.target;
  if (!s.text.empty()) p.out << " " << showText(s.text);
  p.out << "\n";
  return *p.gui->script;
}

bool controlOnly(Arguments& a, SessionStep& s) { return a.word(s.target, "control") && a.noMore(); }

const GuiAction kGuiActions[] = {
    {"open", [](Arguments& a, SessionStep&) { return a.noMore(); },
     [](Player& p, const SessionStep&) {
       p.out << "[gui] open " << p.gui->scriptPath << "\n";
       return p.gui->script->loadFile(p.gui->scriptPath);
     },
     true},
    {"show", [](Arguments& a, SessionStep&) { return a.noMore(); },
     [](Player& p, const SessionStep&) {
       std::istringstream rendered(p.gui->script->render());
       for (std::string line; std::getline(rendered, line);) p.out << "[gui] " << line << "\n";
       return true;
     },
     false},
    {"click", &controlOnly,
     [](Player& p, const SessionStep& s) { return echoed(p, s).click(s.target); }, true},
    {"tick", &controlOnly,
     [](Player& p, const SessionStep& s) { return echoed(p, s).setChecked(s.target, true); }, true},
    {"untick", &controlOnly,
     [](Player& p, const SessionStep& s) { return echoed(p, s).setChecked(s.target, false); },
     true},
    {"choose",
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "control") && a.rest(s.text, "option");
     },
     [](Player& p, const SessionStep& s) { return echoed(p, s).choose(s.target, s.text); }, true},
    {"type",
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "control") && a.escapedRest(s.text);
     },
     [](Player& p, const SessionStep& s) { return echoed(p, s).type(s.target, s.text); }, true},
    {"move",
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "list") && a.rest(s.text, "item");
     },
     [](Player& p, const SessionStep& s) { return echoed(p, s).moveItem(s.text, s.target); }, true},
};

const GuiAction* findGuiAction(const std::string& name) {
  for (const GuiAction& action : kGuiActions) {
    if (name == action.name) return &action;
  }
  return nullptr;
}

bool parseGuiStep(Arguments& a, SessionStep& s) {
  if (!a.word(s.name, "GUI action")) return false;
  if (const GuiAction* action = findGuiAction(s.name)) return action->parse(a, s);
  a.why = "unknown GUI action \"" + s.name + "\" (";
  for (const GuiAction& action : kGuiActions) {
    a.why += std::string(&action == kGuiActions ? "" : ", ") + action.name;
  }
  a.why += ")";
  return false;
}

void runGuiStep(Player& p, const SessionStep& s) {
  if (p.gui == nullptr || p.gui->script == nullptr) {
    p.failedCheck(s, "this host runs no GUI script");
    return;
  }
  const GuiAction* action = findGuiAction(s.name);
  if (action == nullptr) {
    p.failedCheck(s, "unknown GUI action \"" + s.name + "\"");
  } else if (!action->run(p, s)) {
    p.failedCheck(s, "gui " + s.name + ": " + p.gui->script->error());
  } else if (action->acts) {
    ++p.result.guiActions;
  }
}

void runCommand(Player& p, const SessionStep& s) {
  p.out << "[session] command " << s.name << "\n";
  p.model.stringParameters["Command"] = s.name;
  const bool returned = p.execute();
  ++p.result.commands;
  const char* expected = s.flag ? "true" : "false";
  if (returned == s.flag) {
    p.out << "[session] " << s.name << " returned " << expected << ", as expected\n";
  } else {
    ++p.result.mismatches;
    p.problem(s, s.name + " returned " + (returned ? "true" : "false") + ", expected " + expected);
  }
}

void expectInt(Player& p, const SessionStep& s) {
  auto found = p.model.intParameters.find(s.name);
  if (found == p.model.intParameters.end() || found->second != s.number) {
    p.failedCheck(s, "int parameter " + s.name + " is " +
                         (found == p.model.intParameters.end() ? std::string("not set")
                                                               : std::to_string(found->second)) +
                         ", expected " + std::to_string(s.number));
  }
}

void expectString(Player& p, const SessionStep& s) {
  auto found = p.model.stringParameters.find(s.name);
  if (found == p.model.stringParameters.end() || found->second != s.text) {
    p.failedCheck(s, "string parameter " + s.name + " is " +
                         (found == p.model.stringParameters.end() ? std::string("not set")
                                                                  : showText(found->second)) +
                         ", expected " + showText(s.text));
  }
}

// A list the plug-in published in parts ("NAME", "NAME-2", ... counted by
// "NAME-parts") joined by line feeds; a parameter without parts as it is.
std::string wholeList(const HostModel& model, const std::string& name, const std::string& first) {
  auto count = model.intParameters.find(name + "-parts");
  std::string list = first;
  for (int k = 2; count != model.intParameters.end() && k <= count->second; ++k) {
    auto part = model.stringParameters.find(name + "-" + std::to_string(k));
    list += "\n" + (part != model.stringParameters.end() ? part->second : std::string());
  }
  return list;
}

void writeString(Player& p, const SessionStep& s) {
  auto found = p.model.stringParameters.find(s.name);
  if (found == p.model.stringParameters.end()) {
    p.failedCheck(s, "string parameter " + s.name + " is not set");
    return;
  }
  std::ofstream file(s.text);
  file << wholeList(p.model, s.name, found->second) << "\n";
  file.close();
  if (!file) {
    p.failedCheck(s, "cannot write " + s.text);
  } else {
    p.out << "[session] " << s.name << " written to " << s.text << "\n";
  }
}

void expectFile(Player& p, const SessionStep& s) {
  std::ifstream file(s.target);
  std::ostringstream content;
  content << file.rdbuf();
  if (!file) {
    p.failedCheck(s, "file " + s.target + " cannot be read");
  } else if (content.str() != s.text) {
    p.failedCheck(s, "file " + s.target + " holds " + showText(content.str()) + ", expected " +
                         showText(s.text));
  }
}

void expectAbsent(Player& p, const SessionStep& s) {
  std::ifstream file(s.target);
  if (file.is_open()) p.failedCheck(s, "file " + s.target + " exists, expected none");
}

// Writes the text as it stands, without a line feed of its own.
void writeFile(Player& p, const SessionStep& s) {
  std::ofstream file(s.target, std::ios::binary);
  file << s.text;
  file.close();
  if (!file) p.failedCheck(s, "cannot write " + s.target);
}

// Copies a file, making the target's folder first.
void copyFile(Player& p, const SessionStep& s) {
  std::error_code error;
  const std::filesystem::path target(s.text);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), error);
  std::filesystem::copy_file(s.target, target, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (error) p.failedCheck(s, "cannot copy " + s.target + " to " + s.text);
}

// Removes a file (one the user deletes by hand); none there is a failed check.
void removeFile(Player& p, const SessionStep& s) {
  std::error_code error;
  if (!std::filesystem::remove(s.target, error)) p.failedCheck(s, "cannot remove " + s.target);
}

// A string parameter holds the text as one of its lines.
void expectLine(Player& p, const SessionStep& s) {
  auto found = p.model.stringParameters.find(s.name);
  if (found == p.model.stringParameters.end()) {
    p.failedCheck(s, "string parameter " + s.name + " is not set");
    return;
  }
  std::istringstream lines(found->second);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == s.text) return;
  }
  p.failedCheck(s, "string parameter " + s.name + " has no line " + showText(s.text) + "; it is " +
                       showText(found->second));
}

std::deque<DialogAnswer>& answersToCancel(HostModel& model, const std::string& dialog) {
  if (dialog == "open-file") return model.openFileAnswers;
  if (dialog == "save-file") return model.saveFileAnswers;
  return model.textAnswers;
}

// The session language: each step's keyword, the kind of step it makes, how
// its arguments are read into the step, and what the step does when played.
struct StepType {
  const char* keyword;
  StepKind kind;
  bool (*parse)(Arguments& arguments, SessionStep& step);
  void (*run)(Player& player, const SessionStep& step);
};

const StepType kStepTypes[] = {
    {"int", StepKind::setInt,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.number(s.number);
     },
     [](Player& p, const SessionStep& s) { p.model.intParameters[s.name] = s.number; }},
    {"string", StepKind::setString,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.escapedRest(s.text);
     },
     [](Player& p, const SessionStep& s) { p.model.stringParameters[s.name] = s.text; }},
    {"open-file", StepKind::openFile,
     [](Arguments& a, SessionStep& s) { return a.rest(s.text, "path"); },
     [](Player& p, const SessionStep& s) {
       p.model.openFileAnswers.push_back({true, s.text});
     }},
    {"save-file", StepKind::saveFile,
     [](Arguments& a, SessionStep& s) { return a.rest(s.text, "path"); },
     [](Player& p, const SessionStep& s) {
       p.model.saveFileAnswers.push_back({true, s.text});
     }},
    {"text", StepKind::text, [](Arguments& a, SessionStep& s) { return a.escapedRest(s.text); },
     [](Player& p, const SessionStep& s) {
       p.model.textAnswers.push_back({true, s.text});
     }},
    {"cancel", StepKind::cancel,
     [](Arguments& a, SessionStep& s) {
       if (!a.word(s.name, "dialog (open-file, save-file or text)")) return false;
       if (s.name != "open-file" && s.name != "save-file" && s.name != "text") {
         a.why = "can cancel open-file, save-file or text, not \"" + s.name + "\"";
         return false;
       }
       return a.noMore();
     },
     [](Player& p, const SessionStep& s) {
       answersToCancel(p.model, s.name).push_back({false, std::string()});
     }},
    {"integer", StepKind::integer, [](Arguments& a, SessionStep& s) { return a.number(s.number); },
     [](Player& p, const SessionStep& s) { p.model.integerAnswers.push_back(s.number); }},
    {"answer", StepKind::answer,
     [](Arguments& a, SessionStep& s) { return a.oneOf("yes", "no", s.flag); },
     [](Player& p, const SessionStep& s) { p.model.yesNoAnswers.push_back(s.flag); }},
    {"vmr", StepKind::vmr,
     [](Arguments& a, SessionStep& s) { return a.oneOf("open", "closed", s.flag); },
     [](Player& p, const SessionStep& s) {
       p.model.vmrOpen = s.flag;
       p.out << "[session] VMR " << (s.flag ? "open" : "closed") << "\n";
     }},
    {"command", StepKind::command,
     [](Arguments& a, SessionStep& s) {
       s.flag = true;
       if (!a.word(s.name, "command name")) return false;
       if (a.atEnd()) return true;
       if (a.optionalWord() != "expect") {
         a.why = "expected \"expect true\" or \"expect false\" after the command name";
         return false;
       }
       return a.oneOf("true", "false", s.flag);
     },
     &runCommand},
    {"expect-int", StepKind::expectInt,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.number(s.number);
     },
     &expectInt},
    {"expect-string", StepKind::expectString,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.escapedRest(s.text);
     },
     &expectString},
    {"write-string", StepKind::writeString,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.rest(s.text, "file path");
     },
     &writeString},
    {"expect-file", StepKind::expectFile,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "file path") && a.escapedRest(s.text);
     },
     &expectFile},
    {"expect-absent", StepKind::expectAbsent,
     [](Arguments& a, SessionStep& s) { return a.word(s.target, "file path") && a.noMore(); },
     &expectAbsent},
    {"write-file", StepKind::writeFile,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "file path") && a.escapedRest(s.text);
     },
     &writeFile},
    {"copy-file", StepKind::copyFile,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.target, "file path") && a.escapedRest(s.text);
     },
     &copyFile},
    {"remove-file", StepKind::removeFile,
     [](Arguments& a, SessionStep& s) { return a.word(s.target, "file path") && a.noMore(); },
     &removeFile},
    {"expect-line", StepKind::expectLine,
     [](Arguments& a, SessionStep& s) {
       return a.word(s.name, "parameter name") && a.escapedRest(s.text);
     },
     &expectLine},
    {"say", StepKind::say, [](Arguments& a, SessionStep& s) { return a.anyRest(s.text); },
     [](Player& p, const SessionStep& s) { p.out << "[session] " << s.text << "\n"; }},
    {"gui", StepKind::gui, &parseGuiStep, &runGuiStep},
};

bool parseStep(std::string line, SessionStep& step, std::string& why) {
  const std::string keyword = takeWord(line);
  for (const StepType& type : kStepTypes) {
    if (keyword != type.keyword) continue;
    step.kind = type.kind;
    Arguments arguments(line);
    const bool parsed = type.parse(arguments, step);
    if (!parsed) why = arguments.why;
    return parsed;
  }
  why = "unknown step \"" + keyword + "\"";
  return false;
}

}  // namespace

std::optional<std::vector<SessionStep>> parseSession(const std::string& text, std::string* error) {
  std::vector<SessionStep> steps;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t last = line.find_last_not_of(" \t");
    line = last == std::string::npos ? std::string() : line.substr(0, last + 1);
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    SessionStep step;
    step.line = number;
    std::string why;
    if (!parseStep(line.substr(first), step, why)) {
      if (error != nullptr) *error = "line " + std::to_string(number) + ": " + why;
      return std::nullopt;
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

std::optional<std::vector<SessionStep>> readSessionFile(const std::string& path,
                                                        std::string* error) {
  std::ifstream in(path);
  if (!in) {
    if (error != nullptr) *error = "cannot open " + path;
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  auto steps = parseSession(content.str(), error);
  if (!steps && error != nullptr) *error = path + " " + *error;
  return steps;
}

SessionResult runSession(const std::vector<SessionStep>& steps, HostModel& model,
                         const std::function<bool()>& execute, std::ostream& out,
                         const SessionGui* gui) {
  Player player{model, execute, out, gui, SessionResult()};
  for (const SessionStep& step : steps) {
    for (const StepType& type : kStepTypes) {
      if (type.kind == step.kind) type.run(player, step);
    }
  }
  SessionResult& result = player.result;
  result.unusedAnswers = static_cast<int>(model.openFileAnswers.size() +
                                          model.saveFileAnswers.size() + model.textAnswers.size() +
                                          model.integerAnswers.size() + model.yesNoAnswers.size());
  if (result.unusedAnswers > 0) {
    std::string line = std::to_string(result.unusedAnswers) +
                       " queued answer(s) were never asked for: the session and the plug-in "
                       "went different ways";
    out << "[session] " << line << "\n";
    result.problems.push_back(line);
  }
  return result;
}

}  // namespace standin
