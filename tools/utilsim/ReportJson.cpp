#include <algorithm>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
using OJson = nlohmann::ordered_json;

OJson keyJson(const TernAsicUtils::HwTableInfo& info, unsigned row) {
  OJson key = OJson::object();
  for (const auto& f : keyFields(info, row)) key[f.name] = f.value;
  return key;
}

OJson entryJson(const TernAsicUtils::HwTableInfo& info, const std::uint32_t* words) {
  OJson entry = OJson::object();
  for (const auto& f : entryFields(info, words)) {
    if (f.list)
      entry[f.name] = f.values;
    else
      entry[f.name] = f.values.empty() ? 0u : f.values.front();
  }
  return entry;
}

OJson commandJson(const Pavo::Ptr<SchanAccel::SchanCmd>& cmd) {
  if (!cmd) return nullptr;
  const auto d = Host::decode(*cmd);
  OJson c = OJson::object();
  c["table"] = d.table ? OJson(d.table->name) : OJson(nullptr);
  c["fapId"] = cmd->fapId;
  c["instanceId"] = cmd->instanceId;
  c["key"] = d.table ? keyJson(*d.table, d.row) : OJson(nullptr);
  c["op"] =
      cmd->opcode == SchanAccel::SchanOpcode::WriteRegister ? "WRITE_REGISTER" : "WRITE_MEMORY";
  c["block"] = cmd->block;
  c["address"] = cmd->address;
  OJson data = OJson::array();
  const unsigned words = std::min<unsigned>(cmd->words, SchanAccel::SchanCmd::kMaxWords);
  for (unsigned i = 0; i < words; ++i) data.push_back(cmd->data[i]);
  c["data"] = std::move(data);
  return c;
}

OJson entriesJson(const Replay& replay) {
  OJson out = OJson::array();
  for (const auto& e : replay.entries()) {
    OJson results = OJson::array();
    for (const auto& r : e.results) {
      OJson j = OJson::object();
      j["util"] = replay.utils()[r.util].shortName;
      j["applicable"] = r.applicable ? OJson(*r.applicable) : OJson(nullptr);
      OJson cmds = OJson::array();
      for (const auto& c : r.commands) cmds.push_back(commandJson(c));
      j["commands"] = std::move(cmds);
      j["error"] = r.error ? OJson(*r.error) : OJson(nullptr);
      results.push_back(std::move(j));
    }
    OJson j = OJson::object();
    j["line"] = e.entry.line;
    j["table"] = swTableName(e.entry.table);
    j["results"] = std::move(results);
    out.push_back(std::move(j));
  }
  return out;
}

OJson tablesJson(const Replay& replay) {
  OJson out = OJson::object();
  for (const auto* info : TernAsicUtils::HwTableInfo::all()) {
    OJson rows = OJson::array();
    if (const auto* table = findTable(replay.tableManager(), info->name)) {
      std::vector<std::uint32_t> words(info->wordsPerRow);
      for (const auto key : table->shadowKeys())
        for (unsigned row = 0; row < info->rows; ++row) {
          if (!table->rowPresent(key, row)) continue;
          table->rowWords(key, row, words.data());
          OJson j = OJson::object();
          j["fapId"] = key.fapId().value();
          j["instanceId"] = key.instanceId();
          j["key"] = keyJson(*info, row);
          j["entry"] = entryJson(*info, words.data());
          rows.push_back(std::move(j));
        }
    }
    out[info->name] = std::move(rows);
  }
  return out;
}

OJson countersJson(const Replay& replay) {
  OJson out = OJson::object();
  for (const auto& u : replay.utils()) {
    const auto& s = u.util->stats();
    OJson j = OJson::object();
    j["add"] = s ? s->addCnt() : 0;
    j["delete"] = s ? s->deleteCnt() : 0;
    j["updateOnDel"] = s ? s->updateOnDelCnt() : 0;
    j["fapmaskMismatch"] = s ? s->fapmaskMismatch() : 0;
    out[u.shortName] = std::move(j);
  }
  return out;
}

OJson enqueueJson(const Replay& replay) {
  auto all = replay.tableManager().stats().all();
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  OJson out = OJson::object();
  for (const auto& [id, stats] : all) {
    OJson copies = OJson::array();
    if (stats)
      for (const auto& [key, count] : stats->counts()) {
        OJson j = OJson::object();
        j["fapId"] = key.fapId().value();
        j["instanceId"] = key.instanceId();
        j["count"] = count;
        copies.push_back(std::move(j));
      }
    out[fmt::format("{}", id)] = std::move(copies);
  }
  return out;
}

OJson hardwareJson(const Replay& replay) {
  OJson mismatches = OJson::array();
  for (const auto& m : replay.mismatches()) {
    OJson j = OJson::object();
    j["table"] = m.table->name;
    j["fapId"] = m.key.fapId().value();
    j["instanceId"] = m.key.instanceId();
    j["key"] = keyJson(*m.table, m.row);
    j["shadow"] = entryJson(*m.table, m.shadow.data());
    j["hardware"] = entryJson(*m.table, m.hardware.data());
    mismatches.push_back(std::move(j));
  }
  OJson out = OJson::object();
  out["consistent"] = replay.consistent();
  out["commands"] = replay.chip().commands();
  out["redundantWrites"] = replay.chip().redundantWrites();
  out["mismatches"] = std::move(mismatches);
  return out;
}

OJson timingJson(const Replay& replay) {
  OJson out = OJson::object();
  for (std::size_t i = 0; i < replay.utils().size(); ++i) {
    const auto s = summarize(replay.timings()[i].samples);
    OJson j = OJson::object();
    j["processed"] = s.count;
    j["medianNs"] = s.median;
    j["p99Ns"] = s.p99;
    j["maxNs"] = s.max;
    out[replay.utils()[i].shortName] = std::move(j);
  }
  return out;
}
}  // namespace

OJson toJson(const Replay& replay, const ReportOptions& options) {
  OJson doc = OJson::object();
  doc["chip"] = Hardware::chipTypeName(replay.config().chip);
  doc["entries"] = entriesJson(replay);
  doc["tables"] = tablesJson(replay);
  doc["counters"] = countersJson(replay);
  doc["enqueue"] = enqueueJson(replay);
  doc["hardware"] = hardwareJson(replay);
  doc["errors"] = replay.errors();
  if (options.timing) doc["timing"] = timingJson(replay);
  return doc;
}

LatencySummary summarize(std::vector<std::int64_t> samples) {
  LatencySummary s;
  s.count = samples.size();
  if (samples.empty()) return s;
  std::sort(samples.begin(), samples.end());
  // nearest rank: the smallest sample with at least p percent of the samples at or below it
  const auto rank = [&](unsigned percent) {
    const std::size_t r = (samples.size() * percent + 99) / 100;
    return samples[r == 0 ? 0 : r - 1];
  };
  s.median = rank(50);
  s.p99 = rank(99);
  s.max = samples.back();
  return s;
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
