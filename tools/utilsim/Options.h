// utilsim's command line: the options of `list`, `replay` and `--version`, their parsing and
// the checks of options that cannot go together, the usage texts and the exit statuses.
// (`diff` reads its own arguments: State.h.)
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/utilsim/Report.h"

namespace Utilsim {
inline constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitEnvironment = 3;

// The usage text of a command ("list", "replay", "diff"; anything else: the overview).
const char* usageOf(const std::string& command);
// What --help prints for the command: its usage text and, where the command has more than
// one failure, the exit statuses.
std::string helpText(const std::string& command);

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  enum class Action { Run, Help, Version };
  Action action = Action::Run;
  std::string command;  // list, tables, replay or history; empty for the overview
  std::string plugin;   // the default (beside utilsim) once parsed
  std::optional<std::string> file;
  std::vector<std::string> rows;  // history: the rows asked about, word by word
  std::optional<std::string> expect;
  std::size_t maxDifferences = 50;         // listed by --expect; the rest counted
  std::optional<std::string> differences;  // --expect's differences as JSON, to this file
  bool update = false;                     // --expect rewrites its file from the run
  std::optional<std::string> loadState, saveState;
  std::string trace;
  bool json = false, jsonl = false, chains = false, timing = false;
  bool decode = false;           // --json and --jsonl with decoded fields and shadow rows
  std::optional<bool> progress;  // none: when standard error is a terminal
  std::size_t failureCap = 100;
  bool entries = false;  // the per-line view
  LineRanges lines;      // of the per-line view; empty: every line
  RowFilter filter;
  ReplayConfig replay;
  // The options as given that ask for something only the text report shows, and a filter:
  // named in the message when they cannot go with another option.
  std::string textOnly, filterGiven, forExpect;
};

// Whether the arguments (after the program) ask for help or the version, before any "--".
bool helpOrVersion(const std::vector<std::string>& args);

// Parses the arguments (argv[0] is the program) into `o` and enables the traces of --trace.
// Throws UsageError; `o` is filled as far as parsing got, so that the message can point at
// the command's own help.
void parseOptions(int argc, char** argv, Options& o);

// Prints the usage error with the pointer to the help of the command; returns kExitUsage.
int usageError(const Options& o, const UsageError& e);

}  // namespace Utilsim
