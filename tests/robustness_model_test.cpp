// Randomised model test: long random sequences of log entries over the three software tables
// are handed to every Util of both chip revisions, and after every entry the shadows, the Util
// counters, the enqueue counts and the commands are compared with a small model of what each
// table must hold. The model below is written from the table rules (key placement, field
// values, delete rules, applicability, the order of the pipeline's steps), not by calling any
// of the library's logic; it encodes rows in the row format the host documents
// (docs/hardware-tables.md), so the host's encoder is checked too. Each sequence also draws
// its fap mask, the tables that do not revert on delete, the egress profile index the host
// answers and how the host drives the Utils; a few of its entries are table clears.
//
// Reproducing: every sequence has its own seed, printed on failure with the shortest failing
// prefix as utilsim input lines. TERN_MODEL_SEED=<seed> reruns that one sequence;
// TERN_MODEL_SEQUENCES and TERN_MODEL_ENTRIES change the size of the run.
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostControls.h"
#include "tests/TestSupport.h"

namespace {
using TestSupport::LogPtr;

// Under the sanitizers and under the emulator (32-bit builds on machines that cannot run
// them) each entry costs many times more, so the default run is shorter there.
#if defined(__SANITIZE_ADDRESS__) || defined(TERN_TEST_EMULATOR)
constexpr bool kSlowRun = true;
#else
constexpr bool kSlowRun = false;
#endif

unsigned envOr(const char* name, unsigned fallback) {
  const char* v = std::getenv(name);
  return v && *v ? unsigned(std::strtoul(v, nullptr, 10)) : fallback;
}

// ---------------------------------------------------------------------------------------
// Log entries as the generator makes them (and as utilsim reads them back when printed).
// ---------------------------------------------------------------------------------------
// Clear: clearHwTable of one table (key: the table's index below) for the entry's unit.
enum class Feed { Routing, Trap, Mtu, Clear };

struct GenEntry {
  Feed feed = Feed::Routing;
  std::uint8_t fap = 0, inst = 0;
  bool isDelete = false, tableDelete = false;
  std::uint32_t id = 0;  // routing state
  std::uint8_t type = 0;
  std::uint8_t profileMap = 0;
  std::array<std::uint8_t, 5> rs{}, urpf{};
  std::uint8_t key = 0, outPort = 0, stamp = 0;  // trap (key) and MTU (key)
  std::uint16_t mtuBytes = 0;
};

LogPtr makeLog(const GenEntry& e) {
  namespace Log = TestSupport::Log;
  const Log::Header h{
      .fapId = e.fap, .instanceId = e.inst, .isDelete = e.isDelete, .isTableDelete = e.tableDelete};
  switch (e.feed) {
    case Feed::Routing: {
      Log::RoutingState r{
          .id = e.id, .type = e.type, .routingProfileMap = e.profileMap, .routingState = e.rs};
      for (unsigned i = 0; i < 5; ++i) r.*Log::RoutingState::urpfFlags()[i].member = e.urpf[i];
      return Log::entry(r, h);
    }
    case Feed::Trap:
      return Log::entry(
          Log::TrapForwardAction{.key = e.key, .outPort = e.outPort, .stampValue = e.stamp}, h);
    case Feed::Mtu:
      return Log::entry(Log::MtuProfile{.key = e.key, .mtuBytes = e.mtuBytes}, h);
    case Feed::Clear:
      break;
  }
  return {};
}

const char* tableName(unsigned t);

// One utilsim input line for the entry, so that a failing prefix can be replayed by hand.
std::string jsonLine(const GenEntry& e) {
  const std::string unit = fmt::format("\"fapId\": {}, \"instanceId\": {}", e.fap, e.inst);
  if (e.feed == Feed::Clear)
    return fmt::format("{{\"op\": \"clearHwTable\", \"hwTable\": \"{}\", {}}}", tableName(e.key),
                       unit);
  std::string value;
  if (e.feed == Feed::Trap) {
    value = fmt::format("{}, \"value\": {{\"outPort\": {}, \"stampValue\": {}}}", e.key, e.outPort,
                        e.stamp);
  } else if (e.feed == Feed::Mtu) {
    value = fmt::format("{}, \"value\": {{\"mtuBytes\": {}}}", e.key, e.mtuBytes);
  } else if (e.type == 0) {
    value = fmt::format("{{\"id\": {}, \"type\": 0}}, \"value\": {{\"routingProfileMap\": {}}}",
                        e.id, e.profileMap);
  } else {
    std::vector<std::string> urpf;
    for (unsigned i = 0; i < 5; ++i)
      urpf.push_back(fmt::format("\"{}\": {}", TestSupport::Log::RoutingState::urpfFlags()[i].name,
                                 e.urpf[i]));
    value = fmt::format(
        "{{\"id\": {}, \"type\": {}}}, \"value\": {{\"routingState\": [{}], \"urpfState\": "
        "{{{}}}}}",
        e.id, e.type, fmt::join(e.rs, ", "), fmt::join(urpf, ", "));
  }
  const char* table = e.feed == Feed::Routing ? "routingState"
                      : e.feed == Feed::Trap  ? "trapForwardAction"
                                              : "mtuProfile";
  return fmt::format("{{\"table\": \"{}\", {}{}{}, \"key\": {}}}", table, unit,
                     e.isDelete ? ", \"delete\": true" : "",
                     e.tableDelete ? ", \"tableDelete\": true" : "", value);
}

// Values around every boundary: fap ids either side of the null id, VSI ids past the 1024
// slots, profile ids past 15 and past 255, values just inside and just outside each width.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}

  std::vector<unsigned> fapMask() {
    std::vector<unsigned> ids;
    for (unsigned id : {0u, 1u, 127u, 128u})
      if (coin(2)) ids.push_back(id);
    return ids;
  }

  // Tables whose object does not revert on delete (bit per table), and the egress profile
  // index the host answers for the trap row (0: the chip's own).
  std::uint16_t noRevert() { return std::uint16_t(coin(2) ? 0 : pick(1u << 10)); }
  std::uint32_t trapIndex() { return oneOf<std::uint32_t>({0, 0, 0, 16, 0x105, 17, pick(300)}); }

  GenEntry entry() {
    GenEntry e;
    const unsigned f = pick(80);
    e.feed = f == 0       ? Feed::Clear
             : f % 10 < 7 ? Feed::Routing
             : f % 10 < 8 ? Feed::Trap
                          : Feed::Mtu;
    e.fap = oneOf<std::uint8_t>({0, 0, 0, 1, 127, 128, 128, 129, 255});
    e.inst = oneOf<std::uint8_t>({0, 0, 0, 3});
    e.isDelete = coin(4);
    e.tableDelete = pick(20) == 0;
    switch (e.feed) {
      case Feed::Routing:
        e.type = oneOf<std::uint8_t>({0, 0, 0, 1, 1, 1, 2});
        e.id = e.type == 0 ? vsiId() : profileId();
        e.profileMap = oneOf<std::uint8_t>({0, 1, 7, 14, 15, 15, 16, 255, byte()});
        for (auto& b : e.rs) b = flag();
        for (auto& b : e.urpf) b = flag();
        break;
      case Feed::Trap:
        e.key = byte();
        e.outPort = byte();
        e.stamp = oneOf<std::uint8_t>({0, 1, 200, 255, byte()});
        break;
      case Feed::Mtu:
        e.key = oneOf<std::uint8_t>({0, 1, 3, 15, 15, 16, 17, 31, 255, std::uint8_t(pick(16))});
        e.mtuBytes = oneOf<std::uint16_t>(
            {0, 1500, 9000, 16383, 16383, 16384, 65535, std::uint16_t(pick(65536))});
        break;
      case Feed::Clear:
        e.key = std::uint8_t(pick(10));
        break;
    }
    return e;
  }

 private:
  unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
  bool coin(unsigned n) { return pick(n) == 0; }
  std::uint8_t byte() { return std::uint8_t(pick(256)); }
  std::uint8_t flag() { return oneOf<std::uint8_t>({0, 0, 1, 255}); }
  template <class T>
  T oneOf(std::initializer_list<T> v) {
    return v.begin()[pick(unsigned(v.size()))];
  }
  // Mostly a few VSIs that share hardware entries, so that read-modify-write is exercised.
  std::uint32_t vsiId() {
    return oneOf<std::uint32_t>({pick(12), pick(12), pick(12), 1023, 1024, 1025, 1027, 4096 + 5,
                                 0xffffffffu, std::uint32_t(rng_())});
  }
  std::uint32_t profileId() {
    return oneOf<std::uint32_t>({pick(16), pick(16), pick(16), 0, 15, 16, 255, 256, 257, 271, 272,
                                 0xffffffffu, std::uint32_t(rng_())});
  }
  std::mt19937_64 rng_;
};

// ---------------------------------------------------------------------------------------
// The model.
// ---------------------------------------------------------------------------------------
enum Tbl : unsigned { VsiF, VsiA, VecF, VecA, CsInlif, Flp, Inlif, AllowDef, Trap, Mtu, kTables };

struct TableDesc {
  const char* name;
  unsigned rows, words;
};
// Row spaces and row widths as the host documents them.
constexpr TableDesc kTableDesc[kTables] = {
    {"IppfVsiToRoutingProfileMapHwDirect", 1024, 1},
    {"IppaVsiToRoutingProfileMapHwDirect", 1024, 1},
    {"IppfRoutingProfileToVectorMapHwDirect", 64, 9},
    {"IppaRoutingProfileToVectorMapHwDirect", 64, 9},
    {"IppaCsInlif0ProfileMapHwDirect", 1024, 1},
    {"IppbFlpInlifProfile0MapHwDirect", 256, 1},
    {"IppdInlifProfileTableHwDirect", 256, 1},
    {"IppdAllowDefaultRouteHwReg", 1, 1},
    {"EtppbTrapForwardActionTableHwDirect", 17, 2},
    {"EtppcMtuMapTableHwDirect", 129, 1},
};
const char* tableName(unsigned t) { return kTableDesc[t].name; }

constexpr std::uint32_t kRoutingId = 0x11010402, kTrapId = 0x11010401, kMtuId = 0x0F080403;

struct UtilDesc {
  const char* name;
  Tbl table;
  int kind;  // key type it takes; -1: no kind test
  std::uint32_t swTableId;
};
constexpr UtilDesc kUtilDesc[] = {
    {"IppfVsiToRoutingProfileMapArray0Util", VsiF, 0, kRoutingId},
    {"IppaVsiToRoutingProfileMapArray3Util", VsiA, 0, kRoutingId},
    {"IppfRoutingProfileToVectorMapArray0Util", VecF, 1, kRoutingId},
    {"IppaRoutingProfileToVectorMapArray3Util", VecA, 1, kRoutingId},
    {"IppaCsInlif0ProfileMapUtil", CsInlif, 1, kRoutingId},
    {"IppbFlpInlifProfile0MapUtil", Flp, 1, kRoutingId},
    {"IppdInlifProfileTableUtil", Inlif, 1, kRoutingId},
    {"IppdAllowDefaultRouteUtil", AllowDef, 1, kRoutingId},
    {"EtppbTrapForwardActionTableUtil", Trap, -1, kTrapId},
    {"EtppcMtuMapTableUtil", Mtu, -1, kMtuId},
};
const UtilDesc* utilDesc(const std::string& name) {
  for (const auto& u : kUtilDesc)
    if (name == u.name) return &u;
  return nullptr;
}

using Words = std::array<std::uint32_t, 9>;
// Writes value into width bits at bit pos of the row (fields may straddle words).
void put(Words& w, unsigned pos, unsigned width, std::uint32_t value) {
  for (unsigned i = 0; i < width; ++i) {
    const unsigned b = pos + i;
    const std::uint32_t bit = 1u << (b % 32);
    w[b / 32] = (value >> i) & 1 ? (w[b / 32] | bit) : (w[b / 32] & ~bit);
  }
}

struct Counters {
  std::uint64_t add = 0, del = 0, upd = 0, mismatch = 0;
  bool operator==(const Counters&) const = default;
};

// The model raises this where a rule refuses the entry; what the model changed before it is
// exactly what the rules change before the refusal.
struct Refused {};

std::uint32_t swIdOf(const GenEntry& e) {
  return e.feed == Feed::Routing ? kRoutingId : e.feed == Feed::Trap ? kTrapId : kMtuId;
}

using CopyRow = std::pair<std::uint16_t, unsigned>;  // (fap | instance << 8, row)

class Model {
 public:
  // steps: the three steps are called one by one, so the MTU Util runs the generic steps
  // (default key, reset entry) instead of its process hook.
  Model(Hardware::ChipType chip, const std::vector<unsigned>& mask, std::uint16_t noRevert,
        std::uint32_t trapIndex, bool steps)
      : chip_(chip), noRevert_(noRevert), trapIndex_(trapIndex), mtuHook_(!steps) {
    for (unsigned id : mask) mask_.insert(id);
  }

  struct Outcome {
    bool refused = false;
    std::vector<unsigned> cmdRows;  // rows the returned commands write, in order
  };

  // processSwEntry of one Util, step by step in the pipeline's order; or, with `applies`
  // given, the shadow write if the entry applies and then the commands, as a host does that
  // asked utilApplicable itself.
  Outcome process(const UtilDesc& u, const GenEntry& e, std::optional<bool> applies = {}) {
    Outcome out;
    try {
      if (u.table == Mtu && mtuHook_) {
        mtuProcess(e, out);
      } else {
        if (applies ? *applies : applicable(u, e)) write(u, e);
        out.cmdRows.push_back(schanRow(u, e));
      }
    } catch (const Refused&) {
      out.refused = true;
      out.cmdRows.clear();
    }
    return out;
  }

  // utilApplicable on its own (the dispatch that asks first); nullopt when refused.
  std::optional<bool> applicableOnly(const UtilDesc& u, const GenEntry& e) {
    try {
      return applicable(u, e);
    } catch (const Refused&) {
      return std::nullopt;
    }
  }

  // Rows of the table that the entry's key names for this Util (none when the key is
  // refused), in the entry's copy.
  std::vector<unsigned> addressedRows(const UtilDesc& u, const GenEntry& e) const {
    if (u.table == Mtu && mtuHook_) {
      std::vector<unsigned> r;
      for (unsigned i = 0; i < 8 && e.key * 8u + i <= 128; ++i) r.push_back(e.key * 8u + i);
      return r;
    }
    const auto row = keyRow(u.table, e);
    return row ? std::vector<unsigned>{*row} : std::vector<unsigned>{};
  }

  // clearHwTable: the copy's rows go; one reset row per row of the table is returned.
  Outcome clear(Tbl t, const GenEntry& e) {
    Outcome out;
    try {
      fapOf(e);
    } catch (const Refused&) {
      out.refused = true;
      return out;
    }
    std::erase_if(rows_[t], [&](const auto& r) { return r.first.first == copyOf(e); });
    for (unsigned r = 0; r < kTableDesc[t].rows; ++r) out.cmdRows.push_back(r);
    return out;
  }
  bool mtuHook() const { return mtuHook_; }

  const std::map<CopyRow, Words>& rows(Tbl t) const { return rows_[t]; }
  const Words* find(Tbl t, std::uint16_t copy, unsigned row) const {
    const auto it = rows_[t].find({copy, row});
    return it == rows_[t].end() ? nullptr : &it->second;
  }
  const Counters& counters(const std::string& util) const {
    static const Counters none;
    const auto it = counters_.find(util);
    return it == counters_.end() ? none : it->second;
  }
  std::uint64_t enqueue(std::uint32_t swId, std::uint16_t copy) const {
    const auto it = enqueue_.find({swId, copy});
    return it == enqueue_.end() ? 0 : it->second;
  }
  const std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint64_t>& enqueueAll() const {
    return enqueue_;
  }
  static std::uint16_t copyOf(const GenEntry& e) { return std::uint16_t(e.fap | (e.inst << 8)); }

 private:
  // Fap id as the framework reads it: above the null id 128 is a range error.
  static unsigned fapOf(const GenEntry& e) {
    if (e.fap > 128) throw Refused{};
    return e.fap;
  }
  bool covers(unsigned fap) const { return fap == 128 || mask_.count(fap); }

  // An entry of the Util's kind outside the fap mask counts its mismatch here, before the
  // command step maps (and may refuse) its key: the counter moves even for a refused entry.
  bool applicable(const UtilDesc& u, const GenEntry& e) {
    if (e.tableDelete && covers(fapOf(e))) return true;
    if (u.kind >= 0 && e.type != u.kind) return false;
    if (covers(fapOf(e))) return true;
    ++counters_[u.name].mismatch;
    return false;
  }

  // Row of the table a routing-state, trap or MTU key names; nullopt when the key is refused.
  std::optional<unsigned> keyRow(Tbl t, const GenEntry& e) const {
    switch (t) {
      case VsiF:
      case VsiA:  // four VSIs per entry, only eight bits of id >> 2 count
        return (t == VsiF ? 0u : 3u) * 256 + ((e.id >> 2) & 0xff);
      case VecF:
      case VecA: {  // sixteen profiles; the low byte of the id is the profile
        const unsigned idx = e.id & 0xff;
        if (idx > 15) return std::nullopt;
        return (t == VecF ? 0u : 3u) * 16 + idx;
      }
      case CsInlif:
        return 3 * 256 + (e.id & 0xff);
      case Flp:
      case Inlif:
        return e.id & 0xff;
      case AllowDef:
        return 0u;
      case Trap:  // the low byte of the index the host answers for profile 6, up to 16
        if (trapIndex_ == 0) return chip_ == Hardware::kChipBcm88890A0 ? 6u : 7u;
        if ((trapIndex_ & 0xff) > 16) return std::nullopt;
        return trapIndex_ & 0xff;
      case Mtu:  // the generic steps: a default-constructed key
        return 0u;
      default:
        return std::nullopt;
    }
  }
  unsigned mapKey(Tbl t, const GenEntry& e) const {
    const auto r = keyRow(t, e);
    if (!r) throw Refused{};
    return *r;
  }

  Words get(Tbl t, std::uint16_t copy, unsigned row) const {
    const Words* w = find(t, copy, row);
    return w ? *w : Words{};
  }
  void set(Tbl t, std::uint16_t copy, unsigned row, const Words& w) { rows_[t][{copy, row}] = w; }
  void erase(Tbl t, std::uint16_t copy, unsigned row) { rows_[t].erase({copy, row}); }

  // The entry a set writes.
  Words translate(const UtilDesc& u, const GenEntry& e, std::uint16_t copy, unsigned row) const {
    Words w{};
    const bool own = u.kind < 0 || e.type == u.kind;
    if (!own) return w;  // an entry of the other kind (a table delete) translates to reset
    const bool v4 = e.urpf[0], v6 = e.urpf[1], s4 = e.urpf[2], s6 = e.urpf[3], ad = e.urpf[4];
    switch (u.table) {
      case VsiF:
      case VsiA:
        if (e.profileMap > 15) throw Refused{};  // a 4-bit routing profile
        w = get(u.table, copy, row);
        put(w, 4 * (e.id & 3), 4, e.profileMap);
        return w;
      case VecF:
      case VecA: {
        // flag 0..4 drive bit pairs 8, 12, 10, 14, 16 (flags 1 and 2 cross over)
        static constexpr unsigned pos[5] = {8, 12, 10, 14, 16};
        for (unsigned i = 0; i < 5; ++i)
          if (e.rs[i]) put(w, pos[i], 2, 3);
        return w;
      }
      case CsInlif:
        put(w, 0, 8, (e.id & 0xff) == 0 ? 1u : (v4 ? 2u : 0u) | (v6 ? 4u : 0u));
        return w;
      case Flp:
        put(w, 0, 8, (e.id & 0xff) == 0 ? 1u : (v4 || v6) ? 3u : 1u);
        return w;
      case Inlif:
        put(w, 0, 2, v4 ? (s4 ? 1u : 2u) : 0u);
        put(w, 2, 2, v6 ? (s6 ? 1u : 2u) : 0u);
        return w;
      case AllowDef:
        w = get(u.table, copy, row);
        put(w, 0, 1, ad && ((v4 && s4) || (v6 && s6)));
        put(w, 1, 1, ad && ((v4 && !s4) || (v6 && !s6)));
        return w;
      case Trap:
        w = get(u.table, copy, row);
        put(w, 0, 8, e.outPort);  // outTmPort
        put(w, 8, 1, 1);          // outTmPortOverride
        put(w, 9, 8, e.stamp);    // ppDspStampValue
        put(w, 17, 1, 1);         // ppDspStampValueOverride
        put(w, 18, 1, 1);         // dropForwardCopyOverride
        put(w, 19, 4, 13);        // forwardChData2
        put(w, 23, 1, 1);         // forwardChData2Override
        put(w, 24, 8, e.stamp);   // forwardChData4
        put(w, 32, 1, 1);         // forwardChData4Override
        put(w, 33, 1, 1);         // otmChccOverride
        put(w, 34, 2, 1);         // chcConditions
        put(w, 36, 3, 7);         // ftmhTc
        put(w, 39, 1, 1);         // ftmhTcOverride
        return w;
      default:
        return w;
    }
  }

  // The entry a delete leaves behind; all zero means the row is deleted.
  Words revert(const UtilDesc& u, const GenEntry& e, std::uint16_t copy, unsigned row) const {
    const bool own = u.kind < 0 || e.type == u.kind;
    switch (u.table) {
      case VsiF:
      case VsiA:
      case AllowDef:  // the other VSIs of the entry, or the register, stay as they are
        return own ? get(u.table, copy, row) : Words{};
      case Trap: {  // only the port and the stamp go back to their reset values
        Words w = get(u.table, copy, row);
        put(w, 0, 8, 0);
        put(w, 9, 8, 0);
        return w;
      }
      default:
        return Words{};
    }
  }

  void write(const UtilDesc& u, const GenEntry& e) {
    const std::uint16_t copy = copyOf(e);
    const unsigned row = mapKey(u.table, e);
    Counters& c = counters_[u.name];
    if (!e.isDelete) {
      const Words w = translate(u, e, copy, row);
      set(u.table, copy, row, w);
      ++c.add;
      return;
    }
    const Words w = noRevert_ >> u.table & 1 ? Words{} : revert(u, e, copy, row);
    if (w == Words{}) {
      erase(u.table, copy, row);
      ++c.del;
    } else {
      set(u.table, copy, row, w);
      ++c.upd;
    }
  }

  unsigned schanRow(const UtilDesc& u, const GenEntry& e) {
    fapOf(e);
    const unsigned row = mapKey(u.table, e);
    ++enqueue_[{u.swTableId, copyOf(e)}];
    return row;
  }

  void mtuProcess(const GenEntry& e, Outcome& out) {
    fapOf(e);
    const std::uint16_t copy = copyOf(e);
    const unsigned base = unsigned(e.key) * 8;
    for (unsigned idx = base; idx < base + 8; ++idx) {
      if (idx > 128) throw Refused{};  // the key accepts up to its null value 128
      if (!e.isDelete && e.mtuBytes > 0x3fff) throw Refused{};
      Words w{};
      put(w, 0, 14, e.isDelete ? 0x3fffu : e.mtuBytes);
      set(Mtu, copy, idx, w);
      out.cmdRows.push_back(idx);
    }
  }

  Hardware::ChipType chip_;
  std::uint16_t noRevert_;
  std::uint32_t trapIndex_;
  bool mtuHook_;
  std::set<unsigned> mask_;
  std::map<CopyRow, Words> rows_[kTables];
  std::map<std::string, Counters> counters_;
  std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint64_t> enqueue_;
};

// ---------------------------------------------------------------------------------------
// One sequence on both revisions: the library under test beside its model.
// ---------------------------------------------------------------------------------------
// How the host drives a Util: processSwEntry; utilApplicable first, then processSwEntry; or
// utilApplicable, writeSwEntryToShadow and getSchanCmds one by one.
enum class Dispatch { Process, AskFirst, Steps };

struct SequenceSpec {
  std::uint64_t seed;
  std::vector<unsigned> mask;
  Dispatch dispatch;
  std::uint16_t noRevert;   // tables whose object does not revert on delete
  std::uint32_t trapIndex;  // the host's egress profile index answer; 0: the chip's own
  std::vector<GenEntry> entries;
};

std::uint32_t gTrapIndex = 0;
std::uint32_t answerTrapIndex(Hardware::ChipType, TernPPExport::egress_fwd_action_profile) {
  return gTrapIndex;
}

struct Options {
  // Sabotage for the checker's own test: clear revertOnDelete on this table.
  const char* clearRevertOn = nullptr;
};

struct Totals {
  std::uint64_t entries = 0, calls = 0, refusals = 0, commands = 0;
};

class Library {
 public:
  Library(Hardware::ChipType chip, const SequenceSpec& s, const Options& opt)
      : host_(chip, {}),
        model_(chip, s.mask, s.noRevert, s.trapIndex, s.dispatch == Dispatch::Steps),
        opt_(opt) {
    const std::vector<unsigned>& mask = s.mask;
    gTrapIndex = s.trapIndex;
    TernPPExport::egressFwdActionProfileValueOverrideIs(s.trapIndex ? &answerTrapIndex : nullptr);
    // The mask through the host's own upkeep: every Util gets the same fap ids.
    for (const auto& u : host_.utils())
      for (unsigned id : mask)
        u.util->fapIdIs(Pavo::Ptr<const TernAsicUtils::FapControlData>(
            new TernAsicUtils::FapControlData(SchanAccel::FapId(id))));
    for (unsigned t = 0; t < kTables; ++t) {
      tables_[t] = host_.table(kTableDesc[t].name);
      if (tables_[t] &&
          ((s.noRevert >> t & 1) || (opt.clearRevertOn && tables_[t]->name() == opt.clearRevertOn)))
        tables_[t]->revertOnDeleteIs(0);
    }
  }
  ~Library() { TernPPExport::egressFwdActionProfileValueOverrideIs(nullptr); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool ready(std::string& why) const {
    for (unsigned t = 0; t < kTables; ++t)
      if (!tables_[t]) {
        why = std::string("no table object ") + kTableDesc[t].name;
        return false;
      }
    return true;
  }

  // Hands the entry to every Util of its software table; false with a reason on the first
  // disagreement with the model or with the failure rules.
  bool step(const GenEntry& e, Dispatch dispatch, bool full, Totals& totals, std::string& why) {
    if (e.feed == Feed::Clear) {
      if (!clear(Tbl(e.key), e, totals, why)) return false;
      return full ? checkAll(why) : checkWatched(e, why);
    }
    const LogPtr log = makeLog(e);
    const std::uint32_t swId = swIdOf(e);
    const std::uint16_t copy = Model::copyOf(e);
    for (const auto& inst : host_.utils()) {
      if (inst.key.swTableId.value != swId) continue;
      const UtilDesc* u = utilDesc(inst.shortName);
      if (!u) {
        why = "unknown Util " + inst.shortName;
        return false;
      }
      ++totals.calls;

      std::optional<bool> applies;
      if (dispatch != Dispatch::Process) {
        const auto expected = model_.applicableOnly(*u, e);
        std::optional<bool> actual;
        std::string err;
        try {
          actual = inst.util->utilApplicable(log);
        } catch (const std::exception& x) {
          err = x.what();
        }
        if (actual != expected) {
          why = inst.shortName + ": utilApplicable " + text(actual, err) + ", model " +
                text(expected, "refused");
          return false;
        }
        if (!actual) ++totals.refusals;
        if (!actual || (!*actual && dispatch == Dispatch::AskFirst)) continue;
        applies = actual;
      }

      const auto expected =
          dispatch == Dispatch::Steps ? model_.process(*u, e, applies) : model_.process(*u, e);
      Pavo::Ptr<SchanAccel::SchanCmds> cmds;
      std::string err;
      bool refused = false;
      // Every eighth call with every trace level on: an entry takes the traced path then,
      // the quiet one otherwise, and both must agree with the model.
      const bool traced = totals.calls % 8 == 0;
      if (traced) {
        Qel::TraceConfig::enable("2,3");
        Qel::TraceConfig::captureBegin();
      }
      const auto tracesOff = [&] {
        if (!traced) return;
        Qel::TraceConfig::captureEnd();
        Qel::TraceConfig::disableAll();
      };
      std::uint32_t status = 0;  // what writeSwEntryToShadow returns: always 0
      try {
        if (dispatch == Dispatch::Steps) {
          if (*applies) status = inst.util->writeSwEntryToShadow(log);
          cmds = inst.util->getSchanCmds(log, status);
        } else
          cmds = inst.util->processSwEntry(log);
        tracesOff();
      } catch (const Asic::OrderedTableException& x) {
        tracesOff();
        refused = true;
        err = x.what();
      } catch (const Pavo::RangeException& x) {
        tracesOff();
        refused = true;
        err = x.what();
      } catch (const std::exception& x) {
        tracesOff();
        why = inst.shortName + ": an exception of neither documented kind: " + x.what();
        return false;
      }
      if (status != 0) {
        why = inst.shortName + ": writeSwEntryToShadow returned " + std::to_string(status);
        return false;
      }
      if (refused != expected.refused) {
        why = inst.shortName + (refused ? ": refused the entry (" + err + "), the model accepts it"
                                        : ": accepted the entry, the model refuses it");
        return false;
      }
      // A refused entry changes what the model changes before its refusal (after the entry,
      // rows, counters and enqueue counts are compared with the model). MTU profile 16 writes
      // row 128, the key's null value, before row 129 is refused, and returns no command for
      // it: that row is left out of the chip comparison from then on.
      if (refused) {
        ++totals.refusals;
        if (u->table == Mtu && model_.mtuHook() && model_.find(Mtu, copy, 128))
          exempt_.insert({copy, 128u});
        continue;
      }
      if (!commandsMatch(inst.shortName, u->table, e, cmds, expected.cmdRows, totals, why))
        return false;
    }
    // The model writes only rows the entry's key addresses, which checkWatched adds.
    return full ? checkAll(why) : checkWatched(e, why);
  }

  // clearHwTable through the first Util bound to the table.
  bool clear(Tbl t, const GenEntry& e, Totals& totals, std::string& why) {
    for (const auto& inst : host_.utils()) {
      const UtilDesc* u = utilDesc(inst.shortName);
      if (!u || u->table != t) continue;
      const auto expected = model_.clear(t, e);
      Pavo::Ptr<SchanAccel::SchanCmds> cmds;
      try {
        cmds = inst.util->clearHwTable(Asic::UnitId::of(e.fap, e.inst));
      } catch (const Pavo::RangeException&) {
        if (expected.refused) return ++totals.refusals, true;
      }
      if (expected.refused) {
        why = inst.shortName + ": clearHwTable did not refuse the unit";
        return false;
      }
      return commandsMatch(inst.shortName, t, e, cmds, expected.cmdRows, totals, why);
    }
    why = std::string("no Util for ") + kTableDesc[t].name;
    return false;
  }

  // The commands write the model's rows (an absent row as zeros) of the entry's copy, in
  // order; they go to the chip model.
  bool commandsMatch(const std::string& util, Tbl t, const GenEntry& e,
                     const Pavo::Ptr<SchanAccel::SchanCmds>& cmds,
                     const std::vector<unsigned>& rows, Totals& totals, std::string& why) {
    if (!cmds || cmds->size() != rows.size()) {
      why = util + ": " + (cmds ? std::to_string(cmds->size()) : "no") + " commands, model " +
            std::to_string(rows.size());
      return false;
    }
    const auto& info = tables_[t]->info();
    const std::uint16_t copy = Model::copyOf(e);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& c = cmds->cmdQueue()[i];
      const Words* m = model_.find(t, copy, rows[i]);
      bool ok = c.block == info.block && c.fapId == e.fap && c.instanceId == e.inst &&
                c.address == rows[i] && c.words == kTableDesc[t].words;
      for (unsigned w = 0; ok && w < kTableDesc[t].words; ++w) ok = c.data[w] == (m ? (*m)[w] : 0);
      if (!ok) {
        why = fmt::format("{}: command {} ({} {}) does not write row {} as the model holds it",
                          util, i, kTableDesc[t].name, QelPavo::Impl::valueToStrep(c), rows[i]);
        return false;
      }
      watch_.insert({t, copy, rows[i]});
      ++totals.commands;
      chip_model_.execute(c);
    }
    return true;
  }

  // Everything: every row of every copy, every counter, every enqueue record, and the chip.
  bool checkAll(std::string& why) const {
    for (unsigned t = 0; t < kTables; ++t) {
      const auto* table = tables_[t];
      std::set<std::uint16_t> copies;
      for (const auto k : table->shadowKeys()) copies.insert(k.value());
      for (const auto& [cr, w] : model_.rows(Tbl(t))) copies.insert(cr.first);
      for (const std::uint16_t c : copies)
        for (unsigned r = 0; r < kTableDesc[t].rows; ++r)
          if (!rowMatches(Tbl(t), c, r, false, why)) return false;
    }
    for (const auto& d : kUtilDesc)
      if (!countersMatch(d, why)) return false;
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint64_t> actual;
    for (const auto& [id, rec] : host_.tableManager()->stats().all())
      for (const auto& [key, n] : rec->counts())
        if (n) actual[{id.value, key.value()}] = n;
    if (actual != model_.enqueueAll()) {
      why = "enqueue counts differ from the model";
      return false;
    }
    for (const auto& m : chip_model_.compare(*host_.tableManager())) {
      if (m.table->name == std::string_view(kTableDesc[Mtu].name) &&
          exempt(Mtu, m.key.value(), m.row))
        continue;
      why = std::string("chip model differs from the shadow: ") + m.table->name + " " +
            m.key.toString() + " row " + std::to_string(m.row);
      return false;
    }
    return true;
  }

 private:
  static std::string text(const std::optional<bool>& v, const std::string& err) {
    return v ? (*v ? "true" : "false") : "refused (" + err + ")";
  }

  bool exempt(Tbl t, std::uint16_t copy, unsigned row) const {
    return t == Mtu && exempt_.count({copy, row});
  }

  Counters hostCounters(const UtilDesc& u) const {
    const auto c = host_.counters(u.name);
    return {c[0], c[1], c[2], c[3]};
  }
  std::pair<bool, Words> hostRow(Tbl t, std::uint16_t copy, unsigned row) const {
    const TernAsicUtils::HwShadowKey key(SchanAccel::FapId(copy & 0xff), std::uint8_t(copy >> 8));
    Words w{};
    std::uint32_t buf[SchanAccel::SchanCmd::kMaxWords] = {};
    const bool present = tables_[t]->rowPresent(key, row);
    tables_[t]->rowWords(key, row, buf);
    for (unsigned i = 0; i < kTableDesc[t].words; ++i) w[i] = buf[i];
    return {present, w};
  }

  // The shadow row equals the model's; with `chip`, the chip model's row equals the shadow's.
  bool rowMatches(Tbl t, std::uint16_t copy, unsigned row, bool chip, std::string& why) const {
    const auto [present, words] = hostRow(t, copy, row);
    const Words* m = model_.find(t, copy, row);
    const auto name = [&] {
      return std::string(kTableDesc[t].name) + " fap " + std::to_string(copy & 0xff) +
             " instance " + std::to_string(copy >> 8) + " row " + std::to_string(row);
    };
    if (present != (m != nullptr)) {
      why = name() + (present ? " is in the shadow, not in the model"
                              : " is in the model, not in the shadow");
      return false;
    }
    if (m && words != *m) {
      why = name() + " holds other values than the model";
      return false;
    }
    // The chip holds what the shadow holds (absent rows read as their reset value).
    if (!chip || exempt(t, copy, row)) return true;
    std::uint32_t hw[SchanAccel::SchanCmd::kMaxWords] = {};
    chip_model_.row(
        tables_[t]->info().block,
        TernAsicUtils::HwShadowKey(SchanAccel::FapId(copy & 0xff), std::uint8_t(copy >> 8)), row,
        hw);
    for (unsigned i = 0; i < kTableDesc[t].words; ++i)
      if (hw[i] != words[i]) {
        why = name() + ": the chip model differs from the shadow";
        return false;
      }
    return true;
  }

  bool countersMatch(const UtilDesc& d, std::string& why) const {
    if (!(hostCounters(d) == model_.counters(d.name))) {
      why = std::string(d.name) + ": counters differ from the model";
      return false;
    }
    return true;
  }

  // After each entry: every row the model holds or ever held, every row a command wrote,
  // the entry's own rows, the counters and the entry's enqueue counts. The full check at
  // the end of each sequence covers every other row.
  bool checkWatched(const GenEntry& e, std::string& why) {
    for (const auto& d : kUtilDesc) {
      if (!countersMatch(d, why)) return false;
      if (e.fap <= 128 && d.swTableId == swIdOf(e))
        for (unsigned r : model_.addressedRows(d, e)) watch_.insert({d.table, Model::copyOf(e), r});
    }
    if (e.fap <= 128)
      for (std::uint32_t id : {kRoutingId, kTrapId, kMtuId})
        if (host_.enqueueCount(Asic::SwTableId{id}, e.fap, e.inst) !=
            model_.enqueue(id, Model::copyOf(e))) {
          why = "enqueue count differs from the model";
          return false;
        }
    for (const auto& [t, copy, row] : watch_)
      if (!rowMatches(t, copy, row, true, why)) return false;
    return true;
  }

  TestSupport::Rig host_;
  Model model_;
  Options opt_;
  TernAsicUtils::HwCommonTableBase* tables_[kTables] = {};
  std::set<std::tuple<Tbl, std::uint16_t, unsigned>> watch_;
  std::set<std::pair<std::uint16_t, unsigned>> exempt_;
  Host::ChipModel chip_model_;
};

SequenceSpec makeSequence(std::uint64_t seed, unsigned length) {
  Generator g(seed);
  const Dispatch d[] = {Dispatch::AskFirst, Dispatch::Steps, Dispatch::Process, Dispatch::Process};
  SequenceSpec s{seed, g.fapMask(), d[seed % 4], g.noRevert(), g.trapIndex(), {}};
  for (unsigned i = 0; i < length; ++i) s.entries.push_back(g.entry());
  return s;
}

struct Failure {
  Hardware::ChipType chip;
  std::size_t entry;  // 1-based index of the failing entry (prefix length)
  std::string why;
};

// Runs the first `count` entries on both revisions; the first failure, if any.
std::optional<Failure> runSequence(const SequenceSpec& s, std::size_t count, bool fullEachEntry,
                                   const Options& opt, Totals& totals) {
  for (const auto chip : TestSupport::kChips) {
    Library library(chip, s, opt);
    std::string why;
    if (!library.ready(why)) return Failure{chip, 0, why};
    for (std::size_t i = 0; i < count; ++i) {
      ++totals.entries;
      if (!library.step(s.entries[i], s.dispatch, fullEachEntry, totals, why))
        return Failure{chip, i + 1, why};
    }
    if (!library.checkAll(why)) return Failure{chip, count, why};
  }
  return std::nullopt;
}

// The shortest failing prefix: the sequence is replayed with the full check after every
// entry, so the first entry at which any check fails ends it.
Failure shrink(const SequenceSpec& s, const Failure& first, const Options& opt) {
  Totals ignored;
  const std::size_t upTo =
      std::min(first.entry == 0 ? s.entries.size() : first.entry, s.entries.size());
  if (auto f = runSequence(s, upTo, true, opt, ignored)) return *f;
  return first;
}

std::string report(const SequenceSpec& s, const Failure& f) {
  const char* dispatch[] = {"processSwEntry", "utilApplicable first", "the three steps"};
  std::string o = fmt::format(
      "sequence seed {0} (rerun with TERN_MODEL_SEED={0}), {1}, fap mask {{{2}}}, dispatch {3}, "
      "no revert on delete 0x{4:x}, egress profile index 0x{5:x}\nshortest failing prefix: {6} "
      "entries; at entry {6}: {7}\n",
      s.seed, TestSupport::chipName(f.chip), fmt::join(s.mask, ","), dispatch[unsigned(s.dispatch)],
      s.noRevert, s.trapIndex, f.entry, f.why);
  for (std::size_t i = 0; i < f.entry && i < s.entries.size(); ++i)
    o += jsonLine(s.entries[i]) + "\n";
  return o;
}

// ---------------------------------------------------------------------------------------
// Tests.
// ---------------------------------------------------------------------------------------
TEST(RobustnessModel, RandomSequencesOnEveryUtilOfBothRevisionsMatchTheModel) {
  const unsigned sequences = envOr("TERN_MODEL_SEQUENCES", kSlowRun ? 40 : 200);
  const unsigned length = envOr("TERN_MODEL_ENTRIES", 300);
  const char* only = std::getenv("TERN_MODEL_SEED");
  const std::uint64_t base = 0x7e4e0010;
  Totals totals;
  unsigned run = 0, failures = 0;
  for (unsigned i = 0; i < sequences && failures < 3; ++i) {
    const std::uint64_t seed = only && *only ? std::strtoull(only, nullptr, 10) : base + i;
    const auto sequence = makeSequence(seed, length);
    ++run;
    if (auto f = runSequence(sequence, sequence.entries.size(), false, Options{}, totals)) {
      ++failures;
      ADD_FAILURE() << report(sequence, shrink(sequence, *f, Options{}));
    }
    if (only && *only) break;
  }
  // Both revisions saw every entry, and the boundaries were reached.
  EXPECT_EQ(totals.entries, std::uint64_t(run) * length * 2);
  EXPECT_GT(totals.refusals, totals.entries / 50);
  EXPECT_GT(totals.commands, totals.entries);
  fmt::print(
      "robustness model: {} sequences x {} entries x 2 revisions = {} entries, {} Util "
      "calls ({} refused), {} commands\n",
      run, length, totals.entries, totals.calls, totals.refusals, totals.commands);
  // Teardown: with every host dropped, no Util or table object is left.
  for (const auto& l : Qel::AllocTrackTypeInfo::liveObjects())
    ADD_FAILURE() << "still live after the hosts were dropped: " << l.count << " " << l.typeName;
}

// The checker itself must bite: a host whose VSI table object does not revert on delete
// clears the other three VSIs of an entry, which the model (revertOnDelete set) keeps.
TEST(RobustnessModel, CheckerFindsADivergenceAndItsShortestPrefix) {
  SequenceSpec s{42, {0}, Dispatch::Process, 0, 0, {}};
  const GenEntry vsi4{.id = 4, .profileMap = 2}, trap{.feed = Feed::Trap, .outPort = 9},
      vsi5{.id = 5, .profileMap = 7}, del5{.isDelete = true, .id = 5, .profileMap = 7};
  s.entries = {vsi4, trap, vsi5, del5, trap, vsi4};
  Options opt;
  opt.clearRevertOn = "IppfVsiToRoutingProfileMapHwDirect";
  Totals totals;
  const auto f = runSequence(s, s.entries.size(), false, opt, totals);
  ASSERT_TRUE(f.has_value());
  const auto shortest = shrink(s, *f, opt);
  EXPECT_EQ(shortest.entry, 4u);
  EXPECT_NE(shortest.why.find("IppfVsiToRoutingProfileMapHwDirect"), std::string::npos)
      << shortest.why;
  const std::string text = report(s, shortest);
  EXPECT_NE(text.find("TERN_MODEL_SEED=42"), std::string::npos) << text;
  EXPECT_NE(text.find("\"delete\": true"), std::string::npos) << text;
  // Unsabotaged, the same sequence passes.
  EXPECT_FALSE(runSequence(s, s.entries.size(), false, Options{}, totals).has_value());
}

}  // namespace
