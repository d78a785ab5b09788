// Runs the plug-in's GUI script ("ppi_gui.js") in an embedded JavaScript
// engine: provides the script's ScriptHost object (docs/gui-host-interface.md)
// over a HostModel and a "run the plug-in's execute" callback, keeps the
// dialog the script declares, and performs user actions on it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "standin/hostmodel.h"
#include "standin/script/dialogmodel.h"

namespace standin::script {

class GuiScript {
 public:
  // executePlugin runs the plug-in's execute for the command the script has
  // put into the "Command" parameter, and returns its result.
  GuiScript(HostModel& model, std::function<bool()> executePlugin);
  ~GuiScript();
  GuiScript(const GuiScript&) = delete;
  GuiScript& operator=(const GuiScript&) = delete;

  // Runs the script file, or a script text, once (the script then shows its
  // dialog). False with error() on a failure; a script runs at most once.
  bool loadFile(const std::string& path);
  bool loadSource(const std::string& source, const std::string& name);

  // User actions, reported to the script. False with error() when the dialog
  // refuses the action or the script fails while handling it.
  bool click(const std::string& id);
  bool setChecked(const std::string& id, bool checked);
  bool choose(const std::string& id, const std::string& option);
  bool type(const std::string& id, const std::string& text);
  bool moveItem(const std::string& item, const std::string& toList);

  const DialogModel& dialog() const { return dialog_; }
  std::string render() const { return dialog_.render(); }
  const std::string& error() const { return error_; }

  // The script's message boxes and written files, in order.
  std::vector<std::string> messages;
  std::vector<std::string> writtenFiles;

  // Called by the engine binding (guiscript.cpp) for the ScriptHost functions.
  HostModel& model() { return model_; }
  DialogModel& mutableDialog() { return dialog_; }
  bool executePlugin() { return executePlugin_(); }
  void showMessage(const std::string& text);
  bool writeTextFile(const std::string& path, const std::string& text);
  // The file's whole text; empty when it cannot be read.
  std::string readTextFile(const std::string& path);

 private:
  struct Engine;
  bool report(bool accepted, const ControlEvent& event);
  bool fail(const std::string& reason);

  HostModel& model_;
  std::function<bool()> executePlugin_;
  DialogModel dialog_;
  std::unique_ptr<Engine> engine_;
  bool loaded_ = false;
  std::string error_;
};

}  // namespace standin::script
