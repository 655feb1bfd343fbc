// Software log entries: a header (flags, unit id) and the entry of one of three software
// tables, carried in a reference-counted wrapper of the table's family.
#pragma once

#include <array>
#include <cstdint>

#include "host/Node.h"
#include "host/Types.h"

namespace Asic {
struct LogHeader {
  static constexpr std::uint8_t kIsDelete = 0x1;
  static constexpr std::uint8_t kTableDelete = 0x2;
  std::uint8_t flags = 0;
  UnitId unitId{};
  std::uint32_t sequence = 0;  // host bookkeeping; no Util reads it
  void strep(Pavo::StrepBuf& b) const;
};

enum class LogFamily : std::uint8_t { RoutingState = 1, TrapForwardAction = 2, MtuProfile = 3 };

class LogEntryWrapperBase : public Pavo::Node {
 public:
  LogFamily family() const noexcept { return family_; }
  const LogHeader& header() const noexcept { return header_; }
  bool isDelete() const noexcept { return header_.flags & LogHeader::kIsDelete; }
  bool isTableDelete() const noexcept { return header_.flags & LogHeader::kTableDelete; }
  UnitId unitId() const noexcept { return header_.unitId; }

 protected:
  LogEntryWrapperBase(LogFamily family, const LogHeader& header) noexcept
      : family_(family), header_(header) {}

 private:
  LogFamily family_;
  LogHeader header_;
};

// A log record as the agent's log stores it: header, then the entry.
template <class Entry>
struct LogFlumeEntry {
  LogHeader header;
  Entry entry;
  void strep(Pavo::StrepBuf& b) const {
    Pavo::strepAppend(b, "{ header: ");
    header.strep(b);
    Pavo::strepAppend(b, ", entry: ");
    entry.strep(b);
    Pavo::strepAppend(b, " }");
  }
};

template <class Entry, LogFamily Family>
class LogEntryWrapper final : public LogEntryWrapperBase {
 public:
  static constexpr LogFamily kFamily = Family;
  using EntryType = Entry;
  using Record = LogFlumeEntry<Entry>;
  LogEntryWrapper(const LogHeader& header, const Entry& entry) noexcept
      : LogEntryWrapperBase(Family, header), record_{header, entry} {}
  const Entry& entry() const noexcept { return record_.entry; }
  const Record& logRecord() const noexcept { return record_; }

 private:
  Record record_;
};
}  // namespace Asic

namespace TernL3Ni {
// What a routing-state entry carries, by its key's type: a VSI's routing profile, or a routing
// profile's enables. Other types are entries no Util takes (but a table delete).
enum class RoutingStateEntryKind : std::uint8_t { Vsi = 0, RoutingProfile = 1 };

struct RoutingStateEntryKey {
  std::uint32_t id = 0;
  std::uint8_t type = 0;  // a RoutingStateEntryKind, or another value
  constexpr bool is(RoutingStateEntryKind kind) const noexcept {
    return type == static_cast<std::uint8_t>(kind);
  }
  void strep(Pavo::StrepBuf& b) const;
};

struct RoutingStateFlags {
  std::array<std::uint8_t, 5> flag{};  // flag 0 to flag 4
  void strep(Pavo::StrepBuf& b) const;
};

struct UrpfStateFlags {
  std::uint8_t ipv4Enabled = 0;
  std::uint8_t ipv6Enabled = 0;
  std::uint8_t ipv4Strict = 0;
  std::uint8_t ipv6Strict = 0;
  std::uint8_t allowDefault = 0;
  void strep(Pavo::StrepBuf& b) const;
};

struct RoutingEnableProfile {
  RoutingStateFlags routingState;
  UrpfStateFlags urpfState;
  void strep(Pavo::StrepBuf& b) const;
};

class RoutingStateLogEntry {
 public:
  RoutingStateLogEntry() = default;
  static RoutingStateLogEntry vsi(std::uint32_t id, std::uint8_t routingProfileMap) noexcept;
  static RoutingStateLogEntry profile(std::uint32_t id, const RoutingEnableProfile& p) noexcept;

  const RoutingStateEntryKey& key() const noexcept { return key_; }
  RoutingStateEntryKey& key() noexcept { return key_; }
  std::uint8_t routingProfileMap() const noexcept { return routingProfileMap_; }
  void routingProfileMapIs(std::uint8_t v) noexcept { routingProfileMap_ = v; }
  const RoutingEnableProfile& routingEnableProfile() const noexcept { return profile_; }
  void routingEnableProfileIs(const RoutingEnableProfile& p) noexcept { profile_ = p; }
  // Shows the value of the entry's kind: the profile map of a VSI entry, the enable profile
  // of a routing-profile entry.
  void strep(Pavo::StrepBuf& b) const;

 private:
  RoutingStateEntryKey key_;
  std::uint8_t routingProfileMap_ = 0;
  RoutingEnableProfile profile_;
};

using RoutingStateLogFlumeEntry = Asic::LogFlumeEntry<RoutingStateLogEntry>;
using RoutingStateLogEntryWrapper =
    Asic::LogEntryWrapper<RoutingStateLogEntry, Asic::LogFamily::RoutingState>;

struct RoutingStateConstants {
  static constexpr Asic::SwTableId swTableId{0x11010402};
};
struct EtppTrapFwdActionConstants {
  static constexpr Asic::SwTableId swTableId{0x11010401};
};
}  // namespace TernL3Ni

namespace TernTrapLib {
struct EtppbTrapForwardActionTableDataModelEntryKey {
  std::uint8_t value = 0;
  void strep(Pavo::StrepBuf& b) const;
};
struct EtppbTrapForwardActionTableDataModelLogEntry {
  EtppbTrapForwardActionTableDataModelEntryKey key;
  std::uint8_t outPort = 0;
  std::uint8_t stampValue = 0;
  void strep(Pavo::StrepBuf& b) const;
};
using EtppbTrapForwardActionTableDataModelLogFlumeEntry =
    Asic::LogFlumeEntry<EtppbTrapForwardActionTableDataModelLogEntry>;
using EtppbTrapForwardActionTableDataModelLogEntryWrapper =
    Asic::LogEntryWrapper<EtppbTrapForwardActionTableDataModelLogEntry,
                          Asic::LogFamily::TrapForwardAction>;
}  // namespace TernTrapLib

namespace TernL3Intf {
struct MtuProfileEntryKey {
  std::uint8_t value = 0;
  void strep(Pavo::StrepBuf& b) const;
};
struct MtuProfileLogEntry {
  MtuProfileEntryKey key;
  std::uint16_t mtuBytes = 0;
  void strep(Pavo::StrepBuf& b) const;
};
using MtuProfileLogFlumeEntry = Asic::LogFlumeEntry<MtuProfileLogEntry>;
using MtuProfileLogEntryWrapper =
    Asic::LogEntryWrapper<MtuProfileLogEntry, Asic::LogFamily::MtuProfile>;

struct MtuProfileConstants {
  static constexpr Asic::SwTableId swTableId{0x0F080403};
};
}  // namespace TernL3Intf

namespace TernPPExport {
enum egress_fwd_action_profile : std::uint32_t { EGRESS_FWD_ACTION_PROFILE_TRAP = 6 };
// Hardware index that a chip type gives an egress forward action profile: profile 6 is 6 on
// chip type 21 and 7 on chip type 23.
std::uint32_t egress_fwd_action_profile_value(Hardware::ChipType chip,
                                              egress_fwd_action_profile profile);
}  // namespace TernPPExport
