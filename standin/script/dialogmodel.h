// The GUI script's dialog as the stand-in host keeps it: the controls the
// script declared, their current values, the text rendering of the dialog and
// the checks of a user action before it is reported to the script.
#pragma once

#include <string>
#include <vector>

namespace standin::script {

// One control, as declared by ScriptHost.addControl (docs/gui-host-interface.md).
struct DialogControl {
  std::string kind;  // section, note, button, checkbox, choice, number, text, list
  std::string id;
  std::string label;
  std::string value;
  std::string extra;  // choice: options; text: "readonly"; list: group name
  bool enabled = true;
};

// A user action, checked against the dialog and ready to be reported to the
// script as onControlEvent(id, value).
struct ControlEvent {
  std::string id;
  std::string value;
};

class DialogModel {
 public:
  // --- what the script declares ----------------------------------------------
  // False when the kind is unknown or the id is taken.
  bool addControl(const DialogControl& control);
  bool setValue(const std::string& id, const std::string& value);
  bool setEnabled(const std::string& id, bool enabled);
  void show(const std::string& title);

  const DialogControl* find(const std::string& id) const;
  const std::vector<DialogControl>& controls() const { return controls_; }
  const std::string& title() const { return title_; }
  bool shown() const { return shown_; }

  // --- user actions --------------------------------------------------------
  // Each checks the action, shows its effect and returns the event to report;
  // on a refused action it returns false and says why in error().
  bool click(const std::string& id, ControlEvent& event);
  bool setChecked(const std::string& id, bool checked, ControlEvent& event);
  bool choose(const std::string& id, const std::string& option, ControlEvent& event);
  bool type(const std::string& id, const std::string& text, ControlEvent& event);
  bool moveItem(const std::string& item, const std::string& toList, ControlEvent& event);
  const std::string& error() const { return error_; }

  // The dialog as text, one control per line (buttons in a row share a line).
  std::string render() const;

 private:
  DialogControl* findMutable(const std::string& id);
  DialogControl* actionTarget(const std::string& id, const char* kind);
  bool refuse(const std::string& reason);

  std::vector<DialogControl> controls_;
  std::string title_;
  bool shown_ = false;
  std::string error_;
};

// The lines of a newline-separated text; the empty text has none.
std::vector<std::string> splitLines(const std::string& text);
std::string joinLines(const std::vector<std::string>& lines);

}  // namespace standin::script
