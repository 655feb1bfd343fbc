#include "host/LogEntries.h"

#include "host/HostControls.h"

namespace Asic {
void LogHeader::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ flags: 0x{:x}, unitId: ", flags);
  unitId.strep(b);
  Pavo::strepAppend(b, " }");
}
}  // namespace Asic

namespace TernL3Ni {
void RoutingStateEntryKey::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ id: {}, type: {} }}", id, type);
}
void RoutingStateFlags::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "[{}, {}, {}, {}, {}]", flag[0], flag[1], flag[2], flag[3],
                 flag[4]);
}
void UrpfStateFlags::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b),
                 "{{ ipv4Enabled: {}, ipv6Enabled: {}, ipv4Strict: {}, ipv6Strict: {}, "
                 "allowDefault: {} }}",
                 ipv4Enabled, ipv6Enabled, ipv4Strict, ipv6Strict, allowDefault);
}
void RoutingEnableProfile::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "{ routingState: ");
  routingState.strep(b);
  Pavo::strepAppend(b, ", urpfState: ");
  urpfState.strep(b);
  Pavo::strepAppend(b, " }");
}
RoutingStateLogEntry RoutingStateLogEntry::vsi(std::uint32_t id, std::uint8_t map) noexcept {
  RoutingStateLogEntry e;
  e.key_ = {id, std::uint8_t(RoutingStateEntryKind::Vsi)};
  e.routingProfileMap_ = map;
  return e;
}
RoutingStateLogEntry RoutingStateLogEntry::profile(std::uint32_t id,
                                                   const RoutingEnableProfile& p) noexcept {
  RoutingStateLogEntry e;
  e.key_ = {id, std::uint8_t(RoutingStateEntryKind::RoutingProfile)};
  e.profile_ = p;
  return e;
}
void RoutingStateLogEntry::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "{ key: ");
  key_.strep(b);
  if (key_.is(RoutingStateEntryKind::Vsi)) {
    fmt::format_to(std::back_inserter(b), ", routingProfileMap: {} }}", routingProfileMap_);
  } else {
    Pavo::strepAppend(b, ", routingEnableProfile: ");
    profile_.strep(b);
    Pavo::strepAppend(b, " }");
  }
}
}  // namespace TernL3Ni

namespace TernTrapLib {
void EtppbTrapForwardActionTableDataModelEntryKey::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ value: {} }}", value);
}
void EtppbTrapForwardActionTableDataModelLogEntry::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ key: {{ value: {} }}, outPort: {}, stampValue: {} }}",
                 key.value, outPort, stampValue);
}
}  // namespace TernTrapLib

namespace TernL3Intf {
void MtuProfileEntryKey::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ value: {} }}", value);
}
void MtuProfileLogEntry::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ key: {{ value: {} }}, mtuBytes: {} }}", key.value,
                 mtuBytes);
}
}  // namespace TernL3Intf

namespace TernPPExport {
std::uint32_t egress_fwd_action_profile_value(Hardware::ChipType chip,
                                              egress_fwd_action_profile profile) {
  if (const auto answer = egressFwdActionProfileValueOverride()) return answer(chip, profile);
  // Chip type 23 moved the trap profile up by one row.
  return std::uint32_t(profile) + (chip == Hardware::kChipBcm88890B0 ? 1 : 0);
}
}  // namespace TernPPExport
