// The host's own invariants: runtime, value types, traces, hardware tables and the chip model.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "host/Diag.h"
#include "host/Host.h"
#include "host/HwTables.h"
#include "host/LogEntryBuilders.h"
#include "host/Trace.h"

// A row format no chip table has yet: a field that crosses from one word into the next.
namespace TernAsicUtils::Layouts {
struct Straddling {
  using EntryKey = IndexKey<Straddling, 1>;
#define TERN_FIELDS(X) X(U3, a) X(unsigned char, b) X(U14, c) X(U14, d) X(unsigned char, e)
  TERN_PLAIN_ENTRY(TERN_FIELDS)
#undef TERN_FIELDS
};
}  // namespace TernAsicUtils::Layouts
template <>
struct TernAsicUtils::HwTableRow<TernAsicUtils::Layouts::Straddling> {
  static constexpr const char* kName = "Straddling";
  static constexpr std::uint16_t kBlock = 0;
  static constexpr auto kOpcode = SchanAccel::SchanOpcode::WriteMemory;
};

namespace {
using TernAsicUtils::HwShadowKey;
using TernAsicUtils::HwTableInfo;
using TernAsicUtils::TableManager;
using Lines = std::vector<std::string>;
using Words = std::vector<std::uint32_t>;

constexpr Hardware::Tern::FapRevision kA0(Hardware::kChipBcm88890A0, 0),
    kB0(Hardware::kChipBcm88890B0, 0);
constexpr HwShadowKey kS1{3, 0}, kS2{3, 1}, kS3{4, 0};

const auto text = [](const auto& v) { return QelPavo::Impl::valueToStrep(v); };
// The text of the range error f raises; "" when it raises none.
template <class F>
std::string rangeText(F f) {
  try {
    f();
  } catch (const Pavo::RangeException& e) {
    return e.what();
  }
  return "";
}

struct Counted : Pavo::Node {
  static inline int destroyed = 0;
  ~Counted() override { ++destroyed; }
};

// Both paths: the thread-safe flag clear (plain) and set (atomic).
TEST(RefCountTest, CopiesMovesResetsBalanceAndTheLastReleaseDestroysOnce) {
  for (const bool atomic : {false, true}) {
    SCOPED_TRACE(atomic ? "atomic" : "plain");
    Pavo::ThreadControl::tsp_ = atomic;
    Counted::destroyed = 0;
    Pavo::Ptr<Counted> a(new Counted), b = a;
    Pavo::Ptr<Pavo::Node> up = b;  // converting copy
    EXPECT_EQ(a->useCount(), 3u);
    Pavo::Ptr<Counted> c = std::move(b);
    Pavo::Ptr<Pavo::Node> up2 = std::move(c);  // converting move
    up2 = up;                                  // the same object
    up2 = up2;                                 // itself
    EXPECT_EQ(std::tuple(b.get(), c.get(), a->useCount()),
              (std::tuple<Counted*, Counted*, unsigned>(nullptr, nullptr, 3u)));
    up.reset();
    up2.reset();
    EXPECT_EQ(a->useCount(), 1u);
    b = a;
    a.reset();
    EXPECT_EQ(Counted::destroyed, 0);
    b = Pavo::Ptr<Counted>(new Counted);  // releases the first node
    EXPECT_EQ(Counted::destroyed, 1);
    b.reset();
    b.reset();  // an empty pointer releases nothing
    EXPECT_EQ(Counted::destroyed, 2);
    Pavo::Ptr<Counted> d(new Counted);
    d->nodeFlagSet(0x4, true);
    d->nodeFlagSet(0x1, true);
    const auto both = d->nodeFlags();
    d->nodeFlagSet(0x4, false);
    const Counted copy(*d);  // a new node: no users
    EXPECT_EQ(std::tuple(both, d->nodeFlags(), copy.useCount()), std::tuple(5u, 1u, 0u));
  }
  Pavo::ThreadControl::tsp_ = false;
}

// Blocks of one size do not overlap; a freed block is the next one given out, without the
// heap; blocks above the largest class come from the heap.
TEST(SlabTest, BlocksAreDisjointAndFreedOnesComeBackFirst) {
  for (const unsigned n : {1u, 16u, 17u, 100u, 1024u, 1025u, 5000u}) {
    SCOPED_TRACE(n);
    std::vector<unsigned char*> blocks(8);
    for (int i = 0; i < 8; ++i)
      std::memset(blocks[i] = static_cast<unsigned char*>(Kelp::slabAlloc(n)), i, n);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(std::count(blocks[i], blocks[i] + n, i), long(n)) << i;
    Kelp::slabFree(blocks[3], n);
    const auto refills = Kelp::slabHeapRefills();
    void* const again = Kelp::slabAlloc(n);
    EXPECT_EQ(std::pair(n > 1024 || again == blocks[3], Kelp::slabHeapRefills()),
              std::pair(true, refills + (n > 1024)));
    blocks[3] = static_cast<unsigned char*>(again);
    for (auto* b : blocks) Kelp::slabFree(b, n);
  }
}

TEST(IdsTest, RangesByteOrderAndTexts) {
  EXPECT_EQ(rangeText([] { (void)U4(0x100000010ull); }), "U4::value < 0 or > 0x0f not allowed");
  EXPECT_EQ(rangeText([] { (void)UInt<32>(0x100000000ull); }),
            "U32::value < 0 or > 0xffffffff not allowed");
  EXPECT_TRUE(Asic::UnitId::of(128, 3).fapId().isNull() && !SchanAccel::FapId(127).isNull());
  // The unit holds the fap id in its high byte, the shadow key in its low byte.
  const auto unit = Asic::UnitId::of(5, 2);
  const HwShadowKey key = unit.shadowKey();
  EXPECT_EQ(
      std::tuple(unit.value, key.value(), key.fapId().value(), key.instanceId(), key.toString()),
      std::tuple(0x0502, 0x0205, 5, 2, "{ fapId: 5, instanceId: 2 }"));
  EXPECT_EQ(fmt::format("{}", HwShadowKey(128, 255)), "{ fapId: 128, instanceId: 255 }");
  // Ordered by fap id first, although the instance id is the high byte.
  EXPECT_TRUE(HwShadowKey(1, 9) < HwShadowKey(2, 0) && HwShadowKey(2, 0) < HwShadowKey(2, 1));
}

// Ids 0 to 128 across the mask's words: adding, removing, intersecting, comparing, text.
TEST(FapmaskTest, AddRemoveIntersectCompareRender) {
  using SchanAccel::Fapmask;
  const struct {
    std::vector<unsigned> add, remove, other;
    const char *text, *both;  // of add minus remove; of that and other
  } cases[] = {
      {{}, {}, {1}, "[]", "[]"},
      {{0, 1, 2, 63, 64, 127, 128}, {}, {5, 64, 128}, "[0-2,63-64,127-128]", "[64,128]"},
      {{1, 2, 3, 5, 9, 10, 11}, {2, 9, 9, 40}, {1, 5, 11}, "[1,3,5,10-11]", "[1,5,11]"},
      {{64, 128}, {128, 64}, {64}, "[]", "[]"},
  };
  const Fapmask empty;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Fapmask m, other;
    for (unsigned id : c.add) m.fapIdIs(id, true);
    for (unsigned id : c.remove) m.fapIdIs(id, false);
    for (unsigned id : c.other) other.fapIdIs(id, true);
    std::set<unsigned> in(c.add.begin(), c.add.end());
    for (unsigned id : c.remove) in.erase(id);
    for (unsigned id = 0; id <= SchanAccel::FapId::null; ++id)
      EXPECT_EQ(m.has(id), in.contains(id)) << id;
    EXPECT_EQ(std::tuple(Fapmask::isEq(&m, &empty), m.empty(), text(m)),
              std::tuple(in.empty(), in.empty(), c.text));
    m &= other;
    EXPECT_EQ(text(m), c.both);
  }
}

TEST(PerUnitBitmapTest, BitsOrAndTexts) {
  Brim::PerUnitBitmap two(2), m, ten(10);
  two.wordIs(0, 0x1);
  two.wordIs(1, 0xffffffffu);
  two.bitsOr(30, 3, 4);  // crosses into word 1, clearing the field first
  EXPECT_EQ(std::tuple(two.word(0), two.word(1), text(two)),
            std::tuple(0xc0000001u, 0xfffffffcu, "[0xc0000001, 0xfffffffc]"));
  for (const unsigned pos : {8u, 12u}) m.bitsOr(pos, 3, 2);
  m.bitsOr(8, 1, 2);
  m.bitsOr(64, 0xffffffffu, 32);
  m.bitsOr(8 * 32 + 16, 0xabcd, 32);  // spills past the last word, skipped
  EXPECT_EQ(std::tuple(m.word(0), m.word(1), m.word(2), m.word(3), m.word(8)),
            std::tuple(0x3100u, 0u, 0xffffffffu, 0u, 0xabcd0000u));
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += " 0x00000000";
  EXPECT_EQ(ten.bitmapToString(), eight + " 0x00000000");  // word 9 zero: nine groups
  ten.wordIs(9, 0xABCDEF);
  ten.wordIs(0, 0x3ff00);
  EXPECT_EQ(ten.bitmapToString(), " 0x00abcdef" + eight + " 0x0003ff00");
  const std::string outside = "Brim::PerUnitBitmap: word index out of range";
  EXPECT_EQ(std::tuple(rangeText([] { (void)Brim::PerUnitBitmap(2).word(2); }),
                       rangeText([] { Brim::PerUnitBitmap(2).wordIs(2, 1); }),
                       rangeText([] { (void)Brim::PerUnitBitmap(8).bitmapToString(); })),
            std::tuple(outside, outside, outside));
}

TEST(DiagTest, PrintfFormattingKeepsLongTexts) {
  const std::string longText(5000, 'q');
  EXPECT_EQ(Qel::_fmt("<%s>", longText.c_str()), "<" + longText + ">");
}

// A trace argument that counts how often it is rendered.
struct Probe {
  static inline int rendered = 0;
  void strep(Pavo::StrepBuf& b) const {
    ++rendered;
    Pavo::strepAppend(b, "probe");
  }
};

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override { Probe::rendered = 0; }
  void TearDown() override {
    (void)Qel::TraceConfig::captureEnd();
    Qel::TraceConfig::disableAll();
  }
  static std::vector<unsigned> levels(const Qel::TraceHandle& h) {
    std::vector<unsigned> out;
    for (unsigned l = 0; l < 32; ++l) out.insert(out.end(), h.enabled(l), l);
    return out;
  }
  Qel::TraceHandle a_{"A", false}, b_{"B", false};
};

// Each configuration replaces the one before, for the handles alive and those made later; a
// bad one is refused and leaves the one before in force.
TEST_F(TraceTest, ConfigurationsAndTheLevelsTheyGive) {
  const struct {
    const char* config;  // null: disableAll
    std::vector<unsigned> a, b, other;
  } cases[] = {
      {"2,3", {2, 3}, {2, 3}, {2, 3}}, {"0,31", {0, 31}, {0, 31}, {0, 31}},
      {"A=8;B=3;*=2", {8}, {3}, {2}},  {"B=3,8", {}, {3, 8}, {}},  // no "*": the rest off
      {nullptr, {}, {}, {}},           {"A=8", {8}, {}, {}},
  };
  EXPECT_TRUE(levels(a_).empty() && levels(b_).empty());  // nothing enabled by default
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config ? c.config : "disableAll");
    c.config ? Qel::TraceConfig::enable(c.config) : Qel::TraceConfig::disableAll();
    const Qel::TraceHandle laterA("A", false), laterC("C", false);
    EXPECT_EQ(std::pair(levels(a_), levels(b_)), std::pair(c.a, c.b));
    EXPECT_EQ(std::pair(levels(laterA), levels(laterC)), std::pair(c.a, c.other));
  }
  for (const char* bad : {"", "32", "x", "2,,3", "A=", "=2", "A=2;B", "-1", "100"}) {
    EXPECT_THROW(Qel::TraceConfig::enable(bad), std::invalid_argument) << '"' << bad << '"';
    EXPECT_EQ(levels(a_), std::vector<unsigned>{8}) << bad;
  }
}

// A captured line: level, handle, file:line, function, [context], text; the stream renders
// numbers, booleans, strings and host values.
TEST_F(TraceTest, CaptureCollectsFormattedAndStreamLines) {
  Qel::TraceConfig::enable("A=2,3");
  Qel::TraceConfig::captureBegin();
  Pavo::fmtrace(a_, 3, "Jericho3ai/XUtil", "clearHwTable", 7, "XUtil", " unitId: {} {} {}",
                Asic::UnitId::of(1, 2), std::string("s"), Asic::SwTableId{0x11010402});
  const int line = __LINE__ + 1;
  QEL_TRACE_STREAM(a_, 2, "TernL3Util/Impl", "doSetHwEntry")
      << "profile " << (unsigned char)9 << " " << 12u << " " << true << std::string("!") << Probe{};
  Pavo::fmtrace(b_, 3, "f", "g", 1, "", "not captured: B is off");
  EXPECT_EQ(Qel::TraceConfig::captureEnd(),
            (Lines{"L3 A Jericho3ai/XUtil:7 clearHwTable [XUtil]  unitId: { fapId: 1, "
                   "instanceId: 2 } s 11:01:0402",
                   fmt::format("L2 A TernL3Util/Impl:{} doSetHwEntry [] profile 9 12 true!probe",
                               line)}));
}

// A stream trace at a disabled level renders none of its arguments; the macro, an if/else,
// keeps the meaning of an enclosing if-else.
TEST_F(TraceTest, StreamAtDisabledLevelRendersNothingAndBindsToItsOwnIf) {
  Qel::TraceConfig::enable("2");
  Qel::TraceConfig::captureBegin();
  QEL_TRACE_STREAM(a_, 8, "f", "fn") << Probe{} << "x";
  EXPECT_EQ(std::tuple(Probe::rendered, Qel::TraceConfig::captured().size()), std::tuple(0, 0u));
  int elseTaken = 0;
  for (bool cond : {true, false}) {
    if (cond)
      QEL_TRACE_STREAM(a_, 2, "f", "fn") << Probe{};
    else
      ++elseTaken;
  }
  EXPECT_EQ(std::tuple(Probe::rendered, elseTaken, Qel::TraceConfig::captureEnd().size()),
            std::tuple(1, 1, 1u));
}

// Log entries from named fields: a field not named is 0, as the simulator documents for a
// field its input leaves out; so is every field of a header or entry a host makes itself.
TEST(LogEntryBuildersTest, FieldsNotNamedAreZero) {
  namespace Log = Host::Log;
  const auto profileEntry = [] {
    TernL3Ni::RoutingStateLogEntry e;
    e.key().type = 1;
    return e;
  };
  const std::pair<std::string, std::string> cases[] = {
      {text(Log::Header{}.logHeader()), "{ flags: 0x0, unitId: { fapId: 0, instanceId: 0 } }"},
      {text(Asic::LogHeader{}), "{ flags: 0x0, unitId: { fapId: 0, instanceId: 0 } }"},
      {text(profileEntry()),
       "{ key: { id: 0, type: 1 }, routingEnableProfile: { routingState: [0, 0, 0, 0, 0], "
       "urpfState: { ipv4Enabled: 0, ipv6Enabled: 0, ipv4Strict: 0, ipv6Strict: 0, "
       "allowDefault: 0 } } }"},
      {text(Log::RoutingState{.id = 4}.entry()),
       "{ key: { id: 4, type: 0 }, routingProfileMap: 0 }"},
      {text(Log::RoutingState{.type = 1}.entry()),
       "{ key: { id: 0, type: 1 }, routingEnableProfile: { routingState: [0, 0, 0, 0, 0], "
       "urpfState: { ipv4Enabled: 0, ipv6Enabled: 0, ipv4Strict: 0, ipv6Strict: 0, "
       "allowDefault: 0 } } }"},
      {text(Log::TrapForwardAction{.key = 1}.entry()),
       "{ key: { value: 1 }, outPort: 0, stampValue: 0 }"},
      {text(Log::MtuProfile{.key = 2}.entry()), "{ key: { value: 2 }, mtuBytes: 0 }"},
  };
  for (const auto& [rendered, expected] : cases) EXPECT_EQ(rendered, expected);
}

// Entry field values of a row (its limits when null), as entryFields lists them.
Words fields(const HwTableInfo& info, const std::uint32_t* row) {
  Words out;
  const auto add = [&](const char*, const std::uint32_t* v, unsigned n, bool) {
    out.insert(out.end(), v, v + n);
  };
  row ? info.entryFields(row, add) : info.entryFieldLimits(add);
  return out;
}
Words encode(const HwTableInfo& info, const Words& values) {
  Words row(info.wordsPerRow);
  info.encodeFields(values.data(), row.data());
  return row;
}
// A row whose field i holds its limit masked by the pattern turned right by i bits, or by the
// pattern's complement where that leaves nothing (a one-bit field): no field is zero, so a
// written row is never the reset value.
Words patternRow(const HwTableInfo& info, std::uint32_t pattern) {
  Words v = fields(info, nullptr);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::uint32_t mask = std::rotr(pattern, int(i));
    v[i] &= (v[i] & mask) ? mask : ~mask;
  }
  return encode(info, v);
}

// Fields, in the order entryFields lists them, take consecutive bits from bit 0 of word 0, each
// as wide as its limit, across word boundaries too; a wider value is the field type's error.
TEST(FieldCodecTest, FieldsTakeConsecutiveBitsAndRefuseWiderValues) {
  using Straddling = TernAsicUtils::Layouts::Straddling::Entry;
  const auto straddling = TernAsicUtils::LayoutInfo<TernAsicUtils::Layouts::Straddling>::make();
  auto tables = HwTableInfo::all();
  tables.push_back(&straddling);
  for (const auto* info : tables) {
    SCOPED_TRACE(info->name);
    const Words max = fields(*info, nullptr);
    unsigned offset = 0;
    for (std::size_t i = 0; i < max.size(); offset += unsigned(std::popcount(max[i++]))) {
      const unsigned bits = unsigned(std::popcount(max[i]));
      ASSERT_EQ(max[i], bits == 32 ? ~0u : (1u << bits) - 1) << "field " << i;
      for (const std::uint32_t v : {max[i], max[i] & 0xa5a5a5a5u, max[i] & 0x5a5a5a5au}) {
        Words values(max.size()), expected(info->wordsPerRow);
        values[i] = v;
        for (unsigned b = 0; b < bits; ++b)
          expected[(offset + b) / 32] |= ((v >> b) & 1u) << ((offset + b) % 32);
        const Words row = encode(*info, values);
        EXPECT_EQ(std::pair(row, fields(*info, row.data())), std::pair(expected, values)) << i;
      }
      Words values(max.size());
      values[i] = max[i] + 1;  // 0 for a 32-bit field: no wider value exists
      EXPECT_EQ(
          rangeText([&] { encode(*info, values); }),
          bits < 32 ? fmt::format("U{}::value < 0 or > 0x{:02x} not allowed", bits, max[i]) : "");
    }
    Words all(info->wordsPerRow);
    for (unsigned b = 0; b < offset; ++b) all[b / 32] |= 1u << (b % 32);
    EXPECT_EQ(encode(*info, max), all);
  }
  // Changing a field in place keeps its neighbours, on both sides of the boundary.
  Straddling e{{}};
  const std::uint32_t ones[] = {~0u, ~0u};
  e.decode(ones);
  e.dIs(0x1555);
  EXPECT_EQ(std::tuple(e.words()[0], e.words()[1], unsigned(e.c()), unsigned(e.d())),
            std::tuple(0xabffffffu, 0xffffffaau, 0x3fffu, 0x1555u));
}

// Both revision classes of every table, made as a host program makes a table no Util owns:
// under their own key and class tracker, owned by the manager, no memory until a row is written.
TEST(HwTableTest, BothRevisionClassesOfEveryTable) {
  Pavo::Ptr<TableManager> tm(new TableManager), second(new TableManager);
  std::vector<std::string> classes;
  std::set<unsigned> lowBytes;
  for (const auto* info : HwTableInfo::all()) lowBytes.insert(info->block & 0xffu);
  std::vector<unsigned> named;  // blocks of no table that name one
  for (unsigned b = 0; b < 256; ++b)
    if (!lowBytes.count(b) && HwTableInfo::byBlock(std::uint16_t(b))) named.push_back(b);
  EXPECT_EQ(named, std::vector<unsigned>{});
  for (const auto rev : {kA0, kB0})
    for (const auto* info : HwTableInfo::all()) {
      classes.push_back(std::string(Hardware::chipTypeName(rev.chipType())) + "::" + info->name);
      SCOPED_TRACE(classes.back());
      auto& t = Host::obtainTable(*tm, *info, rev);
      EXPECT_EQ(&Host::obtainTable(*tm, *info, rev), &t);  // found, not made again
      // A command's block names its table; another block of the same low byte names none.
      EXPECT_EQ(std::pair(HwTableInfo::byBlock(info->block),
                          HwTableInfo::byBlock(std::uint16_t(info->block ^ 0x100))),
                std::pair(info, static_cast<const HwTableInfo*>(nullptr)));
      EXPECT_EQ(std::tuple(tm->hwTableColl().at({info->name, rev}).get(), &t.info(), t.tableKey(),
                           t.useCount(), t.shadowBytes()),
                std::tuple(&t, info, TernAsicUtils::HwTableKey{info->name, rev}, 1u, 0u));
      // The class tag is the tracker of the revision's own class.
      EXPECT_EQ(static_cast<const Qel::AllocTrackTypeInfo*>(t.classTag())->typeName(),
                classes.back());
      (void)Host::obtainTable(*second, *info, rev);
      EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(classes.back()), 2);
      // A saved row lands in the row it names; a row past the end is refused.
      const Words row = patternRow(*info, 0xa5a5a5a5u);
      Words got(info->wordsPerRow);
      t.rowIs(kS2, info->rows - 1, row.data());
      t.rowWords(kS2, info->rows - 1, got.data());
      EXPECT_EQ(std::pair(got, t.shadowBytes()), std::pair(row, t.copyBytes()));
      EXPECT_EQ(rangeText([&] { t.rowIs(kS2, info->rows, row.data()); }),
                std::string(info->name) + ": key outside the table");
    }
  for (auto* owner : {&second, &tm}) {  // the last owner gone, no class is listed
    owner->reset();
    std::map<std::string, long> live;
    for (const auto& l : Qel::AllocTrackTypeInfo::liveObjects()) live[l.typeName] = l.count;
    for (const auto& cls : classes) EXPECT_EQ(live[cls], tm ? 1 : 0) << cls;
  }
}

// The text of a command writing that row, built from its parts.
std::string cmdText(const HwTableInfo& info, HwShadowKey s, unsigned row, const Words& data) {
  std::string t = fmt::format(
      "{{ op: {}, fapId: {}, instanceId: {}, block: 0x{:x}, address: {}, data: [",
      std::string_view(info.name).ends_with("HwReg") ? "WRITE_REGISTER" : "WRITE_MEMORY",
      s.fapId().value(), s.instanceId(), info.block, row);
  for (std::size_t i = 0; i < data.size(); ++i)
    t += fmt::format("{}0x{:x}", i ? ", " : "", data[i]);
  return t + "] }";
}

using Diff = std::tuple<const HwTableInfo*, HwShadowKey, unsigned, Words, Words>;
std::vector<Diff> diffs(const Host::ChipModel& chip, const TableManager& tm) {
  std::vector<Diff> out;
  for (const auto& m : chip.compare(tm))
    out.emplace_back(m.table, m.key, m.row, m.shadow, m.hardware);
  return out;
}

// A table class's typed paths over its first and last rows: an entry reaches that row of its
// copy only, commands carry the row as the shadow holds it, the chip model reports each drift.
template <class T>
void checkTable(TableManager& tm, Host::ChipModel& chip) {
  using Key = typename T::EntryKey;
  Pavo::Ptr<T> t(new T(T::kTableName, {T::kTableName, kA0}, &tm));
  const HwTableInfo& info = t->info();
  SCOPED_TRACE(info.name);
  const Words zero(info.wordsPerRow), a = patternRow(info, 0xa5a5a5a5u),
                                      b = patternRow(info, 0x5a5a5a5au);
  const auto expectRow = [&](HwShadowKey s, unsigned r, const Words& w) {
    Words typed(info.wordsPerRow), untyped(info.wordsPerRow);
    t->getEntry(s, Key::ofRow(r)).encode(typed.data());
    t->rowWords(s, r, untyped.data());
    EXPECT_EQ(std::tuple(typed, untyped, t->rowPresent(s, r)), std::tuple(w, w, w != zero))
        << text(s) << " row " << r;
  };
  const auto cmds = [&](HwShadowKey s, unsigned r) {
    return t->schanCmds(s, Key::ofRow(r), nullptr);
  };
  for (const unsigned r : {0u, info.rows - 1}) {
    typename T::Entry ea(Key::ofRow(r)), eb(Key::ofRow(r));
    ea.decode(a.data());
    eb.decode(b.data());
    t->setEntry(kS1, ea);
    t->setEntry(kS2, eb);
    expectRow(kS1, r, a);
    expectRow(kS2, r, b);
    expectRow(kS3, r, zero);
    if (r) expectRow(kS1, r - 1, zero);
    EXPECT_EQ(t->shadowKeys(), (std::vector{kS1, kS2}));
    for (const auto s : {kS2, kS3}) {
      const auto one = cmds(s, r);
      ASSERT_EQ(one->size(), 1u);
      const auto& cmd = *one->begin();
      const auto d = Host::decode(cmd);
      EXPECT_EQ(std::tuple(text(cmd), d.table, d.key, d.row),
                std::tuple(cmdText(info, s, r, s == kS2 ? b : zero), &info, s, r));
    }
    const auto commands = chip.commands(), redundant = chip.redundantWrites();
    chip.execute(*cmds(kS1, r));
    EXPECT_EQ(diffs(chip, tm), (std::vector<Diff>{{&info, kS2, r, b, zero}}));  // never sent
    chip.execute(*cmds(kS2, r));
    chip.execute(*cmds(kS2, r));  // the same value again
    EXPECT_EQ(std::pair(diffs(chip, tm), chip.redundantWrites()),
              std::pair(std::vector<Diff>{}, redundant + 1));
    t->deleteEntry(kS1, Key::ofRow(r));  // the chip is not told
    t->deleteEntry(kS3, Key::ofRow(r));  // no such copy: nothing happens
    expectRow(kS1, r, zero);
    expectRow(kS2, r, b);
    EXPECT_EQ(t->shadowKeys(), std::vector{kS2});
    EXPECT_EQ(diffs(chip, tm), (std::vector<Diff>{{&info, kS1, r, zero, a}}));
    const auto clear = t->clearTableInHw(kS2);
    ASSERT_EQ(clear->size(), info.rows);
    for (unsigned i = 0; i < info.rows; ++i)
      ASSERT_EQ(text(clear->cmdQueue()[i]), cmdText(info, kS2, i, zero));
    chip.execute(*clear);
    chip.execute(*t->clearTableInHw(kS1));
    Words got(info.wordsPerRow, 1);
    chip.row(info.block, kS2, r, got.data());
    EXPECT_EQ(std::tuple(diffs(chip, tm), got, chip.commands(), t->shadowKeys()),
              std::tuple(std::vector<Diff>{}, zero, commands + 3 + 2 * info.rows,
                         std::vector<HwShadowKey>{}));
  }
  if (info.rows > 1) {  // a register's one key names its one row
    const Key outside = Key::ofRow(info.rows);
    const std::string refused = std::string(info.name) + ": key outside the table";
    EXPECT_EQ(std::tuple(rangeText([&] { t->setEntry(kS1, typename T::Entry(outside)); }),
                         rangeText([&] { (void)t->getEntry(kS1, outside); }),
                         rangeText([&] { (void)cmds(kS1, info.rows); })),
              std::tuple(refused, refused, refused));
    EXPECT_TRUE(t->shadowKeys().empty());
  }
}

// The row format does not depend on the revision: one revision's classes.
TEST(HwTableTest, EntriesShadowCopiesCommandsAndChipModel) {
  Pavo::Ptr<TableManager> tm(new TableManager);
  Host::ChipModel chip;
  TernAsicUtils::forEachType(TernAsicUtils::HwTables{}, [&]<class Layout>() {
    checkTable<TernAsicUtils::HwTableClass<Layout, Hardware::kChipBcm88890A0>>(*tm, chip);
  });
  EXPECT_EQ(tm->tables().size(), HwTableInfo::all().size());
}

// Enqueue counts: 64-bit sums per shadow copy, listed by copy.
TEST(TableStatsTest, EnqueueCountsAreListedByCopyIn64Bits) {
  Pavo::Ptr<TableManager> tm(new TableManager);
  auto& stats = tm->stats().schanEnqueueStatsIs({0x11010402});
  const HwShadowKey k40(4, 0), k31(3, 1), k30(3, 0);
  const std::pair<HwShadowKey, U32> adds[] = {{k40, 2}, {k31, 1}, {k40, 3}, {k30, ~0u}, {k30, ~0u}};
  for (const auto& [k, n] : adds) stats.entryEnqueueCntInc(k, n);
  using Counts = std::vector<std::pair<HwShadowKey, std::uint64_t>>;
  EXPECT_EQ(stats.counts(), (Counts{{k30, 0x1fffffffeull}, {k31, 1}, {k40, 5}}));
}

// Enough commands to outgrow the in-place storage; the list keeps copies, in order, so a
// command changed after it was enqueued leaves the list as it was. A new list is empty.
TEST(SchanCmdsTest, EnqueueKeepsCopiesInOrder) {
  auto cmds = SchanAccel::schanCmdsFactory();
  Pavo::Ptr<SchanAccel::SchanCmd> cmd(new SchanAccel::SchanCmd);
  Words expected, seen;
  for (std::uint32_t i = 0; i < 5 * SchanAccel::SchanCmds::Queue::kInline; ++i) {
    cmd->address = (i * 7) % 40;
    cmd->data[0] = i;
    cmds->cmdEnq(cmd);
    expected.insert(expected.end(), {cmd->address, i});
    cmd->address = 999;
  }
  for (const auto& c : *cmds) seen.insert(seen.end(), {c.address, c.data[0]});
  EXPECT_EQ(std::pair(seen, cmd->useCount()), std::pair(expected, 1u));
  EXPECT_EQ(std::pair(cmds->cmdQueue().empty(), SchanAccel::schanCmdsFactory()->cmdQueue().empty()),
            std::pair(false, true));
}

// A loader's chain of plug-in callers loses exactly the callers of a library that goes away,
// wherever they stand: libraries need not be unloaded in the reverse order of their loading.
TEST(PluginLoaderTest, UnlinkDropsOnlyTheCallerGiven) {
  struct Caller : Plugin::LoaderInitCaller {
    void call() override {}
  } a, b, c;
  Plugin::Loader<int> loader("test", "test");
  for (auto* p : {&a, &b, &c}) {  // as plug-ins join it at load: the last first
    p->next = loader.head();
    loader.head() = p;
  }
  using Chain = std::vector<const Plugin::LoaderInitCaller*>;
  const auto chain = [&] {
    Chain v;
    for (auto* p = loader.head(); p; p = p->next) v.push_back(p);
    return v;
  };
  loader.unlink(&b);
  const Chain middleGone = chain();
  loader.unlink(&c);
  EXPECT_EQ(std::pair(middleGone, chain()), std::pair(Chain{&c, &a}, Chain{&a}));
}

}  // namespace
