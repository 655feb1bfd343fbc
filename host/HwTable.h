// Hardware table objects, their shadows, the table manager and its statistics.
//
// A shadow copy (one per fap id and instance id) is a dense array of rows in the chip's own
// row format plus a presence bit per row; it is allocated when the copy is first written.
// Entries are encoded into and decoded from that format by one description of their fields,
// which also drives rendering, comparison and the simulator's field listings.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

#include "host/LogEntries.h"
#include "host/Schan.h"
#include "host/Types.h"

namespace TernAsicUtils {
class TableManager;

struct HwTableKey {
  Pavo::String name;  // table class name without namespace
  Hardware::Tern::FapRevision fapRevision;
  std::size_t hash(std::size_t seed) const noexcept;
  bool operator==(const HwTableKey&) const = default;
  void strep(Pavo::StrepBuf& b) const;
};
struct HwTableKeyHash {
  std::size_t operator()(const HwTableKey& k) const noexcept { return k.hash(0); }
};

using KeyFieldSink = std::function<void(const char* name, std::uint32_t value)>;
using EntryFieldSink =
    std::function<void(const char* name, const std::uint32_t* values, unsigned count, bool list)>;

// What a host program needs to know of a table without its C++ type: how commands address
// it, its rows, and the names of its key and entry fields.
struct HwTableInfo {
  const char* name;
  std::uint16_t block;
  SchanAccel::SchanOpcode opcode;
  unsigned rows;
  unsigned wordsPerRow;
  void (*keyFields)(unsigned row, const KeyFieldSink& sink);
  void (*entryFields)(const std::uint32_t* words, const EntryFieldSink& sink);
  Pavo::String (*rowKeyText)(unsigned row);
  Pavo::String (*rowEntryText)(const std::uint32_t* words);
  // Calls a Util's readShadowEntry through its reflection class (whose operation is given)
  // with the key of the row, and encodes the entry it returns into words. Answers what the
  // operation answered (0: done).
  int (*readShadowEntry)(int (*inspect)(void*, const Pavo::FieldDescriptor&, int, void* const*,
                                        void*),
                         void* util, HwShadowKey key, unsigned row, std::uint32_t* words);
  // The largest value of each entry field, listed like entryFields lists a row, so that a
  // host program can check fields given by name before it builds a row of them.
  void (*entryFieldLimits)(const EntryFieldSink& sink);
  // A row from the values of every entry field, concatenated in the order and counts that
  // entryFields lists; a value that does not fit its field is the field type's range error.
  void (*encodeFields)(const std::uint32_t* values, std::uint32_t* words);

  static const std::vector<const HwTableInfo*>& all();  // the ten tables, in block order
  static const HwTableInfo* byBlock(std::uint16_t block) noexcept;
};

// Host programs can watch every change of the shadows: the simulator names the log line and
// Util behind each row. Calls come in the middle of a write: record, do not reenter.
class ShadowWatch {
 public:
  virtual void rowChanged(const HwTableInfo& table, HwShadowKey key, unsigned row) noexcept = 0;
  virtual void copyCleared(const HwTableInfo& table, HwShadowKey key) noexcept = 0;

 protected:
  ~ShadowWatch() = default;
};

// Rows of every shadow copy of one table object.
class ShadowStore {
 public:
  struct Copy {
    HwShadowKey key;
    std::uint32_t* words;
    std::uint64_t* present;
  };
  explicit ShadowStore(const HwTableInfo& info) noexcept
      : info_(info), rows_(info.rows), wpr_(info.wordsPerRow) {}
  ~ShadowStore();
  ShadowStore(const ShadowStore&) = delete;
  ShadowStore& operator=(const ShadowStore&) = delete;

  // The copy of that key, or null. Entries of one unit come in runs: the copy found last is
  // tried first, inline.
  const Copy* find(HwShadowKey key) const noexcept {
    if (last_ && last_->key == key) [[likely]]
      return last_;
    return findOther(key);
  }
  // Words as for read.
  template <unsigned Words = 0>
  void write(HwShadowKey key, unsigned row, const std::uint32_t* words) {
    const unsigned n = Words ? Words : wpr_;
    Copy& c = last_ && last_->key == key ? const_cast<Copy&>(*last_) : obtain(key);
    std::uint32_t* to = c.words + std::size_t(row) * n;
    for (unsigned i = 0; i < n; ++i) to[i] = words[i];
    c.present[row / 64] |= std::uint64_t(1) << (row % 64);
    if (watch_) [[unlikely]]
      watch_->rowChanged(info_, key, row);
  }
  void erase(HwShadowKey key, unsigned row) noexcept;
  // Copies the row out; false (and zeros) when the row is absent. Words: the row width when
  // the caller knows it at compile time (it equals the table's), 0 otherwise.
  template <unsigned Words = 0>
  bool read(HwShadowKey key, unsigned row, std::uint32_t* out) const noexcept {
    const unsigned n = Words ? Words : wpr_;
    const Copy* c = find(key);
    if (c && row < rows_ && ((c->present[row / 64] >> (row % 64)) & 1)) {
      const std::uint32_t* from = c->words + std::size_t(row) * n;
      for (unsigned i = 0; i < n; ++i) out[i] = from[i];
      return true;
    }
    for (unsigned i = 0; i < n; ++i) out[i] = 0;
    return false;
  }
  bool present(HwShadowKey key, unsigned row) const noexcept;
  void clear(HwShadowKey key) noexcept;
  std::vector<HwShadowKey> keys() const;  // copies that hold at least one row, sorted
  std::size_t copyBytes() const noexcept;
  // Memory the copies hold: nothing until a copy is first written.
  std::size_t heldBytes() const noexcept { return copies_.size() * copyBytes(); }

  // The watcher of every store in the process (none by default).
  static void watchIs(ShadowWatch* watch) noexcept;

 private:
  Copy& obtain(HwShadowKey key);
  const Copy* findOther(HwShadowKey key) const noexcept;
  static ShadowWatch* watch_;  // tested on every write
  const HwTableInfo& info_;
  unsigned rows_, wpr_;
  std::vector<Copy> copies_;
  // The copy found last (entries of one unit come in runs); reset whenever copies_ changes.
  mutable const Copy* last_ = nullptr;
};

class HwCommonTableBase : public Pavo::Node {
 public:
  ~HwCommonTableBase() override;
  const Pavo::String& name() const noexcept { return name_; }
  const HwTableKey& tableKey() const noexcept { return key_; }
  std::uint8_t revertOnDelete() const noexcept { return revertOnDelete_; }
  void revertOnDeleteIs(std::uint8_t v) noexcept { revertOnDelete_ = v; }
  const void* classTag() const noexcept { return classTag_; }
  const HwTableInfo& info() const noexcept { return info_; }

  // Row view for host programs (reports, the chip model's check).
  std::vector<HwShadowKey> shadowKeys() const { return shadow_.keys(); }
  bool rowPresent(HwShadowKey key, unsigned row) const noexcept {
    return shadow_.present(key, row);
  }
  void rowWords(HwShadowKey key, unsigned row, std::uint32_t* out) const noexcept {
    shadow_.read(key, row, out);
  }
  std::size_t copyBytes() const noexcept { return shadow_.copyBytes(); }
  std::size_t shadowBytes() const noexcept { return shadow_.heldBytes(); }
  // Writes one row in the row format (HwTableInfo::encodeFields builds one from fields), as
  // a saved state gives it; a row outside the table is a range error.
  void rowIs(HwShadowKey key, unsigned row, const std::uint32_t* words);

 protected:
  HwCommonTableBase(const Pavo::String& name, const HwTableKey& key, TableManager* manager,
                    const HwTableInfo& info, const void* classTag);
  // Fills a command that writes the row of that copy as the shadow holds it.
  void rowCmd(SchanAccel::SchanCmd& cmd, HwShadowKey key, unsigned row) const {
    cmdHeaderIs(cmd, key, row);
    shadow_.read(key, row, cmd.data);
  }
  // Everything but the row's words.
  void cmdHeaderIs(SchanAccel::SchanCmd& cmd, HwShadowKey key, unsigned row) const noexcept {
    cmd.opcode = info_.opcode;
    cmd.fapId = key.fapId().value();
    cmd.instanceId = key.instanceId();
    cmd.block = info_.block;
    cmd.address = row;
    cmd.words = std::uint8_t(info_.wordsPerRow);
  }
  [[noreturn]] void throwKeyOutside() const;

  ShadowStore shadow_;

 private:
  Pavo::String name_;
  HwTableKey key_;
  const HwTableInfo& info_;
  const void* classTag_;
  std::uint8_t revertOnDelete_ = 1;
};

class HwDirectTableBase : public HwCommonTableBase {
 public:
  // Writes the reset value to every row of the shadow copy in hardware and empties the
  // copy, so that shadow and chip agree afterwards.
  virtual Pavo::Ptr<SchanAccel::SchanCmds> clearTableInHw(HwShadowKey key);

 protected:
  using HwCommonTableBase::HwCommonTableBase;
};

// Field visitors over an entry's description.
namespace FieldCodec {
template <class T>
struct Width;
template <>
struct Width<unsigned char> {
  static constexpr unsigned bits = 8;
};
template <unsigned N>
struct Width<UInt<N>> {
  static constexpr unsigned bits = N;
};

class Printer {
 public:
  explicit Printer(Pavo::StrepBuf& b) noexcept : b_(b) {}
  template <class T>
  void operator()(const char* name, const T& v) {
    sep(name);
    fmt::format_to(std::back_inserter(b_), "{}", unsigned(v));
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>& a) {
    sep(name);
    Pavo::strepAppend(b_, "[");
    for (std::size_t i = 0; i < K; ++i)
      fmt::format_to(std::back_inserter(b_), "{}{}", i ? ", " : "", unsigned(a[i]));
    Pavo::strepAppend(b_, "]");
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    sep(name);
    m.strep(b_);
  }
  void close() { Pavo::strepAppend(b_, first_ ? "{ }" : " }"); }

 private:
  void sep(const char* name) {
    Pavo::strepAppend(b_, first_ ? "{ " : ", ");
    first_ = false;
    fmt::format_to(std::back_inserter(b_), "{}: ", name);
  }
  Pavo::StrepBuf& b_;
  bool first_ = true;
};

// The largest value of every field, in Lister's shape.
class LimitLister {
 public:
  explicit LimitLister(const EntryFieldSink& s) noexcept : s_(s) {}
  template <class T>
  void operator()(const char* name, const T&) {
    const std::uint32_t x = max(Width<T>::bits);
    s_(name, &x, 1, false);
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>&) {
    std::uint32_t x[K];
    for (auto& v : x) v = max(Width<T>::bits);
    s_(name, x, unsigned(K), true);
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    std::uint32_t x[Brim::PerUnitBitmap::kMaxWords];
    for (auto& v : x) v = ~0u;
    s_(name, x, m.size(), true);
  }

 private:
  static constexpr std::uint32_t max(unsigned bits) noexcept {
    return bits >= 32 ? ~0u : (1u << bits) - 1;
  }
  const EntryFieldSink& s_;
};

// Sets every field from values in Lister's order; each field type checks its own range.
class Filler {
 public:
  explicit Filler(const std::uint32_t* values) noexcept : v_(values) {}
  template <class T>
  void operator()(const char*, T& v) {
    v = make<T>(*v_++);
  }
  template <class T, std::size_t K>
  void operator()(const char*, std::array<T, K>& a) {
    for (auto& v : a) v = make<T>(*v_++);
  }
  void operator()(const char*, Brim::PerUnitBitmap& m) {
    for (unsigned i = 0; i < m.size(); ++i) m.wordIs(i, *v_++);
  }

 private:
  template <class T>
  static T make(std::uint32_t x) {
    if constexpr (std::is_same_v<T, unsigned char>) {
      if (x > 0xff) throwFieldRange(8);
      return T(x);
    } else {
      return T(x);  // UInt<N> refuses what does not fit
    }
  }
  [[noreturn]] static void throwFieldRange(unsigned bits);
  const std::uint32_t* v_;
};

class Lister {
 public:
  explicit Lister(const EntryFieldSink& s) noexcept : s_(s) {}
  template <class T>
  void operator()(const char* name, const T& v) {
    const std::uint32_t x = std::uint32_t(v);
    s_(name, &x, 1, false);
  }
  template <class T, std::size_t K>
  void operator()(const char* name, const std::array<T, K>& a) {
    std::uint32_t x[K];
    for (std::size_t i = 0; i < K; ++i) x[i] = std::uint32_t(a[i]);
    s_(name, x, unsigned(K), true);
  }
  void operator()(const char* name, const Brim::PerUnitBitmap& m) {
    s_(name, m.data(), m.size(), true);
  }

 private:
  const EntryFieldSink& s_;
};
}  // namespace FieldCodec

// Base of every table's Entry: the fields live in the row format itself, so that reading a
// row from the shadow or writing one back is a copy of its words, and a field is read or
// changed in place; the Entry remembers the key it was built for. `describe` (rendering, listing, filling) works on copies of the
// fields, written back for a visitor that changes them.
template <class Derived, class Key, unsigned Words>
class PackedHwEntry {
 public:
  using EntryKey = Key;
  static constexpr unsigned kWords = Words;
  explicit PackedHwEntry(const Key& key) noexcept : key_(key) {}
  const Key& key() const noexcept { return key_; }

  void encode(std::uint32_t* w) const noexcept {
    for (unsigned i = 0; i < Words; ++i) w[i] = w_[i];
  }
  void decode(const std::uint32_t* w) noexcept {
    for (unsigned i = 0; i < Words; ++i) w_[i] = w[i];
  }
  std::uint32_t* words() noexcept { return w_; }
  static bool isEq(const void* a, const void* b) {
    const auto* x = static_cast<const Derived*>(a);
    const auto* y = static_cast<const Derived*>(b);
    for (unsigned i = 0; i < Words; ++i)
      if (x->w_[i] != y->w_[i]) return false;
    return true;
  }
  void strep(Pavo::StrepBuf& b) const {
    FieldCodec::Printer p(b);
    Derived::describe(static_cast<const Derived&>(*this), p);
    p.close();
  }
  static void fieldsOf(const std::uint32_t* w, const EntryFieldSink& sink) {
    Derived e{Key{}};
    e.decode(w);
    FieldCodec::Lister l(sink);
    Derived::describe(std::as_const(e), l);
  }
  static void fieldLimits(const EntryFieldSink& sink) {
    const Derived e{Key{}};
    FieldCodec::LimitLister l(sink);
    Derived::describe(e, l);
  }
  static void fromFields(const std::uint32_t* values, std::uint32_t* w) {
    Derived e{Key{}};
    FieldCodec::Filler f(values);
    Derived::describe(e, f);
    e.encode(w);
  }

 protected:
  // Field of Bits bits at bit offset Off of the row; a field may span two words.
  template <unsigned Off, unsigned Bits>
  std::uint32_t bits() const noexcept {
    static_assert(Off + Bits <= Words * 32);
    constexpr unsigned w = Off / 32, b = Off % 32;
    std::uint64_t v = w_[w] >> b;
    if constexpr (b + Bits > 32) v |= std::uint64_t(w_[w + 1]) << (32 - b);
    return std::uint32_t(v & ((std::uint64_t(1) << Bits) - 1));
  }
  template <unsigned Off, unsigned Bits>
  void bitsIs(std::uint32_t v) noexcept {
    constexpr unsigned w = Off / 32, b = Off % 32;
    constexpr std::uint64_t mask = (std::uint64_t(1) << Bits) - 1;
    w_[w] = std::uint32_t((w_[w] & ~(mask << b)) | ((v & mask) << b));
    if constexpr (b + Bits > 32)
      w_[w + 1] = std::uint32_t((w_[w + 1] & ~(mask >> (32 - b))) | ((v & mask) >> (32 - b)));
  }

 private:
  Key key_;
  std::uint32_t w_[Words] = {};
};

// Typed table over a layout (key, entry, rows, command addressing). Both revisions of a
// table share the layout and so its nested EntryKey and Entry.
template <class Derived, class Layout>
class HwTableT : public HwDirectTableBase {
 public:
  using EntryKey = typename Layout::EntryKey;
  using Entry = typename Layout::Entry;
  static constexpr unsigned kWords = Entry::kWords;
  static_assert(kWords <= SchanAccel::SchanCmd::kMaxWords, "a command must carry a whole row");

  HwTableT(const Pavo::String& name, const HwTableKey& key, TableManager* manager)
      : HwDirectTableBase(name, key, manager, Layout::info, &Derived::memAllocationTracker_) {}

  static const void* staticClassTag() noexcept { return &Derived::memAllocationTracker_; }

  void setEntry(HwShadowKey key, const Entry& e) {
    std::uint32_t w[kWords];
    e.encode(w);
    shadow_.template write<kWords>(key, row(e.key()), w);
  }
  void deleteEntry(HwShadowKey key, const EntryKey& k) { shadow_.erase(key, row(k)); }
  Entry getEntry(HwShadowKey key, const EntryKey& k) const {
    Entry e(k);
    // an absent row reads as zeros: the reset value
    shadow_.template read<kWords>(key, row(k), e.words());
    return e;
  }
  Pavo::Ptr<SchanAccel::SchanCmds> schanCmds(HwShadowKey key, const EntryKey& k,
                                             const Pavo::Ptr<Asic::LogEntryWrapperBase>&) const {
    auto cmds = SchanAccel::schanCmdsFactory();
    appendSchanCmds(*cmds, key, k);
    return cmds;
  }
  // The commands of one row, appended to a list being built (a Util that writes several
  // rows per entry returns them in one list).
  void appendSchanCmds(SchanAccel::SchanCmds& out, HwShadowKey key, const EntryKey& k) const {
    const unsigned r = row(k);  // refused before the list grows
    SchanAccel::SchanCmd& cmd = out.cmdEmplace();
    cmdHeaderIs(cmd, key, r);
    shadow_.template read<kWords>(key, r, cmd.data);
  }

  static void* operator new(std::size_t n) {
    Qel::AllocTrackTypeInfo::_trackAllocation(Derived::memAllocationTracker_, n);
    return Kelp::slabAlloc(n);
  }
  static void operator delete(void* p, std::size_t n) noexcept {
    Qel::AllocTrackTypeInfo::trackDeallocation(Derived::memAllocationTracker_, n);
    Kelp::slabFree(p, n);
  }

 private:
  unsigned row(const EntryKey& k) const {
    const unsigned r = Layout::row(k);
    if (r >= Layout::info.rows) throwKeyOutside();
    return r;
  }
};

class UtilStats : public Pavo::Node {
 public:
  void addCntInc(std::uint64_t n) noexcept { add_ += n; }
  void deleteCntInc(std::uint64_t n) noexcept { delete_ += n; }
  void updateOnDelCntInc(std::uint64_t n) noexcept { updateOnDel_ += n; }
  void fapmaskMismatchInc(std::uint64_t n) noexcept { fapmaskMismatch_ += n; }
  std::uint64_t addCnt() const noexcept { return add_; }
  std::uint64_t deleteCnt() const noexcept { return delete_; }
  std::uint64_t updateOnDelCnt() const noexcept { return updateOnDel_; }
  std::uint64_t fapmaskMismatch() const noexcept { return fapmaskMismatch_; }

 private:
  std::uint64_t add_ = 0, delete_ = 0, updateOnDel_ = 0, fapmaskMismatch_ = 0;
};

class TableSchanEnqueueStats : public Pavo::Node {
 public:
  TableSchanEnqueueStats() = default;
  TableSchanEnqueueStats(const TableSchanEnqueueStats& o) : Pavo::Node(o), counts_(o.counts_) {}
  TableSchanEnqueueStats& operator=(const TableSchanEnqueueStats& o) {
    counts_ = o.counts_;
    last_ = nullptr;
    return *this;
  }
  void entryEnqueueCntInc(HwShadowKey key, U32 n) {
    if (last_ && last_->first == key) [[likely]] {
      last_->second += n;
      return;
    }
    entryEnqueueCntIncOther(key, n);
  }
  std::uint64_t entryEnqueueCnt(HwShadowKey key) const noexcept;
  // Shadow copies with a count, sorted.
  std::vector<std::pair<HwShadowKey, std::uint64_t>> counts() const;

 private:
  void entryEnqueueCntIncOther(HwShadowKey key, U32 n);
  std::vector<std::pair<HwShadowKey, std::uint64_t>> counts_;
  std::pair<HwShadowKey, std::uint64_t>* last_ = nullptr;  // reset when counts_ grows
};
using SchanEnqueueStats = TableSchanEnqueueStats;

class TableManagerStats : public Pavo::Node {
 public:
  // The record of that software table, made on first use; it lives as long as these
  // statistics.
  TableSchanEnqueueStats& schanEnqueueStatsIs(Asic::SwTableId id) {
    if (last_ && lastId_ == id) [[likely]]
      return *last_;
    return schanEnqueueStatsMake(id);
  }
  // Records are never removed, so the last one found stays valid.
  TableSchanEnqueueStats* schanEnqueueStats(Asic::SwTableId id) const noexcept {
    if (last_ && lastId_ == id) return last_;
    return schanEnqueueStatsFind(id);
  }
  const std::vector<std::pair<Asic::SwTableId, Pavo::Ptr<TableSchanEnqueueStats>>>& all()
      const noexcept {
    return stats_;
  }

 private:
  TableSchanEnqueueStats& schanEnqueueStatsMake(Asic::SwTableId id);
  TableSchanEnqueueStats* schanEnqueueStatsFind(Asic::SwTableId id) const noexcept;
  std::vector<std::pair<Asic::SwTableId, Pavo::Ptr<TableSchanEnqueueStats>>> stats_;
  mutable TableSchanEnqueueStats* last_ = nullptr;
  mutable Asic::SwTableId lastId_{};
};

using HwTableColl = std::unordered_map<HwTableKey, Pavo::Ptr<HwCommonTableBase>, HwTableKeyHash>;

class TableManager : public Pavo::Node {
 public:
  TableManager();
  ~TableManager() override;
  HwTableColl& hwTableColl() noexcept { return tables_; }
  const HwTableColl& hwTableColl() const noexcept { return tables_; }
  TableManagerStats& stats() const noexcept { return *stats_; }
  // Table objects sorted by name, then revision.
  std::vector<HwCommonTableBase*> tables() const;

 private:
  HwTableColl tables_;
  Pavo::Ptr<TableManagerStats> stats_;
};
}  // namespace TernAsicUtils
