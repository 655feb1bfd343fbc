// The generic Util: everything every Util class shares, instantiated per class over its
// description (names, software table, hooks) and its revision's table class.
#pragma once

#include "TernAsicUtils/detail/UtilAccessor.h"
#include "host/HwTable.h"

namespace TernAsicUtils {
inline constexpr std::uint32_t kUtilNodeFlag = 0x20000000;

// The software key of a log entry (a member or an accessor, depending on the table).
template <class LogEntry>
const auto& swKeyOf(const LogEntry& e) noexcept {
  if constexpr (requires { e.key(); })
    return e.key();
  else
    return e.key;
}

template <class Self, UtilDescription D, class HwTable, Hardware::ChipType Chip>
class UtilT;
}  // namespace TernAsicUtils
namespace Pavo {
template <class Util>
struct HideMe;
}  // namespace Pavo

namespace TernAsicUtils {
template <class Self, UtilDescription D, class HwTable, Hardware::ChipType Chip>
class UtilT : public NonMdbUtilBase {
 public:
  using Desc = D;
  using Wrapper = typename D::Wrapper;
  using LogEntry = typename Wrapper::EntryType;
  using Table = HwTable;
  using EntryKey = typename Table::EntryKey;
  using Entry = typename Table::Entry;
  using Logic = typename D::Logic;
  static constexpr Hardware::ChipType kChip = Chip;
  static constexpr bool kRoutingState = takesOneKind<D>();
  static_assert(entryKindStated<D>());
  static_assert(hooksWellFormed<Logic, LogEntry, EntryKey, Entry, Wrapper, Table>());

  // Binds the Util to its table at once. Should the binding fail, only the base part has been
  // built and only it is torn down: the Util's own destructor (and its onDelete trace) runs
  // only for a Util that came into being.
  UtilT(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
        const Pavo::Ptr<HwWriterStatus>& hwWriterStatus)
      : NonMdbUtilBase(key, hwTableManager, hwWriterStatus) {
    handleInitialized();
  }

  ~UtilT() override {
    nodeFlagSet(kUtilNodeFlag, false);
    onDelete();
  }

  // ---- identity --------------------------------------------------------------------------
  static const Pavo::String& tableName() {
    static const Pavo::String name = Self::kClassName;
    return name;
  }
  Pavo::String hwTableType() const override { return Table::kClassName; }
  // The file's module and 0 for both revisions; the module names each revision's class.
  Pavo::TypeData typeData() const override { return {&Self::moduleData(), 0}; }

  // The table object as its class; null when absent or of another class.
  Pavo::Ptr<Table> hwTable() const noexcept {
    if (!hwTable_ || hwTable_->classTag() != Table::staticClassTag()) return {};
    return Pavo::Ptr<Table>(static_cast<Table*>(hwTable_.get()));
  }

  void onDelete() const { utilTrace(8, "onDelete", " utilKey: {}", utilKey_); }

  // ---- per-entry operations -----------------------------------------------------------
  Pavo::Ptr<SchanAccel::SchanCmds> processSwEntry(
      const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    // An entry of another family takes the traced path, where the generic steps' first cast
    // reports it (a Util with its own process hook is never handed one).
    if (quiet() && logPtr && logPtr->family() == Wrapper::kFamily) [[likely]]
      return UtilAccessor<Self>(self()).processQuiet(logPtr);
    return UtilAccessor<Self>(self()).processLogEntry(logPtr);
  }

  bool utilApplicable(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    return applicable<true>(logPtr);
  }

  U32 writeSwEntryToShadow(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    if (!utilApplicable(logPtr)) return 0;
    return UtilAccessor<Self>(self()).writeSwEntryToShadow(logPtr);
  }

  Pavo::Ptr<SchanAccel::SchanCmds> getSchanCmds(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr,
                                                U32 status) override {
    return UtilAccessor<Self>(self()).getSchanCmds(logPtr, status);
  }

  // ---- the table's steps, as the reflection offers them -----------------------------------
  EntryKey mapToHwKey(const LogEntry& entry, Asic::UnitId unit) const {
    return mapKey<true>(entry, unit);
  }
  Entry translateToHwFormat(const Pavo::Ptr<const Wrapper>& w) const {
    return translate<true>(*w, nullptr);
  }

  // The entry a delete leaves behind; the default entry asks the frame to delete the row.
  Entry revertHwEntry(const Pavo::Ptr<const Wrapper>& w) const { return revert<true>(*w, nullptr); }

  // ---- clearing, shadow read --------------------------------------------------------------
  Pavo::Ptr<SchanAccel::SchanCmds> clearHwTable(Asic::UnitId unit) override {
    utilTrace(8, "clearHwTable", " unitId: {}", unit);
    const HwShadowKey shadowKey(unit.fapId(), unit.instanceId());
    Table& t = table();
    // The a0 Utils dispatch through the table's virtual clear (a host table class may
    // override it); the b0 Utils were built to call the base class's clear directly, which
    // skips any override. Both revisions keep that difference, since a host that overrides
    // the clear sees it.
    if constexpr (Chip == Hardware::kChipBcm88890A0) {
      return t.clearTableInHw(shadowKey);
    } else {
      return t.HwDirectTableBase::clearTableInHw(shadowKey);
    }
  }

  Entry readShadowEntry(SchanAccel::FapId fapId, InstanceId instanceId, const EntryKey& key) const {
    const HwShadowKey shadowKey(fapId, instanceId);
    // "insanceId" is spelt as the agent's log readers expect it; do not correct it.
    utilTrace(8, "readShadowEntry", " fapId: {} insanceId: {} hwShadowKey: {} key: {}", fapId,
              instanceId, shadowKey, key);
    return table().getEntry(shadowKey, key);
  }

  // ---- construction -----------------------------------------------------------------------
  static Pavo::Ptr<UtilBase> factory(const UtilKey& key,
                                     const Pavo::Ptr<TableManager>& hwTableManager,
                                     const Pavo::Ptr<TernMdb::TableManager>&,
                                     const Pavo::Ptr<HwWriterStatus>& hwWriterStatus,
                                     const Pavo::Ptr<HwBulkDownloadErrConfig>&) {
    return create(key, hwTableManager, hwWriterStatus);
  }

  static void operator delete(void* p, std::size_t n) noexcept {
    Qel::AllocTrackTypeInfo::trackDeallocation(memAllocationTracker_, n);
    Kelp::slabFree(p, n);
  }
  static void* operator new(std::size_t, void* where) noexcept { return where; }

 protected:
  // Builds a Util on the slab (the constructor binds it to its table); a failure returns the
  // memory.
  static Pavo::Ptr<Self> create(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
                                const Pavo::Ptr<HwWriterStatus>& hwWriterStatus) {
    Qel::AllocTrackTypeInfo::_trackAllocation(memAllocationTracker_, sizeof(Self));
    void* mem = Kelp::slabAlloc(sizeof(Self));
    Self* util;
    try {
      util = new (mem) Self(key, hwTableManager, hwWriterStatus);
    } catch (...) {
      Qel::AllocTrackTypeInfo::trackDeallocation(memAllocationTracker_, sizeof(Self));
      Kelp::slabFree(mem, sizeof(Self));
      throw;
    }
    return Pavo::Ptr<Self>(util);
  }

 private:
  // The per-entry algorithms and the reflective view run the steps below.
  template <class>
  friend class UtilAccessor;
  friend struct Pavo::HideMe<Self>;

  static inline Qel::AllocTrackTypeInfo memAllocationTracker_{Self::kClassName};

  // ---- table binding ---------------------------------------------------------------------
  void handleInitialized() {
    utilTrace(8, "handleInitialized", "fapRevision: {}", utilKey_.fapRevision);
    const HwTableKey key{Table::kTableName, utilKey_.fapRevision};
    auto& coll = hwTableManager_->hwTableColl();
    if (const auto it = coll.find(key); it != coll.end()) {
      hwTable_ = it->second;
    } else {
      // registers itself in the manager's collection
      hwTable_ =
          Pavo::Ptr<HwCommonTableBase>(new Table(Table::kTableName, key, hwTableManager_.get()));
    }
    statsIs();
  }

  // ---- per-entry steps, traced or quiet ------------------------------------------------------
  // The body of utilApplicable, traced or quiet.
  template <bool Traced>
  bool applicable(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) {
    const UtilAccessor<Self> accessor(self());
    if (accessor.isTableDeleteEntry(logPtr)) {
      utilTrace<Traced>(3, "utilApplicable", " {} util is applicable for table delete", D::kName);
      return true;
    }
    if constexpr (kRoutingState) {
      // isTableDeleteEntry has checked the entry's family.
      const auto& w = static_cast<const Wrapper&>(*logPtr);
      if (!w.entry().key().is(Logic::kEntryKind)) {
        utilTrace<Traced>(3, "utilApplicable", " {} util is not Applicable", D::kName);
        return false;
      }
    }
    if constexpr (Traced)
      return accessor.isEntryHandled(logPtr);
    else
      return accessor.template handled<false>(static_cast<const Wrapper&>(*logPtr));
  }

  template <bool Traced = true>
  EntryKey mapToHwKey_(const LogEntry& entry, Asic::UnitId unit) const {
    EntryKey key{};
    if constexpr (HasKeyHook<Logic, LogEntry, EntryKey>)
      UtilAccessor<const Self>(self()).template userDefinedGetHwEntryKey<Traced>(unit, entry, key);
    utilTrace<Traced>(3, "mapToHwKey_", " swKey: {} hwKey: {}", swKeyOf(entry), key);
    return key;
  }

  template <bool Traced>
  EntryKey mapKey(const LogEntry& entry, Asic::UnitId unit) const {
    if constexpr (wrapKeyMapping<D>()) {
      return Asic::throwIfException([&] { return mapToHwKey_<Traced>(entry, unit); },
                                    [&] {
                                      return Qel::_fmt("%s: [logEntry: %s], [unitId: %s]",
                                                       "mapToHwKey", detail::strep(entry).c_str(),
                                                       detail::strep(unit).c_str());
                                    });
    } else {
      return mapToHwKey_<Traced>(entry, unit);
    }
  }

  Entry translateToHwFormat_(const Pavo::Ptr<const Wrapper>& w) const {
    return translateBody<true>(*w, nullptr);
  }
  // translateToHwFormat over the wrapper; known: the key the entry already mapped to (quiet
  // path only), or null to map it here.
  template <bool Traced>
  Entry translate(const Wrapper& w, const EntryKey* known) const {
    return Asic::throwIfException([&] { return translateBody<Traced>(w, known); },
                                  [&] {
                                    return Qel::_fmt("%s: [logEntry: %s]", "translateToHwFormat",
                                                     detail::strep(w.entry()).c_str());
                                  });
  }

  template <bool Traced>
  Entry revert(const Wrapper& w, const EntryKey* known) const {
    [[maybe_unused]] const auto [entry, unit, fapId, key] = startStep<Traced>(
        w, known, "revertHwEntry", " fapId: {} instanceId: {} hwKey: {} logEntry: {} ");
    if constexpr (HasRevertHook<Logic, LogEntry, Entry>) {
      const UtilAccessor<const Self> accessor(self());
      Entry fresh(key);
      if constexpr (kRoutingState) {
        if (!entry.key().is(Logic::kEntryKind)) {
          if constexpr (revertHookOnOtherKind<D>())
            accessor.template userDefinedDoRevertHwEntry<Traced>(unit, entry, fresh);
          return fresh;
        }
      }
      Entry current = table().getEntry(HwShadowKey(fapId, unit.instanceId()), key);
      accessor.template userDefinedDoRevertHwEntry<Traced>(unit, entry, current);
      if (Entry::isEq(&current, &fresh)) return Entry(EntryKey{});
      return current;
    } else {
      return Entry(EntryKey{});
    }
  }

  // ---- traces and hooks -------------------------------------------------------------------
  // The Util's own handle is one per source file, shared by both revisions: Self's
  // _defaultTraceHandle() gives it.
  static const Qel::TraceHandle& utilImplTraceHandle() {
    static const Qel::TraceHandle _handle = newTraceHandle(Logic::kTraceName, kImplHandle);
    implHandle_ = &_handle;
    return _handle;
  }

  // The handles a Util's entries trace on, besides its own (made when it is built).
  enum : std::uint8_t { kAccessorHandle = 1, kConstAccessorHandle = 2, kImplHandle = 4 };
  static constexpr std::uint8_t kHandlesUsed =
      kAccessorHandle | kImplHandle |
      (HasKeyHook<Logic, LogEntry, EntryKey> || HasSetHook<Logic, LogEntry, Entry> ||
               HasRevertHook<Logic, LogEntry, Entry>
           ? kConstAccessorHandle
           : 0);
  // For the function-local statics that own the handles: makes one and records that it
  // exists.
  static Qel::TraceHandle newTraceHandle(const char* name, std::uint8_t which) {
    handlesMade_ |= which;
    return Qel::TraceHandle(name, false);
  }
  static inline std::uint8_t handlesMade_ = 0;
  static inline const Qel::TraceHandle* implHandle_ = nullptr;
  // What every hook is handed. On the quiet path the logic's handle exists: it is reached
  // through the pointer kept when it was made, without the one-time guard.
  template <bool Traced>
  HookContext hookContextFor() const noexcept {
    if constexpr (Traced)
      return {utilImplTraceHandle(), utilKey_.fapRevision.chipType()};
    else
      return {*implHandle_, utilKey_.fapRevision.chipType()};
  }

  // The table object as its class. handleInitialized binds it before the first entry, under
  // a key made of the class's own name, so it is never null and never of another class; the
  // per-entry steps do not test it.
  Table& table() const noexcept { return *static_cast<Table*>(hwTable_.get()); }

  template <bool Traced = true, class... Args>
  static void utilTrace(Qel::FacilityLevel level, const char* function, TraceAt at,
                        const Args&... args) {
    if constexpr (Traced)
      Pavo::fmtrace(Self::_defaultTraceHandle(), level, Self::kFileId, function, at.line, D::kName,
                    at.format, args...);
  }

  template <bool Traced>
  EntryKey keyOf(const LogEntry& entry, Asic::UnitId unit, const EntryKey* known) const {
    if constexpr (!Traced) {
      if (known) return *known;
    }
    return mapKey<Traced>(entry, unit);
  }

  // What a translation or a revert starts from: the entry, its unit, its fap id (a fap id
  // above the null id is refused before the key is mapped) and the hardware key, traced with
  // the step's text (fap id, instance id, key, entry). known: as for keyOf.
  struct StepStart {
    const LogEntry& entry;
    Asic::UnitId unit;
    SchanAccel::FapId fapId;
    EntryKey key;
  };
  template <bool Traced>
  StepStart startStep(const Wrapper& w, const EntryKey* known, const char* function,
                      TraceAt at) const {
    const Asic::UnitId unit = w.unitId();
    const SchanAccel::FapId fapId = unit.fapId();
    const EntryKey key = keyOf<Traced>(w.entry(), unit, known);
    utilTrace<Traced>(3, function, at, fapId, unit.instanceId(), key, w.entry());
    return {w.entry(), unit, fapId, key};
  }

  template <bool Traced>
  Entry translateBody(const Wrapper& w, const EntryKey* known) const {
    const auto [entry, unit, fapId, key] = startStep<Traced>(
        w, known, "translateToHwFormat_", " fapId: {} instanceId: {} hwKey: {} logEntry: {}");
    Entry hwEntry(key);
    if constexpr (kRoutingState) {
      if (!entry.key().is(Logic::kEntryKind)) return hwEntry;
    }
    if constexpr (startFromShadow<D>())
      hwEntry = table().getEntry(HwShadowKey(fapId, unit.instanceId()), key);
    if constexpr (HasPrepareHook<Logic, LogEntry, Entry>) Logic::prepareHwEntry(entry, hwEntry);
    if constexpr (HasSetHook<Logic, LogEntry, Entry>)
      UtilAccessor<const Self>(self()).template userDefinedDoSetHwEntry<Traced>(unit, entry,
                                                                                hwEntry);
    return hwEntry;
  }

  // Whether this entry may take the quiet path: every handle the traced path would make
  // exists, and no handle anywhere has level 2 or 3 enabled. One load each.
  static bool quiet() noexcept {
    return (handlesMade_ & kHandlesUsed) == kHandlesUsed &&
           !Qel::TraceHandle::anyEnabled((1u << 2) | (1u << 3));
  }
  Self& self() noexcept { return static_cast<Self&>(*this); }
  const Self& self() const noexcept { return static_cast<const Self&>(*this); }
};
}  // namespace TernAsicUtils
