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

// ---------------------------------------------------------------------------------------
// The tables as the model knows them: one entry per table and its Util, written from the
// table rules and the row format the host documents (docs/hardware-tables.md), not from the
// library's code. A new table gets its entry here; until it has one, the test stops at
// "unknown Util <name>", which names this list.
// ---------------------------------------------------------------------------------------
using Words = std::array<std::uint32_t, 9>;
// Writes value into width bits at bit pos of the row (fields may straddle words).
void put(Words& w, unsigned pos, unsigned width, std::uint32_t value) {
  for (unsigned i = 0; i < width; ++i) {
    const unsigned b = pos + i;
    const std::uint32_t bit = 1u << (b % 32);
    w[b / 32] = (value >> i) & 1 ? (w[b / 32] | bit) : (w[b / 32] & ~bit);
  }
}

// The model raises this where a rule refuses the entry; what the model changed before it is
// exactly what the rules change before the refusal.
struct Refused {};

constexpr std::uint32_t kRoutingId = 0x11010402, kTrapId = 0x11010401, kMtuId = 0x0F080403;

// What a key depends on besides the entry.
struct KeyContext {
  Hardware::ChipType chip;
  std::uint32_t trapIndex;  // the host's egress profile index answer; 0: the chip's own
};
using Row = std::optional<unsigned>;  // nullopt: the key refuses the entry

struct TableModel {
  const char* table;     // hardware table class
  unsigned rows, words;  // row space and row width
  const char* util;      // the Util that writes it
  int kind;              // routing-state key type the Util takes; -1: no kind test
  std::uint32_t swTableId;
  Row (*key)(const KeyContext&, const GenEntry&);  // the row the entry's key names
  // The row a set of an entry of the Util's kind writes, from the row as the shadow holds it
  // (tables that start from the shadow use it).
  Words (*set)(const GenEntry&, Words current);
  // The row a delete of such an entry leaves, from the row as the shadow holds it; all zero:
  // the row goes.
  Words (*revert)(const GenEntry&, Words current);
  // A Util with its own process hook writes these rows of each entry, in order (a row
  // outside the table is refused), each as processRow says; the generic steps then apply
  // only where the host calls them one by one.
  std::vector<unsigned> (*processRows)(const GenEntry&) = nullptr;
  Words (*processRow)(const GenEntry&) = nullptr;
};

// A row of only these fields: (bit position, width, value).
struct Field {
  unsigned pos, width;
  std::uint32_t value;
};
Words rowOf(std::initializer_list<Field> fields) {
  Words w{};
  for (const auto& f : fields) put(w, f.pos, f.width, f.value);
  return w;
}
Words keep(const GenEntry&, Words current) { return current; }
Words reset(const GenEntry&, Words) { return {}; }
// Four VSIs per entry of four arrays; only eight bits of id >> 2 count.
template <unsigned Array>
Row vsiKey(const KeyContext&, const GenEntry& e) {
  return Array * 256 + ((e.id >> 2) & 0xff);
}
// Sixteen profiles per array; the low byte of the id is the profile.
template <unsigned Array>
Row vectorKey(const KeyContext&, const GenEntry& e) {
  const unsigned idx = e.id & 0xff;
  if (idx > 15) return std::nullopt;
  return Array * 16 + idx;
}
// One row per routing profile (the id's low byte), in array Array of four.
template <unsigned Array>
Row profileKey(const KeyContext&, const GenEntry& e) {
  return Array * 256 + (e.id & 0xff);
}
Row firstRow(const KeyContext&, const GenEntry&) { return 0u; }
bool v4(const GenEntry& e) { return e.urpf[0]; }
bool v6(const GenEntry& e) { return e.urpf[1]; }
bool s4(const GenEntry& e) { return e.urpf[2]; }
bool s6(const GenEntry& e) { return e.urpf[3]; }
bool allowDefault(const GenEntry& e) { return e.urpf[4]; }

// The VSI's 4-bit slot of the entry; the other VSIs keep theirs.
Words vsiSet(const GenEntry& e, Words w) {
  if (e.profileMap > 15) throw Refused{};  // a 4-bit routing profile
  put(w, 4 * (e.id & 3), 4, e.profileMap);
  return w;
}
// flag 0..4 drive bit pairs 8, 12, 10, 14, 16 (flags 1 and 2 cross over)
Words vectorSet(const GenEntry& e, Words) {
  static constexpr unsigned pos[5] = {8, 12, 10, 14, 16};
  Words w{};
  for (unsigned i = 0; i < 5; ++i)
    if (e.rs[i]) put(w, pos[i], 2, 3);
  return w;
}

constexpr TableModel kTables[] = {
    // A delete leaves the other VSIs of the entry as they are.
    {"IppfVsiToRoutingProfileMapHwDirect", 1024, 1, "IppfVsiToRoutingProfileMapArray0Util", 0,
     kRoutingId, &vsiKey<0>, &vsiSet, &keep},
    {"IppaVsiToRoutingProfileMapHwDirect", 1024, 1, "IppaVsiToRoutingProfileMapArray3Util", 0,
     kRoutingId, &vsiKey<3>, &vsiSet, &keep},
    {"IppfRoutingProfileToVectorMapHwDirect", 64, 9, "IppfRoutingProfileToVectorMapArray0Util", 1,
     kRoutingId, &vectorKey<0>, &vectorSet, &reset},
    {"IppaRoutingProfileToVectorMapHwDirect", 64, 9, "IppaRoutingProfileToVectorMapArray3Util", 1,
     kRoutingId, &vectorKey<3>, &vectorSet, &reset},
    {"IppaCsInlif0ProfileMapHwDirect", 1024, 1, "IppaCsInlif0ProfileMapUtil", 1, kRoutingId,
     &profileKey<3>,
     [](const GenEntry& e, Words) {
       return rowOf({{0, 8, (e.id & 0xff) == 0 ? 1u : (v4(e) ? 2u : 0u) | (v6(e) ? 4u : 0u)}});
     },
     &reset},
    {"IppbFlpInlifProfile0MapHwDirect", 256, 1, "IppbFlpInlifProfile0MapUtil", 1, kRoutingId,
     &profileKey<0>,
     [](const GenEntry& e, Words) {
       return rowOf({{0, 8, (e.id & 0xff) == 0 ? 1u : (v4(e) || v6(e)) ? 3u : 1u}});
     },
     &reset},
    {"IppdInlifProfileTableHwDirect", 256, 1, "IppdInlifProfileTableUtil", 1, kRoutingId,
     &profileKey<0>,
     [](const GenEntry& e, Words) {
       return rowOf(
           {{0, 2, v4(e) ? (s4(e) ? 1u : 2u) : 0u}, {2, 2, v6(e) ? (s6(e) ? 1u : 2u) : 0u}});
     },
     &reset},
    {"IppdAllowDefaultRouteHwReg", 1, 1, "IppdAllowDefaultRouteUtil", 1, kRoutingId, &firstRow,
     [](const GenEntry& e, Words w) {
       put(w, 0, 1, allowDefault(e) && ((v4(e) && s4(e)) || (v6(e) && s6(e))));
       put(w, 1, 1, allowDefault(e) && ((v4(e) && !s4(e)) || (v6(e) && !s6(e))));
       return w;
     },
     &keep},  // the register stays as it is
    {"EtppbTrapForwardActionTableHwDirect", 17, 2, "EtppbTrapForwardActionTableUtil", -1, kTrapId,
     // the low byte of the index the host answers for profile 6, up to 16
     [](const KeyContext& c, const GenEntry&) -> Row {
       if (c.trapIndex == 0) return c.chip == Hardware::kChipBcm88890A0 ? 6u : 7u;
       if ((c.trapIndex & 0xff) > 16) return std::nullopt;
       return c.trapIndex & 0xff;
     },
     [](const GenEntry& e, Words w) {
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
     },
     [](const GenEntry&, Words w) {  // only the port and the stamp go back to their reset values
       put(w, 0, 8, 0);
       put(w, 9, 8, 0);
       return w;
     }},
    // The generic steps: a default-constructed key and the reset entry.
    {"EtppcMtuMapTableHwDirect", 129, 1, "EtppcMtuMapTableUtil", -1, kMtuId, &firstRow, &reset,
     &reset,
     // eight rows per profile; the key accepts up to its null value 128
     [](const GenEntry& e) {
       std::vector<unsigned> rows;
       for (unsigned i = 0; i < 8; ++i) rows.push_back(e.key * 8u + i);
       return rows;
     },
     [](const GenEntry& e) {
       if (!e.isDelete && e.mtuBytes > 0x3fff) throw Refused{};
       Words w{};
       put(w, 0, 14, e.isDelete ? 0x3fffu : e.mtuBytes);
       return w;
     }},
};
constexpr unsigned kTableCount = unsigned(std::size(kTables));
// Sets of tables (the tables that do not revert on delete) are masks of this type, a bit per
// table.
using TableMask = std::uint32_t;
static_assert(kTableCount < sizeof(TableMask) * 8, "a TableMask holds a bit per table");
unsigned indexOf(const TableModel& t) { return unsigned(&t - kTables); }
const TableModel* modelOf(const std::string& util) {
  for (const auto& t : kTables)
    if (util == t.util) return &t;
  return nullptr;
}

// One utilsim input line for the entry, so that a failing prefix can be replayed by hand.
std::string jsonLine(const GenEntry& e) {
  const std::string unit = fmt::format("\"fapId\": {}, \"instanceId\": {}", e.fap, e.inst);
  if (e.feed == Feed::Clear)
    return fmt::format("{{\"op\": \"clearHwTable\", \"hwTable\": \"{}\", {}}}",
                       kTables[e.key].table, unit);
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

  // Tables whose object does not revert on delete (bit per table of the model), and the egress
  // profile index the host answers for the trap row (0: the chip's own).
  TableMask noRevert() { return coin(2) ? 0 : pick(1u << kTableCount); }
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
        e.key = std::uint8_t(pick(kTableCount));
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
struct Counters {
  std::uint64_t add = 0, del = 0, upd = 0, mismatch = 0;
  bool operator==(const Counters&) const = default;
};

std::uint32_t swIdOf(const GenEntry& e) {
  return e.feed == Feed::Routing ? kRoutingId : e.feed == Feed::Trap ? kTrapId : kMtuId;
}

using CopyRow = std::pair<std::uint16_t, unsigned>;  // (fap | instance << 8, row)

class Model {
 public:
  // steps: the three steps are called one by one, so a Util with its own process hook runs
  // the generic steps instead.
  Model(Hardware::ChipType chip, const std::vector<unsigned>& mask, TableMask noRevert,
        std::uint32_t trapIndex, bool steps)
      : keys_{chip, trapIndex}, noRevert_(noRevert), processHooks_(!steps) {
    for (unsigned id : mask) mask_.insert(id);
  }

  struct Outcome {
    bool refused = false;
    std::vector<unsigned> cmdRows;  // rows the returned commands write, in order
    std::vector<unsigned> written;  // rows written before the refusal of a refused entry
  };

  // processSwEntry of one Util, step by step in the pipeline's order; or, with `applies`
  // given, the shadow write if the entry applies and then the commands, as a host does that
  // asked utilApplicable itself.
  Outcome process(const TableModel& u, const GenEntry& e, std::optional<bool> applies = {}) {
    Outcome out;
    try {
      if (runsProcessHook(u)) {
        processHook(u, e, out);
      } else {
        if (applies ? *applies : applicable(u, e)) write(u, e);
        out.cmdRows.push_back(schanRow(u, e));
      }
    } catch (const Refused&) {
      out.refused = true;
      out.written = std::move(out.cmdRows);
      out.cmdRows.clear();
    }
    return out;
  }

  // utilApplicable on its own (the dispatch that asks first); nullopt when refused.
  std::optional<bool> applicableOnly(const TableModel& u, const GenEntry& e) {
    try {
      return applicable(u, e);
    } catch (const Refused&) {
      return std::nullopt;
    }
  }

  // Rows of the table that the entry's key names for this Util (none when the key is
  // refused), in the entry's copy.
  std::vector<unsigned> addressedRows(const TableModel& u, const GenEntry& e) const {
    if (runsProcessHook(u)) {
      auto rows = u.processRows(e);
      std::erase_if(rows, [&](unsigned r) { return r >= u.rows; });
      return rows;
    }
    const auto row = u.key(keys_, e);
    return row ? std::vector<unsigned>{*row} : std::vector<unsigned>{};
  }

  // clearHwTable: the copy's rows go; one reset row per row of the table is returned.
  Outcome clear(unsigned t, const GenEntry& e) {
    Outcome out;
    try {
      fapOf(e);
    } catch (const Refused&) {
      out.refused = true;
      return out;
    }
    std::erase_if(rows_[t], [&](const auto& r) { return r.first.first == copyOf(e); });
    for (unsigned r = 0; r < kTables[t].rows; ++r) out.cmdRows.push_back(r);
    return out;
  }

  const std::map<CopyRow, Words>& rows(unsigned t) const { return rows_[t]; }
  const Words* find(unsigned t, std::uint16_t copy, unsigned row) const {
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
  bool runsProcessHook(const TableModel& u) const { return u.processRows && processHooks_; }

  // Fap id as the framework reads it: above the null id 128 is a range error.
  static unsigned fapOf(const GenEntry& e) {
    if (e.fap > 128) throw Refused{};
    return e.fap;
  }
  bool covers(unsigned fap) const { return fap == 128 || mask_.count(fap); }

  // An entry of the Util's kind outside the fap mask counts its mismatch here, before the
  // command step maps (and may refuse) its key: the counter moves even for a refused entry.
  bool applicable(const TableModel& u, const GenEntry& e) {
    if (e.tableDelete && covers(fapOf(e))) return true;
    if (u.kind >= 0 && e.type != u.kind) return false;
    if (covers(fapOf(e))) return true;
    ++counters_[u.util].mismatch;
    return false;
  }

  unsigned mapKey(const TableModel& u, const GenEntry& e) const {
    const auto r = u.key(keys_, e);
    if (!r) throw Refused{};
    return *r;
  }

  Words get(unsigned t, std::uint16_t copy, unsigned row) const {
    const Words* w = find(t, copy, row);
    return w ? *w : Words{};
  }
  void set(unsigned t, std::uint16_t copy, unsigned row, const Words& w) {
    rows_[t][{copy, row}] = w;
  }
  void erase(unsigned t, std::uint16_t copy, unsigned row) { rows_[t].erase({copy, row}); }

  // An entry of the other kind (a table delete) translates, and reverts, to the reset row.
  static bool own(const TableModel& u, const GenEntry& e) { return u.kind < 0 || e.type == u.kind; }

  void write(const TableModel& u, const GenEntry& e) {
    const unsigned t = indexOf(u);
    const std::uint16_t copy = copyOf(e);
    const unsigned row = mapKey(u, e);
    Counters& c = counters_[u.util];
    if (!e.isDelete) {
      set(t, copy, row, own(u, e) ? u.set(e, get(t, copy, row)) : Words{});
      ++c.add;
      return;
    }
    const Words w = noRevert_ >> t & 1 || !own(u, e) ? Words{} : u.revert(e, get(t, copy, row));
    if (w == Words{}) {
      erase(t, copy, row);
      ++c.del;
    } else {
      set(t, copy, row, w);
      ++c.upd;
    }
  }

  unsigned schanRow(const TableModel& u, const GenEntry& e) {
    fapOf(e);
    const unsigned row = mapKey(u, e);
    ++enqueue_[{u.swTableId, copyOf(e)}];
    return row;
  }

  // Each row is written whole, in order; a refusal leaves the rows before it written.
  void processHook(const TableModel& u, const GenEntry& e, Outcome& out) {
    fapOf(e);
    for (const unsigned row : u.processRows(e)) {
      if (row >= u.rows) throw Refused{};
      set(indexOf(u), copyOf(e), row, u.processRow(e));
      out.cmdRows.push_back(row);
    }
  }

  KeyContext keys_;
  TableMask noRevert_;
  bool processHooks_;
  std::set<unsigned> mask_;
  std::map<CopyRow, Words> rows_[kTableCount];
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
  TableMask noRevert;       // tables whose object does not revert on delete
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
    for (unsigned t = 0; t < kTableCount; ++t) {
      tables_[t] = host_.table(kTables[t].table);
      if (tables_[t] &&
          ((s.noRevert >> t & 1) || (opt.clearRevertOn && tables_[t]->name() == opt.clearRevertOn)))
        tables_[t]->revertOnDeleteIs(0);
    }
  }
  ~Library() { TernPPExport::egressFwdActionProfileValueOverrideIs(nullptr); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Every table of the model has its object, and every Util of the plug-in its table in the
  // model.
  bool ready(std::string& why) const {
    for (unsigned t = 0; t < kTableCount; ++t)
      if (!tables_[t]) {
        why = std::string("no table object ") + kTables[t].table;
        return false;
      }
    for (const auto& inst : host_.utils())
      if (!modelOf(inst.shortName)) {
        why = "unknown Util " + inst.shortName +
              ": the model has no entry for its table; add one to kTables in "
              "tests/robustness_model_test.cpp (the table's name, rows and words, the Util, "
              "the entry kind it takes, its software table, and its key, set and revert rules)";
        return false;
      }
    return true;
  }

  // Hands the entry to every Util of its software table; false with a reason on the first
  // disagreement with the model or with the failure rules.
  bool step(const GenEntry& e, Dispatch dispatch, bool full, Totals& totals, std::string& why) {
    if (e.feed == Feed::Clear) {
      if (!clear(e.key, e, totals, why)) return false;
      return full ? checkAll(why) : checkWatched(e, why);
    }
    const LogPtr log = makeLog(e);
    const std::uint32_t swId = swIdOf(e);
    const std::uint16_t copy = Model::copyOf(e);
    for (const auto& inst : host_.utils()) {
      if (inst.key.swTableId.value != swId) continue;
      const TableModel* u = modelOf(inst.shortName);
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
      // rows, counters and enqueue counts are compared with the model). A Util that writes
      // several rows may write some before one is refused (MTU profile 16 writes row 128, the
      // key's null value, before row 129 is refused) and returns no command for them: those
      // rows are left out of the chip comparison from then on.
      if (refused) {
        ++totals.refusals;
        for (const unsigned row : expected.written) exempt_.insert({indexOf(*u), copy, row});
        continue;
      }
      if (!commandsMatch(inst.shortName, indexOf(*u), e, cmds, expected.cmdRows, totals, why))
        return false;
    }
    // The model writes only rows the entry's key addresses, which checkWatched adds.
    return full ? checkAll(why) : checkWatched(e, why);
  }

  // clearHwTable through the first Util bound to the table.
  bool clear(unsigned t, const GenEntry& e, Totals& totals, std::string& why) {
    for (const auto& inst : host_.utils()) {
      const TableModel* u = modelOf(inst.shortName);
      if (!u || indexOf(*u) != t) continue;
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
    why = std::string("no Util for ") + kTables[t].table;
    return false;
  }

  // The commands write the model's rows (an absent row as zeros) of the entry's copy, in
  // order; they go to the chip model.
  bool commandsMatch(const std::string& util, unsigned t, const GenEntry& e,
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
                c.address == rows[i] && c.words == kTables[t].words;
      for (unsigned w = 0; ok && w < kTables[t].words; ++w) ok = c.data[w] == (m ? (*m)[w] : 0);
      if (!ok) {
        why = fmt::format("{}: command {} ({} {}) does not write row {} as the model holds it",
                          util, i, kTables[t].table, QelPavo::Impl::valueToStrep(c), rows[i]);
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
    for (unsigned t = 0; t < kTableCount; ++t) {
      const auto* table = tables_[t];
      std::set<std::uint16_t> copies;
      for (const auto k : table->shadowKeys()) copies.insert(k.value());
      for (const auto& [cr, w] : model_.rows(t)) copies.insert(cr.first);
      for (const std::uint16_t c : copies)
        for (unsigned r = 0; r < kTables[t].rows; ++r)
          if (!rowMatches(t, c, r, false, why)) return false;
    }
    for (const auto& d : kTables)
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
      const auto t = std::find_if(std::begin(kTables), std::end(kTables), [&](const TableModel& k) {
        return std::string_view(m.table->name) == k.table;
      });
      if (t != std::end(kTables) && exempt(indexOf(*t), m.key.value(), m.row)) continue;
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

  bool exempt(unsigned t, std::uint16_t copy, unsigned row) const {
    return exempt_.count({t, copy, row});
  }

  Counters hostCounters(const TableModel& u) const {
    const auto c = host_.counters(u.util);
    return {c[0], c[1], c[2], c[3]};
  }
  std::pair<bool, Words> hostRow(unsigned t, std::uint16_t copy, unsigned row) const {
    const TernAsicUtils::HwShadowKey key(SchanAccel::FapId(copy & 0xff), std::uint8_t(copy >> 8));
    Words w{};
    std::uint32_t buf[SchanAccel::SchanCmd::kMaxWords] = {};
    const bool present = tables_[t]->rowPresent(key, row);
    tables_[t]->rowWords(key, row, buf);
    for (unsigned i = 0; i < kTables[t].words; ++i) w[i] = buf[i];
    return {present, w};
  }

  // The shadow row equals the model's; with `chip`, the chip model's row equals the shadow's.
  bool rowMatches(unsigned t, std::uint16_t copy, unsigned row, bool chip, std::string& why) const {
    const auto [present, words] = hostRow(t, copy, row);
    const Words* m = model_.find(t, copy, row);
    const auto name = [&] {
      return std::string(kTables[t].table) + " fap " + std::to_string(copy & 0xff) + " instance " +
             std::to_string(copy >> 8) + " row " + std::to_string(row);
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
    for (unsigned i = 0; i < kTables[t].words; ++i)
      if (hw[i] != words[i]) {
        why = name() + ": the chip model differs from the shadow";
        return false;
      }
    return true;
  }

  bool countersMatch(const TableModel& d, std::string& why) const {
    if (!(hostCounters(d) == model_.counters(d.util))) {
      why = std::string(d.util) + ": counters differ from the model";
      return false;
    }
    return true;
  }

  // After each entry: every row the model holds or ever held, every row a command wrote,
  // the entry's own rows, the counters and the entry's enqueue counts. The full check at
  // the end of each sequence covers every other row.
  bool checkWatched(const GenEntry& e, std::string& why) {
    for (const auto& d : kTables) {
      if (!countersMatch(d, why)) return false;
      if (e.fap <= 128 && d.swTableId == swIdOf(e))
        for (unsigned r : model_.addressedRows(d, e))
          watch_.insert({indexOf(d), Model::copyOf(e), r});
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
  TernAsicUtils::HwCommonTableBase* tables_[kTableCount] = {};
  std::set<std::tuple<unsigned, std::uint16_t, unsigned>> watch_;
  std::set<std::tuple<unsigned, std::uint16_t, unsigned>> exempt_;  // (table, copy, row)
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
  // Without an entry for every table of the plug-in no sequence means anything: say which.
  if (std::string why;
      !Library(TestSupport::kChips[0], makeSequence(base, 0), Options{}).ready(why))
    FAIL() << why;
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
  Totals totals;
  // Unsabotaged, the sequence passes (and the model knows every Util of the plug-in).
  if (const auto clean = runSequence(s, s.entries.size(), false, Options{}, totals))
    FAIL() << clean->why;
  Options opt;
  opt.clearRevertOn = "IppfVsiToRoutingProfileMapHwDirect";
  const auto f = runSequence(s, s.entries.size(), false, opt, totals);
  ASSERT_TRUE(f.has_value());
  const auto shortest = shrink(s, *f, opt);
  EXPECT_EQ(shortest.entry, 4u);
  EXPECT_NE(shortest.why.find("IppfVsiToRoutingProfileMapHwDirect"), std::string::npos)
      << shortest.why;
  const std::string text = report(s, shortest);
  EXPECT_NE(text.find("TERN_MODEL_SEED=42"), std::string::npos) << text;
  EXPECT_NE(text.find("\"delete\": true"), std::string::npos) << text;
}

}  // namespace
