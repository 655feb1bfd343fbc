#include "host/Types.h"

#include "host/HostControls.h"

namespace Pavo {
void vstrepFormat(StrepBuf& b, fmt::string_view format, fmt::format_args args) {
  fmt::vformat_to(std::back_inserter(b), format, args);
}
}  // namespace Pavo

namespace HostDetail {
void throwUIntRange(unsigned bits) {
  const std::uint32_t max = bits == 32 ? 0xffffffffu : (1u << bits) - 1;
  const auto text = fmt::format("U{}::value < 0 or > 0x{:02x} not allowed", bits, max);
  Pavo::RangeException::throwException(text.c_str());
}
}  // namespace HostDetail

namespace Hardware {
const char* chipTypeName(ChipType t) noexcept {
  if (t == kChipBcm88890A0) return "bcm88890_a0";
  if (t == kChipBcm88890B0) return "bcm88890_b0";
  return "chip";
}
void Tern::FapRevision::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ chipType: {}, revision: {} }}",
                 static_cast<std::uint32_t>(chipType()), revision());
}
}  // namespace Hardware

namespace SchanAccel {
void FapId::throwRange() {
  Pavo::RangeException::throwException(
      "SchanAccel::FapId::value < SchanAccel::FapId::min or > SchanAccel::FapId::null not "
      "allowed");
}
void Fapmask::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "[");
  bool first = true;
  for (unsigned id = 0; id <= FapId::null; ++id) {
    if (!has(FapId(id))) continue;
    unsigned end = id;
    while (end + 1 <= FapId::null && has(FapId(end + 1))) ++end;
    fmt::format_to(std::back_inserter(b), "{}{}", first ? "" : ",", id);
    if (end > id) fmt::format_to(std::back_inserter(b), "-{}", end);
    first = false;
    id = end;
  }
  Pavo::strepAppend(b, "]");
}
}  // namespace SchanAccel

namespace TernAsicUtils {
Pavo::String HwShadowKey::toString() const { return QelPavo::Impl::valueToStrep(*this); }
void HwShadowKey::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ fapId: {}, instanceId: {} }}", v_ & 0xff, v_ >> 8);
}
}  // namespace TernAsicUtils

namespace Brim {
std::uint32_t PerUnitBitmap::word(unsigned i) const {
  if (i >= n_) Pavo::RangeException::throwException("Brim::PerUnitBitmap: word index out of range");
  return w_[i];
}
void PerUnitBitmap::wordIs(unsigned i, std::uint32_t v) {
  if (i >= n_) Pavo::RangeException::throwException("Brim::PerUnitBitmap: word index out of range");
  w_[i] = v;
}

Pavo::String PerUnitBitmap::bitmapToString() const {
  unsigned count = kDefaultWords;
  for (unsigned i = kDefaultWords; i < n_; ++i)
    if (w_[i]) count = n_;
  Pavo::StrepBuf b;
  for (unsigned i = count; i-- > 0;) fmt::format_to(std::back_inserter(b), " 0x{:08x}", word(i));
  return Pavo::String(b.data(), b.size());
}

bool PerUnitBitmap::operator==(const PerUnitBitmap& o) const noexcept {
  if (n_ != o.n_) return false;
  for (unsigned i = 0; i < n_; ++i)
    if (w_[i] != o.w_[i]) return false;
  return true;
}

void PerUnitBitmap::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "[");
  for (unsigned i = 0; i < n_; ++i)
    fmt::format_to(std::back_inserter(b), "{}0x{:x}", i ? ", " : "", w_[i]);
  Pavo::strepAppend(b, "]");
}
}  // namespace Brim

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
  e.key_ = {id, 0};
  e.routingProfileMap_ = map;
  return e;
}
RoutingStateLogEntry RoutingStateLogEntry::profile(std::uint32_t id,
                                                   const RoutingEnableProfile& p) noexcept {
  RoutingStateLogEntry e;
  e.key_ = {id, 1};
  e.profile_ = p;
  return e;
}
void RoutingStateLogEntry::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "{ key: ");
  key_.strep(b);
  if (key_.type == 0) {
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
namespace {
EgressFwdActionProfileValueFn gOverride = nullptr;
}
std::uint32_t egress_fwd_action_profile_value(Hardware::ChipType chip,
                                              egress_fwd_action_profile profile) {
  if (gOverride) return gOverride(chip, profile);
  // Chip type 23 moved the trap profile up by one row.
  return std::uint32_t(profile) + (chip == Hardware::kChipBcm88890B0 ? 1 : 0);
}
void egressFwdActionProfileValueOverrideIs(EgressFwdActionProfileValueFn fn) noexcept {
  gOverride = fn;
}
}  // namespace TernPPExport
