// The subject list's commands: "AddSubject", "Load" and "Save".
#pragma once

class ppiplugin;

namespace ppi {

bool handleAddSubject(ppiplugin& plugin, const char* command);
bool handleLoad(ppiplugin& plugin, const char* command);
bool handleSave(ppiplugin& plugin, const char* command);

}  // namespace ppi
