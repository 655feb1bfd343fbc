// What a table's Util supplies to the generic frame: names, software table, entry kind,
// which steps are contained, and the table hooks. Hooks are detected at compile time; a Util
// without a hook pays nothing for it.
#pragma once

#include <concepts>
#include <source_location>
#include <type_traits>

#include "host/LogEntries.h"
#include "host/Schan.h"
#include "host/Trace.h"

namespace TernAsicUtils {
// A trace's format text and the line it is written on: the conversion from the literal
// happens at the trace call, so the line is the caller's.
struct TraceAt {
  fmt::string_view format;
  int line;
  TraceAt(const char* text, std::source_location where = std::source_location::current()) noexcept
      : format(text), line(int(where.line())) {}
};

// Handed to every table hook.
struct HookContext {
  const Qel::TraceHandle& implTrace;  // the table logic's trace handle
  Hardware::ChipType chipType;        // chip type of the Util's revision
};

// The software table a Util is fed by, as a description's base: its constants (the software
// table id) and the log entry wrapper of its family.
struct RoutingStateUtilDesc {
  using Constants = TernL3Ni::RoutingStateConstants;
  using Wrapper = TernL3Ni::RoutingStateLogEntryWrapper;
};
struct TrapForwardActionUtilDesc {
  using Constants = TernL3Ni::EtppTrapFwdActionConstants;
  using Wrapper = TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntryWrapper;
};
struct MtuProfileUtilDesc {
  using Constants = TernL3Intf::MtuProfileConstants;
  using Wrapper = TernL3Intf::MtuProfileLogEntryWrapper;
};

// A Util description: one of the bases above and the table's Logic, whose kTraceName names
// the logic's trace handle; the Util's own name, kName, comes from its file
// (TernAsicUtils/UtilFile.h). Optional members: kWrapKeyMapping (the key mapping and its hook
// run contained; default false), kStartFromShadow (a set starts from the shadow row; default
// false), kRevertHookOnOtherKind (the revert hook also sees entries of another kind).
template <class D>
concept UtilDescription = requires {
  { D::kName } -> std::convertible_to<const char*>;
  { D::Constants::swTableId } -> std::convertible_to<Asic::SwTableId>;
  typename D::Wrapper;
  typename D::Logic;
  { D::Logic::kTraceName } -> std::convertible_to<const char*>;
};

// A routing-state Util takes one kind of entry: the one its logic reads, which the logic
// states (kEntryKind), so that no Util can hand its logic entries of the other kind.
template <class D>
constexpr bool takesOneKind() {
  return std::is_same_v<typename D::Wrapper, TernL3Ni::RoutingStateLogEntryWrapper>;
}
template <class D>
consteval bool entryKindStated() {
  if constexpr (takesOneKind<D>()) {
    static_assert(
        requires { D::Logic::kEntryKind; },
        "kEntryKind: a routing-state Util's logic states the kind of entry it reads: "
        "static constexpr TernL3Ni::RoutingStateEntryKind kEntryKind = ...");
    static_assert(std::is_same_v<std::remove_cv_t<decltype(D::Logic::kEntryKind)>,
                                 TernL3Ni::RoutingStateEntryKind>,
                  "kEntryKind: a TernL3Ni::RoutingStateEntryKind");
  }
  return true;
}

template <class D>
constexpr bool wrapKeyMapping() {
  if constexpr (requires { D::kWrapKeyMapping; }) return D::kWrapKeyMapping;
  return false;
}
template <class D>
constexpr bool startFromShadow() {
  if constexpr (requires { D::kStartFromShadow; }) return D::kStartFromShadow;
  return false;
}
template <class D>
constexpr bool revertHookOnOtherKind() {
  if constexpr (requires { D::kRevertHookOnOtherKind; }) return D::kRevertHookOnOtherKind;
  return false;
}

template <class L, class LogEntry, class EntryKey>
concept HasKeyHook = requires(const HookContext& c, Asic::UnitId u, const LogEntry& e,
                              EntryKey& k) {
  L::doGetHwEntryKey(c, u, e, k);
};
template <class L, class LogEntry, class Entry>
concept HasSetHook = requires(const HookContext& c, Asic::UnitId u, const LogEntry& e, Entry& h) {
  L::doSetHwEntry(c, u, e, h);
};
template <class L, class LogEntry, class Entry>
concept HasPrepareHook = requires(const LogEntry& e, Entry& h) {
  L::prepareHwEntry(e, h);
};
template <class L, class LogEntry, class Entry>
concept HasRevertHook = requires(const HookContext& c, Asic::UnitId u, const LogEntry& e,
                                 Entry& h) {
  L::doRevertHwEntry(c, u, e, h);
};
template <class L, class Wrapper, class Table>
concept HasProcessHook = requires(const HookContext& c, const Wrapper& w,
                                  SchanAccel::SchanCmds& out, Table& t) {
  L::userProcessSwEntry(c, w, out, t);
};

// A hook is found by its name; a member of that name must then have the hook's signature
// (exactly: an entry taken by value would otherwise be a hook whose changes are lost), and
// a logic must have a set hook or a process hook. A misspelt hook is caught by the latter
// when it is the set hook, and a hook that is silently never called cannot happen.
template <class F, class Signature>
concept HookOfSignature = std::is_convertible_v<F, Signature*>;

template <class L, class LogEntry, class EntryKey, class Entry, class Wrapper, class Table>
consteval bool hooksWellFormed() {
  if constexpr (requires { &L::doGetHwEntryKey; })
    static_assert(
        HookOfSignature<decltype(&L::doGetHwEntryKey),
                        void(const HookContext&, Asic::UnitId, const LogEntry&, EntryKey&)>,
        "doGetHwEntryKey: expected static void doGetHwEntryKey(const HookContext&, "
        "Asic::UnitId, const LogEntry&, EntryKey&)");
  if constexpr (requires { &L::doSetHwEntry; })
    static_assert(HookOfSignature<decltype(&L::doSetHwEntry),
                                  void(const HookContext&, Asic::UnitId, const LogEntry&, Entry&)>,
                  "doSetHwEntry: expected static void doSetHwEntry(const HookContext&, "
                  "Asic::UnitId, const LogEntry&, Entry&)");
  if constexpr (requires { &L::doRevertHwEntry; })
    static_assert(HookOfSignature<decltype(&L::doRevertHwEntry),
                                  void(const HookContext&, Asic::UnitId, const LogEntry&, Entry&)>,
                  "doRevertHwEntry: expected static void doRevertHwEntry(const HookContext&, "
                  "Asic::UnitId, const LogEntry&, Entry&)");
  if constexpr (requires { &L::prepareHwEntry; })
    static_assert(HookOfSignature<decltype(&L::prepareHwEntry), void(const LogEntry&, Entry&)>,
                  "prepareHwEntry: expected static void prepareHwEntry(const LogEntry&, Entry&)");
  // The process hook may be a template over the table class: then it is checked by a call.
  if constexpr (requires { &L::userProcessSwEntry; })
    static_assert(
        HookOfSignature<decltype(&L::userProcessSwEntry),
                        void(const HookContext&, const Wrapper&, SchanAccel::SchanCmds&, Table&)>,
        "userProcessSwEntry: expected static void userProcessSwEntry(const "
        "HookContext&, const Wrapper&, SchanAccel::SchanCmds&, Table&)");
  static_assert(HasSetHook<L, LogEntry, Entry> || HasProcessHook<L, Wrapper, Table>,
                "a Util's logic needs a set hook (doSetHwEntry) or a process hook "
                "(userProcessSwEntry)");
  return true;
}
}  // namespace TernAsicUtils
