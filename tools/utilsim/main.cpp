// utilsim: loads the Util plug-in, lists its registrations, or replays a log of software
// table changes through the Utils of one chip and reports what they did.
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/Trace.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/Report.h"
#include "tools/utilsim/State.h"

#ifndef TERN_PLUGIN_FILE
#define TERN_PLUGIN_FILE "libJericho3aiUtils.so"
#endif

namespace Utilsim {
namespace {
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitEnvironment = 3;

constexpr const char* kUsage =
    "usage: utilsim list [--plugin PATH] [--json]\n"
    "       utilsim replay [OPTIONS] [FILE|-]\n"
    "       utilsim diff [--json] A B\n"
    "\n"
    "replay options:\n"
    "  --chip bcm88890_a0|bcm88890_b0   chip whose Utils are built (default bcm88890_a0)\n"
    "  --plugin PATH                    plug-in to load (default: beside utilsim)\n"
    "  --fap-mask LIST                  fap ids served, like 0-3,7 or none (default 0-127)\n"
    "  --dispatch applicable|always     ask utilApplicable first (default) or always process\n"
    "  --trace LEVELS                   trace levels to stderr: 2,3,8 or Name=2;*=3\n"
    "  --json                           print the JSON document instead of the report\n"
    "  --jsonl                          print one JSON object per entry, then the rest\n"
    "  --show chains                    add the routing chains to the report\n"
    "  --failures N|all                 failures listed in the report (default 100)\n"
    "  --expect FILE.json               compare the JSON document with a stored one\n"
    "  --timing                         add processSwEntry latencies per Util\n"
    "  --load-state FILE                start from the tables of a saved state or document\n"
    "  --save-state FILE                write the end state (chip and tables) to FILE\n"
    "  --progress, --no-progress        show progress on stderr (default: if a terminal)\n"
    "  --help                           show this text\n"
    "\n"
    "exit status: 0 all entries processed and hardware consistent, 1 a Util failed, the\n"
    "hardware check failed or --expect found differences, 2 usage or input error,\n"
    "3 the plug-in could not be loaded or started\n"
    "\n"
    "diff compares the tables of two saved states or documents (--json: as JSON);\n"
    "exit status 0 equal, 1 different, 2 usage error or a file that is not a state\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string command;
  std::string plugin;
  std::optional<std::string> file;
  std::optional<std::string> expect;
  std::optional<std::string> loadState, saveState;
  std::string trace;
  bool json = false, jsonl = false, chains = false, timing = false;
  std::optional<bool> progress;  // none: when standard error is a terminal
  std::size_t failureCap = 100;
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

SchanAccel::Fapmask parseFapMask(const std::string& text) {
  SchanAccel::Fapmask mask;
  if (text == "none") return mask;
  const auto bad = [&text](const std::string& why) {
    return UsageError(
        fmt::format("--fap-mask '{}': {} (expected ids 0 to 128 like 0-3,7, or "
                    "none)",
                    text, why));
  };
  const auto number = [&bad](const std::string& s) {
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != s.npos)
      throw bad("'" + s + "' is not a fap id");
    const unsigned v = unsigned(std::stoul(s));
    if (v > SchanAccel::FapId::null) throw bad(fmt::format("{} is above 128", v));
    return v;
  };
  std::size_t pos = 0;
  while (true) {
    const auto comma = text.find(',', pos);
    const std::string item = text.substr(pos, comma == text.npos ? text.npos : comma - pos);
    const auto dash = item.find('-');
    const unsigned lo = number(item.substr(0, dash));
    const unsigned hi = dash == item.npos ? lo : number(item.substr(dash + 1));
    if (hi < lo) throw bad(fmt::format("range {}-{} runs backwards", lo, hi));
    for (unsigned id = lo; id <= hi; ++id) mask.fapIdIs(SchanAccel::FapId(id), true);
    if (comma == text.npos) break;
    pos = comma + 1;
  }
  return mask;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  for (unsigned id = 0; id < 128; ++id) o.replay.fapmask.fapIdIs(SchanAccel::FapId(id), true);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) throw UsageError("missing command (list, replay or diff)");
  o.command = args.front();
  if (o.command == "--help" || o.command == "-h") return o;
  if (o.command != "list" && o.command != "replay")
    throw UsageError(
        fmt::format("unknown command '{}' (expected list, replay or diff)", o.command));
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
    if (arg == "--help" || arg == "-h") {
      o.command = "--help";
      return o;
    } else if (arg == "--plugin") {
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
      if (what != "chains")
        throw UsageError(fmt::format("--show: expected chains, got '{}'", what));
      o.chains = true;
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
  return o;
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
    out += fmt::format("{} registrations\n", rows.size());
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

bool check(const LineReader::Line& line, InputEntry& entry, std::vector<InputError>& errors) {
  if (line.tooLong) {
    errors.push_back(
        {line.number, 0, fmt::format("line is longer than {} bytes", InputLimits::kMaxLineBytes)});
    return false;
  }
  return checkLine(line.text, line.number, entry, errors);
}

void printErrors(const std::string& file, const std::vector<InputError>& errors) {
  for (const auto& e : errors)
    if (e.column)
      fmt::print(stderr, "{}:{}:{}: {}\n", file, e.line, e.column, e.message);
    else
      fmt::print(stderr, "{}:{}: {}\n", file, e.line, e.message);
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
    while (input.next(line)) {
      check(line, entry, errors);
      if (errors.size() >= InputLimits::kMaxErrors) {
        errors.push_back(
            {line.number, 0, "too many errors; the rest of the input was not checked"});
        break;
      }
      progress.tick("checking", ++lines, input.bytesRead());
    }
    progress.done();
    if (!errors.empty()) {
      printErrors(input.name(), errors);
      fmt::print(stderr, "utilsim: {} input error{}; nothing was replayed\n", errors.size(),
                 errors.size() == 1 ? "" : "s");
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
  if (loaded) loadState(run, *loaded, *o.loadState);

  const ReportOptions options{o.chains, o.timing, o.failureCap};
  Output out(stdout);
  Sinks sinks;
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

  {
    EntryStream entries(input);
    while (const InputEntry* e = entries.next()) {
      run.process(*e, &sinks);
      progress.tick("replayed", run.entries(), entries.bytesRead());
    }
    errors = entries.errors();
  }
  progress.done();
  run.finish();

  int status = run.errors() == 0 && run.consistent() ? kExitOk : kExitFailed;
  if (expect) {
    const auto diff = expect->finish();
    std::string text;
    if (diff.empty())
      text = fmt::format("utilsim: the run matches {}\n", *o.expect);
    else
      text = fmt::format("utilsim: the run differs from {} ({} difference lines):\n", *o.expect,
                         diff.size());
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
    fmt::print(stderr, "utilsim: stopped at the input error on line {}; the {} entries before it were replayed\n",
               errors.front().line, run.entries());
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
    return diffCommand(std::vector<std::string>(argv + 2, argv + argc), kUsage);
  Options o;
  try {
    o = parseOptions(argc, argv);
    if (o.command == "--help") {
      std::fputs(kUsage, stdout);
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
    fmt::print(stderr, "utilsim: {}\n\n{}", e.what(), kUsage);
    return kExitUsage;
  }
  if (o.plugin.empty()) o.plugin = defaultPluginPath();
  try {
    return o.command == "list" ? list(o) : replay(o);
  } catch (const InputFileError& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitEnvironment;
  }
}
