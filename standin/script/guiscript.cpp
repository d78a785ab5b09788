#include "standin/script/guiscript.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "duktape.h"

namespace standin::script {
namespace {

const char kOwnerKey[] = "guiScriptOwner";

GuiScript& owner(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kOwnerKey);
  void* pointer = duk_get_pointer(ctx, -1);
  duk_pop_2(ctx);
  return *static_cast<GuiScript*>(pointer);
}

std::string argText(duk_context* ctx, duk_idx_t index) {
  if (duk_is_undefined(ctx, index) || duk_is_null(ctx, index)) return std::string();
  duk_size_t length = 0;
  const char* text = duk_safe_to_lstring(ctx, index, &length);
  return std::string(text, length);
}

int argInt(duk_context* ctx, duk_idx_t index) {
  if (duk_is_number(ctx, index)) return static_cast<int>(duk_get_number(ctx, index));
  if (duk_is_boolean(ctx, index)) return duk_get_boolean(ctx, index) ? 1 : 0;
  return static_cast<int>(std::strtol(argText(ctx, index).c_str(), nullptr, 10));
}

// Runs a binding's body; a C++ exception or a refusal becomes a script error.
// The error is raised here, where no C++ object with a destructor is alive.
template <typename Body>
duk_ret_t guarded(duk_context* ctx, Body body) {
  char message[512] = "";
  duk_ret_t result = 0;
  try {
    std::string refusal;
    result = body(refusal);
    if (result < 0) std::snprintf(message, sizeof message, "%s", refusal.c_str());
  } catch (const std::exception& failure) {
    std::snprintf(message, sizeof message, "%s", failure.what());
    result = -1;
  }
  if (result < 0) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
  return result;
}

void pushText(duk_context* ctx, const std::string& text) {
  duk_push_lstring(ctx, text.data(), text.size());
}

duk_ret_t getIntParameter(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    const auto& parameters = owner(ctx).model().intParameters;
    auto found = parameters.find(argText(ctx, 0));
    duk_push_int(ctx, found == parameters.end() ? 0 : found->second);
    return 1;
  });
}

duk_ret_t setIntParameter(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    owner(ctx).model().intParameters[argText(ctx, 0)] = argInt(ctx, 1);
    return 0;
  });
}

duk_ret_t getStringParameter(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    const auto& parameters = owner(ctx).model().stringParameters;
    auto found = parameters.find(argText(ctx, 0));
    pushText(ctx, found == parameters.end() ? std::string() : found->second);
    return 1;
  });
}

duk_ret_t setStringParameter(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    owner(ctx).model().stringParameters[argText(ctx, 0)] = argText(ctx, 1);
    return 0;
  });
}

duk_ret_t executePlugin(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    duk_push_boolean(ctx, owner(ctx).executePlugin());
    return 1;
  });
}

duk_ret_t messageBox(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    owner(ctx).showMessage(argText(ctx, 0));
    return 0;
  });
}

duk_ret_t writeTextFile(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    duk_push_boolean(ctx, owner(ctx).writeTextFile(argText(ctx, 0), argText(ctx, 1)));
    return 1;
  });
}

duk_ret_t readTextFile(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    const std::string text = owner(ctx).readTextFile(argText(ctx, 0));
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
  });
}

duk_ret_t addControl(duk_context* ctx) {
  return guarded(ctx, [&](std::string& refusal) {
    DialogControl control;
    control.kind = argText(ctx, 0);
    control.id = argText(ctx, 1);
    control.label = argText(ctx, 2);
    control.value = argText(ctx, 3);
    control.extra = argText(ctx, 4);
    DialogModel& dialog = owner(ctx).mutableDialog();
    if (dialog.addControl(control)) return 0;
    refusal = "addControl: " + dialog.error();
    return -1;
  });
}

duk_ret_t setControlValue(duk_context* ctx) {
  return guarded(ctx, [&](std::string& refusal) {
    DialogModel& dialog = owner(ctx).mutableDialog();
    if (dialog.setValue(argText(ctx, 0), argText(ctx, 1))) return 0;
    refusal = "setControlValue: " + dialog.error();
    return -1;
  });
}

duk_ret_t setControlEnabled(duk_context* ctx) {
  return guarded(ctx, [&](std::string& refusal) {
    DialogModel& dialog = owner(ctx).mutableDialog();
    if (dialog.setEnabled(argText(ctx, 0), argInt(ctx, 1) != 0)) return 0;
    refusal = "setControlEnabled: " + dialog.error();
    return -1;
  });
}

duk_ret_t showDialog(duk_context* ctx) {
  return guarded(ctx, [&](std::string&) {
    owner(ctx).mutableDialog().show(argText(ctx, 0));
    return 0;
  });
}

struct Binding {
  const char* name;
  duk_c_function function;
  duk_idx_t arguments;
};

const Binding kBindings[] = {
    {"getIntParameter", getIntParameter, 1},
    {"setIntParameter", setIntParameter, 2},
    {"getStringParameter", getStringParameter, 1},
    {"setStringParameter", setStringParameter, 2},
    {"executePlugin", executePlugin, 0},
    {"messageBox", messageBox, 1},
    {"writeTextFile", writeTextFile, 2},
    {"readTextFile", readTextFile, 1},
    {"addControl", addControl, 5},
    {"setControlValue", setControlValue, 2},
    {"setControlEnabled", setControlEnabled, 2},
    {"showDialog", showDialog, 1},
};

// The error on top of the stack as text, with the script's stack trace.
std::string popError(duk_context* ctx) {
  std::string text = duk_safe_to_stacktrace(ctx, -1);
  duk_pop(ctx);
  return text;
}

}  // namespace

struct GuiScript::Engine {
  duk_context* ctx = nullptr;
  ~Engine() {
    if (ctx) duk_destroy_heap(ctx);
  }
};

GuiScript::GuiScript(HostModel& model, std::function<bool()> executePlugin)
    : model_(model), executePlugin_(std::move(executePlugin)), engine_(new Engine) {
  duk_context* ctx = duk_create_heap_default();
  engine_->ctx = ctx;
  if (!ctx) return;
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, this);
  duk_put_prop_string(ctx, -2, kOwnerKey);
  duk_pop(ctx);

  duk_push_object(ctx);
  for (const Binding& binding : kBindings) {
    duk_push_c_function(ctx, binding.function, binding.arguments);
    duk_put_prop_string(ctx, -2, binding.name);
  }
  duk_put_global_string(ctx, "ScriptHost");
}

GuiScript::~GuiScript() = default;

bool GuiScript::fail(const std::string& reason) {
  error_ = reason;
  return false;
}

bool GuiScript::loadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot read the GUI script " + path);
  std::ostringstream source;
  source << in.rdbuf();
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  return loadSource(source.str(), name);
}

bool GuiScript::loadSource(const std::string& source, const std::string& name) {
  duk_context* ctx = engine_->ctx;
  if (!ctx) return fail("the script engine could not be created");
  if (loaded_) return fail("the GUI script has already been run");
  loaded_ = true;
  pushText(ctx, name);
  if (duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) != 0) {
    return fail(popError(ctx));
  }
  if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS) return fail(popError(ctx));
  duk_pop(ctx);
  if (!dialog_.shown()) return fail(name + " ran without showing its dialog");
  return true;
}

bool GuiScript::report(bool accepted, const ControlEvent& event) {
  if (!accepted) return fail(dialog_.error());
  duk_context* ctx = engine_->ctx;
  if (!duk_get_global_string(ctx, "onControlEvent")) {
    duk_pop(ctx);
    return fail("the GUI script defines no onControlEvent");
  }
  pushText(ctx, event.id);
  pushText(ctx, event.value);
  if (duk_pcall(ctx, 2) != DUK_EXEC_SUCCESS) return fail(popError(ctx));
  duk_pop(ctx);
  return true;
}

bool GuiScript::click(const std::string& id) {
  ControlEvent event;
  return report(dialog_.click(id, event), event);
}

bool GuiScript::setChecked(const std::string& id, bool checked) {
  ControlEvent event;
  return report(dialog_.setChecked(id, checked, event), event);
}

bool GuiScript::choose(const std::string& id, const std::string& option) {
  ControlEvent event;
  return report(dialog_.choose(id, option, event), event);
}

bool GuiScript::type(const std::string& id, const std::string& text) {
  ControlEvent event;
  return report(dialog_.type(id, text, event), event);
}

bool GuiScript::moveItem(const std::string& item, const std::string& toList) {
  ControlEvent event;
  return report(dialog_.moveItem(item, toList, event), event);
}

void GuiScript::showMessage(const std::string& text) {
  messages.push_back(text);
  if (model_.onMessage) model_.onMessage(text);
}

std::string GuiScript::readTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return in.bad() ? std::string() : text.str();
}

// Written beside the file, then renamed over it: a host that dies meanwhile
// leaves the old file or the new one, never a part.
bool GuiScript::writeTextFile(const std::string& path, const std::string& text) {
  const std::string part = path + ".writing";
  std::ofstream out(part, std::ios::out | std::ios::trunc);
  if (!out) return false;
  out << text;
  out.close();
  std::error_code error;
  if (!out || (std::filesystem::rename(part, path, error), error)) {
    std::filesystem::remove(part, error);
    return false;
  }
  writtenFiles.push_back(path);
  return true;
}

}  // namespace standin::script
