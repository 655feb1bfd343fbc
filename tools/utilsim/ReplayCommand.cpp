// utilsim replay: checks the log, replays it through the Utils of one chip and shows the run
// as the options ask (report, JSON document or lines, comparison with a stored document).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/Trace.h"
#include "tools/utilsim/Commands.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Expect.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/Progress.h"
#include "tools/utilsim/SafeFile.h"
#include "tools/utilsim/State.h"
#include "tools/utilsim/TraceTap.h"

namespace Utilsim {
namespace {
// Hands every entry to each of several sinks.
struct Sinks : ReplaySink {
  std::vector<ReplaySink*> all;
  void entry(const InputEntry& entry, std::span<const UtilResult> results) override {
    for (auto* s : all) s->entry(entry, results);
  }
};

void writeTraces(const std::string& lines) { std::fwrite(lines.data(), 1, lines.size(), stderr); }

// Routing-state entries whose key type no Util takes: only 0 (VSI) and 1 (routing profile)
// have one.
struct OtherKeyTypes {
  std::uint64_t count = 0;
  unsigned firstLine = 0;
};

// Names of the per-handle trace rules ("Name=2;*=3" gives Name).
std::vector<std::string> traceRuleNames(const std::string& levels) {
  std::vector<std::string> names;
  if (levels.find('=') == levels.npos) return names;
  for (std::size_t pos = 0; pos < levels.size();) {
    const auto semi = std::min(levels.find(';', pos), levels.size());
    const auto item = levels.substr(pos, semi - pos);
    if (const auto name = item.substr(0, item.find('=')); name != "*") names.push_back(name);
    pos = semi + 1;
  }
  return names;
}

// Options that, as the run turned out, changed nothing. Only known after the run: trace
// handles come into being when a Util first traces, commands when the Utils return them.
void warnAboutNoEffect(const Options& o, const Replay& run, const OtherKeyTypes& otherTypes,
                       unsigned logLines) {
  for (const auto& r : o.lines)
    if (r.first > logLines)
      warn("--lines {}{}: the log has {}", r.first,
           r.last == r.first ? ""
           : r.last          ? fmt::format("-{}", r.last)
                             : "-",
           counted(logLines, "line", "lines"));
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
}  // namespace

int replay(const Options& o) {
  const auto chipName = Hardware::chipTypeName(o.replay.chip);
  std::optional<State> loaded;  // read before anything else: a bad state replays nothing
  if (!readLoadable(o.loadState, chipName, loaded)) return kExitUsage;
  // Made now, so that a file that cannot be written is said before the work, not after.
  std::optional<SafeOutput> saved, differences;
  if (o.saveState) saved.emplace(*o.saveState, "state");
  if (o.differences) differences.emplace(*o.differences, "differences");
  LineReader input(o.file ? *o.file : "-");
  Progress progress(o.progress.value_or(true) && (o.progress || isatty(2) == 1),
                    o.progress.value_or(false), input.size());
  if (!checkLog(input, progress)) return kExitUsage;
  std::vector<InputError> errors;

  // Declared before the plug-in and the Utils, so that it takes their last traces too.
  std::optional<TraceTap> traces;
  if (!o.trace.empty()) traces.emplace();
  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  ReplayConfig config = o.replay;
  config.timing = o.timing;
  Replay run(context, config);
  if (run.utils().empty())
    warn("{} registers no Util for {}: the entries reach no Util", o.plugin, chipName);
  std::optional<RunHeader::LoadedState> from;
  if (loaded) {
    run.load(*loaded);
    from = RunHeader::LoadedState{loaded->file, loaded->sha256};
  }
  auto header = runHeader(config, o.filter, o.plugin, from);
  header.decoded = o.decode;
  if (o.decode) run.trackRowValues();

  const ReportOptions options{o.timing, o.failureCap, o.filter};
  Output out(stdout);
  Sinks sinks;
  OtherKeyTypes otherTypes;
  std::unique_ptr<ExpectCheck> expect;
  std::optional<DocumentStream> document;
  // --update: the stored run written again from this one, in its own form.
  std::optional<SafeOutput> update;
  std::optional<Output> updateOut;
  FailureList failures(o.failureCap);
  if (o.expect) {
    expect = std::make_unique<ExpectCheck>(ExpectOptions{*o.expect, o.maxDifferences}, run, header);
    sinks.all.push_back(expect.get());
    // A decoded golden is compared with this run decoded too, and rewritten so.
    if (expect->decoded()) run.trackRowValues();
    header.decoded = expect->decoded();
    if (o.update) {
      update.emplace(*o.expect, "--expect file");
      if (!expect->endOnly()) {
        document.emplace(
            updateOut.emplace(update->file()),
            expect->linesForm() ? DocumentStream::Format::Lines : DocumentStream::Format::Document,
            run, options, header);
        document->begin();
        sinks.all.push_back(&*document);
      }
    }
  } else if (o.json || o.jsonl) {
    document.emplace(out,
                     o.jsonl ? DocumentStream::Format::Lines : DocumentStream::Format::Document,
                     run, options, header);
    document->begin();
    sinks.all.push_back(&*document);
  } else {
    sinks.all.push_back(&failures);
  }
  std::optional<LiveVsis> chains;
  if (o.chains) sinks.all.push_back(&chains.emplace());
  std::optional<LineView> lineView;
  if (o.entries) {
    lineView.emplace(out, run, options.filter, o.lines, traces ? &*traces : nullptr, input.name());
    sinks.all.push_back(&*lineView);
  }
  if (traces) writeTraces(traces->take("startup: "));

  {
    EntryStream entries(input);
    while (const InputEntry* e = entries.next()) {
      if (e->table == SwTable::RoutingState && e->routingState.type > 1 && !e->tableDelete &&
          !otherTypes.count++)
        otherTypes.firstLine = e->line;
      run.process(*e, &sinks);
      if (traces) writeTraces(traces->take(fmt::format("{}:{}: ", input.name(), e->line)));
      progress.tick("replayed", run.entries(), entries.bytesRead());
    }
    errors = entries.errors();
  }
  progress.finish(run.entries());
  run.finish();
  warnAboutNoEffect(o, run, otherTypes, input.lines());

  int status = run.errors() == 0 && run.consistent() ? kExitOk : kExitFailed;
  if (expect) {
    expect->finish();
    out.buffer().append(expect->text());
    status = expect->matches() ? kExitOk : kExitFailed;
    if (differences) {
      Output file(differences->file());
      try {
        JsonWriter w(file.buffer(), 2);
        expect->json(w);
        file.buffer().push('\n');
        file.flush();
      } catch (const std::runtime_error&) {
        differences->fail(errno);
      }
    }
    if (update && !expect->endOnly()) document->end();
  } else if (document) {
    document->end(errors.empty() ? 0 : errors.front().line);
  } else {
    out.buffer().append(textReport(run, options, failures, chains ? &*chains : nullptr));
  }
  out.flush();
  if (!errors.empty()) {
    // Only standard input gets here: what came before the bad line was replayed and shown.
    printErrors(input.name(), errors);
    fmt::print(stderr,
               "utilsim: stopped at the input error on line {}; the {} before it {} replayed{}\n",
               errors.front().line, counted(run.entries(), "entry", "entries"),
               run.entries() == 1 ? "was" : "were",
               saved || update || differences ? "; no file was written" : "");
    return kExitUsage;
  }
  if (differences) differences->commit();
  const auto stateHeader = runHeader(config, RowFilter{}, o.plugin, from);
  if (update) {
    // Asked for: the differences above are accepted.
    if (expect->endOnly()) {
      saveState(*update, run, stateHeader);
    } else {
      try {
        updateOut->flush();
      } catch (const std::runtime_error&) {
        update->fail(errno);
      }
      update->commit();
    }
    fmt::print(stderr, "utilsim: {} now holds this run\n", *o.expect);
    status = kExitOk;
  }
  if (saved) saveState(*saved, run, stateHeader);
  return status;
}

}  // namespace Utilsim
