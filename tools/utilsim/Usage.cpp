// The texts of --help and of a usage error.
#include <fmt/format.h>

#include <string>

#include "tools/utilsim/Options.h"

namespace Utilsim {
namespace {
// The options that change a replay's results, as replay and history list them.
#define RESULT_OPTIONS                                                                             \
  "  --chip bcm88890_a0|bcm88890_b0   chip whose Utils are built (default bcm88890_a0)\n"          \
  "  --plugin PATH                    plug-in to load (default: beside utilsim, else installed)\n" \
  "  --fap-mask LIST                  fap ids served, like 0-3,7 or none (default 0-127)\n"        \
  "  --dispatch applicable|always     ask utilApplicable first (default) or always process\n"
constexpr const char* kExitStatus =
    "exit status: 0 all entries processed and hardware consistent, 1 a Util failed, the\n"
    "hardware check failed or --expect found differences, 2 usage or input error,\n"
    "3 the plug-in could not be loaded or started, or the output or state not written\n";

constexpr const char* kOverview =
    "usage: utilsim list [--plugin PATH] [--json]\n"
    "       utilsim tables [--chip CHIP] [--plugin PATH] [--json]\n"
    "       utilsim replay [OPTIONS] [FILE|-]\n"
    "       utilsim history [OPTIONS] FILE|- ROW...\n"
    "       utilsim diff [--json] A B\n"
    "       utilsim --version [--plugin PATH]\n"
    "\n"
    "commands:\n"
    "  list     list what the plug-in registers\n"
    "  tables   describe every hardware table of a chip\n"
    "  replay   replay a log of software-table changes through the Utils of one chip\n"
    "  history  every event of a replay that touched some rows\n"
    "  diff     compare how two saved states or stored runs end\n"
    "\n"
    "run 'utilsim <command> --help' for the options of a command\n";

constexpr const char* kListUsage =
    "usage: utilsim list [--plugin PATH] [--json]\n"
    "\n"
    "Starts every plug-in and prints one line per Util registration.\n"
    "\n"
    "options:\n"
    "  --plugin PATH   plug-in to load (default: beside utilsim, else installed)\n"
    "  --json          print a JSON array instead of the table\n"
    "  -h, --help      show this text\n"
    "\n"
    "exit status: 0 listed, 2 usage error, 3 the plug-in could not be loaded or started\n";

constexpr const char* kReplayUsage =
    "usage: utilsim replay [OPTIONS] [FILE|-]\n"
    "\n"
    "Replays a JSON Lines log (standard input without FILE or with -) through the Utils of\n"
    "one chip and reports what they did.\n"
    "\n"
    "options:\n" RESULT_OPTIONS
    "  --trace LEVELS                   trace levels to stderr: 2,3,8 or Name=2;*=3\n"
    "  --json                           print the JSON document instead of the report\n"
    "  --jsonl                          print one JSON object per entry, then the rest\n"
    "  --decode                         with --json or --jsonl: commands' fields by name and\n"
    "                                   the shadow rows each entry changed, before and after\n"
    "  --show chains|entries            add the routing chains, or every entry line by line\n"
    "  --lines N[-M]|N-                 show these lines of the log line by line (repeatable)\n"
    "  --table NAME, --fap LIST, --instance LIST, --changed\n"
    "                                   show only these tables, copies, or rows not at reset\n"
    "  --failures N|all                 failures listed in the report (default 100)\n"
    "  --expect FILE|-                  compare with a stored run: a document, a --jsonl\n"
    "                                   stream or a state (its end only); - standard input\n"
    "  --max-differences N|all          differences --expect lists (default 50)\n"
    "  --diff-json FILE                 --expect's differences also as JSON, to FILE\n"
    "  --update                         rewrite the --expect file from this run\n"
    "  --timing                         add processSwEntry latencies per Util\n"
    "  --load-state FILE                start from the end of a saved state or document\n"
    "  --save-state FILE                write the end state of the run to FILE\n"
    "  --progress, --no-progress        show progress on stderr (default: if a terminal)\n"
    "  --drop-command N                 withhold the Nth command from the chip (testing)\n"
    "  -h, --help                       show this text\n";

constexpr const char* kTablesUsage =
    "usage: utilsim tables [--chip CHIP] [--plugin PATH] [--json]\n"
    "\n"
    "Describes every hardware table of the chip: names, block and opcode, key fields and their\n"
    "ranges, entry fields with widths and reset values, and the Utils that write it.\n"
    "\n"
    "options:\n"
    "  --chip bcm88890_a0|bcm88890_b0   the chip (default bcm88890_a0)\n"
    "  --plugin PATH                    plug-in to load (default: beside utilsim, else installed)\n"
    "  --json                           print a JSON document instead of the text\n"
    "  -h, --help                       show this text\n"
    "\n"
    "exit status: 0 described, 2 usage error, 3 the plug-in could not be loaded or started\n";

constexpr const char* kHistoryUsage =
    "usage: utilsim history [OPTIONS] FILE|- ROW...\n"
    "\n"
    "Replays the log and lists, for each ROW, every event that touched it: what wrote the\n"
    "shadow row (fields before and after), the commands that wrote its chip row, clears and\n"
    "reads, and whether shadow and chip agree at the end. A ROW is written as the reports\n"
    "print one: TABLE [fap F] [instance I] KEY=VALUE..., or [TABLE] [fap F] [instance I] VSI N.\n"
    "\n"
    "options:\n" RESULT_OPTIONS
    "  --load-state FILE                start from the end of a saved state or document\n"
    "  --drop-command N                 withhold the Nth command from the chip (testing)\n"
    "  --json                           print a JSON document instead of the text\n"
    "  --progress, --no-progress        show progress on stderr (default: if a terminal)\n"
    "  -h, --help                       show this text\n"
    "\n"
    "exit status: 0 shown, 2 usage or input error, 3 the plug-in could not be loaded\n";

constexpr const char* kDiffUsage =
    "usage: utilsim diff [--json] A B\n"
    "\n"
    "Compares how two stored runs (states, documents, streams of lines) end: rows, the\n"
    "hardware check and the counts. A or B may be - (standard input).\n"
    "\n"
    "options:\n"
    "  --json          print the differences as a JSON document\n"
    "  -h, --help      show this text\n"
    "\n"
    "exit status: 0 equal, 1 different, 2 usage error or a file that is not a state\n";

#undef RESULT_OPTIONS
}  // namespace

const char* usageOf(const std::string& command) {
  if (command == "list") return kListUsage;
  if (command == "tables") return kTablesUsage;
  if (command == "history") return kHistoryUsage;
  if (command == "replay") return kReplayUsage;
  if (command == "diff") return kDiffUsage;
  return kOverview;
}

std::string helpText(const std::string& command) {
  std::string text = usageOf(command);
  if (command == "replay" || command.empty()) text += fmt::format("\n{}", kExitStatus);
  return text;
}

int usageError(const Options& o, const UsageError& e) {
  fmt::print(stderr, "utilsim: {}\nrun 'utilsim {}--help' for the {}\n", e.what(),
             o.command.empty() ? "" : o.command + " ", o.command.empty() ? "usage" : "options");
  return kExitUsage;
}

}  // namespace Utilsim
