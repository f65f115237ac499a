// Pieces the benchmark programs share.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace plinka::bench {

// Keeps the mean real time (seconds) of every run by name besides the usual
// output, so a program can print ratios against its baseline run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration)
        seconds[run.run_name.function_name] = run.GetAdjustedRealTime() / 1e3;  // reported in ms
  }
  std::map<std::string, double> seconds;
};

// A fresh folder under $TMPDIR (else /tmp) named after `name`; empty when it
// cannot be made.
inline std::string makeScratchFolder(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
  if (!mkdtemp(dir.data())) {
    std::fprintf(stderr, "cannot make a temporary folder\n");
    return "";
  }
  return dir;
}

}  // namespace plinka::bench
