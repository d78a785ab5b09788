#include "standin/session.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "standin/script/guiscript.h"

namespace standin {
namespace {

bool parseInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

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

bool parseStep(std::string rest, SessionStep& step, std::string& why) {
  const std::string keyword = takeWord(rest);
  auto needWord = [&](std::string& into, const char* what) {
    into = takeWord(rest);
    if (into.empty()) why = std::string("missing ") + what;
    return !into.empty();
  };
  auto needRest = [&](const char* what) {
    step.text = rest;
    if (rest.empty()) why = std::string("missing ") + what;
    return !rest.empty();
  };
  auto noMore = [&]() {
    if (!rest.empty()) why = "unexpected \"" + rest + "\" at the end";
    return rest.empty();
  };
  auto escapedRest = [&]() { return unescape(rest, step.text, why); };
  auto oneOf = [&](const char* yes, const char* no) {
    std::string word;
    if (!needWord(word, (std::string(yes) + " or " + no).c_str())) return false;
    if (word != yes && word != no) {
      why = "expected " + std::string(yes) + " or " + no + ", not \"" + word + "\"";
      return false;
    }
    step.flag = word == yes;
    return noMore();
  };
  auto number = [&]() {
    std::string word;
    if (!needWord(word, "number")) return false;
    if (!parseInt(word, step.number)) {
      why = "\"" + word + "\" is not an integer";
      return false;
    }
    return noMore();
  };

  if (keyword == "int") {
    step.kind = StepKind::setInt;
    return needWord(step.name, "parameter name") && number();
  }
  if (keyword == "string") {
    step.kind = StepKind::setString;
    return needWord(step.name, "parameter name") && escapedRest();
  }
  if (keyword == "open-file" || keyword == "save-file") {
    step.kind = keyword == "open-file" ? StepKind::openFile : StepKind::saveFile;
    return needRest("path");
  }
  if (keyword == "text") {
    step.kind = StepKind::text;
    return escapedRest();
  }
  if (keyword == "cancel") {
    step.kind = StepKind::cancel;
    if (!needWord(step.name, "dialog (open-file, save-file or text)")) return false;
    if (step.name != "open-file" && step.name != "save-file" && step.name != "text") {
      why = "can cancel open-file, save-file or text, not \"" + step.name + "\"";
      return false;
    }
    return noMore();
  }
  if (keyword == "integer") {
    step.kind = StepKind::integer;
    return number();
  }
  if (keyword == "answer") {
    step.kind = StepKind::answer;
    return oneOf("yes", "no");
  }
  if (keyword == "vmr") {
    step.kind = StepKind::vmr;
    return oneOf("open", "closed");
  }
  if (keyword == "command") {
    step.kind = StepKind::command;
    step.flag = true;
    if (!needWord(step.name, "command name")) return false;
    if (rest.empty()) return true;
    std::string word = takeWord(rest);
    if (word != "expect") {
      why = "expected \"expect true\" or \"expect false\" after the command name";
      return false;
    }
    return oneOf("true", "false");
  }
  if (keyword == "expect-int") {
    step.kind = StepKind::expectInt;
    return needWord(step.name, "parameter name") && number();
  }
  if (keyword == "expect-string") {
    step.kind = StepKind::expectString;
    return needWord(step.name, "parameter name") && escapedRest();
  }
  if (keyword == "write-string") {
    step.kind = StepKind::writeString;
    return needWord(step.name, "parameter name") && needRest("file path");
  }
  if (keyword == "expect-file") {
    step.kind = StepKind::expectFile;
    return needWord(step.target, "file path") && escapedRest();
  }
  if (keyword == "gui") {
    step.kind = StepKind::gui;
    if (!needWord(step.name, "GUI action")) return false;
    const std::string& action = step.name;
    if (action == "open" || action == "show") return noMore();
    if (action == "click" || action == "tick" || action == "untick") {
      return needWord(step.target, "control") && noMore();
    }
    if (action == "choose" || action == "move") {
      return needWord(step.target, action == "move" ? "list" : "control") &&
             needRest(action == "move" ? "item" : "option");
    }
    if (action == "type") return needWord(step.target, "control") && escapedRest();
    why = "unknown GUI action \"" + action +
          "\" (open, show, click, tick, untick, choose, type, move)";
    return false;
  }
  if (keyword == "say") {
    step.kind = StepKind::say;
    step.text = rest;
    return true;
  }
  why = "unknown step \"" + keyword + "\"";
  return false;
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

// Performs one gui step; false with `why` when it could not be done.
bool runGuiStep(const SessionStep& step, const SessionGui* gui, std::ostream& out,
                std::string& why) {
  if (gui == nullptr || gui->script == nullptr) {
    why = "this host runs no GUI script";
    return false;
  }
  script::GuiScript& script = *gui->script;
  const std::string& action = step.name;
  bool done = false;
  if (action == "open") {
    out << "[gui] open " << gui->scriptPath << "\n";
    done = script.loadFile(gui->scriptPath);
  } else if (action == "show") {
    std::istringstream rendered(script.render());
    for (std::string line; std::getline(rendered, line);) out << "[gui] " << line << "\n";
    return true;
  } else {
    out << "[gui] " << action << " " << step.target;
    if (!step.text.empty()) out << " " << showText(step.text);
    out << "\n";
    if (action == "click") {
      done = script.click(step.target);
    } else if (action == "tick" || action == "untick") {
      done = script.setChecked(step.target, action == "tick");
    } else if (action == "choose") {
      done = script.choose(step.target, step.text);
    } else if (action == "type") {
      done = script.type(step.target, step.text);
    } else if (action == "move") {
      done = script.moveItem(step.text, step.target);
    }
  }
  if (!done) why = "gui " + action + ": " + script.error();
  return done;
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
  SessionResult result;
  auto problem = [&](const SessionStep& step, const std::string& what) {
    std::string line = "line " + std::to_string(step.line) + ": " + what;
    out << "[session] " << line << "\n";
    result.problems.push_back(line);
  };
  for (const SessionStep& step : steps) {
    switch (step.kind) {
      case StepKind::setInt:
        model.intParameters[step.name] = step.number;
        break;
      case StepKind::setString:
        model.stringParameters[step.name] = step.text;
        break;
      case StepKind::openFile:
        model.openFileAnswers.push_back({true, step.text});
        break;
      case StepKind::saveFile:
        model.saveFileAnswers.push_back({true, step.text});
        break;
      case StepKind::text:
        model.textAnswers.push_back({true, step.text});
        break;
      case StepKind::cancel:
        (step.name == "open-file"   ? model.openFileAnswers
         : step.name == "save-file" ? model.saveFileAnswers
                                    : model.textAnswers)
            .push_back({false, std::string()});
        break;
      case StepKind::integer:
        model.integerAnswers.push_back(step.number);
        break;
      case StepKind::answer:
        model.yesNoAnswers.push_back(step.flag);
        break;
      case StepKind::vmr:
        model.vmrOpen = step.flag;
        out << "[session] VMR " << (step.flag ? "open" : "closed") << "\n";
        break;
      case StepKind::command: {
        out << "[session] command " << step.name << "\n";
        model.stringParameters["Command"] = step.name;
        const bool returned = execute();
        ++result.commands;
        const char* expected = step.flag ? "true" : "false";
        if (returned == step.flag) {
          out << "[session] " << step.name << " returned " << expected << ", as expected\n";
        } else {
          ++result.mismatches;
          problem(step, step.name + " returned " + (returned ? "true" : "false") + ", expected " +
                            expected);
        }
        break;
      }
      case StepKind::expectInt: {
        auto found = model.intParameters.find(step.name);
        if (found == model.intParameters.end() || found->second != step.number) {
          ++result.failedChecks;
          problem(step, "int parameter " + step.name + " is " +
                            (found == model.intParameters.end() ? std::string("not set")
                                                                : std::to_string(found->second)) +
                            ", expected " + std::to_string(step.number));
        }
        break;
      }
      case StepKind::expectString: {
        auto found = model.stringParameters.find(step.name);
        if (found == model.stringParameters.end() || found->second != step.text) {
          ++result.failedChecks;
          problem(step, "string parameter " + step.name + " is " +
                            (found == model.stringParameters.end() ? std::string("not set")
                                                                   : showText(found->second)) +
                            ", expected " + showText(step.text));
        }
        break;
      }
      case StepKind::writeString: {
        auto found = model.stringParameters.find(step.name);
        if (found == model.stringParameters.end()) {
          ++result.failedChecks;
          problem(step, "string parameter " + step.name + " is not set");
          break;
        }
        std::ofstream file(step.text);
        file << found->second << "\n";
        file.close();
        if (!file) {
          ++result.failedChecks;
          problem(step, "cannot write " + step.text);
        } else {
          out << "[session] " << step.name << " written to " << step.text << "\n";
        }
        break;
      }
      case StepKind::expectFile: {
        std::ifstream file(step.target);
        std::ostringstream content;
        content << file.rdbuf();
        if (!file) {
          ++result.failedChecks;
          problem(step, "file " + step.target + " cannot be read");
        } else if (content.str() != step.text) {
          ++result.failedChecks;
          problem(step, "file " + step.target + " holds " + showText(content.str()) +
                            ", expected " + showText(step.text));
        }
        break;
      }
      case StepKind::say:
        out << "[session] " << step.text << "\n";
        break;
      case StepKind::gui: {
        std::string why;
        if (runGuiStep(step, gui, out, why)) {
          if (step.name != "show") ++result.guiActions;
        } else {
          ++result.failedChecks;
          problem(step, why);
        }
        break;
      }
    }
  }
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
