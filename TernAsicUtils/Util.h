// The generic Util: everything the twenty Util classes share, instantiated per class over
// its description (names, software table, hooks) and its revision's table class.
#pragma once

#include "TernAsicUtils/UtilAccessor.h"
#include "host/HwTables.h"

namespace TernAsicUtils {
inline constexpr std::uint32_t kUtilNodeFlag = 0x20000000;

// The software key of a log entry (a member or an accessor, depending on the table).
template <class LogEntry>
const auto& swKeyOf(const LogEntry& e) noexcept {
  if constexpr (requires { e.key(); }) return e.key();
  else return e.key;
}

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
  static constexpr bool kRoutingState = D::kEntryKind != kNoEntryKind;

  UtilT(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
        const Pavo::Ptr<HwWriterStatus>& hwWriterStatus)
      : NonMdbUtilBase(key, hwTableManager, hwWriterStatus) {}

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
  Pavo::TypeData typeData() const override { return {&Self::moduleData(), Self::kModuleIndex}; }

  // The table object as its class; null when absent or of another class.
  Pavo::Ptr<Table> hwTable() const noexcept {
    if (!hwTable_ || hwTable_->classTag() != Table::staticClassTag()) return {};
    return Pavo::Ptr<Table>(static_cast<Table*>(hwTable_.get()));
  }

  void onDelete() const { utilTrace(8, "onDelete", " utilKey: {}", utilKey_); }

  // ---- per-entry operations -----------------------------------------------------------
  Pavo::Ptr<SchanAccel::SchanCmds> processSwEntry(
      const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    return UtilAccessor<Self>(self()).processLogEntry(logPtr);
  }

  bool utilApplicable(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    const UtilAccessor<Self> accessor(self());
    if (accessor.isTableDeleteEntry(logPtr)) {
      utilTrace(3, "utilApplicable", " {} util is applicable for table delete", D::kName);
      return true;
    }
    if constexpr (kRoutingState) {
      // isTableDeleteEntry has checked the entry's family.
      const auto& w = static_cast<const Wrapper&>(*logPtr);
      if (w.entry().key().type != D::kEntryKind) {
        utilTrace(3, "utilApplicable", " {} util is not Applicable", D::kName);
        return false;
      }
    }
    return accessor.isEntryHandled(logPtr);
  }

  U32 writeSwEntryToShadow(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) override {
    if (!utilApplicable(logPtr)) return 0;
    return UtilAccessor<Self>(self()).writeSwEntryToShadow(logPtr);
  }

  Pavo::Ptr<SchanAccel::SchanCmds> getSchanCmds(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr,
                                                U32 status) override {
    return UtilAccessor<Self>(self()).getSchanCmds(logPtr, status);
  }

  // ---- table-specific steps, run by the frame ---------------------------------------------
  EntryKey mapToHwKey_(const LogEntry& entry, Asic::UnitId unit) const {
    EntryKey key{};
    if constexpr (HasKeyHook<Logic, LogEntry, EntryKey>)
      UtilAccessor<const Self>(self()).userDefinedGetHwEntryKey(unit, entry, key);
    utilTrace(3, "mapToHwKey_", " swKey: {} hwKey: {}", swKeyOf(entry), key);
    return key;
  }

  EntryKey mapToHwKey(const LogEntry& entry, Asic::UnitId unit) const {
    if constexpr (wrapKeyMapping<D>()) {
      return Asic::throwIfException([&] { return mapToHwKey_(entry, unit); },
                                    [&] {
                                      return Qel::_fmt("%s: [logEntry: %s], [unitId: %s]",
                                                       "mapToHwKey", strep(entry).c_str(),
                                                       strep(unit).c_str());
                                    });
    } else {
      return mapToHwKey_(entry, unit);
    }
  }

  Entry translateToHwFormat_(const Pavo::Ptr<const Wrapper>& w) const {
    const LogEntry& entry = w->entry();
    const Asic::UnitId unit = w->unitId();
    const SchanAccel::FapId fapId = unit.fapId();
    const EntryKey key = mapToHwKey(entry, unit);
    utilTrace(3, "translateToHwFormat_", " fapId: {} instanceId: {} hwKey: {} logEntry: {}",
              fapId, unit.instanceId(), key, entry);
    Entry hwEntry(key);
    if constexpr (kRoutingState) {
      if (entry.key().type != D::kEntryKind) return hwEntry;
    }
    if constexpr (startFromShadow<D>())
      hwEntry = table().getEntry(HwShadowKey(fapId, unit.instanceId()), key);
    if constexpr (HasPrepareHook<Logic, LogEntry, Entry>) Logic::prepareHwEntry(entry, hwEntry);
    if constexpr (HasSetHook<Logic, LogEntry, Entry>)
      UtilAccessor<const Self>(self()).userDefinedDoSetHwEntry(unit, entry, hwEntry);
    return hwEntry;
  }

  Entry translateToHwFormat(const Pavo::Ptr<const Wrapper>& w) const {
    return Asic::throwIfException([&] { return translateToHwFormat_(w); },
                                  [&] {
                                    return Qel::_fmt("%s: [logEntry: %s]", "translateToHwFormat",
                                                     strep(w->entry()).c_str());
                                  });
  }

  // The entry a delete leaves behind; the default entry asks the frame to delete the row.
  Entry revertHwEntry(const Pavo::Ptr<const Wrapper>& w) const {
    const LogEntry& entry = w->entry();
    const Asic::UnitId unit = w->unitId();
    const SchanAccel::FapId fapId = unit.fapId();
    const EntryKey key = mapToHwKey(entry, unit);
    utilTrace(3, "revertHwEntry", " fapId: {} instanceId: {} hwKey: {} logEntry: {} ", fapId,
              unit.instanceId(), key, entry);
    if constexpr (HasRevertHook<Logic, LogEntry, Entry>) {
      const UtilAccessor<const Self> accessor(self());
      Entry fresh(key);
      if constexpr (kRoutingState) {
        if (entry.key().type != D::kEntryKind) {
          if constexpr (revertHookOnOtherKind<D>())
            accessor.userDefinedDoRevertHwEntry(unit, entry, fresh);
          return fresh;
        }
      }
      Entry current = table().getEntry(HwShadowKey(fapId, unit.instanceId()), key);
      accessor.userDefinedDoRevertHwEntry(unit, entry, current);
      if (Entry::isEq(&current, &fresh)) return Entry(EntryKey{});
      return current;
    } else {
      return Entry(EntryKey{});
    }
  }

  // ---- table binding, clearing, shadow read ----------------------------------------------
  void handleInitialized() {
    utilTrace(8, "handleInitialized", "fapRevision: {}", utilKey_.fapRevision);
    const HwTableKey key{Table::kTableName, utilKey_.fapRevision};
    auto& coll = hwTableManager_->hwTableColl();
    if (const auto it = coll.find(key); it != coll.end()) {
      hwTable_ = it->second;
    } else {
      // registers itself in the manager's collection
      hwTable_ = Pavo::Ptr<HwCommonTableBase>(
          new Table(Table::kTableName, key, hwTableManager_.get()));
    }
    statsIs();
  }

  Pavo::Ptr<SchanAccel::SchanCmds> clearHwTable(Asic::UnitId unit) override {
    utilTrace(8, "clearHwTable", " unitId: {}", unit);
    const HwShadowKey shadowKey(unit.fapId(), unit.instanceId());
    Table& t = table();
    if constexpr (Chip == Hardware::kChipBcm88890A0) {
      return t.clearTableInHw(shadowKey);
    } else {
      return t.HwDirectTableBase::clearTableInHw(shadowKey);
    }
  }

  Entry readShadowEntry(SchanAccel::FapId fapId, InstanceId instanceId, const EntryKey& key) const {
    const HwShadowKey shadowKey(fapId, instanceId);
    utilTrace(8, "readShadowEntry", " fapId: {} insanceId: {} hwShadowKey: {} key: {}", fapId,
              instanceId, shadowKey, key);
    return table().getEntry(shadowKey, key);
  }

  // ---- construction -----------------------------------------------------------------------
  // Builds a Util on the slab and binds it to its table; a failure tears it down again.
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
    Pavo::Ptr<Self> p(util);
    p->handleInitialized();
    return p;
  }

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

  static inline Qel::AllocTrackTypeInfo memAllocationTracker_{Self::kClassName};

  // ---- traces and hooks -------------------------------------------------------------------
  static const Qel::TraceHandle& _defaultTraceHandle() {
    static const Qel::TraceHandle th(D::kName, false);
    return th;
  }
  static const Qel::TraceHandle& utilImplTraceHandle() {
    static const Qel::TraceHandle _handle(D::kImplName, false);
    return _handle;
  }
  HookContext hookContext() const noexcept {
    return {utilImplTraceHandle(), utilKey_.fapRevision.chipType()};
  }

  // The table object; bound at construction and always of the table class.
  Table& table() const {
    const auto* t = hwTable_.get();
    if (!t || t->classTag() != Table::staticClassTag()) [[unlikely]]
      Pavo::RangeException::throwException("Util is not bound to a table of its class");
    return *static_cast<Table*>(hwTable_.get());
  }

 private:
  template <class... Args>
  static void utilTrace(Qel::FacilityLevel level, const char* function, TraceAt at,
                        const Args&... args) {
    Pavo::fmtrace(_defaultTraceHandle(), level, Self::kFileId, function, at.line, D::kName,
                  at.format, args...);
  }
  Self& self() noexcept { return static_cast<Self&>(*this); }
  const Self& self() const noexcept { return static_cast<const Self&>(*this); }
};
}  // namespace TernAsicUtils
