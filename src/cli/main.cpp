// plinkactl: the command-line companion. `plinkactl VERB ARGS...`; each verb
// lives in a verbs file of its own area and is listed once below.
#include "cli/build_verb.h"
#include "cli/data_folder.h"
#include "cli/data_verbs.h"
#include "cli/fill_verb.h"
#include "cli/library_verbs.h"
#include "cli/loudness_verb.h"
#include "cli/maintain_verb.h"
#include "cli/play_verb.h"
#include "cli/table_verbs.h"
#include "cli/verbs.h"

#include <cstdio>
#include <cstring>

namespace {

using plinka::cli::Verb;

const Verb kVerbs[] = {
    {"create", plinka::cli::runCreateVerb, "create FILE        make a new, empty song table"},
    {"info", plinka::cli::runInfoVerb, "info [FILE]        fields, slots, records and size of a table"},
    {"dump", plinka::cli::runDumpVerb, "dump [FILE]        every record in use, one line each"},
    {"find", plinka::cli::runFindVerb, "find FILE TEXT     the slots whose records match TEXT"},
    {"checksum", plinka::cli::runChecksumVerb, "checksum FILE      the file's content checksum"},
    {"tags", plinka::cli::runTagsVerb,
     "tags FILE          the file's tag texts and ReplayGain gains, and the loudness stored for it"},
    {"import", plinka::cli::runImportVerb, "import SOURCE      import a folder or playlist into the song table"},
    {"loudness", plinka::cli::runLoudnessVerb,
     "loudness [--all]   find the loudness of the songs not measured yet (--all: of every song)"},
    {"rate", plinka::cli::runRateVerb, "rate FILE RATING   set the current user's rating (0-10) of a song"},
    {"maintain", plinka::cli::runMaintainVerb,
     "maintain FUNCTION [ARGS]  run a database function (\"plinkactl maintain\" names them)"},
    {"build", plinka::cli::runBuildVerb, "build [--state N] [--count N]  build State N's list (N 1-10), a song a line"},
    {"play", plinka::cli::runPlayVerb, "play               play the State's list; keys p s r b 0-9 q"},
    {"fill", plinka::cli::runFillVerb,
     "fill FOLDER --size MB|fill [--number] [--state N]  copy chosen songs into FOLDER up to MB"},
};

void printVerbs(FILE* out) {
  std::fputs("usage: plinkactl [--data DIR] VERB ARGS...\n", out);
  for (const Verb& verb : kVerbs)
    std::fprintf(out, "  plinkactl %s\n", verb.summary);
}

int listVerbs() {
  printVerbs(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // No argument of any verb may be empty: an empty file or folder (a
  // script's unset variable) would otherwise fall back to a default, the
  // user's own data folder among them.
  for (int k = 1; k < argc; ++k) {
    if (argv[k][0] == '\0') {
      std::fprintf(stderr, "plinkactl: argument %d is empty; a file, folder or value must be named\n", k);
      printVerbs(stderr);
      return 2;
    }
  }
  // Global option: --data DIR names the data folder the verbs work in.
  if (argc >= 3 && std::strcmp(argv[1], "--data") == 0) {
    plinka::cli::setDataFolderOption(argv[2]);
    argv[2] = argv[0];
    argc -= 2;
    argv += 2;
  }
  if (argc < 2)
    return listVerbs();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
    printVerbs(stdout);
    std::puts("\n--data DIR works on the data folder DIR instead of the player's own.\n"
              "Exit status: 0 done, 1 failed, 2 usage error. See also: man plinkactl");
    return 0;
  }
  for (const Verb& verb : kVerbs)
    if (std::strcmp(argv[1], verb.name) == 0)
      return verb.run(argc - 1, argv + 1);
  std::fprintf(stderr, "plinkactl: unknown verb %s\n", argv[1]);
  return listVerbs();
}
