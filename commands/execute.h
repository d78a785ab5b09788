// The command frame: reads the command the GUI named in "Command", logs it,
// refuses to work without an open VMR, and runs exactly one handler.
#pragma once

class ppiplugin;

namespace ppi {

bool executeCommand(ppiplugin& plugin);

// "Clear": empties the subject list and the saved design matrices.
bool handleClear(ppiplugin& plugin, const char* command);

}  // namespace ppi
