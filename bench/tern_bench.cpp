// Per-entry cost of every bcm88890_a0 Util (processSwEntry on the rotating workload of
// tools/perfdriver/Workload.h, traces disabled, fap 0 in the mask), of one routing-state entry
// through all routing-state Utils, of a trace at a disabled level, and a floor: the
// same translations as plain functions over plain arrays. At the end the program prints
// each Util's time over its floor, so the framework's and the host's share reads as a ratio
// of one run.
//
//   build/release/bin/tern_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "TernL3Util/Jericho3AndAbove/RoutingProfileToVectorMapUtilImplCommon.h"
#include "host/Trace.h"
#include "tools/perfdriver/Workload.h"

namespace {
using PerfWorkload::LogPtr;

PerfWorkload::Rig& rig() {
  static auto* r = new PerfWorkload::Rig;  // lives for the whole run
  return *r;
}

void setRates(benchmark::State& state) {
  state.SetItemsProcessed(std::int64_t(state.iterations()));
  state.counters["entries_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// ---- the Utils ----------------------------------------------------------------------------

void BM_ProcessSwEntry(benchmark::State& state, const std::string& name) {
  auto* util = rig().util(name);
  if (!util) {
    state.SkipWithError("no such Util");
    return;
  }
  const auto entries = PerfWorkload::entriesFor(name);
  PerfWorkload::runPass(*util, entries);  // shadow copies and records exist from here on
  std::size_t i = 0;
  for (auto _ : state) {
    auto cmds = util->processSwEntry(entries[i]);
    benchmark::DoNotOptimize(cmds.get());
    if (++i == entries.size()) i = 0;
  }
  setRates(state);
}

void BM_RoutingStateEntryAllUtils(benchmark::State& state) {
  const auto utils = rig().routingStateUtils();
  const auto entries = PerfWorkload::profileEntries();
  PerfWorkload::runAll(utils, entries);
  std::size_t i = 0;
  for (auto _ : state) {
    for (auto* u : utils) {
      auto cmds = u->processSwEntry(entries[i]);
      benchmark::DoNotOptimize(cmds.get());
    }
    if (++i == entries.size()) i = 0;
  }
  setRates(state);
}
BENCHMARK(BM_RoutingStateEntryAllUtils);

// ---- a trace at a disabled level ----------------------------------------------------------

void BM_TraceDisabled(benchmark::State& state) {
  static const Qel::TraceHandle handle("TernBenchTrace", false);
  Qel::TraceConfig::disableAll();
  const TernAsicUtils::HwShadowKey key(SchanAccel::FapId(3), 1);
  const Asic::UnitId unit = Asic::UnitId::of(3, 1);
  for (auto _ : state) {
    Pavo::fmtrace(handle, 3, "bench", "BM_TraceDisabled", __LINE__, "", " fapId: {} unit {}", key,
                  unit);
    benchmark::ClobberMemory();
  }
  setRates(state);
}
BENCHMARK(BM_TraceDisabled);

void BM_TraceStreamDisabled(benchmark::State& state) {
  static const Qel::TraceHandle handle("TernBenchTraceStream", false);
  Qel::TraceConfig::disableAll();
  const TernL3Ni::RoutingStateEntryKey key{7, 1};
  for (auto _ : state) {
    QEL_TRACE_STREAM(handle, 2, "bench", "BM_TraceStreamDisabled") << "SW entry key: " << key;
    benchmark::ClobberMemory();
  }
  setRates(state);
}
BENCHMARK(BM_TraceStreamDisabled);

// ---- the floor ----------------------------------------------------------------------------
// The same translations written directly: plain shadow arrays (rows plus presence bits),
// plain counters, one plain command per row written into a caller's buffer.

struct PlainCmd {
  std::uint8_t opcode, fapId, instanceId, words;
  std::uint16_t block;
  std::uint32_t address;
  std::uint32_t data[9];
};

template <unsigned Rows, unsigned Words>
struct PlainTable {
  std::array<std::uint32_t, Rows * Words> words{};
  std::array<std::uint64_t, (Rows + 63) / 64> present{};
  std::uint64_t add = 0, del = 0, updateOnDel = 0, enqueued = 0;
  std::uint16_t block;
  std::uint8_t opcode;
  explicit PlainTable(std::uint16_t b, std::uint8_t op = 1) : block(b), opcode(op) {}

  std::uint32_t* row(unsigned r) { return &words[r * Words]; }
  bool has(unsigned r) const { return (present[r / 64] >> (r % 64)) & 1; }
  void set(unsigned r, const std::uint32_t* w) {
    std::memcpy(row(r), w, Words * 4);
    present[r / 64] |= std::uint64_t(1) << (r % 64);
  }
  void erase(unsigned r) {
    std::memset(row(r), 0, Words * 4);
    present[r / 64] &= ~(std::uint64_t(1) << (r % 64));
  }
  void read(unsigned r, std::uint32_t* w) {
    if (has(r))
      std::memcpy(w, row(r), Words * 4);
    else
      std::memset(w, 0, Words * 4);
  }
  PlainCmd* cmd(unsigned r, PlainCmd* out) {
    ++enqueued;
    out->opcode = opcode;
    out->fapId = 0;
    out->instanceId = 0;
    out->block = block;
    out->address = r;
    out->words = Words;
    read(r, out->data);
    return out + 1;
  }
};

// Plain copy of a log entry: what the floor functions read.
struct PlainEntry {
  bool isDelete;
  std::uint32_t id;
  std::uint8_t value;      // VSI routing profile / trap out port
  std::uint8_t stamp;      // trap stamp value
  std::uint16_t mtu;       // MTU bytes
  std::uint8_t flags[10];  // routingState then urpfState
  std::uint8_t key;        // trap / MTU key
};

PlainEntry plain(const LogPtr& p) {
  PlainEntry e{};
  e.isDelete = p->isDelete();
  switch (p->family()) {
    case Asic::LogFamily::RoutingState: {
      const auto& r = static_cast<const TernL3Ni::RoutingStateLogEntryWrapper&>(*p).entry();
      e.id = r.key().id;
      e.value = r.routingProfileMap();
      const auto& pr = r.routingEnableProfile();
      for (unsigned f = 0; f < 5; ++f) e.flags[f] = pr.routingState.flag[f];
      e.flags[5] = pr.urpfState.ipv4Enabled;
      e.flags[6] = pr.urpfState.ipv6Enabled;
      e.flags[7] = pr.urpfState.ipv4Strict;
      e.flags[8] = pr.urpfState.ipv6Strict;
      e.flags[9] = pr.urpfState.allowDefault;
      break;
    }
    case Asic::LogFamily::TrapForwardAction: {
      const auto& t =
          static_cast<const TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntryWrapper&>(*p)
              .entry();
      e.key = t.key.value;
      e.value = t.outPort;
      e.stamp = t.stampValue;
      break;
    }
    case Asic::LogFamily::MtuProfile: {
      const auto& m = static_cast<const TernL3Intf::MtuProfileLogEntryWrapper&>(*p).entry();
      e.key = m.key.value;
      e.mtu = m.mtuBytes;
      break;
    }
  }
  return e;
}

// Read-modify-write of one 4-bit slot; a delete leaves the entry as it is.
template <unsigned Array>
PlainCmd* floorVsi(PlainTable<1024, 1>& t, const PlainEntry& e, PlainCmd* out) {
  const unsigned r = Array * 256 + ((e.id >> 2) & 0xff);
  std::uint32_t w;
  t.read(r, &w);
  if (!e.isDelete) {
    const unsigned s = (e.id & 3) * 4;
    w = (w & ~(0xfu << s)) | (std::uint32_t(e.value & 0xf) << s);
    t.set(r, &w);
    ++t.add;
  } else if (w == 0) {
    t.erase(r);
    ++t.del;
  } else {
    t.set(r, &w);
    ++t.updateOnDel;
  }
  return t.cmd(r, out);
}

template <unsigned Array>
PlainCmd* floorVector(PlainTable<64, 9>& t, const PlainEntry& e, PlainCmd* out) {
  using TernL3Util::Jericho3AndAbove::RoutingProfileToVectorMap::kFlagBit;
  const unsigned r = Array * 16 + (e.id & 0xf);
  if (!e.isDelete) {
    std::uint32_t w[9] = {};
    for (unsigned f = 0; f < 5; ++f)
      if (e.flags[f]) w[0] |= 3u << kFlagBit[f];
    t.set(r, w);
    ++t.add;
  } else {
    t.erase(r);
    ++t.del;
  }
  return t.cmd(r, out);
}

template <unsigned Array, class Value>
PlainCmd* floorOneByte(PlainTable<Array * 256 + 256, 1>& t, const PlainEntry& e, PlainCmd* out,
                       Value value) {
  const unsigned r = Array * 256 + (e.id & 0xff);
  if (!e.isDelete) {
    const std::uint32_t w = value(e);
    t.set(r, &w);
    ++t.add;
  } else {
    t.erase(r);
    ++t.del;
  }
  return t.cmd(r, out);
}

std::uint32_t csInlif0(const PlainEntry& e) {
  if ((e.id & 0xff) == 0) return 1;
  return (e.flags[5] ? 2u : 0u) | (e.flags[6] ? 4u : 0u);
}
std::uint32_t flpInlif(const PlainEntry& e) {
  if ((e.id & 0xff) == 0) return 1;
  return e.flags[5] || e.flags[6] ? 3u : 1u;
}
std::uint32_t rpfModes(const PlainEntry& e) {
  const auto mode = [](bool on, bool strict) { return !on ? 0u : strict ? 1u : 2u; };
  return mode(e.flags[5], e.flags[7]) | (mode(e.flags[6], e.flags[8]) << 2);
}

PlainCmd* floorAllowDefault(PlainTable<1, 1>& t, const PlainEntry& e, PlainCmd* out) {
  std::uint32_t w;
  t.read(0, &w);
  if (!e.isDelete) {
    const bool allow = e.flags[9];
    const bool strict = allow && ((e.flags[5] && e.flags[7]) || (e.flags[6] && e.flags[8]));
    const bool loose = allow && ((e.flags[5] && !e.flags[7]) || (e.flags[6] && !e.flags[8]));
    w = (strict ? 1u : 0u) | (loose ? 2u : 0u);
    t.set(0, &w);
    ++t.add;
  } else if (w == 0) {
    t.erase(0);
    ++t.del;
  } else {
    t.set(0, &w);
    ++t.updateOnDel;
  }
  return t.cmd(0, out);
}

PlainCmd* floorTrap(PlainTable<17, 2>& t, const PlainEntry& e, PlainCmd* out) {
  constexpr unsigned r = 6;
  std::uint32_t w[2];
  t.read(r, w);
  if (!e.isDelete) {
    // port 0-7, its override 8, stamp 9-16, its override 17, then the fixed fields
    w[0] = e.value | (1u << 8) | (std::uint32_t(e.stamp) << 9) | (1u << 17) | (1u << 18) |
           (13u << 19) | (1u << 23) | (std::uint32_t(e.stamp) << 24);
    w[1] = 1u | (1u << 1) | (1u << 2) | (7u << 4) | (1u << 7);
    t.set(r, w);
    ++t.add;
  } else {
    w[0] &= ~0x1feffu;  // port and stamp back to zero
    if (w[0] == 0 && w[1] == 0) {
      t.erase(r);
      ++t.del;
    } else {
      t.set(r, w);
      ++t.updateOnDel;
    }
  }
  return t.cmd(r, out);
}

PlainCmd* floorMtu(PlainTable<129, 1>& t, const PlainEntry& e, PlainCmd* out) {
  const unsigned base = unsigned(e.key) << 3;
  const std::uint32_t w = e.isDelete ? 0x3fffu : (e.mtu & 0x3fffu);
  for (unsigned r = base; r < base + 8; ++r) {
    t.set(r, &w);
    out = t.cmd(r, out);
  }
  ++t.add;
  return out;
}

template <class Fn>
void runFloor(benchmark::State& state, const std::string& name, Fn fn) {
  std::vector<PlainEntry> entries;
  for (const auto& p : PerfWorkload::entriesFor(name)) entries.push_back(plain(p));
  PlainCmd out[8];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fn(entries[i], out));
    benchmark::ClobberMemory();
    if (++i == entries.size()) i = 0;
  }
  setRates(state);
}

void BM_Floor(benchmark::State& state, const std::string& name) {
  static PlainTable<1024, 1> ippfVsi(0x10), ippaVsi(0x11), csInlif(0x14);
  static PlainTable<64, 9> ippfVec(0x12), ippaVec(0x13);
  static PlainTable<256, 1> ippb(0x15), ippd(0x16);
  static PlainTable<1, 1> allowDefault(0x17, 2);
  static PlainTable<17, 2> trap(0x20);
  static PlainTable<129, 1> mtu(0x21);
  using E = const PlainEntry&;
  if (name == "IppfVsiToRoutingProfileMapArray0Util")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorVsi<0>(ippfVsi, e, o); });
  else if (name == "IppaVsiToRoutingProfileMapArray3Util")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorVsi<3>(ippaVsi, e, o); });
  else if (name == "IppfRoutingProfileToVectorMapArray0Util")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorVector<0>(ippfVec, e, o); });
  else if (name == "IppaRoutingProfileToVectorMapArray3Util")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorVector<3>(ippaVec, e, o); });
  else if (name == "IppaCsInlif0ProfileMapUtil")
    runFloor(state, name,
             [](E e, PlainCmd* o) { return floorOneByte<3>(csInlif, e, o, csInlif0); });
  else if (name == "IppbFlpInlifProfile0MapUtil")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorOneByte<0>(ippb, e, o, flpInlif); });
  else if (name == "IppdInlifProfileTableUtil")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorOneByte<0>(ippd, e, o, rpfModes); });
  else if (name == "IppdAllowDefaultRouteUtil")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorAllowDefault(allowDefault, e, o); });
  else if (name == "EtppbTrapForwardActionTableUtil")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorTrap(trap, e, o); });
  else if (name == "EtppcMtuMapTableUtil")
    runFloor(state, name, [](E e, PlainCmd* o) { return floorMtu(mtu, e, o); });
  else
    state.SkipWithError("no floor for this Util");
}

// The floors of all routing-state Utils for one entry.
void BM_FloorRoutingStateEntryAllUtils(benchmark::State& state) {
  static PlainTable<1024, 1> ippfVsi(0x10), ippaVsi(0x11), csInlif(0x14);
  static PlainTable<64, 9> ippfVec(0x12), ippaVec(0x13);
  static PlainTable<256, 1> ippb(0x15), ippd(0x16);
  static PlainTable<1, 1> allowDefault(0x17, 2);
  std::vector<PlainEntry> entries;
  for (const auto& p : PerfWorkload::profileEntries()) entries.push_back(plain(p));
  PlainCmd out[8];
  std::size_t i = 0;
  for (auto _ : state) {
    const PlainEntry& e = entries[i];
    // The VSI maps see an entry of the other kind: no shadow change, commands of their key.
    ippfVsi.cmd((e.id >> 2) & 0xff, out);
    ippaVsi.cmd(768 + ((e.id >> 2) & 0xff), out);
    floorVector<0>(ippfVec, e, out);
    floorVector<3>(ippaVec, e, out);
    floorOneByte<3>(csInlif, e, out, csInlif0);
    floorOneByte<0>(ippb, e, out, flpInlif);
    floorOneByte<0>(ippd, e, out, rpfModes);
    benchmark::DoNotOptimize(floorAllowDefault(allowDefault, e, out));
    benchmark::ClobberMemory();
    if (++i == entries.size()) i = 0;
  }
  setRates(state);
}
BENCHMARK(BM_FloorRoutingStateEntryAllUtils);

// ---- registration and the ratio table -------------------------------------------------------

// Collects the CPU time per entry of every benchmark (the median when repeated) and prints
// each Util's time over its floor after the normal report. CPU time, not wall time: on a
// shared machine the wall time also counts the time other processes held the core.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs) {
      if (r.error_occurred) continue;
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.run_type == Run::RT_Iteration || median)
        ns_[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
            r.GetAdjustedCPUTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-42s %10s %10s %7s\n", "CPU time per entry (ns)", "Util", "floor", "ratio");
    auto row = [&](const std::string& label, const std::string& util, const std::string& floor) {
      const auto u = ns_.find(util), f = ns_.find(floor);
      if (u == ns_.end() || f == ns_.end()) return;
      std::printf("%-42s %10.1f %10.1f %7.1f\n", label.c_str(), u->second, f->second,
                  u->second / f->second);
    };
    for (const auto& n : PerfWorkload::utilNames())
      row(n, "BM_ProcessSwEntry/" + n, "BM_Floor/" + n);
    row("RoutingStateEntryAllUtils", "BM_RoutingStateEntryAllUtils",
        "BM_FloorRoutingStateEntryAllUtils");
    std::fflush(stdout);
  }

 private:
  std::map<std::string, double> ns_;
};
}  // namespace

int main(int argc, char** argv) {
  Qel::TraceConfig::disableAll();
  for (const auto& n : PerfWorkload::utilNames()) {
    benchmark::RegisterBenchmark(("BM_ProcessSwEntry/" + n).c_str(), BM_ProcessSwEntry, n);
    benchmark::RegisterBenchmark(("BM_Floor/" + n).c_str(), BM_Floor, n);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
