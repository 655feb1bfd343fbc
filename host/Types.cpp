#include "host/Types.h"

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
