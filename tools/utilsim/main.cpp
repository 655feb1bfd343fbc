// utilsim: loads the Util plug-in, lists its registrations, or replays a log of software
// table changes through the Utils of one chip and reports what they did.
#include <elf.h>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/Trace.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/Report.h"
#include "tools/utilsim/State.h"

#ifndef UTILSIM_VERSION
#define UTILSIM_VERSION "unknown"
#endif
#ifndef TERN_PLUGIN_FILE
#define TERN_PLUGIN_FILE "libJericho3aiUtils.so"
#endif

namespace Utilsim {
namespace {
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitEnvironment = 3;

constexpr const char* kExitStatus =
    "exit status: 0 all entries processed and hardware consistent, 1 a Util failed, the\n"
    "hardware check failed or --expect found differences, 2 usage or input error,\n"
    "3 the plug-in could not be loaded or started, or the output or state not written\n";

constexpr const char* kOverview =
    "usage: utilsim list [--plugin PATH] [--json]\n"
    "       utilsim replay [OPTIONS] [FILE|-]\n"
    "       utilsim diff [--json] A B\n"
    "       utilsim --version [--plugin PATH]\n"
    "\n"
    "commands:\n"
    "  list     list what the plug-in registers\n"
    "  replay   replay a log of software-table changes through the Utils of one chip\n"
    "  diff     compare the tables of two saved states or stored documents\n"
    "\n"
    "run 'utilsim <command> --help' for the options of a command\n";

constexpr const char* kListUsage =
    "usage: utilsim list [--plugin PATH] [--json]\n"
    "\n"
    "Starts every plug-in and prints one line per Util registration.\n"
    "\n"
    "options:\n"
    "  --plugin PATH   plug-in to load (default: beside utilsim)\n"
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
    "options:\n"
    "  --chip bcm88890_a0|bcm88890_b0   chip whose Utils are built (default bcm88890_a0)\n"
    "  --plugin PATH                    plug-in to load (default: beside utilsim)\n"
    "  --fap-mask LIST                  fap ids served, like 0-3,7 or none (default 0-127)\n"
    "  --dispatch applicable|always     ask utilApplicable first (default) or always process\n"
    "  --trace LEVELS                   trace levels to stderr: 2,3,8 or Name=2;*=3\n"
    "  --json                           print the JSON document instead of the report\n"
    "  --jsonl                          print one JSON object per entry, then the rest\n"
    "  --show chains|entries            add the routing chains, or every entry line by line\n"
    "  --lines N[-M]                    show these lines of the log line by line\n"
    "  --table NAME, --fap LIST, --instance LIST, --changed\n"
    "                                   show only these tables, copies, or rows not at reset\n"
    "  --failures N|all                 failures listed in the report (default 100)\n"
    "  --expect FILE.json               compare the JSON document with a stored one\n"
    "                                   (not with --json, --jsonl, --show, --timing)\n"
    "  --timing                         add processSwEntry latencies per Util\n"
    "  --load-state FILE                start from the tables of a saved state or document\n"
    "  --save-state FILE                write the end state (chip and tables) to FILE\n"
    "  --progress, --no-progress        show progress on stderr (default: if a terminal)\n"
    "  --drop-command N                 withhold the Nth command from the chip (testing)\n"
    "  -h, --help                       show this text\n";

constexpr const char* kDiffUsage =
    "usage: utilsim diff [--json] A B\n"
    "\n"
    "Compares the tables of two saved states or stored documents, row by row.\n"
    "\n"
    "options:\n"
    "  --json          print the differences as a JSON document\n"
    "  -h, --help      show this text\n"
    "\n"
    "exit status: 0 equal, 1 different, 2 usage error or a file that is not a state\n";

const char* usageOf(const std::string& command) {
  if (command == "list") return kListUsage;
  if (command == "replay") return kReplayUsage;
  if (command == "diff") return kDiffUsage;
  return kOverview;
}

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  enum class Action { Run, Help, Version };
  Action action = Action::Run;
  std::string command;  // list or replay; empty for the overview
  std::string plugin;
  std::optional<std::string> file;
  std::optional<std::string> expect;
  std::optional<std::string> loadState, saveState;
  std::string trace;
  bool json = false, jsonl = false, chains = false, timing = false;
  std::optional<bool> progress;  // none: when standard error is a terminal
  std::size_t failureCap = 100;
  bool entries = false;  // the per-line view
  unsigned firstLine = 0, lastLine = 0;
  RowFilter filter;
  ReplayConfig replay;
};

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
    return UsageError(fmt::format("{} '{}': {} (expected ids 0 to {} like 0-3,7)", option, text,
                                  why, max));
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

SchanAccel::Fapmask parseFapMask(const std::string& text) {
  SchanAccel::Fapmask mask;
  if (text == "none") return mask;
  const auto ids = parseIds("--fap-mask", text, SchanAccel::FapId::null);
  for (unsigned id = 0; id < ids.size(); ++id)
    if (ids[id]) mask.fapIdIs(SchanAccel::FapId(id), true);
  return mask;
}

// Fills `o` as far as it gets, so that a usage error can point at the command's own help.
void parseOptions(int argc, char** argv, Options& o) {
  for (unsigned id = 0; id < 128; ++id) o.replay.fapmask.fapIdIs(SchanAccel::FapId(id), true);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A request for help or the version wins wherever it stands (before "--"): whatever else the
  // line holds, the user is asking, and must neither start a replay nor get a usage error.
  const auto end = std::find(args.begin(), args.end(), "--");
  const auto given = [&](std::initializer_list<const char*> names) {
    return std::any_of(args.begin(), end, [&](const std::string& a) {
      return std::find(names.begin(), names.end(), a) != names.end();
    });
  };
  const bool help = given({"-h", "--help"}), version = given({"-V", "--version"});
  if (help || version) {
    o.action = help ? Options::Action::Help : Options::Action::Version;
    const auto command = std::find_if(
        args.begin(), end, [](const std::string& a) { return a == "list" || a == "replay" || a == "diff"; });
    if (command != end) o.command = *command;
    for (auto a = args.begin(); a != end; ++a)
      if (*a == "--plugin" && a + 1 != end)
        o.plugin = *(a + 1);
      else if (a->rfind("--plugin=", 0) == 0)
        o.plugin = a->substr(9);
    return;
  }
  if (args.empty()) throw UsageError("missing command (list, replay or diff)");
  if (args.front() != "list" && args.front() != "replay")
    throw UsageError(
        fmt::format("unknown command '{}' (expected list, replay or diff)", args.front()));
  o.command = args.front();
  const bool replay = o.command == "replay";
  bool positionalOnly = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (positionalOnly || arg == "-" || arg.rfind("-", 0) != 0) {
      if (!replay) throw UsageError(fmt::format("list takes no file ('{}')", arg));
      if (o.file) throw UsageError(fmt::format("more than one input file ('{}')", arg));
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
    if (arg == "--plugin") {
      o.plugin = value();
    } else if (arg == "--json") {
      flag();
      o.json = true;
    } else if (!replay) {
      throw UsageError(fmt::format("unknown option '{}' for list", arg));
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
    } else if (arg == "--lines") {
      const auto range = value();
      const auto dash = range.find('-');
      o.firstLine = unsigned(parseCount(arg, range.substr(0, dash)));
      o.lastLine = dash == range.npos ? o.firstLine : unsigned(parseCount(arg, range.substr(dash + 1)));
      if (o.lastLine < o.firstLine)
        throw UsageError(fmt::format("--lines: range {} runs backwards", range));
      o.entries = true;
    } else if (arg == "--table") {
      const auto name = value();
      const auto& all = TernAsicUtils::HwTableInfo::all();
      const auto it = std::find_if(all.begin(), all.end(), [&](const auto* t) { return name == t->name; });
      if (it == all.end())
        throw UsageError(fmt::format("--table: unknown table '{}' (utilsim list shows the tables)", name));
      o.filter.tables.push_back(*it);
    } else if (arg == "--fap") {
      o.filter.faps = parseIds(arg, value(), 255);
    } else if (arg == "--instance") {
      o.filter.instances = parseIds(arg, value(), 255);
    } else if (arg == "--changed") {
      flag();
      o.filter.changed = true;
    } else if (arg == "--jsonl") {
      flag();
      o.jsonl = true;
    } else if (arg == "--failures") {
      const auto cap = value();
      o.failureCap = cap == "all" ? std::numeric_limits<std::size_t>::max()
                                  : std::size_t(parseCount(arg, cap));
    } else if (arg == "--progress" || arg == "--no-progress") {
      flag();
      o.progress = arg == "--progress";
    } else if (arg == "--expect") {
      o.expect = value();
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
  // --expect prints only the comparison: these would be silently ignored.
  for (const auto& [name, set] :
       {std::pair{"--json", o.json}, std::pair{"--jsonl", o.jsonl},
        std::pair{"--show", o.chains || o.entries}, std::pair{"--timing", o.timing}})
    if (o.expect && set)
      throw UsageError(fmt::format(
          "--expect prints only the comparison with the stored document; {} cannot go with it",
          name));
  const bool filtered = !o.filter.tables.empty() || !o.filter.faps.empty() ||
                        !o.filter.instances.empty() || o.filter.changed;
  if (o.expect && filtered)
    throw UsageError("--expect compares whole runs: it takes no filter");
  if (o.json && o.jsonl) throw UsageError("--json and --jsonl are two formats: choose one");
  if ((o.json || o.jsonl) && o.entries)
    throw UsageError("the per-line view is part of the text report (--jsonl has every line)");
}

std::string defaultPluginPath() {
  char buf[4096];
  const auto n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return TERN_PLUGIN_FILE;
  std::string exe(buf, std::size_t(n));
  const auto slash = exe.rfind('/');
  return (slash == exe.npos ? std::string(".") : exe.substr(0, slash)) + "/" + TERN_PLUGIN_FILE;
}

void writeOut(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout))
    throw std::runtime_error("cannot write the output");
}

template <class... Args>
void warn(fmt::format_string<Args...> format, Args&&... args) {
  fmt::print(stderr, "utilsim: warning: {}\n", fmt::format(format, std::forward<Args>(args)...));
}

// The GNU build id the linker put into an ELF file (of this machine's byte order), in
// hexadecimal; empty when the file has none or is not ELF. It names the exact build of a
// plug-in where size and time do not.
template <class Ehdr, class Phdr, class Nhdr>
std::string buildIdOf(std::string_view f) {
  Ehdr eh;
  if (f.size() < sizeof eh) return {};
  std::memcpy(&eh, f.data(), sizeof eh);
  for (std::uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    const std::uint64_t at = eh.e_phoff + i * eh.e_phentsize;
    if (at + sizeof ph > f.size()) return {};
    std::memcpy(&ph, f.data() + at, sizeof ph);
    if (ph.p_type != PT_NOTE || ph.p_offset + ph.p_filesz > f.size()) continue;
    const std::uint64_t end = ph.p_offset + ph.p_filesz;
    for (std::uint64_t pos = ph.p_offset; pos + sizeof(Nhdr) <= end;) {
      Nhdr nh;
      std::memcpy(&nh, f.data() + pos, sizeof nh);
      const std::uint64_t name = pos + sizeof nh, desc = name + ((nh.n_namesz + 3u) & ~3u),
                          next = desc + ((nh.n_descsz + 3u) & ~3u);
      if (next > end) break;
      if (nh.n_type == NT_GNU_BUILD_ID &&
          f.substr(name, nh.n_namesz) == std::string_view("GNU", 4)) {
        std::string id;
        for (const char c : f.substr(desc, nh.n_descsz))
          id += fmt::format("{:02x}", unsigned(std::uint8_t(c)));
        return id;
      }
      pos = next;
    }
  }
  return {};
}

std::string buildId(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (f.size() <= EI_CLASS || f.compare(0, SELFMAG, ELFMAG) != 0) return {};
  if (f[EI_CLASS] == ELFCLASS64) return buildIdOf<Elf64_Ehdr, Elf64_Phdr, Elf64_Nhdr>(f);
  if (f[EI_CLASS] == ELFCLASS32) return buildIdOf<Elf32_Ehdr, Elf32_Phdr, Elf32_Nhdr>(f);
  return {};
}

// utilsim's version and the plug-in file a run would load, which decides what a run does.
int version(const Options& o) {
  std::string text = fmt::format("utilsim {}\nplug-in: {}", UTILSIM_VERSION, o.plugin);
  struct stat st {};
  if (stat(o.plugin.c_str(), &st) != 0) {
    text += fmt::format(" (cannot be read: {})\n", std::strerror(errno));
  } else {
    std::tm tm{};
    gmtime_r(&st.st_mtime, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &tm);
    text += fmt::format("\n  {} bytes, modified {}\n", std::uint64_t(st.st_size), when);
    if (const auto id = buildId(o.plugin); !id.empty()) text += fmt::format("  build id {}\n", id);
  }
  writeOut(text);
  return kExitOk;
}

int list(const Options& o) {
  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  const auto records = lib.plugins();
  struct Row {
    std::string util, plugin, swTable, revision, hwTable;
  };
  std::vector<Row> rows;
  for (const auto& r : context.registrations()) {
    Row row{r.key.utilName, "(no plug-in record)", fmt::format("{}", r.key.swTableId),
            revisionName(r.key.fapRevision), ""};
    for (const auto& p : records)
      if (p.name == r.key.utilName + "Plugin") row.plugin = p.name;
    try {
      const Pavo::Ptr<TernAsicUtils::TableManager> scratch(new TernAsicUtils::TableManager);
      row.hwTable = context.build(r, scratch)->hwTableType();
    } catch (const std::exception& e) {
      row.hwTable = std::string("(building the Util failed: ") + e.what() + ")";
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) warn("{} registers no Util", o.plugin);
  std::string out;
  if (o.json) {
    nlohmann::ordered_json doc = nlohmann::ordered_json::array();
    for (const auto& r : rows)
      doc.push_back({{"util", r.util},
                     {"plugin", r.plugin},
                     {"swTableId", r.swTable},
                     {"fapRevision", r.revision},
                     {"hwTableType", r.hwTable}});
    out = doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  } else {
    std::size_t wu = 4, wp = 6;
    for (const auto& r : rows) wu = std::max(wu, r.util.size()), wp = std::max(wp, r.plugin.size());
    out = fmt::format("{:<{}}  {:<{}}  {:<10}  {:<11}  {}\n", "Util", wu, "Plugin", wp, "swTableId",
                      "fapRevision", "hwTableType");
    for (const auto& r : rows)
      out += fmt::format("{:<{}}  {:<{}}  {:<10}  {:<11}  {}\n", r.util, wu, r.plugin, wp,
                         r.swTable, r.revision, r.hwTable);
    out += counted(rows.size(), "registration", "registrations") + "\n";
  }
  writeOut(out);
  return kExitOk;
}

// Entries done and entries per second on standard error, for runs long enough to wonder.
class Progress {
 public:
  Progress(bool enabled, std::int64_t size)
      : enabled_(enabled), tty_(isatty(2) == 1), size_(size), start_(Clock::now()) {}
  void tick(const char* phase, std::uint64_t count, std::uint64_t bytes) {
    if (!enabled_ || ++calls_ % 8192 != 0) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(500))
      return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string text = fmt::format("utilsim: {} {} lines, {:.0f} per second", phase, count,
                                   double(count) / seconds);
    if (size_ > 0) text += fmt::format(", {:.0f} %", 100.0 * double(bytes) / double(size_));
    if (tty_)
      fmt::print(stderr, "\r{:<78}", text);
    else
      fmt::print(stderr, "{}\n", text);
    shown_ = true;
  }
  void done() {
    if (shown_ && tty_) fmt::print(stderr, "\r{:78}\r", "");
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_, tty_;
  std::int64_t size_;
  Clock::time_point start_, last_;
  std::uint64_t calls_ = 0;
  bool shown_ = false;
};

// Hands every entry to each of several sinks.
struct Sinks : ReplaySink {
  std::vector<ReplaySink*> all;
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override {
    for (auto* s : all) s->entry(entry, results);
  }
};

void printErrors(const std::string& file, const std::vector<InputError>& errors) {
  for (const auto& e : errors)
    if (e.column)
      fmt::print(stderr, "{}:{}:{}: {}\n", file, e.line, e.column, e.message);
    else
      fmt::print(stderr, "{}:{}: {}\n", file, e.line, e.message);
}

// Routing-state entries whose key type no Util takes: only 0 (VSI) and 1 (routing profile)
// have one.
struct OtherKeyTypes {
  std::uint64_t count = 0;
  unsigned firstLine = 0;
};

// Names of the per-handle trace rules ("Name=2;*=3" gives Name).
std::vector<std::string> traceRuleNames(const std::string& spec) {
  std::vector<std::string> names;
  if (spec.find('=') == spec.npos) return names;
  for (std::size_t pos = 0; pos < spec.size();) {
    const auto semi = std::min(spec.find(';', pos), spec.size());
    const auto item = spec.substr(pos, semi - pos);
    if (const auto name = item.substr(0, item.find('=')); name != "*") names.push_back(name);
    pos = semi + 1;
  }
  return names;
}

// Options that, as the run turned out, changed nothing. Only known after the run: trace
// handles come into being when a Util first traces, commands when the Utils return them.
void warnAboutNoEffect(const Options& o, const Replay& run, const OtherKeyTypes& otherTypes) {
  if (otherTypes.count)
    warn(
        "{} with a key type other than 0 (VSI) and 1 (routing profile), the first on line {}: "
        "no Util takes {}",
        counted(otherTypes.count, "routing-state entry", "routing-state entries"),
        otherTypes.firstLine, otherTypes.count == 1 ? "it" : "them");
  if (o.replay.dropCommand && !run.droppedCommand())
    warn("--drop-command {}: the run had {}; none was withheld", o.replay.dropCommand,
         counted(run.chip().commands(), "command", "commands"));
  const auto used = Qel::TraceConfig::handleNames();
  for (const auto& name : traceRuleNames(o.trace))
    if (std::find(used.begin(), used.end(), name) == used.end())
      warn("--trace: no trace handle named '{}' was used in this run (used: {})", name,
           used.empty() ? "none" : fmt::format("{}", fmt::join(used, ", ")));
}

int replay(const Options& o) {
  std::optional<State> loaded;  // read before anything else: a bad state replays nothing
  if (o.loadState && !(loaded = readStateFile(*o.loadState))) return kExitUsage;
  LineReader input(o.file ? *o.file : "-");
  Progress progress(o.progress.value_or(true) && (o.progress || isatty(2) == 1), input.size());
  std::vector<InputError> errors;
  InputEntry entry;
  LineReader::Line line;
  // A file is checked whole before anything is replayed, so that a bad line replays nothing.
  // A pipe can be read only once: it is replayed as it comes, up to its first bad line.
  const bool checkFirst = input.seekable();
  if (checkFirst) {
    std::uint64_t lines = 0;
    unsigned stoppedAt = 0;  // the line after whose errors checking gave up
    while (input.next(line)) {
      checkLine(line, entry, errors);
      if (errors.size() >= InputLimits::kMaxErrors) {
        stoppedAt = line.number;
        break;
      }
      progress.tick("checking", ++lines, input.bytesRead());
    }
    progress.done();
    if (!errors.empty()) {
      printErrors(input.name(), errors);
      if (stoppedAt)
        fmt::print(stderr, "{}:{}: too many errors; the rest of the input was not checked\n",
                   input.name(), stoppedAt);
      fmt::print(stderr, "utilsim: {}{}; nothing was replayed\n",
                 counted(errors.size(), "input error", "input errors"),
                 stoppedAt ? fmt::format(" (checking stopped at line {})", stoppedAt) : "");
      return kExitUsage;
    }
    input.rewind();
  }

  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  ReplayConfig config = o.replay;
  config.timing = o.timing;
  config.trackVsis = o.chains;
  Replay run(context, config);
  if (run.utils().empty())
    warn("{} registers no Util for {}: the entries reach no Util", o.plugin,
         Hardware::chipTypeName(config.chip));
  if (loaded) loadState(run, *loaded, *o.loadState);

  const ReportOptions options{o.chains, o.timing, o.failureCap, o.filter};
  Output out(stdout);
  Sinks sinks;
  OtherKeyTypes otherTypes;
  std::unique_ptr<ExpectCheck> expect;
  std::optional<DocumentStream> document;
  FailureList failures(o.failureCap);
  if (o.expect) {
    expect = std::make_unique<ExpectCheck>(*o.expect, run);
    sinks.all.push_back(expect.get());
  } else if (o.json || o.jsonl) {
    document.emplace(out, o.jsonl ? DocumentStream::Format::Lines : DocumentStream::Format::Document,
                     run, options);
    document->begin();
    sinks.all.push_back(&*document);
  } else {
    sinks.all.push_back(&failures);
  }
  std::optional<LineView> lineView;
  if (o.entries) {
    lineView.emplace(out, run, options.filter, o.firstLine, o.lastLine);
    sinks.all.push_back(&*lineView);
  }

  {
    EntryStream entries(input);
    while (const InputEntry* e = entries.next()) {
      if (e->table == SwTable::RoutingState && e->routingState.type > 1 && !e->tableDelete &&
          !otherTypes.count++)
        otherTypes.firstLine = e->line;
      run.process(*e, &sinks);
      progress.tick("replayed", run.entries(), entries.bytesRead());
    }
    errors = entries.errors();
  }
  progress.done();
  run.finish();
  warnAboutNoEffect(o, run, otherTypes);

  int status = run.errors() == 0 && run.consistent() ? kExitOk : kExitFailed;
  if (expect) {
    const auto diff = expect->finish();
    std::string text;
    if (diff.empty())
      text = fmt::format("utilsim: the run matches {}\n", *o.expect);
    else
      text = fmt::format("utilsim: the run differs from {} ({}):\n", *o.expect,
                         counted(diff.size(), "difference line", "difference lines"));
    for (const auto& l : diff) text += "  " + l + "\n";
    out.buffer().append(text);
    status = diff.empty() ? kExitOk : kExitFailed;
  } else if (document) {
    document->end();
  } else {
    out.buffer().append(textReport(run, options, failures));
  }
  out.flush();
  if (!errors.empty()) {
    // Only standard input gets here: what came before the bad line was replayed and shown.
    printErrors(input.name(), errors);
    fmt::print(stderr,
               "utilsim: stopped at the input error on line {}; the {} before it {} replayed\n",
               errors.front().line, counted(run.entries(), "entry", "entries"),
               run.entries() == 1 ? "was" : "were");
    return kExitUsage;
  }
  if (o.saveState) saveState(*o.saveState, run);
  return status;
}
}  // namespace
}  // namespace Utilsim

int main(int argc, char** argv) {
  using namespace Utilsim;
  if (argc > 1 && std::string(argv[1]) == "diff")
    return diffCommand(std::vector<std::string>(argv + 2, argv + argc), kDiffUsage);
  Options o;
  try {
    parseOptions(argc, argv, o);
    if (o.action == Options::Action::Help) {
      std::fputs(usageOf(o.command), stdout);
      if (o.command != "list") fmt::print("\n{}", kExitStatus);
      return kExitOk;
    }
    if (!o.trace.empty()) {
      try {
        Qel::TraceConfig::enable(o.trace);
      } catch (const std::invalid_argument& e) {
        throw UsageError(fmt::format("--trace: {}", e.what()));
      }
    }
  } catch (const UsageError& e) {
    fmt::print(stderr, "utilsim: {}\nrun 'utilsim {}--help' for the {}\n", e.what(),
               o.command.empty() ? "" : o.command + " ", o.command.empty() ? "usage" : "options");
    return kExitUsage;
  }
  if (o.plugin.empty()) o.plugin = defaultPluginPath();
  try {
    if (o.action == Options::Action::Version) return version(o);
    return o.command == "list" ? list(o) : replay(o);
  } catch (const InputFileError& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitEnvironment;
  }
}
