#include "platform/power.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace plinka::platform {

void SystemPowerControl::requestPowerOff() {
  std::string verb = "poweroff";
  char* argv[] = {program_.data(), verb.data(), nullptr};
  pid_t pid = 0;
  const bool searchPath = program_.find('/') == std::string::npos;
  const int started = searchPath ? posix_spawnp(&pid, program_.c_str(), nullptr, nullptr, argv, environ)
                                 : posix_spawn(&pid, program_.c_str(), nullptr, nullptr, argv, environ);
  if (started != 0) {
    return;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace plinka::platform
