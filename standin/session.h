// Sessions: a user's work in the host, written down one step a line, played
// against the host model (the language is described in docs/standin-sessions.md).
//
//   # comment
//   vmr open
//   int whichapproach 0
//   string CondID-0 Attend list2
//   open-file ./study.ppi
//   command Load expect true
//   gui open
//   gui move list2 Attend
//   gui click start
//
// Answers are queued when their step is reached and taken by the next dialog
// or question of their kind; a command runs when its step is reached.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "standin/hostmodel.h"

namespace standin {

namespace script {
class GuiScript;
}

enum class StepKind {
  setInt,        // int NAME VALUE
  setString,     // string NAME [TEXT]
  openFile,      // open-file PATH
  saveFile,      // save-file PATH
  text,          // text [TEXT]
  cancel,        // cancel open-file|save-file|text
  integer,       // integer N
  answer,        // answer yes|no
  vmr,           // vmr open|closed
  command,       // command NAME [expect true|false]
  expectInt,     // expect-int NAME VALUE
  expectString,  // expect-string NAME [TEXT]
  writeString,   // write-string NAME PATH
  expectFile,    // expect-file PATH TEXT
  expectAbsent,  // expect-absent PATH
  writeFile,     // write-file PATH TEXT
  copyFile,      // copy-file FROM TO
  removeFile,    // remove-file PATH
  expectLine,    // expect-line NAME TEXT
  say,           // say TEXT
  gui,           // gui open|show|click|tick|untick|choose|type|move ...
};

struct SessionStep {
  int line = 0;  // line number in the session file
  StepKind kind = StepKind::say;
  std::string name;    // parameter, command, the kind of dialog to cancel, or the GUI action
  std::string target;  // the GUI control acted on, or the path of expect-file
  std::string text;    // value, path, answer text, or the GUI action's option, text or item
  int number = 0;      // int value or integer answer
  bool flag = false;   // yes, VMR open, or the command's expected result
};

// Parses a whole session; nothing on the first line that cannot be read, with
// "line N: why" in `error`.
std::optional<std::vector<SessionStep>> parseSession(const std::string& text,
                                                     std::string* error = nullptr);
std::optional<std::vector<SessionStep>> readSessionFile(const std::string& path,
                                                        std::string* error = nullptr);

struct SessionResult {
  int commands = 0;                   // commands sent
  int guiActions = 0;                 // gui steps that acted on the dialog
  int mismatches = 0;                 // commands that returned other than expected
  int failedChecks = 0;               // expect-... / write-string / gui steps that failed
  int unusedAnswers = 0;              // answers still queued when the session ended
  std::vector<std::string> problems;  // one line per mismatch or failed check
  bool ok() const { return mismatches == 0 && failedChecks == 0 && unusedAnswers == 0; }
};

// The plug-in's GUI script, for the session's gui steps: the script runner
// (bound to the same model and plug-in) and the script file it opens.
struct SessionGui {
  script::GuiScript* script = nullptr;
  std::string scriptPath;
};

// Plays the steps against the model. `execute` sends one command to the
// plug-in once "Command" has been set. The session's own lines go to `out`,
// each starting with "[session]", the GUI's with "[gui]". Without `gui`,
// every gui step is a failed check.
SessionResult runSession(const std::vector<SessionStep>& steps, HostModel& model,
                         const std::function<bool()>& execute, std::ostream& out,
                         const SessionGui* gui = nullptr);

}  // namespace standin
