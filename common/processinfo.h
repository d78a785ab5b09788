// The running process as other processes see it: its id and the machine's
// name, and whether a process of a given id is alive on this machine. For the
// run's lock file, which names the run that holds a results folder.
#pragma once

#include <cstdint>
#include <string>

namespace ppi {

std::int64_t currentProcessId();

// The machine's network name; "unknown" when the system gives none.
std::string currentHostName();

enum class ProcessState { alive, gone, unknown };

// Whether a process of this id runs on this machine. A process that exists
// but may not be signalled is alive; when the system cannot tell, unknown.
ProcessState processState(std::int64_t processId);

}  // namespace ppi
