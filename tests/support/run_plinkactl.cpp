#include "support/run_plinkactl.h"

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

namespace plinka::test {

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

ProgramResult runPlinkactl(const TempDir& scratch, const std::vector<std::string>& args, const std::string& cwd) {
  std::string command = "cd " + quoted(cwd.empty() ? scratch.path() : cwd) + " && " + quoted(PLINKACTL_PATH);
  for (const auto& a : args)
    command += " " + quoted(a);
  command += " >" + quoted(scratch.file("out")) + " 2>" + quoted(scratch.file("err")) + " </dev/null";
  ProgramResult run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readFile(scratch.file("out"));
  run.err = readFile(scratch.file("err"));
  return run;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    out.push_back(line);
  }
  return out;
}

}  // namespace plinka::test
