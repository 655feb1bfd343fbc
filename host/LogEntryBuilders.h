// Log entries from named fields, for host programs (the simulator, the performance tools,
// tests): one aggregate per software table, filled with designated initialisers, and a header
// of the same kind; entry() wraps them as the agent's log hands them to the Utils.
//
//   Host::Log::entry(Host::Log::RoutingState{.id = 5, .routingProfileMap = 7}, {.fapId = 3});
//   Host::Log::entry(Host::Log::MtuProfile{.key = 2, .mtuBytes = 1500}, {.isDelete = true});
//
// Each aggregate also names what a program needs to know of its table: the host entry it
// makes, that entry's family, the software table id, and its value fields by name (in the
// order a log lists them).
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "host/LogEntries.h"
#include "host/UtilBase.h"

namespace Host::Log {
using LogPtr = Pavo::Ptr<Asic::LogEntryWrapperBase>;

// A value field of an aggregate below, by the name the host's entry gives it.
template <class Owner, class T>
struct ValueField {
  const char* name;
  T Owner::*member;
};
template <class Owner, class T>
ValueField(const char*, T Owner::*) -> ValueField<Owner, T>;

struct Header {
  std::uint8_t fapId = 0;
  std::uint8_t instanceId = 0;
  bool isDelete = false;
  bool isTableDelete = false;
  std::uint32_t sequence = 0;  // host bookkeeping; no Util reads it

  Asic::LogHeader logHeader() const noexcept {
    Asic::LogHeader h;
    h.flags = std::uint8_t((isDelete ? Asic::LogHeader::kIsDelete : 0) |
                           (isTableDelete ? Asic::LogHeader::kTableDelete : 0));
    h.unitId = Asic::UnitId::of(fapId, instanceId);
    h.sequence = sequence;
    return h;
  }
};

// A routing-state entry. The key type decides which value a Util reads: the routing profile
// map of a VSI entry (type 0), the enable profile (routingState flags and uRPF flags) of a
// routing-profile entry (any other type). Both are carried; the one not set holds zeros.
struct RoutingState {
  using Entry = TernL3Ni::RoutingStateLogEntry;
  static constexpr Asic::LogFamily kFamily = Asic::LogFamily::RoutingState;
  static constexpr Asic::SwTableId kSwTableId = TernL3Ni::RoutingStateConstants::swTableId;

  std::uint32_t id = 0;
  std::uint8_t type = 0;
  std::uint8_t routingProfileMap = 0;
  std::array<std::uint8_t, 5> routingState{};  // flag 0 to flag 4
  std::uint8_t ipv4Enabled = 0;
  std::uint8_t ipv6Enabled = 0;
  std::uint8_t ipv4Strict = 0;
  std::uint8_t ipv6Strict = 0;
  std::uint8_t allowDefault = 0;

  bool operator==(const RoutingState&) const = default;
  TernL3Ni::RoutingEnableProfile enableProfile() const noexcept {
    TernL3Ni::RoutingEnableProfile p;
    p.routingState.flag = routingState;
    p.urpfState = {ipv4Enabled, ipv6Enabled, ipv4Strict, ipv6Strict, allowDefault};
    return p;
  }
  Entry entry() const noexcept {
    Entry e;
    e.key() = {id, type};
    e.routingProfileMapIs(routingProfileMap);
    e.routingEnableProfileIs(enableProfile());
    return e;
  }
  static constexpr auto urpfFlags() noexcept {
    return std::array{ValueField{"ipv4Enabled", &RoutingState::ipv4Enabled},
                      ValueField{"ipv6Enabled", &RoutingState::ipv6Enabled},
                      ValueField{"ipv4Strict", &RoutingState::ipv4Strict},
                      ValueField{"ipv6Strict", &RoutingState::ipv6Strict},
                      ValueField{"allowDefault", &RoutingState::allowDefault}};
  }
};

struct TrapForwardAction {
  using Entry = TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntry;
  static constexpr Asic::LogFamily kFamily = Asic::LogFamily::TrapForwardAction;
  static constexpr Asic::SwTableId kSwTableId = TernL3Ni::EtppTrapFwdActionConstants::swTableId;

  std::uint8_t key = 0;
  std::uint8_t outPort = 0;
  std::uint8_t stampValue = 0;

  bool operator==(const TrapForwardAction&) const = default;
  Entry entry() const noexcept { return {{key}, outPort, stampValue}; }
  static constexpr auto valueFields() noexcept {
    return std::array{ValueField{"outPort", &TrapForwardAction::outPort},
                      ValueField{"stampValue", &TrapForwardAction::stampValue}};
  }
};

struct MtuProfile {
  using Entry = TernL3Intf::MtuProfileLogEntry;
  static constexpr Asic::LogFamily kFamily = Asic::LogFamily::MtuProfile;
  static constexpr Asic::SwTableId kSwTableId = TernL3Intf::MtuProfileConstants::swTableId;

  std::uint8_t key = 0;  // the MTU profile
  std::uint16_t mtuBytes = 0;

  bool operator==(const MtuProfile&) const = default;
  Entry entry() const noexcept { return {{key}, mtuBytes}; }
  static constexpr auto valueFields() noexcept {
    return std::array{ValueField{"mtuBytes", &MtuProfile::mtuBytes}};
  }
};

// A host entry in the wrapper of its family, as the agent's log hands it over.
template <class Entry>
LogPtr wrap(const Entry& entry, const Header& header = {}) {
  constexpr Asic::LogFamily family =
      std::is_same_v<Entry, RoutingState::Entry>        ? RoutingState::kFamily
      : std::is_same_v<Entry, TrapForwardAction::Entry> ? TrapForwardAction::kFamily
                                                        : MtuProfile::kFamily;
  static_assert(family != MtuProfile::kFamily || std::is_same_v<Entry, MtuProfile::Entry>,
                "not the entry of a software table");
  return LogPtr(new Asic::LogEntryWrapper<Entry, family>(header.logHeader(), entry));
}

// The entry of one of the aggregates above, wrapped.
template <class Value>
LogPtr entry(const Value& value, const Header& header = {}) {
  return wrap(value.entry(), header);
}

// The entries a Util takes: VSI entries (routing-state key type 0), routing-profile entries,
// trap forward actions or MTU profiles. A routing-state Util is asked whether it takes a VSI
// entry of fap 0, so fap 0 must be in its mask.
enum class Feed { Vsi, Profile, Trap, Mtu };
inline Feed feedOf(TernAsicUtils::UtilBase& util) {
  const Asic::SwTableId id = util.utilKey().swTableId;
  if (id == TrapForwardAction::kSwTableId) return Feed::Trap;
  if (id == MtuProfile::kSwTableId) return Feed::Mtu;
  return util.utilApplicable(entry(RoutingState{})) ? Feed::Vsi : Feed::Profile;
}
}  // namespace Host::Log
