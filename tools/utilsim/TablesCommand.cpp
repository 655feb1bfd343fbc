// utilsim tables: every hardware table of a chip as the host's table registry describes it
// (names, addressing, key fields and their ranges, entry fields with widths and reset values)
// and the Utils of the chip that write it, with the software table that feeds them.
#include <bit>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Replay.h"

namespace Utilsim {
namespace {
using Json = nlohmann::ordered_json;

struct Writer {
  std::string util;
  SwTable feed;
};

Json tableJson(const TernAsicUtils::HwTableInfo& info, const std::string& chip,
               const std::vector<Writer>& writers) {
  const TableShape shape(info);
  Json key = Json::array(), entry = Json::array(), utils = Json::array();
  for (const auto& [name, largest] : shape.keys)
    key.push_back({{"name", name}, {"min", 0}, {"max", largest}});
  // The reset value of every row is zeros: each field as a row of zeros decodes it.
  const std::vector<std::uint32_t> zeros(info.wordsPerRow);
  const auto reset = entryFields(info, zeros.data());
  unsigned rowBits = 0;
  for (std::size_t i = 0; i < shape.fields.size(); ++i) {
    const auto& f = shape.fields[i];
    const unsigned bits = unsigned(std::bit_width(f.values.front()));
    rowBits += bits * unsigned(f.values.size());
    Json field = {{"name", f.name}, {"count", f.values.size()}, {"bits", bits}};
    field["reset"] = f.list ? Json(reset[i].values) : Json(reset[i].values.front());
    entry.push_back(std::move(field));
  }
  for (const auto& w : writers)
    utils.push_back({{"util", w.util},
                     {"softwareTable", swTableName(w.feed)},
                     {"swTableId", fmt::format("{}", swTableIdOf(w.feed))}});
  return {{"name", info.name},         {"qualifiedName", fmt::format("{}::{}", chip, info.name)},
          {"block", info.block},       {"opcode", SchanAccel::opcodeName(info.opcode)},
          {"rows", info.rows},         {"words", info.wordsPerRow},
          {"rowBits", rowBits},        {"key", std::move(key)},
          {"entry", std::move(entry)}, {"utils", std::move(utils)}};
}

std::string tableText(const Json& t) {
  std::string out =
      fmt::format("{} ({})\n  block {:#x}, {}, {} row{} of {} word{} ({} bits)\n  key:",
                  t["name"].get<std::string>(), t["qualifiedName"].get<std::string>(),
                  t["block"].get<unsigned>(), t["opcode"].get<std::string>(),
                  t["rows"].get<unsigned>(), t["rows"] == 1 ? "" : "s", t["words"].get<unsigned>(),
                  t["words"] == 1 ? "" : "s", t["rowBits"].get<unsigned>());
  if (t["key"].empty()) out += " none (a register: one row)";
  for (std::size_t i = 0; i < t["key"].size(); ++i) {
    const auto& k = t["key"][i];
    out += fmt::format("{} {} {} to {}", i ? "," : "", k["name"].get<std::string>(),
                       k["min"].get<unsigned>(), k["max"].get<unsigned>());
  }
  out += "\n  entry:";
  for (std::size_t i = 0; i < t["entry"].size(); ++i) {
    const auto& f = t["entry"][i];
    const auto count = f["count"].get<unsigned>();
    out += fmt::format("{} {} {}{} bits (reset {})", i ? "," : "", f["name"].get<std::string>(),
                       count > 1 ? fmt::format("{} x ", count) : "", f["bits"].get<unsigned>(),
                       f["reset"].dump());
  }
  out += "\n  written by:";
  if (t["utils"].empty()) out += " no Util of this chip";
  for (std::size_t i = 0; i < t["utils"].size(); ++i) {
    const auto& u = t["utils"][i];
    out += fmt::format("{} {} (fed by {}, {})", i ? "," : "", u["util"].get<std::string>(),
                       u["softwareTable"].get<std::string>(), u["swTableId"].get<std::string>());
  }
  return out + "\n";
}
}  // namespace

int tables(const Options& o) {
  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  const Pavo::Ptr<TernAsicUtils::TableManager> manager(new TernAsicUtils::TableManager);
  const auto utils = Host::buildUtils(context, o.replay.chip, manager, o.replay.fapmask);
  const std::string chip = Hardware::chipTypeName(o.replay.chip);
  Json all = Json::array();
  for (const auto* info : TernAsicUtils::HwTableInfo::all()) {
    std::vector<Writer> writers;
    for (const auto& u : utils)
      if (u.util->hwTableBase() && &u.util->hwTableBase()->info() == info)
        for (std::size_t t = 0; t < kSwTableNames.size(); ++t)
          if (u.util->utilKey().swTableId == swTableIdOf(SwTable(t)))
            writers.push_back({u.shortName, SwTable(t)});
    all.push_back(tableJson(*info, chip, writers));
  }
  std::string out;
  if (o.json) {
    out = Json({{"chip", chip}, {"tables", std::move(all)}}).dump(2) + "\n";
  } else {
    out = fmt::format("{}: {}\n", chip, counted(all.size(), "table", "tables"));
    for (const auto& t : all) out += fmt::format("\n{}", tableText(t));
  }
  writeOut(out);
  return kExitOk;
}

}  // namespace Utilsim
