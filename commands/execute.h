// The command frame: reads the command the GUI named in "Command", logs it,
// refuses to work without an open VMR, and runs exactly one handler.
#pragma once

class ppiplugin;

namespace ppi {

bool executeCommand(ppiplugin& plugin);

// "Clear": empties the subject list, the saved design matrices and, once the
// object keeps one, the autosave list; the GUI's parameters stay as they are.
bool handleClear(ppiplugin& plugin, const char* command);

}  // namespace ppi
