// Hardware table objects and the table manager that keeps them. A table object holds the
// shadow of its table (host/ShadowStore.h); its entries keep the row format
// (host/detail/FieldCodec.h); the manager keeps the statistics (host/TableStats.h).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/AllocTracker.h"
#include "host/HwTableInfo.h"
#include "host/LogEntries.h"
#include "host/Schan.h"
#include "host/ShadowStore.h"
#include "host/TableStats.h"
#include "host/Types.h"
#include "host/detail/FieldCodec.h"

namespace TernAsicUtils {
class TableManager;

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

// Typed table over a layout (key, entry, rows, command addressing). Both revisions of a
// table share the layout and so its nested EntryKey and Entry. Derived is the revision's
// class (host/TableLayouts.h, TERN_HW_TABLE), which gives kClassName and the tracker.
template <class Derived, class Layout>
class HwTableT : public HwDirectTableBase {
 public:
  using EntryKey = typename Layout::EntryKey;
  using Entry = typename Layout::Entry;
  static constexpr const char* kTableName = HwTableRow<Layout>::kName;
  static constexpr unsigned kWords = Entry::kWords;
  static_assert(kWords <= SchanAccel::SchanCmd::kMaxWords, "a command must carry a whole row");

  HwTableT(const Pavo::String& name, const HwTableKey& key, TableManager* manager)
      : HwDirectTableBase(name, key, manager, HwTableRow<Layout>::info,
                          &Derived::memAllocationTracker_) {}

  static const void* staticClassTag() noexcept { return &Derived::memAllocationTracker_; }

  void setEntry(HwShadowKey key, const Entry& e) {
    shadow_.template write<kWords>(key, row(e.key()), e.words());
  }
  void deleteEntry(HwShadowKey key, const EntryKey& k) { shadow_.erase(key, row(k)); }
  Entry getEntry(HwShadowKey key, const EntryKey& k) const {
    Entry e(k, typename Entry::RowFollows{});
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
    SchanAccel::SchanCmd& cmd = out.cmdEmplaceRow();
    cmdHeaderIs(cmd, key, r);
    shadow_.template read<kWords>(key, r, cmd.data);
    for (unsigned i = kWords; i < SchanAccel::SchanCmd::kMaxWords; ++i) cmd.data[i] = 0;
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
    if (r >= EntryKey::kRows) throwKeyOutside();
    return r;
  }
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
