#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plinka::platform {

namespace {

// Writes the whole of a small block, retrying after signals. Only calls that
// are safe between fork and exec.
void writeAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

// The started program's side: a fresh session, the default signal mask, the
// working folder, then the program. Reports errno through the pipe when any
// step fails; the pipe closes on exec when all went well.
[[noreturn]] void runProgram(int reportFd, const char* program, char* const* argv, const char* folder) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  setsid();
  if (folder[0] != '\0' && chdir(folder) != 0) {
    const int error = errno;
    writeAll(reportFd, &error, sizeof error);
    _exit(127);
  }
  execv(program, argv);
  const int error = errno;
  writeAll(reportFd, &error, sizeof error);
  _exit(127);
}

}  // namespace

bool startDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workingFolder) {
  if (program.empty())
    return false;
  // Everything the children need is made before forking: between fork and
  // exec only async-signal-safe calls are made.
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return false;

  // Two forks: the middle process ends at once and is reaped here, so the
  // program itself is adopted by init and never waits as a zombie for us.
  const pid_t middle = fork();
  if (middle < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (middle == 0) {
    close(report[0]);
    const pid_t started = fork();
    if (started < 0) {
      const int error = errno;
      writeAll(report[1], &error, sizeof error);
      _exit(127);
    }
    if (started == 0)
      runProgram(report[1], program.c_str(), argv.data(), workingFolder.c_str());
    _exit(0);
  }

  close(report[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file without a word: the program was exec'd.
  int error = 0;
  ssize_t got;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  return got == 0;
}

}  // namespace plinka::platform
