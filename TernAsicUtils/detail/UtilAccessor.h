// The per-entry algorithms every Util runs: applicability, the shadow write, the commands,
// and the callers of the table hooks. A thin view over one Util; the hook callers are used
// through the view over the const Util.
#pragma once

// The invariant assertion stops the process in every build type.
#pragma push_macro("NDEBUG")
#undef NDEBUG
#include <assert.h>
#pragma pop_macro("NDEBUG")

#include <type_traits>
#include <utility>

#include "TernAsicUtils/UtilDesc.h"
#include "TernAsicUtils/detail/ExceptionWrapper.h"
#include "host/UtilBase.h"

namespace TernAsicUtils {
namespace detail {
inline constexpr const char* kAccessorFile = "TernAsicUtils/UtilAccessor";
}

template <class U>
class UtilAccessor {
  using Util = std::remove_const_t<U>;
  using Desc = typename Util::Desc;
  using Wrapper = typename Util::Wrapper;
  using LogEntry = typename Util::LogEntry;
  using EntryKey = typename Util::EntryKey;
  using Entry = typename Util::Entry;
  using Table = typename Util::Table;
  using LogPtr = Pavo::Ptr<Asic::LogEntryWrapperBase>;

 public:
  explicit UtilAccessor(U& util) noexcept : u_(util) {}

  // Records in the Util's class that it exists: until every handle of a Util has come into
  // being, its entries take the traced path, so that each handle is made on first use.
  static const Qel::TraceHandle& _defaultTraceHandle() {
    static const Qel::TraceHandle th = Util::newTraceHandle(
        Desc::kName, std::is_const_v<U> ? Util::kConstAccessorHandle : Util::kAccessorHandle);
    return th;
  }

  bool isTableDeleteEntry(const LogPtr& logPtr) const {
    const Wrapper& w = cast(logPtr, __PRETTY_FUNCTION__);
    if (!w.isTableDelete()) return false;
    return covers(w.unitId().fapId());
  }

  // Every per-entry step comes in two instantiations: Traced, with every trace, and quiet,
  // which a Util runs only while none of its traces can be enabled and only for entries of
  // its own family. The quiet one maps the hardware key once per entry and hands it on (key
  // hooks are pure, so the result is the same); failures, their texts and their order are
  // the same in both. The host's entry points below are the traced steps.
  bool isEntryHandled(const LogPtr& logPtr) const {
    return handled<true>(cast(logPtr, __PRETTY_FUNCTION__));
  }
  template <bool Traced>
  bool handled(const Wrapper& w) const {
    if (covers(w.unitId().fapId())) return true;
    trace<Traced>("isEntryHandled", "Ignoring due to fapmask  mismatch");
    u_.stats()->fapmaskMismatchInc(1);
    return false;
  }

  // One entry as both steps read it: cast, with the fap id's range checked.
  struct Step {
    const Wrapper& w;
    Asic::UnitId unit;
    SchanAccel::FapId fapId;
    InstanceId instanceId;
  };
  static Step step(const Wrapper& w) {
    const Asic::UnitId unit = w.unitId();
    const InstanceId instanceId = unit.instanceId();
    return {w, unit, unit.fapId(), instanceId};
  }

  // The hardware key and the shadow copy of a step, traced with the step's text (fap id,
  // instance id, and what the step shows of the entry) before the key is mapped. known: the
  // key the entry already mapped to (quiet path only), or null.
  template <bool Traced, class Shown>
  [[gnu::always_inline]] std::pair<EntryKey, HwShadowKey> start(const Step& s,
                                                                const EntryKey* known,
                                                                const char* function, TraceAt at,
                                                                const Shown& shown) const {
    trace<Traced>(function, at, s.fapId, s.instanceId, shown);
    const EntryKey hwKey =
        (!Traced && known) ? *known : u_.template mapKey<Traced>(s.w.entry(), s.unit);
    return {hwKey, HwShadowKey(s.fapId, s.instanceId)};
  }

  U32 writeSwEntryToShadow(const LogPtr& logPtr) const {
    return write<true>(step(cast(logPtr, __PRETTY_FUNCTION__)), nullptr);
  }
  // hwKeyOut, when given, receives the hardware key the write mapped.
  template <bool Traced>
  U32 write(const Step& s, EntryKey* hwKeyOut) const {
    const Wrapper& w = s.w;
    const SchanAccel::FapId fapId = s.fapId;
    const auto [hwKey, shadowKey] = start<Traced>(
        s, nullptr, "writeSwEntryToShadow", " fapId: {} instanceId {} logEntry: {}", w.logRecord());
    if (hwKeyOut) *hwKeyOut = hwKey;
    const EntryKey* known = Traced ? nullptr : &hwKey;
    Table& table = u_.table();
    if (!w.isDelete()) {
      const Entry hwEntry = u_.template translate<Traced>(w, known);
      trace<Traced>("writeSwEntryToShadow", " fapId: {} hwEntry: {}", fapId, hwEntry);
      table.setEntry(shadowKey, hwEntry);
      u_.stats()->addCntInc(1);
    } else if (table.revertOnDelete()) {
      const Entry reverted = u_.template revert<Traced>(w, known);
      const Entry defaultEntry{EntryKey{}};
      if (Entry::isEq(&reverted, &defaultEntry)) {
        table.deleteEntry(shadowKey, hwKey);
        u_.stats()->deleteCntInc(1);
      } else {
        table.setEntry(shadowKey, reverted);
        u_.stats()->updateOnDelCntInc(1);
      }
    } else {
      table.deleteEntry(shadowKey, hwKey);
      u_.stats()->deleteCntInc(1);
    }
    return 0;
  }

  Pavo::Ptr<SchanAccel::SchanCmds> getSchanCmds(const LogPtr& logPtr, U32 /*status*/) const {
    return commands<true>(step(cast(logPtr, __PRETTY_FUNCTION__)), logPtr, nullptr);
  }
  template <bool Traced>
  Pavo::Ptr<SchanAccel::SchanCmds> commands(const Step& s, const LogPtr& logPtr,
                                            const EntryKey* known) const {
    const auto [hwKey, shadowKey] = start<Traced>(
        s, known, "getSchanCmds", " fapId: {} instanceId {} swEntry: {}", s.w.entry());
    const Asic::SwTableId swTableId = u_.utilKey().swTableId;
    auto& stats = u_.hwTableManager()->stats();
    trace<Traced>("getSchanCmds", " Created schanEnqeueuStats for SwTableId {} ", swTableId);
    stats.schanEnqueueStatsIs(swTableId);
    trace<Traced>("getSchanCmds", " Incrementing EnqueueStats for shadowKey {}",
                  detail::ShadowKeyText{shadowKey});
    stats.schanEnqueueStats(swTableId)->entryEnqueueCntInc(shadowKey, 1);
    return u_.table().schanCmds(shadowKey, hwKey, logPtr);
  }

  Pavo::Ptr<SchanAccel::SchanCmds> processLogEntry(const LogPtr& logPtr) const {
    if constexpr (kProcessHook) {
      // The host hands a Util with its own process hook only entries of its software table,
      // so this path takes the entry as such without the test the generic steps make.
      return processHook<true>(static_cast<const Wrapper&>(*logPtr));
    } else {
      trace<true>("processLogEntry", " calling getSchanCmds ");
      U32 status = 0;
      if (u_.template applicable<true>(logPtr)) status = writeSwEntryToShadow(logPtr);
      return getSchanCmds(logPtr, status);
    }
  }

  // processLogEntry on the quiet path, for an entry of the Util's own family.
  Pavo::Ptr<SchanAccel::SchanCmds> processQuiet(const LogPtr& logPtr) const {
    const Wrapper& w = static_cast<const Wrapper&>(*logPtr);
    if constexpr (kProcessHook) {
      return processHook<false>(w);
    } else {
      // After the applicability test (which checks the fap id where the traced path does),
      // one step serves the write and the commands.
      const bool applies = u_.template applicable<false>(logPtr);
      const Step s = step(w);
      if (!applies) return commands<false>(s, logPtr, nullptr);
      EntryKey hwKey{};
      write<false>(s, &hwKey);
      return commands<false>(s, logPtr, &hwKey);
    }
  }

  template <bool Traced = true>
  void userDefinedGetHwEntryKey(Asic::UnitId unit, const LogEntry& entry, EntryKey& key) const {
    trace<Traced>("userDefinedGetHwEntryKey", " calling user specified getHwEntryKey function");
    const auto body = [&] {
      Desc::Logic::doGetHwEntryKey(u_.template hookContextFor<Traced>(), unit, entry, key);
    };
    if constexpr (wrapKeyMapping<Desc>()) {
      Asic::throwIfException(body, [&] {
        return Qel::_fmt("%s: [unitId: %s], [logEntry: %s], [hwKey: %s]",
                         "userDefinedGetHwEntryKey", detail::strep(unit).c_str(),
                         detail::strep(entry).c_str(), detail::strep(key).c_str());
      });
    } else {
      body();
    }
  }

  template <bool Traced = true>
  void userDefinedDoSetHwEntry(Asic::UnitId unit, const LogEntry& entry, Entry& hwEntry) const {
    trace<Traced>("userDefinedDoSetHwEntry", " calling user specified util function");
    Asic::throwIfException(
        [&] {
          Desc::Logic::doSetHwEntry(u_.template hookContextFor<Traced>(), unit, entry, hwEntry);
        },
        [&] {
          return Qel::_fmt("%s: [unitId: %s], [logEntry: %s], [hwEntry: %s]",
                           "userDefinedDoSetHwEntry", detail::strep(unit).c_str(),
                           detail::strep(entry).c_str(), detail::strep(hwEntry).c_str());
        });
    trace<Traced>("userDefinedDoSetHwEntry", " after user function hwEntry: {}", hwEntry);
  }

  template <bool Traced = true>
  void userDefinedDoRevertHwEntry(Asic::UnitId unit, const LogEntry& entry, Entry& hwEntry) const {
    trace<Traced>("userDefinedDoRevertHwEntry", " calling user specified util function");
    Desc::Logic::doRevertHwEntry(u_.template hookContextFor<Traced>(), unit, entry, hwEntry);
    trace<Traced>("userDefinedDoRevertHwEntry", " after user function hwEntry: {}", hwEntry);
  }

  template <bool Traced>
  Pavo::Ptr<SchanAccel::SchanCmds> processHook(const Wrapper& w) const {
    trace<Traced>("processLogEntry", "Calling userProcessSwEntry");
    auto result = SchanAccel::schanCmdsFactory();
    Asic::throwIfException(
        [&] {
          Desc::Logic::userProcessSwEntry(u_.template hookContextFor<Traced>(), w, *result,
                                          u_.table());
        },
        [&] {
          return Qel::_fmt("%s: [logEntry: %s]", "processLogEntry",
                           detail::strep(w.logRecord()).c_str());
        });
    return result;
  }

 private:
  static constexpr bool kProcessHook = HasProcessHook<typename Desc::Logic, Wrapper, Table>;

  template <bool Traced, class... Args>
  static void trace(const char* function, TraceAt at, const Args&... args) {
    if constexpr (Traced)
      Pavo::fmtrace(_defaultTraceHandle(), 3, detail::kAccessorFile, function, at.line, "",
                    at.format, args...);
  }

  // The host hands a Util only entries of its own software table; anything else is a broken
  // invariant that stops the process. The exact family test is the one dynamic_pointer_cast
  // makes; the caller's pointer keeps the entry alive, so no reference is taken here.
  static const Wrapper& cast(const LogPtr& logPtr, const char* function) {
    const Asic::LogEntryWrapperBase* base = logPtr.get();
    if (!base || base->family() != Wrapper::kFamily) [[unlikely]] {
      Qel::SassertHelper("logPtr").report("logPtr is NULL", detail::kAccessorFile, __LINE__,
                                          function);
      __assert_fail("\"logPtr\" == nullptr", detail::kAccessorFile, __LINE__, function);
    }
    return static_cast<const Wrapper&>(*base);
  }

  // Whether the fap mask, intersected with the set of this one fap id, is non-empty: the
  // same as its membership test.
  bool covers(SchanAccel::FapId fapId) const noexcept {
    return fapId.isNull() || u_.fapmask().has(fapId);
  }

  U& u_;
};
}  // namespace TernAsicUtils
