#include "tools/utilsim/Options.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "host/Trace.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/SafeFile.h"

#ifndef TERN_PLUGIN_FILE
#define TERN_PLUGIN_FILE "libJericho3aiUtils.so"
#endif

namespace Utilsim {
namespace {
std::uint64_t parseCount(const std::string& option, const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != text.npos)
    throw UsageError(fmt::format("{}: expected a positive number, got '{}'", option, text));
  const auto v = std::stoull(text);
  if (v == 0)
    throw UsageError(fmt::format("{}: expected a positive number, got '{}'", option, text));
  return v;
}

// Ids and ranges like "0-3,7" (ids 0 to max) as a set indexed by id.
std::vector<bool> parseIds(const std::string& option, const std::string& text, unsigned max) {
  const auto bad = [&](const std::string& why) {
    return UsageError(
        fmt::format("{} '{}': {} (expected ids 0 to {} like 0-3,7)", option, text, why, max));
  };
  const auto number = [&](const std::string& s) {
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != s.npos)
      throw bad("'" + s + "' is not an id");
    const unsigned v = unsigned(std::stoul(s));
    if (v > max) throw bad(fmt::format("{} is above {}", v, max));
    return v;
  };
  std::vector<bool> ids(max + 1);
  std::size_t pos = 0;
  while (true) {
    const auto comma = text.find(',', pos);
    const std::string item = text.substr(pos, comma == text.npos ? text.npos : comma - pos);
    const auto dash = item.find('-');
    const unsigned lo = number(item.substr(0, dash));
    const unsigned hi = dash == item.npos ? lo : number(item.substr(dash + 1));
    if (hi < lo) throw bad(fmt::format("range {}-{} runs backwards", lo, hi));
    for (unsigned id = lo; id <= hi; ++id) ids[id] = true;
    if (comma == text.npos) break;
    pos = comma + 1;
  }
  return ids;
}

// A file written over one the run reads, or over its own output, would destroy it. The same
// file by device and inode, however its path is spelt; a device such as /dev/null keeps
// nothing, so writing it destroys nothing.
void checkOutputs(const Options& o) {
  const std::pair<const char*, const std::optional<std::string>*> outputs[] = {
      {"--save-state", &o.saveState}, {"--diff-json", &o.differences}};
  for (std::size_t k = 0; k < std::size(outputs); ++k) {
    const auto& [option, path] = outputs[k];
    if (!*path) continue;
    const auto target = fileIdOf(**path);
    if (!target || target->characterDevice) continue;
    const auto clash = [&](const std::optional<FileId>& id, const std::string& what) {
      if (id && *id == *target)
        throw UsageError(fmt::format("{} {} is {}: writing it would destroy it", option,
                                     printable(**path, 200), what));
    };
    if (o.file && *o.file != "-") clash(fileIdOf(*o.file), "the log being replayed");
    clash(fileIdOf(0), "standard input");
    if (o.expect && *o.expect != "-") clash(fileIdOf(*o.expect), "the --expect file");
    if (o.loadState && k > 0) clash(fileIdOf(*o.loadState), "the --load-state file");
    clash(fileIdOf(1), "standard output, where the run's output goes");
    for (std::size_t j = 0; j < k; ++j)
      if (*outputs[j].second)
        clash(fileIdOf(**outputs[j].second), std::string("the ") + outputs[j].first + " file");
  }
}

// A number of things listed, or all of them.
std::size_t parseCap(const std::string& option, const std::string& text) {
  return text == "all" ? std::numeric_limits<std::size_t>::max()
                       : std::size_t(parseCount(option, text));
}

SchanAccel::Fapmask parseFapMask(const std::string& text) {
  SchanAccel::Fapmask mask;
  if (text == "none") return mask;
  const auto ids = parseIds("--fap-mask", text, SchanAccel::FapId::null);
  for (unsigned id = 0; id < ids.size(); ++id)
    if (ids[id]) mask.fapIdIs(SchanAccel::FapId(id), true);
  return mask;
}

// The plug-in file beside the executable (a build tree) or, when there is none there, in the
// install's plug-in folder relative to the executable, so that a moved install still finds
// its own plug-in.
#ifndef TERN_PLUGIN_RELATIVE_DIR
#define TERN_PLUGIN_RELATIVE_DIR "."
#endif
std::string defaultPluginPath() {
  char buf[4096];
  const auto n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return TERN_PLUGIN_FILE;
  std::string exe(buf, std::size_t(n));
  const auto slash = exe.rfind('/');
  const auto dir = slash == exe.npos ? std::string(".") : exe.substr(0, slash);
  const auto beside = dir + "/" + TERN_PLUGIN_FILE;
  const auto installed = dir + "/" + TERN_PLUGIN_RELATIVE_DIR + "/" + TERN_PLUGIN_FILE;
  return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed
                                                                                   : beside;
}
}  // namespace

namespace {
bool isCommand(const std::string& word) {
  return word == "list" || word == "tables" || word == "replay" || word == "history" ||
         word == "diff";
}

// The options a command takes (replay: all of them; history: those that change results).
bool takes(const std::string& command, const std::string& option) {
  if (command == "replay") return true;
  static const std::map<std::string, std::set<std::string>> kTakes = {
      {"list", {"--plugin", "--json"}},
      {"tables", {"--plugin", "--json", "--chip"}},
      {"history",
       {"--plugin", "--json", "--chip", "--fap-mask", "--dispatch", "--load-state",
        "--drop-command", "--progress", "--no-progress"}}};
  const auto it = kTakes.find(command);
  return it != kTakes.end() && it->second.count(option);
}

bool given(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
  const auto end = std::find(args.begin(), args.end(), "--");
  return std::any_of(args.begin(), end, [&](const std::string& a) {
    return std::find(names.begin(), names.end(), a) != names.end();
  });
}
}  // namespace

bool helpOrVersion(const std::vector<std::string>& args) {
  return given(args, {"-h", "--help", "-V", "--version"});
}

void parseOptions(int argc, char** argv, Options& o) {
  for (unsigned id = 0; id < 128; ++id) o.replay.fapmask.fapIdIs(SchanAccel::FapId(id), true);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A request for help or the version wins wherever it stands (before "--"): whatever else the
  // line holds, the user is asking, and must neither start a replay nor get a usage error.
  const auto end = std::find(args.begin(), args.end(), "--");
  const bool help = given(args, {"-h", "--help"}), version = given(args, {"-V", "--version"});
  if (help || version) {
    o.action = help ? Options::Action::Help : Options::Action::Version;
    const auto command = std::find_if(args.begin(), end, isCommand);
    if (command != end) o.command = *command;
    for (auto a = args.begin(); a != end; ++a)
      if (*a == "--plugin" && a + 1 != end)
        o.plugin = *(a + 1);
      else if (a->rfind("--plugin=", 0) == 0)
        o.plugin = a->substr(9);
    if (o.plugin.empty()) o.plugin = defaultPluginPath();
    return;
  }
  if (args.empty()) throw UsageError("missing command (list, tables, replay, history or diff)");
  if (!isCommand(args.front()))
    throw UsageError(fmt::format(
        "unknown command '{}' (expected list, tables, replay, history or diff)", args.front()));
  o.command = args.front();
  const bool replay = o.command == "replay", history = o.command == "history";
  // The first of each kind as given, for the messages below.
  const auto textOnly = [&](const std::string& name) {
    if (o.textOnly.empty()) o.textOnly = name;
  };
  const auto filterGiven = [&](const std::string& name) {
    if (o.filterGiven.empty()) o.filterGiven = name;
  };
  const auto forExpect = [&](const std::string& name) {
    if (o.forExpect.empty()) o.forExpect = name;
  };
  bool positionalOnly = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (positionalOnly || arg == "-" || arg.rfind("-", 0) != 0) {
      if (!replay && !history)
        throw UsageError(fmt::format("{} takes no file ('{}')", o.command, arg));
      if (o.file && history)
        o.rows.push_back(arg);  // the rows whose history is asked for, as reports print them
      else if (o.file)
        throw UsageError(fmt::format("more than one input file ('{}')", arg));
      else
        o.file = arg;
      continue;
    }
    if (arg == "--") {
      positionalOnly = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); eq != arg.npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", arg));
      return args[++i];
    };
    const auto flag = [&] {
      if (inlineValue) throw UsageError(fmt::format("{} takes no value", arg));
    };
    if (!takes(o.command, arg))
      throw UsageError(fmt::format("unknown option '{}' for {}", arg, o.command));
    if (arg == "--plugin") {
      o.plugin = value();
    } else if (arg == "--json") {
      flag();
      o.json = true;
    } else if (arg == "--chip") {
      const auto chip = value();
      if (chip == "bcm88890_a0")
        o.replay.chip = Hardware::kChipBcm88890A0;
      else if (chip == "bcm88890_b0")
        o.replay.chip = Hardware::kChipBcm88890B0;
      else
        throw UsageError(fmt::format("--chip: unknown chip '{}'", chip));
    } else if (arg == "--fap-mask") {
      o.replay.fapmask = parseFapMask(value());
    } else if (arg == "--dispatch") {
      const auto mode = value();
      if (mode != "applicable" && mode != "always")
        throw UsageError(fmt::format("--dispatch: expected applicable or always, got '{}'", mode));
      o.replay.always = mode == "always";
    } else if (arg == "--trace") {
      o.trace = value();
      if (o.trace.empty()) throw UsageError("--trace: empty level list");
    } else if (arg == "--show") {
      const auto what = value();
      if (what == "chains")
        o.chains = true;
      else if (what == "entries")
        o.entries = true;
      else
        throw UsageError(fmt::format("--show: expected chains or entries, got '{}'", what));
      textOnly("--show " + what);
    } else if (arg == "--lines") {  // N, N-M or N- (to the end); repeated: their union
      const auto range = value();
      const auto dash = range.find('-');
      LineRange r;
      r.first = unsigned(parseCount(arg, range.substr(0, dash)));
      if (dash == range.npos)
        r.last = r.first;
      else if (dash + 1 < range.size())
        r.last = unsigned(parseCount(arg, range.substr(dash + 1)));
      if (r.last && r.last < r.first)
        throw UsageError(fmt::format("--lines: range {} runs backwards", range));
      o.lines.push_back(r);
      o.entries = true;
      textOnly("--lines");
    } else if (arg == "--table") {
      const auto name = value();
      const auto* table = findHwTable(name);
      if (!table)
        throw UsageError(fmt::format("--table: unknown table '{}' (utilsim list shows the tables)",
                                     printable(name, 80)));
      o.filter.tables.push_back(table);
      filterGiven(arg);
    } else if (arg == "--fap") {
      o.filter.faps = parseIds(arg, value(), 255);
      filterGiven(arg);
    } else if (arg == "--instance") {
      o.filter.instances = parseIds(arg, value(), 255);
      filterGiven(arg);
    } else if (arg == "--changed") {
      flag();
      o.filter.changed = true;
      filterGiven(arg);
    } else if (arg == "--jsonl") {
      flag();
      o.jsonl = true;
    } else if (arg == "--decode") {
      flag();
      o.decode = true;
    } else if (arg == "--failures") {
      o.failureCap = parseCap(arg, value());
      textOnly(arg);
    } else if (arg == "--progress" || arg == "--no-progress") {
      flag();
      o.progress = arg == "--progress";
    } else if (arg == "--expect") {
      o.expect = value();
    } else if (arg == "--max-differences") {
      o.maxDifferences = parseCap(arg, value());
      forExpect(arg);
    } else if (arg == "--diff-json") {
      o.differences = value();
      forExpect(arg);
    } else if (arg == "--update") {
      flag();
      o.update = true;
      forExpect(arg);
    } else if (arg == "--timing") {
      flag();
      o.timing = true;
    } else if (arg == "--load-state" || arg == "--save-state") {  // saved states
      (arg == "--load-state" ? o.loadState : o.saveState) = value();
    } else if (arg == "--drop-command") {  // testing aid: makes the hardware check fail
      o.replay.dropCommand = parseCount(arg, value());
    } else {
      throw UsageError(fmt::format("unknown option '{}'", arg));
    }
  }
  if (o.json && o.jsonl) throw UsageError("--json and --jsonl are two formats: choose one");
  if (o.expect && (o.json || o.jsonl))
    throw UsageError(fmt::format("--expect prints only the comparison; {} cannot go with it",
                                 o.json ? "--json" : "--jsonl"));
  // Options that would change nothing where they stand are refused, each by its name.
  const char* format = o.json ? "--json" : o.jsonl ? "--jsonl" : o.expect ? "--expect" : nullptr;
  if (format && !o.textOnly.empty())
    throw UsageError(fmt::format("{} belongs to the text report; it cannot go with {}{}",
                                 o.textOnly, format,
                                 o.jsonl && o.entries ? " (--jsonl has every line)" : ""));
  if (o.decode && !o.json && !o.jsonl)
    throw UsageError("--decode adds to --json or --jsonl, and neither is given");
  if (o.expect && o.timing)
    throw UsageError("--timing cannot go with --expect: latencies differ from run to run");
  if (o.expect && !o.filterGiven.empty())
    throw UsageError(
        fmt::format("--expect compares whole runs: {} cannot go with it", o.filterGiven));
  if (!o.expect && !o.forExpect.empty())
    throw UsageError(fmt::format("{} belongs to --expect, which is not given", o.forExpect));
  if (o.update && *o.expect == "-")
    throw UsageError("--update rewrites the --expect file; standard input cannot be rewritten");
  if (o.expect && *o.expect == "-" && (!o.file || *o.file == "-"))
    throw UsageError("--expect - and the log both read standard input: give the log as a file");
  // The trace configuration is the one reader of the level syntax: enabling checks it.
  if (!o.trace.empty()) {
    try {
      Qel::TraceConfig::enable(o.trace);
    } catch (const std::invalid_argument& e) {
      throw UsageError(fmt::format("--trace: {}", e.what()));
    }
  }
  checkOutputs(o);
  if (o.plugin.empty()) o.plugin = defaultPluginPath();
}

}  // namespace Utilsim
