// The subject list's commands: "AddSubject", "Load" and "Save", and the
// autosave list that mirrors the subject list after every command.
#pragma once

#include <string_view>

class ppiplugin;

namespace ppi {

bool handleAddSubject(ppiplugin& plugin, const char* command);
bool handleLoad(ppiplugin& plugin, const char* command);
bool handleSave(ppiplugin& plugin, const char* command);

// Empties the subject list and the saved design matrices; `saveWeights` stays.
void clearSubjectList(ppiplugin& plugin);

// Makes the autosave list hold `lines`, the current list's lines. Until the
// object first has a subject to write, an existing file is left as it is (it
// may be what a crashed session left behind). A failure is logged.
void keepAutosaveList(ppiplugin& plugin, std::string_view lines);

}  // namespace ppi
