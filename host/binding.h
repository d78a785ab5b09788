// Finds the host among the modules already loaded into this process and binds
// the host function table to its exports.
//
// The host's executable is looked for as "TessarayNK.exe", then "Tessaray.exe".
// On Windows that is GetModuleHandleA/GetProcAddress. On POSIX systems the host
// is a loaded module (the main program or a shared object) whose file's base
// name is "TessarayNK.exe" or "TessarayNK", failing that "Tessaray.exe" or
// "Tessaray"; nothing is loaded to find it, and each name must be defined in
// that module itself.
#pragma once

namespace ppi::host {

bool bindHostFromProcess();

}  // namespace ppi::host
