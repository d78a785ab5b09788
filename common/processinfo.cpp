#include "common/processinfo.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ppi {

#if defined(_WIN32)

std::int64_t currentProcessId() { return static_cast<std::int64_t>(GetCurrentProcessId()); }

std::string currentHostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || size == 0) return "unknown";
  return std::string(name, size);
}

ProcessState processState(std::int64_t processId) {
  if (processId <= 0 || processId > 0xFFFFFFFFLL) return ProcessState::gone;
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
  if (process == nullptr) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessState::gone : ProcessState::unknown;
  }
  DWORD code = 0;
  const BOOL known = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (!known) return ProcessState::unknown;
  return code == STILL_ACTIVE ? ProcessState::alive : ProcessState::gone;
}

#else

std::int64_t currentProcessId() { return static_cast<std::int64_t>(::getpid()); }

std::string currentHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

ProcessState processState(std::int64_t processId) {
  if (processId <= 0 || static_cast<std::int64_t>(static_cast<pid_t>(processId)) != processId) {
    return ProcessState::gone;
  }
  if (::kill(static_cast<pid_t>(processId), 0) == 0) return ProcessState::alive;
  if (errno == EPERM) return ProcessState::alive;
  if (errno == ESRCH) return ProcessState::gone;
  return ProcessState::unknown;
}

#endif

}  // namespace ppi
