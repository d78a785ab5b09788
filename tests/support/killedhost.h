// Plays a session in the built stand-in host (STANDIN_APP_PATH, with the
// built plug-in STANDIN_PLUGIN_PATH) as a child process, and kills it with
// SIGKILL once it has printed a given line a given number of times and a
// delay has passed: a crash at a chosen point of a run.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace testsupport {

struct KilledHost {
  int counted = 0;      // lines beginning with the prefix the host printed
  bool killed = false;  // it died of the kill
  int status = -2;      // its exit status; -1 when killed, -2 when it could not run
};

// Plays `session` in `folder`; kills the host `delay` after its `killAfter`-th
// line beginning with `prefix` (never when `killAfter` is 0).
inline KilledHost playAndKill(const std::string& folder, const std::string& session,
                              const char* prefix, int killAfter,
                              std::chrono::microseconds delay) {
  KilledHost run;
  int out[2];
  if (pipe(out) != 0) return run;
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    if (chdir(folder.c_str()) != 0) _exit(3);
    execl(STANDIN_APP_PATH, STANDIN_APP_PATH, "--plugin", STANDIN_PLUGIN_PATH, session.c_str(),
          static_cast<char*>(nullptr));
    _exit(4);
  }
  close(out[1]);
  std::FILE* stream = fdopen(out[0], "r");
  char line[8192];
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    if (std::string(line).rfind(prefix, 0) != 0) continue;
    if (++run.counted == killAfter && !run.killed) {
      std::this_thread::sleep_for(delay);
      run.killed = kill(child, SIGKILL) == 0;
    }
  }
  std::fclose(stream);
  int status = 0;
  waitpid(child, &status, 0);
  run.killed = run.killed && WIFSIGNALED(status);
  if (WIFSIGNALED(status)) {
    run.status = -1;
  } else if (WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  return run;
}

}  // namespace testsupport
