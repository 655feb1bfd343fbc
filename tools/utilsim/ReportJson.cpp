#include <algorithm>
#include <array>
#include <stdexcept>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
void keyJson(JsonWriter& w, const TernAsicUtils::HwTableInfo& info, unsigned row) {
  w.beginObject();
  info.keyFields(row, [&w](const char* name, std::uint32_t value) { w.member(name, value); });
  w.endObject();
}

void fieldValueJson(JsonWriter& w, const std::uint32_t* values, unsigned count, bool list) {
  if (!list) {
    w.value(std::uint64_t(count ? values[0] : 0));
    return;
  }
  w.beginArray();
  for (unsigned i = 0; i < count; ++i) w.value(std::uint64_t(values[i]));
  w.endArray();
}

void entryFieldsJson(JsonWriter& w, const TernAsicUtils::HwTableInfo& info,
                     const std::uint32_t* words) {
  w.beginObject();
  info.entryFields(words, [&w](const char* name, const std::uint32_t* values, unsigned count,
                               bool list) { fieldValueJson(w.key(name), values, count, list); });
  w.endObject();
}

namespace {
void commandJson(JsonWriter& w, const SchanAccel::SchanCmd& cmd, bool decode) {
  const auto d = Host::decode(cmd);
  w.beginObject().key("table");
  if (d.table)
    w.value(d.table->name);
  else
    w.null();
  w.member("fapId", cmd.fapId).member("instanceId", cmd.instanceId).key("key");
  if (d.table)
    keyJson(w, *d.table, d.row);
  else
    w.null();
  w.member("op", SchanAccel::opcodeName(cmd.opcode));
  w.member("block", cmd.block).member("address", cmd.address).key("data").beginArray();
  const unsigned words = std::min<unsigned>(cmd.words, SchanAccel::SchanCmd::kMaxWords);
  for (unsigned i = 0; i < words; ++i) w.value(std::uint64_t(cmd.data[i]));
  w.endArray();
  if (decode && d.table) {
    std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords> row{};
    std::copy_n(cmd.data, std::min<unsigned>(words, d.table->wordsPerRow), row.data());
    entryFieldsJson(w.key("fields"), *d.table, row.data());
  }
  w.endObject();
}

// A shadow row an entry changed, with its fields before and after (null: absent).
void deltaJson(JsonWriter& w, const Replay& replay, const RowDelta& d) {
  w.beginObject().member("table", d.table->name).member("fapId", d.key.fapId().value());
  w.member("instanceId", d.key.instanceId()).key("key");
  keyJson(w, *d.table, d.row);
  w.member("util", replay.utils()[d.util].shortName).key("before");
  if (d.presentBefore)
    entryFieldsJson(w, *d.table, d.before.data());
  else
    w.null();
  w.key("after");
  if (d.presentAfter)
    entryFieldsJson(w, *d.table, d.after.data());
  else
    w.null();
  w.endObject();
}

}  // namespace

namespace {
const char* lineMember(LineMember m) { return nameOf(kLineMembers, m); }

void valueJson(JsonWriter& w, const Host::Log::RoutingState& r) {
  const auto [idName, typeName] = kRoutingKeyMembers;
  const auto [mapName, flagsName, urpfName] = kRoutingValueMembers;
  w.beginObject().member(idName, r.id).member(typeName, r.type).endObject();
  w.key(lineMember(LineMember::Value)).beginObject();
  if (r.type == 0) {
    w.member(mapName, r.routingProfileMap);
  } else {
    w.key(flagsName).beginArray();
    for (const auto f : r.routingState) w.value(std::uint64_t(f));
    w.endArray().key(urpfName).beginObject();
    for (const auto& f : Host::Log::RoutingState::urpfFlags()) w.member(f.name, r.*f.member);
    w.endObject();
  }
  w.endObject();
}

// Trap and MTU entries: the one-byte key, then the value fields of the table.
template <class Value>
void valueJson(JsonWriter& w, const Value& v) {
  w.value(std::uint64_t(v.key)).key(lineMember(LineMember::Value)).beginObject();
  for (const auto& f : Value::valueFields()) w.member(f.name, v.*f.member);
  w.endObject();
}
}  // namespace

// The entry as the Utils got it, in the log's own format: a line of `--jsonl` can be read
// without the log, and `jq -c .entry` gives back a log that replays the same.
void inputJson(JsonWriter& w, const InputEntry& e) {
  if (e.op != HostOp::None) {
    const auto& table = *TernAsicUtils::HwTableInfo::all()[e.hwTable];
    w.beginObject().member("op", hostOpName(e.op)).member("hwTable", table.name);
    w.member("fapId", e.fapId).member("instanceId", e.instanceId);
    if (e.op == HostOp::ReadShadowEntry) keyJson(w.key("key"), table, e.row);
    w.endObject();
    return;
  }
  w.beginObject().member(lineMember(LineMember::Table), swTableName(e.table));
  w.member(lineMember(LineMember::FapId), e.fapId);
  w.member(lineMember(LineMember::InstanceId), e.instanceId);
  w.key(lineMember(LineMember::Delete)).value(e.isDelete);
  w.key(lineMember(LineMember::TableDelete)).value(e.tableDelete);
  w.key(lineMember(LineMember::Key));
  visitValue(e, [&](const auto& v) { valueJson(w, v); });
  w.endObject();
}

namespace {
void resultJson(JsonWriter& w, const Replay& replay, const UtilResult& r, bool decode) {
  w.beginObject().member("util", replay.utils()[r.util].shortName).key("applicable");
  if (r.applicable)
    w.value(*r.applicable);
  else
    w.null();
  w.key("commands").beginArray();
  for (const auto& c : r.commands()) commandJson(w, c, decode);
  w.endArray().key("error");
  if (r.error)
    w.value(*r.error);
  else
    w.null();
  w.endObject();
}
// Every row present in the shadows, sorted by fap id, instance id, then row.
void tablesJson(JsonWriter& w, Output* out, const Replay& replay, const RowFilter& filter) {
  w.beginObject();
  for (const auto* info : TernAsicUtils::HwTableInfo::all()) {
    if (!filter.table(*info)) continue;
    w.key(info->name).beginArray();
    if (const auto* table = findTable(replay.tableManager(), info->name)) {
      std::vector<std::uint32_t> words(info->wordsPerRow);
      for (const auto key : table->shadowKeys())
        for (unsigned row = 0; row < info->rows; ++row) {
          if (!filter.copy(key) || !table->rowPresent(key, row)) continue;
          table->rowWords(key, row, words.data());
          if (!filter.row(*info, words.data())) continue;
          w.beginObject().member("fapId", key.fapId().value());
          w.member("instanceId", key.instanceId()).key("key");
          keyJson(w, *info, row);
          entryFieldsJson(w.key("entry"), *info, words.data());
          w.endObject();
          if (out) out->maybeFlush();
        }
    }
    w.endArray();
  }
  w.endObject();
}

void countersJson(JsonWriter& w, const Replay& replay) {
  w.beginObject();
  for (const auto& u : replay.utils()) {
    const auto& s = u.util->stats();
    w.key(u.shortName).beginObject();
    w.member("add", s ? s->addCnt() : 0).member("delete", s ? s->deleteCnt() : 0);
    w.member("updateOnDel", s ? s->updateOnDelCnt() : 0);
    w.member("fapmaskMismatch", s ? s->fapmaskMismatch() : 0).endObject();
  }
  w.endObject();
}

void enqueueJson(JsonWriter& w, const Replay& replay, const RowFilter& filter) {
  auto all = replay.tableManager().stats().all();
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  w.beginObject();
  for (const auto& [id, stats] : all) {
    w.key(fmt::format("{}", id)).beginArray();
    if (stats)
      for (const auto& [key, count] : stats->counts()) {
        if (!filter.copy(key)) continue;
        w.beginObject().member("fapId", key.fapId().value());
        w.member("instanceId", key.instanceId()).member("count", count).endObject();
      }
    w.endArray();
  }
  w.endObject();
}

void hardwareJson(JsonWriter& w, const Replay& replay, const RowFilter& filter) {
  w.beginObject().key("consistent").value(replay.consistent());
  w.member("commands", replay.chip().commands());
  w.member("redundantWrites", replay.chip().redundantWrites()).key("mismatches").beginArray();
  for (const auto& m : replay.mismatches()) {
    if (!filter.table(*m.table) || !filter.copy(m.key)) continue;
    w.beginObject().member("table", m.table->name).member("fapId", m.key.fapId().value());
    w.member("instanceId", m.key.instanceId()).key("key");
    keyJson(w, *m.table, m.row);
    entryFieldsJson(w.key("shadow"), *m.table, m.shadow.data());
    entryFieldsJson(w.key("hardware"), *m.table, m.hardware.data());
    // Who left the two sides as they are.
    const auto origin = [&](const char* name, const std::optional<RowOrigin>& o) {
      w.key(name);
      if (!o) {
        w.null();
        return;
      }
      w.beginObject();
      if (o->loaded()) {
        w.member("loadedFrom", replay.loadedFrom()).endObject();
        return;
      }
      if (o->command) w.member("command", o->command);
      w.member("line", o->line).member("util", replay.utils()[o->util].shortName).endObject();
    };
    origin("shadowWrittenBy", replay.shadowOrigin(*m.table, m.key, m.row));
    origin("hardwareWrittenBy", replay.chipOrigin(*m.table, m.key, m.row));
    w.endObject();
  }
  w.endArray().endObject();
}

void timingJson(JsonWriter& w, const Replay& replay) {
  w.beginObject();
  for (std::size_t i = 0; i < replay.utils().size(); ++i) {
    const auto& h = replay.timings()[i];
    w.key(replay.utils()[i].shortName).beginObject().member("processed", h.count());
    w.member("medianNs", std::uint64_t(h.percentile(50)));
    w.member("p99Ns", std::uint64_t(h.percentile(99)));
    w.member("maxNs", std::uint64_t(h.max())).endObject();
  }
  w.endObject();
}

}  // namespace

void summaryMembers(JsonWriter& w, Output* out, const Replay& replay,
                    const ReportOptions& options) {
  tablesJson(w.key("tables"), out, replay, options.filter);
  countersJson(w.key("counters"), replay);
  enqueueJson(w.key("enqueue"), replay, options.filter);
  hardwareJson(w.key("hardware"), replay, options.filter);
  w.member("errors", replay.errors());
  if (options.timing) timingJson(w.key("timing"), replay);
}

void Output::flush() {
  if (buf_.size() && std::fwrite(buf_.view().data(), 1, buf_.size(), file_) != buf_.size())
    throw std::runtime_error("cannot write the output");
  buf_.clear();
  if (std::fflush(file_)) throw std::runtime_error("cannot write the output");
}

DocumentStream::DocumentStream(Output& out, Format format, const Replay& replay,
                               const ReportOptions& options, const RunHeader& header)
    : out_(out),
      format_(format),
      replay_(replay),
      options_(options),
      header_(header),
      entries_(replay),
      doc_(out.buffer(), format == Format::Document ? 2 : JsonWriter::kCompact) {
  entries_.decodeIs(header.decoded);
}

void DocumentStream::headerMember(JsonWriter& w) { headerJson(w.key("header"), header_); }

// The header comes first, so that a reader knows what a stored run is before its entries;
// a stream of lines starts with it, and its last line repeats it (that line is a state).
void DocumentStream::begin() {
  if (format_ == Format::Document) {
    doc_.beginObject();
    headerMember(doc_);
    doc_.key("entries").beginArray();
  } else {
    JsonWriter first(out_.buffer(), JsonWriter::kCompact);
    first.beginObject();
    headerMember(first);
    first.endObject();
    out_.buffer().push('\n');
  }
  out_.maybeFlush();
}

void DocumentStream::entry(const InputEntry& e, std::span<const UtilResult> results) {
  if (format_ == Format::Document) {
    entries_.write(doc_, e, results, true, true);
  } else {
    JsonWriter line(out_.buffer(), JsonWriter::kCompact);
    entries_.write(line, e, results, true, true);
    out_.buffer().push('\n');
  }
  out_.maybeFlush();
}

void DocumentStream::end(std::uint64_t stoppedAt) {
  JsonWriter last(out_.buffer(), JsonWriter::kCompact);
  auto& w = format_ == Format::Document ? doc_ : last;
  if (format_ == Format::Document) {
    doc_.endArray();
  } else {
    last.beginObject();
    headerMember(last);
  }
  w.key("complete").value(stoppedAt == 0);
  if (stoppedAt) w.member("stoppedAt", stoppedAt);
  summaryMembers(w, &out_, replay_, options_);
  w.endObject();
  out_.buffer().push('\n');
  out_.flush();
}

void EntryJson::write(JsonWriter& w, const InputEntry& e, std::span<const UtilResult> results,
                      bool withLine, bool withInput) {
  w.beginObject();
  if (withLine) w.member("line", e.line);
  if (e.op == HostOp::None)
    w.member("table", swTableName(e.table));
  else
    w.member("op", hostOpName(e.op))
        .member("hwTable", TernAsicUtils::HwTableInfo::all()[e.hwTable]->name);
  if (withInput) inputJson(w.key("entry"), e);
  w.key("results").beginArray();
  for (const auto& r : results) {
    // Most Utils of a software table do not take a given entry, and say so in the same words
    // every time: those answers are written once and copied after.
    if (r.applicable != false || r.error) {
      resultJson(w, replay_, r, decode_);
      continue;
    }
    if (w.depth() != depth_ || w.indent() != indent_) {
      notApplicable_.assign(replay_.utils().size(), std::string());
      depth_ = w.depth();
      indent_ = w.indent();
    }
    auto& text = notApplicable_[r.util];
    if (text.empty()) {
      TextBuffer buf;
      JsonWriter one(buf, indent_, depth_);
      resultJson(one, replay_, r, decode_);
      text = buf.view();
    }
    w.raw(text);
  }
  w.endArray();
  if (e.op == HostOp::ReadShadowEntry) {
    w.key("read");
    if (replay_.readWords().empty())
      w.null();
    else
      entryFieldsJson(w, *TernAsicUtils::HwTableInfo::all()[e.hwTable], replay_.readWords().data());
  }
  if (decode_) {
    w.key("shadow").beginArray();
    for (const auto& d : replay_.deltas()) deltaJson(w, replay_, d);
    w.endArray();
  }
  w.endObject();
}

std::string summaryJson(const Replay& replay, const ReportOptions& options) {
  TextBuffer out;
  JsonWriter w(out, JsonWriter::kCompact);
  w.beginObject();
  summaryMembers(w, nullptr, replay, options);
  w.endObject();
  return std::string(out.view());
}

std::string revisionName(Hardware::Tern::FapRevision revision) {
  const auto chip = revision.chipType();
  std::string name = chip == Hardware::kChipBcm88890A0 || chip == Hardware::kChipBcm88890B0
                         ? Hardware::chipTypeName(chip)
                         : fmt::format("chip{}", static_cast<std::uint32_t>(chip));
  if (revision.revision() != 0) name += fmt::format("/rev{}", revision.revision());
  return name;
}

}  // namespace Utilsim
