#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
template <class... Args>
void put(std::string& out, fmt::format_string<Args...> format, Args&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
}

// Reads shadow rows by table name and key field values.
class ShadowReader {
 public:
  ShadowReader(const TernAsicUtils::TableManager& manager, TernAsicUtils::HwShadowKey copy)
      : manager_(manager), copy_(copy) {}

  // The row's fields, or none when the table has no object or the row is absent.
  std::optional<std::vector<EntryField>> row(const char* table,
                                             const std::vector<std::uint32_t>& key) {
    const auto* t = findTable(manager_, table);
    if (!t) return std::nullopt;
    auto it = finders_.find(table);
    if (it == finders_.end()) it = finders_.emplace(table, RowFinder(t->info())).first;
    const auto r = it->second.row(key);
    if (!r || !t->rowPresent(copy_, *r)) return std::nullopt;
    std::vector<std::uint32_t> words(t->info().wordsPerRow);
    t->rowWords(copy_, *r, words.data());
    return entryFields(t->info(), words.data());
  }

  static std::uint32_t value(const std::vector<EntryField>& fields, const char* name,
                             std::size_t index = 0) {
    const auto* f = findField(fields, name);
    return f && index < f->values.size() ? f->values[index] : 0;
  }

 private:
  const TernAsicUtils::TableManager& manager_;
  TernAsicUtils::HwShadowKey copy_;
  std::map<std::string, RowFinder> finders_;
};

struct Chain {
  const char* block;
  unsigned array;
  const char* vsiTable;
  const char* vectorTable;
};
constexpr Chain kChains[] = {
    {"Ippf", 0, "IppfVsiToRoutingProfileMapHwDirect", "IppfRoutingProfileToVectorMapHwDirect"},
    {"Ippa", 3, "IppaVsiToRoutingProfileMapHwDirect", "IppaRoutingProfileToVectorMapHwDirect"},
};

// The bit pair of each routingState flag in the enable vector, as the vector maps write it.
using TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap::kFlagBit;

std::string vectorText(std::uint32_t word0) {
  std::string on, partly;
  std::uint32_t known = 0;
  for (unsigned flag = 0; flag < 5; ++flag) {
    const unsigned bits = (word0 >> kFlagBit[flag]) & 3u;
    known |= 3u << kFlagBit[flag];
    if (bits == 3)
      on += fmt::format("{}{}", on.empty() ? "" : ", ", flag);
    else if (bits)
      partly += fmt::format(", flag {} only partly set", flag);
  }
  std::string s =
      fmt::format("{:#010x} (routingState flags on: {}{}", word0, on.empty() ? "none" : on, partly);
  if (word0 & ~known) s += fmt::format(", other bits {:#x}", word0 & ~known);
  return s + ")";
}

std::string rpfMode(std::uint32_t mode) {
  switch (mode) {
    case 0:
      return "off";
    case 1:
      return "strict";
    case 2:
      return "loose";
    default:
      return fmt::format("unknown mode {}", mode);
  }
}

std::string csInlifText(std::uint32_t v) {
  std::string s;
  const auto add = [&s](const std::string& what) {
    if (!s.empty()) s += ", ";
    s += what;
  };
  if (v & 1) add("profile 0");
  if (v & 2) add("IPv4 uRPF");
  if (v & 4) add("IPv6 uRPF");
  if (v & ~7u) add(fmt::format("other bits {:#x}", v & ~7u));
  return fmt::format("{:#04x} ({})", v, s.empty() ? "no uRPF" : s);
}

void profileText(std::string& out, ShadowReader& reader, unsigned profile) {
  put(out, "      routing profile {}:", profile);
  if (const auto cs = reader.row("IppaCsInlif0ProfileMapHwDirect", {3, profile}))
    put(out, " CS in-LIF profile {};", csInlifText(ShadowReader::value(*cs, "csInlif0Profile")));
  else
    put(out, " CS in-LIF profile absent;");
  if (const auto flp = reader.row("IppbFlpInlifProfile0MapHwDirect", {profile})) {
    const auto v = ShadowReader::value(*flp, "csInlifProfile0");
    put(out, " FLP in-LIF profile {} ({});", v,
        v == 3   ? "uRPF on"
        : v == 1 ? (profile == 0 ? "profile 0" : "no uRPF")
                 : "unexpected");
  } else {
    put(out, " FLP in-LIF profile absent;");
  }
  if (const auto rpf = reader.row("IppdInlifProfileTableHwDirect", {profile}))
    put(out, " RPF mode IPv4 {}, IPv6 {}\n", rpfMode(ShadowReader::value(*rpf, "inLifRpfModeIpv4")),
        rpfMode(ShadowReader::value(*rpf, "inLifRpfModeIpv6")));
  else
    put(out, " RPF mode absent (off)\n");
}

}  // namespace

void LiveVsis::entry(const InputEntry& e, std::span<const UtilResult>) {
  if (e.op != HostOp::None || e.table != SwTable::RoutingState ||
      e.fapId > SchanAccel::FapId::null || e.routingState.type != 0)
    return;
  const CopyVsi v{e.fapId, e.instanceId, e.routingState.id};
  if (e.isDelete)
    vsis_.erase(v);
  else
    vsis_.insert(v);
}

std::vector<std::pair<const TernAsicUtils::HwTableInfo*, unsigned>> vsiMapRows(std::uint32_t vsi) {
  std::vector<std::pair<const TernAsicUtils::HwTableInfo*, unsigned>> out;
  for (const auto& chain : kChains)
    if (const auto* table = findHwTable(chain.vsiTable))
      if (const auto row = RowFinder(*table).row({chain.array, (vsi >> 2) & 0xff}))
        out.emplace_back(table, *row);
  return out;
}

std::string chainsText(const Replay& replay, const LiveVsis& live, const RowFilter& filter) {
  std::string out =
      "Routing chains (VSI -> routing profile -> enable vector and in-LIF settings)\n";
  const auto& vsis = live.all();
  if (vsis.empty()) put(out, "  (no VSI set)\n");
  std::optional<std::pair<unsigned, unsigned>> current;
  std::optional<ShadowReader> reader;
  const auto closeCopy = [&] {
    if (!reader) return;
    if (const auto reg = reader->row("IppdAllowDefaultRouteHwReg", {}))
      put(out, "    default route allowed: strict uRPF {}, loose uRPF {}\n",
          ShadowReader::value(*reg, "strictRpfAllowDefault") ? "yes" : "no",
          ShadowReader::value(*reg, "ucLooseRpfAllowDefault") ? "yes" : "no");
    else
      put(out, "    default route allowed: register absent (no)\n");
  };
  for (const auto& [fap, instance, id] : vsis) {
    if (!filter.copy(fap, instance)) continue;
    if (current != std::pair(fap, instance)) {
      closeCopy();
      current = std::pair(fap, instance);
      reader.emplace(replay.tableManager(),
                     TernAsicUtils::HwShadowKey(SchanAccel::FapId(fap), std::uint8_t(instance)));
      put(out, "  fap {} instance {}\n", fap, instance);
    }
    const unsigned index = (id >> 2) & 0xff, slot = id & 3;
    put(out, "    VSI {} (entry {}, slot {}{})\n", id, index, slot,
        id >= 1024 ? fmt::format("; shares the slot of VSI {}", id % 1024) : "");
    std::set<unsigned> profiles;
    for (const auto& chain : kChains) {
      const auto vsiRow = reader->row(chain.vsiTable, {chain.array, index});
      const unsigned profile = vsiRow ? ShadowReader::value(*vsiRow, "routingProfile", slot) : 0;
      profiles.insert(profile);
      put(out, "      {} array {}: routing profile {}{} -> enable vector ", chain.block,
          chain.array, profile, vsiRow ? "" : " (entry absent)");
      if (const auto vec = reader->row(chain.vectorTable, {chain.array, profile}))
        put(out, "{}\n", vectorText(ShadowReader::value(*vec, "routingEnableVector")));
      else
        put(out, "absent (no routing enabled)\n");
    }
    for (const unsigned p : profiles) profileText(out, *reader, p);
  }
  closeCopy();
  return out;
}

}  // namespace Utilsim
