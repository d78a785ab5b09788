// TessarayNK, the project's stand-in host application. It loads the plug-in
// library as the host does, serves the host functions (exported from this
// executable) from the host model, reads documents from the project's file
// formats, runs the plug-in's GUI script for the session's gui steps, and
// plays a session:
//
//   TessarayNK [--plugin LIBRARY] [SESSION]
//
// The log pane goes to standard output, as do message boxes and the questions
// with the answers they got. Exit status: 0 when every command returned what
// the session expected and every check held, 1 when not, 2 when the plug-in
// or the session could not be started.
#include <cstdio>
#include <iostream>
#include <string>

#include "plugin/TYNKPluginInterface.h"
#include "standin/app/platform.h"
#include "standin/documents.h"
#include "standin/hostmodel.h"
#include "standin/script/guiscript.h"
#include "standin/session.h"
#include "standin/textutil.h"

namespace {

constexpr int kAllAsExpected = 0;
constexpr int kNotAsExpected = 1;
constexpr int kCannotStart = 2;

using Factory = TYNKPluginInterface* (*)();
using Getter = const char* (*)();

// Indents the later lines of a text that spans several, so that a message box
// or question stays one block in the output.
std::string block(const std::string& text, std::size_t indent) {
  std::string shown;
  for (char c : text) {
    shown += c;
    if (c == '\n') shown.append(indent, ' ');
  }
  return shown;
}

std::string defaultPluginPath() {
  // Beside the executable, else where the build puts it (two folders up).
  const std::string folder = standin::executableFolder();
  const std::string beside = folder + "/" + standin::pluginLibraryFileName();
  if (std::FILE* file = std::fopen(beside.c_str(), "rb")) {
    std::fclose(file);
    return beside;
  }
  return folder + "/../../" + standin::pluginLibraryFileName();
}

void showHostModel(standin::HostModel& model) {
  model.onLog = [](const std::string& line) { std::cout << line << "\n" << std::flush; };
  model.onMessage = [](const std::string& text) {
    std::cout << "[message box] " << block(text, 14) << "\n";
  };
  model.onQuestion = [](const std::string& kind, const std::string& prompt,
                        const std::string& answer) {
    const std::string head = "[" + kind + "] ";
    std::cout << head << block(prompt, head.size()) << "\n"
              << std::string(head.size(), ' ') << "-> " << answer << "\n";
  };
  auto writer = model.designMatrixWriter;
  model.designMatrixWriter = [writer](const std::string& path,
                                      const std::vector<standin::Predictor>& design) {
    const bool written = writer && writer(path, design);
    if (!written) std::cout << "[host] could not write the design matrix " << path << "\n";
    return written;
  };
  standin::useDocumentFiles(
      model, [](const std::string& why) { std::cout << "[host] cannot read a document: " << why << "\n"; },
      [](const std::string& why) { std::cout << "[host] warning: " << why << "\n"; });
}

int runHost(const std::string& libraryPath, const std::string& sessionPath) {
  std::vector<standin::SessionStep> steps;
  if (!sessionPath.empty()) {
    std::string why;
    auto parsed = standin::readSessionFile(sessionPath, &why);
    if (!parsed) {
      std::cerr << "TessarayNK: " << why << "\n";
      return kCannotStart;
    }
    steps = std::move(*parsed);
  }

  standin::LoadedLibrary library = standin::loadLibrary(libraryPath);
  if (library.handle == nullptr) {
    std::cerr << "TessarayNK: cannot load " << libraryPath << ": " << library.error << "\n";
    return kCannotStart;
  }
  const char* getterNames[] = {"getPluginName", "getPluginVersion", "getPluginDescription",
                               "getAuthor",     "getHelpFile",      "getGUIScript"};
  const char* labels[] = {"name", "version", "description", "author", "help file", "GUI script"};
  std::string guiScriptName;
  std::cout << "TessarayNK stand-in host: plug-in " << libraryPath << "\n";
  for (int i = 0; i < 6; ++i) {
    auto getter = reinterpret_cast<Getter>(standin::findSymbol(library.handle, getterNames[i]));
    if (getter == nullptr) {
      std::cerr << "TessarayNK: the plug-in does not export " << getterNames[i] << "\n";
      standin::unloadLibrary(library.handle);
      return kCannotStart;
    }
    const char* text = getter();
    std::cout << "  " << labels[i] << ": " << (text != nullptr ? text : "(none)") << "\n";
    if (i == 5 && text != nullptr) guiScriptName = text;
  }
  auto createPlugin =
      reinterpret_cast<Factory>(standin::findSymbol(library.handle, "createPlugin"));
  if (createPlugin == nullptr) {
    std::cerr << "TessarayNK: the plug-in does not export createPlugin\n";
    standin::unloadLibrary(library.handle);
    return kCannotStart;
  }

  standin::HostModel model;
  showHostModel(model);
  standin::setCurrentHostModel(&model);

  int status = kAllAsExpected;
  TYNKPluginInterface* plugin = createPlugin();
  if (plugin == nullptr) {
    std::cerr << "TessarayNK: createPlugin returned no object\n";
    status = kCannotStart;
  } else if (!plugin->initPlugin()) {
    std::cerr << "TessarayNK: initPlugin refused to start\n";
    status = kCannotStart;
  } else {
    // The plug-in's GUI script, which the host runs from the library's folder.
    standin::script::GuiScript gui(model, [plugin] { return plugin->execute(); });
    const standin::SessionGui sessionGui{&gui,
                                         standin::folderOf(libraryPath) + "/" + guiScriptName};
    standin::SessionResult result = standin::runSession(
        steps, model, [plugin] { return plugin->execute(); }, std::cout, &sessionGui);
    std::cout << "[session] " << result.commands << " command(s) sent, " << result.guiActions
              << " GUI action(s) done";
    if (result.ok()) {
      std::cout << "; everything went as the session expected\n";
    } else {
      std::cout << "; " << result.problems.size() << " problem(s):\n";
      for (const std::string& problem : result.problems) std::cout << "  " << problem << "\n";
      status = kNotAsExpected;
    }
    if (!model.canariesIntact()) {
      std::cout << "[host] the plug-in wrote outside an array the host handed out\n";
      status = kNotAsExpected;
    }
  }
  destroyPlugin(plugin);  // as the host's delete through the base class
  standin::setCurrentHostModel(nullptr);
  std::cout << std::flush;
  standin::unloadLibrary(library.handle);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string libraryPath, sessionPath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--plugin" && i + 1 < argc) {
      libraryPath = argv[++i];
    } else if (argument == "--help" || argument == "-h") {
      std::cout << "usage: TessarayNK [--plugin LIBRARY] [SESSION]\n";
      return kAllAsExpected;
    } else if (sessionPath.empty() && argument.rfind("--", 0) != 0) {
      sessionPath = argument;
    } else {
      std::cerr << "usage: TessarayNK [--plugin LIBRARY] [SESSION]\n";
      return kCannotStart;
    }
  }
  if (libraryPath.empty()) libraryPath = defaultPluginPath();
  return runHost(libraryPath, sessionPath);
}
