// utilsim history: why a row holds what it holds. The log is replayed as `replay` does, and
// every event that touched the rows asked about is listed per row, in order: what wrote the
// shadow row (fields before and after), the commands that wrote its chip row, clears and
// reads, and at the end whether shadow and chip agree. Each row's events go to a file of their
// own while the replay runs, so that memory stays that of a replay.
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/RowArgs.h"
#include "tools/utilsim/State.h"

namespace Utilsim {
namespace {
using Words = std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords>;

std::string fieldsText(const Watched& w, bool present, const Words& words) {
  return present ? entryText(*w.table, words.data()) : "absent (reset value)";
}

// The fields that differ, "name: A -> B"; the whole row when it was absent on one side.
std::string changeText(const Watched& w, bool wasPresent, const Words& before, bool isPresent,
                       const Words& after) {
  if (!wasPresent || !isPresent)
    return fmt::format("{} -> {}", fieldsText(w, wasPresent, before),
                       fieldsText(w, isPresent, after));
  const auto out = fieldChanges(entryFields(*w.table, before.data()),
                                entryFields(*w.table, after.data()), "", "; ");
  return out.empty() ? "unchanged" : out;
}

void fieldsJson(JsonWriter& w, const Watched& row, bool present, const Words& words) {
  if (present)
    entryFieldsJson(w, *row.table, words.data());
  else
    w.null();
}

// The events of one row, written to a file of its own as they come.
class RowLog {
 public:
  RowLog(const Watched& w, const Replay& replay, bool json)
      : w_(w),
        replay_(replay),
        json_(json),
        file_(std::tmpfile()),
        table_(findTable(replay.tableManager(), w.table->name)) {
    if (!file_) throw std::runtime_error("cannot make a temporary file for the history");
    present_ = table_ && table_->rowPresent(w.key, w.row);
    if (present_) table_->rowWords(w.key, w.row, words_.data());
  }
  ~RowLog() { std::fclose(file_); }
  RowLog(const RowLog&) = delete;
  RowLog& operator=(const RowLog&) = delete;

  const Watched& row() const noexcept { return w_; }
  bool watches(const TernAsicUtils::HwTableInfo& t, TernAsicUtils::HwShadowKey key) const {
    return &t == w_.table && key == w_.key;
  }

  // An event of an entry (or, with line 0, of the loaded state): `text` for people, `json`
  // the members after "line" and "kind".
  void event(const InputEntry* e, const char* kind, const std::string& text,
             const std::function<void(JsonWriter&)>& json) {
    auto& buf = buf_;
    buf.clear();
    if (json_) {
      JsonWriter w(buf, JsonWriter::kCompact);
      w.beginObject().key("line");
      if (e) {
        w.value(std::uint64_t(e->line)).key("entry");
        inputJson(w, *e);
      } else {
        w.null();
      }
      w.member("kind", kind);
      json(w);
      w.endObject();
      buf.push('\n');
    } else {
      if (e && e->line != lastLine_)
        buf.append(fmt::format("  line {}: {}\n", e->line, entrySummary(*e)));
      buf.append(fmt::format("{}{}\n", e ? "    " : "  ", text));
    }
    lastLine_ = e ? e->line : 0;
    ++events_;
    if (std::fwrite(buf.view().data(), 1, buf.size(), file_) != buf.size())
      throw std::runtime_error("cannot write the history's temporary file");
  }

  // After an entry that changed the row (util: who did it last).
  void changed(const InputEntry& e, std::size_t util, bool cleared) {
    Words now{};
    const bool present = table_ && table_->rowPresent(w_.key, w_.row);
    if (present) table_->rowWords(w_.key, w_.row, now.data());
    const auto& name = replay_.utils()[util].shortName;
    const char* kind = cleared ? "cleared" : present ? "written" : "removed";
    event(&e, kind,
          fmt::format("shadow {} by {}: {}", kind, name,
                      changeText(w_, present_, words_, present, now)),
          [&](JsonWriter& w) {
            w.member("util", name).key("before");
            fieldsJson(w, w_, present_, words_);
            w.key("after");
            fieldsJson(w, w_, present, now);
          });
    present_ = present;
    words_ = now;
  }

  // The end: shadow and chip side by side, then everything into `out`.
  void finish(Output& out, bool first) {
    Words chip{};
    replay_.chip().row(w_.table->block, w_.key, w_.row, chip.data());
    const bool agree = chip == (present_ ? words_ : Words{});
    TextBuffer& b = out.buffer();
    if (json_) {
      b.append(first ? "\n    " : ",\n    ");
      JsonWriter w(b, 2, 2);
      w.beginObject().member("table", w_.table->name).member("fapId", w_.key.fapId().value());
      w.member("instanceId", w_.key.instanceId()).key("key");
      keyJson(w, *w_.table, w_.row);
      w.key("events").beginArray();
      forEachLine([&](std::string_view line) {
        w.raw(line);
        out.maybeFlush();
      });
      w.endArray().key("end").beginObject().key("shadow");
      fieldsJson(w, w_, present_, words_);
      w.key("chip");
      entryFieldsJson(w, *w_.table, chip.data());
      w.key("agree").value(agree).endObject().endObject();
      return;
    }
    b.append(w_.name() + "\n");
    if (events_ == 0) b.append("  no entry touched it\n");
    forEachLine([&](std::string_view line) {
      b.append(line);
      b.push('\n');
      out.maybeFlush();
    });
    b.append(fmt::format(
        "  end: the shadow holds {}; {}\n", fieldsText(w_, present_, words_),
        agree ? "the chip agrees" : "the chip holds " + entryText(*w_.table, chip.data())));
  }

 private:
  template <class Fn>
  void forEachLine(Fn&& fn) {
    std::rewind(file_);
    std::string line;
    for (int c; (c = std::fgetc(file_)) != EOF;) {
      if (c != '\n') {
        line.push_back(char(c));
        continue;
      }
      fn(std::string_view(line));
      line.clear();
    }
  }

  Watched w_;
  const Replay& replay_;
  bool json_;
  std::FILE* file_;
  const TernAsicUtils::HwCommonTableBase* table_;
  bool present_ = false;
  Words words_{};
  unsigned lastLine_ = 0;
  std::uint64_t events_ = 0;
  TextBuffer buf_;  // an event's text, reused
};

class History : public ReplaySink {
 public:
  History(const Replay& replay, const std::vector<Watched>& rows, bool json) : replay_(replay) {
    for (const auto& w : rows) logs_.push_back(std::make_unique<RowLog>(w, replay, json));
  }

  // What a loaded state gave the rows.
  void loaded(const State& state) {
    for (auto& log : logs_) {
      const auto& w = log->row();
      for (const auto* rows : {&state.rows, &state.chipRows})
        for (const auto& r : *rows)
          if (r.table == w.table && r.key == w.key && r.row == w.row) {
            const bool chip = rows == &state.chipRows;
            Words words{};
            std::copy_n(r.words.begin(), words.size(), words.begin());
            log->event(nullptr, "loaded",
                       fmt::format("{} loaded from {}: {}", chip ? "chip" : "shadow", state.file,
                                   entryText(*w.table, words.data())),
                       [&](JsonWriter& j) {
                         j.member("side", chip ? "chip" : "shadow").member("from", state.file);
                         j.key("fields");
                         entryFieldsJson(j, *w.table, words.data());
                       });
          }
    }
  }

  void entry(const InputEntry& e, std::span<const UtilResult> results) override {
    // Rows the entry changed: each once, as it is now.
    for (auto& log : logs_) {
      std::optional<std::size_t> util;
      bool cleared = false;
      for (const auto& c : replay_.changes())
        if (log->watches(*c.table, c.key) &&
            (c.row == RowChange::kAllRows || c.row == log->row().row)) {
          util = c.util;
          cleared = c.row == RowChange::kAllRows;
        }
      if (util) log->changed(e, *util, cleared);
    }
    // Commands that wrote their chip rows, numbered as the replay counts them.
    std::uint64_t number = replay_.commandsSeen();
    for (const auto& r : results) number -= r.commands().size();
    for (const auto& r : results)
      for (const auto& c : r.commands()) {
        ++number;
        for (auto& log : logs_) {
          // A command addresses its table by block and its row by address.
          const auto& w = log->row();
          if (c.block != w.table->block || c.address != w.row || c.fapId != w.key.fapId().value() ||
              c.instanceId != w.key.instanceId())
            continue;
          Words words{};
          std::copy_n(c.data, std::min<unsigned>(c.words, w.table->wordsPerRow), words.data());
          const bool withheld = number == replay_.config().dropCommand;
          log->event(
              &e, "command",
              fmt::format("command {} by {}: {}{}", number, replay_.utils()[r.util].shortName,
                          entryText(*w.table, words.data()),
                          withheld ? " (withheld from the chip: --drop-command)" : ""),
              [&](JsonWriter& j) {
                j.member("command", number).member("util", replay_.utils()[r.util].shortName);
                j.key("withheld").value(withheld).key("fields");
                entryFieldsJson(j, *w.table, words.data());
              });
        }
      }
    // Reads of the rows.
    if (e.op == HostOp::ReadShadowEntry)
      for (auto& log : logs_) {
        const auto& w = log->row();
        const auto* table = TernAsicUtils::HwTableInfo::all()[e.hwTable];
        if (table != w.table || e.row != w.row ||
            w.key != TernAsicUtils::HwShadowKey(SchanAccel::FapId(e.fapId), e.instanceId))
          continue;
        const auto& read = replay_.readWords();
        const auto& r = results.front();
        log->event(&e, "read",
                   r.error ? fmt::format("read by {} failed: {}", replay_.utils()[r.util].shortName,
                                         *r.error)
                           : fmt::format("read by {}: {}", replay_.utils()[r.util].shortName,
                                         entryText(*table, read.data())),
                   [&](JsonWriter& j) {
                     j.member("util", replay_.utils()[r.util].shortName).key("read");
                     if (r.error)
                       j.null();
                     else
                       entryFieldsJson(j, *table, read.data());
                   });
      }
  }

  void finish(Output& out, const RunHeader& header, bool json) {
    if (json) {
      JsonWriter w(out.buffer(), 2);
      w.beginObject();
      headerJson(w.key("header"), header);
      w.key("rows");
      out.buffer().append("[");
    }
    for (std::size_t i = 0; i < logs_.size(); ++i) {
      if (!json && i) out.buffer().push('\n');
      logs_[i]->finish(out, i == 0);
    }
    if (json) out.buffer().append("\n  ]\n}\n");
    out.flush();
  }

 private:
  const Replay& replay_;
  std::vector<std::unique_ptr<RowLog>> logs_;
};
}  // namespace

int history(const Options& o) {
  std::vector<Watched> rows;
  try {
    rows = parseRows(o.rows);
  } catch (const UsageError& e) {
    return usageError(o, e);
  }
  std::optional<State> loaded;
  if (!readLoadable(o.loadState, Hardware::chipTypeName(o.replay.chip), loaded)) return kExitUsage;
  LineReader input(o.file ? *o.file : "-");
  Progress progress(o.progress.value_or(true) && (o.progress || isatty(2) == 1),
                    o.progress.value_or(false), input.size());
  if (!checkLog(input, progress)) return kExitUsage;
  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  Replay run(context, o.replay);
  std::optional<RunHeader::LoadedState> from;
  if (loaded) {
    run.load(*loaded);
    from = RunHeader::LoadedState{loaded->file, loaded->sha256};
  }
  History history(run, rows, o.json);
  if (loaded) history.loaded(*loaded);
  std::vector<InputError> errors;
  {
    EntryStream entries(input);
    while (const InputEntry* e = entries.next()) {
      run.process(*e, &history);
      progress.tick("replayed", run.entries(), entries.bytesRead());
    }
    errors = entries.errors();
  }
  progress.finish(run.entries());
  if (!errors.empty()) {
    printErrors(input.name(), errors);
    fmt::print(stderr, "utilsim: stopped at the input error on line {}; no history is shown\n",
               errors.front().line);
    return kExitUsage;
  }
  Output out(stdout);
  history.finish(out, runHeader(o.replay, RowFilter{}, o.plugin, from), o.json);
  return kExitOk;
}

}  // namespace Utilsim
