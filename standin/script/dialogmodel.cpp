#include "standin/script/dialogmodel.h"

#include <algorithm>
#include <sstream>

namespace standin::script {
namespace {

const char* const kKinds[] = {"section", "note",   "button", "checkbox",
                              "choice",  "number", "text",   "list"};

bool knownKind(const std::string& kind) {
  return std::any_of(std::begin(kKinds), std::end(kKinds),
                     [&](const char* known) { return kind == known; });
}

const char* disabledMark(const DialogControl& control) {
  return control.enabled ? "" : "  (disabled)";
}

// Writes a possibly multi-line text, continuation lines indented.
void writeIndented(std::ostringstream& out, const std::string& text, const std::string& indent) {
  std::vector<std::string> lines = splitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out << '\n' << indent;
    out << lines[i];
  }
}

void renderControl(std::ostringstream& out, const DialogControl& control) {
  const std::string indent = "    ";
  if (control.kind == "section") {
    out << "-- " << control.label << " --\n";
  } else if (control.kind == "note") {
    out << "  ";
    if (!control.label.empty()) out << control.label << ": ";
    writeIndented(out, control.value, indent);
    out << '\n';
  } else if (control.kind == "checkbox") {
    out << "  [" << (control.value == "1" ? 'x' : ' ') << "] " << control.label
        << disabledMark(control) << '\n';
  } else if (control.kind == "choice") {
    out << "  " << control.label << ":";
    std::vector<std::string> options = splitLines(control.extra);
    for (std::size_t i = 0; i < options.size(); ++i) {
      bool chosen = control.value == std::to_string(i);
      out << "  (" << (chosen ? '*' : ' ') << ") " << options[i];
    }
    out << disabledMark(control) << '\n';
  } else if (control.kind == "number") {
    out << "  " << control.label << ": [" << control.value << "]" << disabledMark(control) << '\n';
  } else if (control.kind == "text") {
    out << "  " << control.label << (control.extra == "readonly" ? " (read-only)" : "")
        << disabledMark(control) << ":\n";
    std::vector<std::string> lines = splitLines(control.value);
    if (lines.empty()) out << indent << "(empty)\n";
    for (const std::string& line : lines) out << indent << line << '\n';
  } else if (control.kind == "list") {
    out << "  " << control.label << disabledMark(control) << ":\n";
    std::vector<std::string> items = splitLines(control.value);
    if (items.empty()) out << indent << "(empty)\n";
    for (const std::string& item : items) out << indent << "- " << item << '\n';
  }
}

}  // namespace

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

bool DialogModel::addControl(const DialogControl& control) {
  if (!knownKind(control.kind)) return refuse("unknown kind of control: " + control.kind);
  if (control.id.empty() || find(control.id)) {
    return refuse("control id empty or taken: \"" + control.id + "\"");
  }
  controls_.push_back(control);
  return true;
}

bool DialogModel::setValue(const std::string& id, const std::string& value) {
  DialogControl* control = findMutable(id);
  if (!control) return refuse("no control \"" + id + "\"");
  control->value = value;
  return true;
}

bool DialogModel::setEnabled(const std::string& id, bool enabled) {
  DialogControl* control = findMutable(id);
  if (!control) return refuse("no control \"" + id + "\"");
  control->enabled = enabled;
  return true;
}

void DialogModel::show(const std::string& title) {
  title_ = title;
  shown_ = true;
}

const DialogControl* DialogModel::find(const std::string& id) const {
  for (const DialogControl& control : controls_) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

DialogControl* DialogModel::findMutable(const std::string& id) {
  return const_cast<DialogControl*>(find(id));
}

bool DialogModel::refuse(const std::string& reason) {
  error_ = reason;
  return false;
}

DialogControl* DialogModel::actionTarget(const std::string& id, const char* kind) {
  DialogControl* control = findMutable(id);
  if (!shown_) {
    refuse("the dialog is not shown");
    return nullptr;
  }
  if (!control) {
    refuse("no control \"" + id + "\"");
    return nullptr;
  }
  if (control->kind != kind) {
    refuse("\"" + id + "\" is a " + control->kind + ", not a " + kind);
    return nullptr;
  }
  if (!control->enabled) {
    refuse("\"" + id + "\" is disabled");
    return nullptr;
  }
  return control;
}

bool DialogModel::click(const std::string& id, ControlEvent& event) {
  if (!actionTarget(id, "button")) return false;
  event = {id, ""};
  return true;
}

bool DialogModel::setChecked(const std::string& id, bool checked, ControlEvent& event) {
  DialogControl* control = actionTarget(id, "checkbox");
  if (!control) return false;
  control->value = checked ? "1" : "0";
  event = {id, control->value};
  return true;
}

bool DialogModel::choose(const std::string& id, const std::string& option, ControlEvent& event) {
  DialogControl* control = actionTarget(id, "choice");
  if (!control) return false;
  std::vector<std::string> options = splitLines(control->extra);
  auto found = std::find(options.begin(), options.end(), option);
  if (found == options.end()) return refuse("\"" + id + "\" has no option \"" + option + "\"");
  control->value = std::to_string(found - options.begin());
  event = {id, control->value};
  return true;
}

bool DialogModel::type(const std::string& id, const std::string& text, ControlEvent& event) {
  DialogControl* control = findMutable(id);
  const char* kind = control && control->kind == "number" ? "number" : "text";
  control = actionTarget(id, kind);
  if (!control) return false;
  if (control->extra == "readonly") return refuse("\"" + id + "\" is read-only");
  control->value = text;
  event = {id, text};
  return true;
}

bool DialogModel::moveItem(const std::string& item, const std::string& toList,
                           ControlEvent& event) {
  DialogControl* target = actionTarget(toList, "list");
  if (!target) return false;
  for (DialogControl& source : controls_) {
    if (source.kind != "list" || source.extra != target->extra || &source == target) continue;
    std::vector<std::string> items = splitLines(source.value);
    auto found = std::find(items.begin(), items.end(), item);
    if (found == items.end()) continue;
    if (!source.enabled) return refuse("\"" + source.id + "\" is disabled");
    items.erase(found);
    source.value = joinLines(items);
    std::vector<std::string> targetItems = splitLines(target->value);
    targetItems.push_back(item);
    target->value = joinLines(targetItems);
    event = {toList, item};
    return true;
  }
  return refuse("no other list of \"" + toList + "\"'s group holds \"" + item + "\"");
}

std::string DialogModel::render() const {
  std::ostringstream out;
  out << "=== " << title_ << " ===\n";
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const DialogControl& control = controls_[i];
    if (control.kind != "button") {
      renderControl(out, control);
      continue;
    }
    out << " ";
    for (; i < controls_.size() && controls_[i].kind == "button"; ++i) {
      out << " [" << controls_[i].label << "]" << disabledMark(controls_[i]);
    }
    out << '\n';
    --i;
  }
  return out.str();
}

}  // namespace standin::script
